#include "about/About.h"
#include "app/Main.h"
#include "catalogue/DBLst.h"
#include "catalogue/DataLink.h"
#include "catalogue/InputQueryExt.h"
#include "settings/IniFileEx.h"
#include "ui/KeyNames.h"
#include "ui/MsgBox.h"
#include "workspace/FindDialog.h"
#include "workspace/HistoryDialog.h"
#include "history/HistoryStore.h"
#include "workspace/Work.h"

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QFile>
#include <QGroupBox>
#include <QLabel>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QTabBar>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>

#include <algorithm>
#include <memory>

namespace {

// Where one Alt+letter of a window leads: a label's buddy, a button, a group box, or a tab.
struct TMnemonic {
    QKeySequence key;
    QString text;
    QWidget* target = nullptr;
    QTabBar* bar = nullptr;
    int tab = -1;
};

QList<TMnemonic> VisibleMnemonics(QWidget* window) {
    QList<TMnemonic> found;
    const auto add = [&found](const QString& text, QWidget* target, QTabBar* bar = nullptr, int tab = -1) {
        const QKeySequence key = QKeySequence::mnemonic(text);
        if (!key.isEmpty())
            found.append({key, text, target, bar, tab});
    };
    for (QLabel* label : window->findChildren<QLabel*>())
        if (label->isVisible())
            add(label->text(), label->buddy());
    for (QAbstractButton* button : window->findChildren<QAbstractButton*>())
        if (button->isVisible())
            add(button->text(), button);
    for (QGroupBox* group : window->findChildren<QGroupBox*>())
        if (group->isVisible())
            add(group->title(), group);
    for (QTabBar* bar : window->findChildren<QTabBar*>())
        if (bar->isVisible())
            for (int i = 0; i < bar->count(); ++i)
                add(bar->tabText(i), bar, bar, i);
    return found;
}

bool Leads(const TMnemonic& m, const QWidget* field) {
    return m.target && !m.bar && (m.target == field || m.target->isAncestorOf(field));
}

// A window's keys as they stand: every field a user can tab to has an Alt+letter of its own
// (OK and Abbrechen answer Enter and Escape), and each label's key moves the focus to its field.
QStringList CheckShown(QWidget* window, const QString& state) {
    QStringList problems;
    const QList<TMnemonic> mnemonics = VisibleMnemonics(window);
    QHash<QKeySequence, QString> seen;
    for (const TMnemonic& m : mnemonics) {
        if (!m.target)
            problems << state + QStringLiteral(": '%1' leads nowhere").arg(m.text);
        if (seen.contains(m.key))
            problems << state + QStringLiteral(": '%1' and '%2' share %3")
                                    .arg(seen[m.key], m.text, m.key.toString());
        seen.insert(m.key, m.text);
    }
    for (QWidget* field : window->findChildren<QWidget*>()) {
        if (!field->isVisible() || !field->isEnabled() || !(field->focusPolicy() & Qt::TabFocus) ||
            qobject_cast<QTabBar*>(field) || qobject_cast<QTabWidget*>(field))
            continue;
        if (auto* button = qobject_cast<QPushButton*>(field);
            button && (button->isDefault() || button->text() == QStringLiteral("Abbrechen")))
            continue;
        if (std::none_of(mnemonics.begin(), mnemonics.end(),
                         [field](const TMnemonic& m) { return Leads(m, field); }))
            problems << state +
                            QStringLiteral(": field %1 (%2) has no mnemonic")
                                .arg(field->objectName(), QLatin1String(field->metaObject()->className()));
    }
    for (const TMnemonic& m : mnemonics) {
        if (!m.target || m.bar || qobject_cast<QAbstractButton*>(m.target))
            continue; // buttons act on their key; pressing them here would run them
        // Start from a field the key does not lead to, so that the focus has to move.
        for (QWidget* other : window->findChildren<QWidget*>())
            if (other->isVisible() && other->isEnabled() && (other->focusPolicy() & Qt::TabFocus) &&
                !Leads(m, other) && !qobject_cast<QTabBar*>(other)) {
                other->setFocus();
                break;
            }
        QWidget* from = QApplication::focusWidget() ? QApplication::focusWidget() : window;
        QTest::keySequence(from, m.key);
        const QWidget* focus = QApplication::focusWidget();
        if (!focus || !(focus == m.target || m.target->isAncestorOf(focus)))
            problems << state + QStringLiteral(": %1 ('%2') leaves the focus on %3")
                                    .arg(m.key.toString(), m.text,
                                         focus ? focus->objectName() : QStringLiteral("nothing"));
    }
    return problems;
}

// Each tab of the window's tab bars in turn, chosen by its own key.
QStringList CheckEachTab(QWidget* window, const QString& name) {
    QStringList problems = CheckShown(window, name);
    for (const TMnemonic& m : VisibleMnemonics(window)) {
        if (!m.bar)
            continue;
        QTest::keySequence(QApplication::focusWidget() ? QApplication::focusWidget() : window, m.key);
        if (m.bar->currentIndex() != m.tab)
            problems << name + QStringLiteral(": %1 does not show tab '%2'").arg(m.key.toString(), m.text);
        problems << CheckShown(window, name + QLatin1Char('/') + m.bar->tabText(m.tab).remove(u'&'));
    }
    return problems;
}

QStringList CheckMenu(const QString& name, const QList<QAction*>& actions) {
    QStringList problems;
    QHash<QKeySequence, QString> seen;
    for (const QAction* action : actions) {
        if (action->isSeparator())
            continue;
        const QKeySequence key = QKeySequence::mnemonic(action->text());
        if (key.isEmpty())
            problems << name + QStringLiteral(": '%1' has no mnemonic").arg(action->text());
        else if (seen.contains(key))
            problems << name + QStringLiteral(": '%1' and '%2' share %3")
                                   .arg(seen[key], action->text(), key.toString());
        seen.insert(key, action->text());
        // The marker belongs to the menu; tips and status texts show the caption as read.
        if (action->toolTip().contains(u'&') || action->statusTip().contains(u'&') ||
            action->iconText().contains(u'&'))
            problems << name + QStringLiteral(": '%1' shows its marker in a tip").arg(action->text());
    }
    return problems;
}

void ShowActive(QWidget* window) {
    window->show();
    QVERIFY(QTest::qWaitForWindowActive(window));
}

} // namespace

// Every menu and dialog of the program answers Alt+letter, one key per entry or field.
class TstMnemonics : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void cleanup();

    void everyMenuEntryHasItsOwnKey();
    void everyDialogFieldHasItsOwnKey();
    void connectionStringPromptLeadsToItsField();
    void databaseNameKeepsItsAmpersand();

private:
    void ShowMainWindow();
    QString SqliteFile(const QString& name) const;

    std::unique_ptr<TIniFileEx> m_store;
    std::unique_ptr<TFrmMain> m_window;
};

void TstMnemonics::initTestCase() {
    QApplication::setApplicationName(QStringLiteral("Tabulo"));
    InstallGermanTexts(*QCoreApplication::instance());
    MsgBox::SetAutoAnswer(true);
}

void TstMnemonics::cleanup() {
    m_window.reset();
    SetSettingsStore(nullptr);
    m_store.reset();
}

// An empty file is a valid, empty SQLite database.
QString TstMnemonics::SqliteFile(const QString& name) const {
    const QString file =
        qEnvironmentVariable("TABULO_TEST_TMP") + QLatin1Char('/') + name + QStringLiteral(".sqlite");
    QFile(file).open(QIODevice::WriteOnly);
    return file;
}

void TstMnemonics::ShowMainWindow() {
    QFile::remove(qEnvironmentVariable("TABULO_SETTINGS"));
    m_store = std::make_unique<TIniFileEx>();
    SetSettingsStore(m_store.get());
    m_store->WriteValueList(
        TFrameDBLst::CatalogueSection(),
        {QStringLiteral("Lager=Provider=SQLite;Data Source=") + SqliteFile(QStringLiteral("lager"))});
    m_window = std::make_unique<TFrmMain>();
    ShowActive(m_window.get());
}

void TstMnemonics::everyMenuEntryHasItsOwnKey() {
    ShowMainWindow();
    m_window->OpenWorkspace(QStringLiteral("Lager"), QStringLiteral("Provider=SQLite;Data Source=") +
                                                         SqliteFile(QStringLiteral("lager")));
    // The catalogue's menu is filled when it first opens.
    QTreeWidget* tree = m_window->FrameDBLst->TreeDB;
    const QPoint entry = tree->visualItemRect(m_window->FrameDBLst->Root()->child(0)).center();
    QTest::mouseClick(tree->viewport(), Qt::RightButton, {}, entry);
    QTRY_VERIFY(m_window->FrameDBLst->PopMnuTreeDB->isVisible());
    QTest::keyClick(m_window->FrameDBLst->PopMnuTreeDB, Qt::Key_Escape);
    QTRY_VERIFY(!m_window->FrameDBLst->PopMnuTreeDB->isVisible());

    QStringList problems = CheckMenu(QStringLiteral("MainMenu"), m_window->MainMenu->actions());
    QStringList names;
    for (QMenu* menu : m_window->findChildren<QMenu*>()) {
        names << menu->objectName();
        problems << CheckMenu(menu->objectName(), menu->actions());
    }
    for (const char* name : {"MnuFile", "MnuEdit", "MnuSql", "MnuHelp", "PopMnuTreeDB", "PopMnuMemSql",
                             "PopMnuGrd", "PopMnuLbx", "PopMnuHistory"})
        QVERIFY2(names.contains(QLatin1String(name)), name);
    QVERIFY2(problems.isEmpty(), qPrintable(problems.join(u'\n')));

    // The keys work as shown: Alt+B opens "Bearbeiten", B there moves to the next pane.
    tree->setFocus();
    QTest::keyClick(tree, Qt::Key_B, Qt::AltModifier);
    QMenu* edit = m_window->findChild<QMenu*>(QStringLiteral("MnuEdit"));
    QTRY_VERIFY(edit->isVisible());
    QTest::keyClick(edit, Qt::Key_B);
    QTRY_VERIFY(!edit->isVisible());
    QTRY_VERIFY(m_window->CurrentWorkspace()->isAncestorOf(QApplication::focusWidget()));
}

void TstMnemonics::everyDialogFieldHasItsOwnKey() {
    QWidget parent;
    QStringList problems;
    {
        TFindDialog find(&parent);
        ShowActive(&find);
        problems << CheckEachTab(&find, QStringLiteral("Suchen"));
    }
    {
        TFrmDlgAbout about(nullptr, nullptr);
        ShowActive(&about);
        problems << CheckEachTab(&about, QStringLiteral("Info"));
    }
    {
        TDataLinkDialog other(QStringLiteral("Provider=Anderer"));
        ShowActive(&other);
        problems << CheckEachTab(&other, QStringLiteral("Verknüpfung anderer Provider"));
    }
    {
        QTemporaryDir dir;
        THistoryStore store(dir.filePath(QStringLiteral("history.sqlite")));
        THistoryDialog history(nullptr, &store);
        ShowActive(&history);
        problems << CheckEachTab(&history, QStringLiteral("Verlauf durchsuchen"));
    }
    TDataLinkDialog link{QString()};
    ShowActive(&link);
    problems << CheckEachTab(&link, QStringLiteral("Verknüpfung"));
    // Each provider's page, chosen in the list as a user does by keys.
    auto* providers = link.findChild<QListWidget*>(QStringLiteral("LbxProviders"));
    for (int row = 0; row < providers->count(); ++row) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_P, Qt::AltModifier);
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_W, Qt::AltModifier);
        QCOMPARE(QApplication::focusWidget(), providers);
        QTest::keyClick(providers, Qt::Key_Home);
        for (int i = 0; i < row; ++i)
            QTest::keyClick(providers, Qt::Key_Down);
        QCOMPARE(providers->currentRow(), row);
        QTest::keyClick(providers, Qt::Key_V, Qt::AltModifier);
        problems << CheckShown(&link, QStringLiteral("Verbindung ") + providers->item(row)->text());
    }
    QVERIFY2(problems.isEmpty(), qPrintable(problems.join(u'\n')));
}

void TstMnemonics::connectionStringPromptLeadsToItsField() {
    ShowMainWindow();
    QTreeWidget* tree = m_window->FrameDBLst->TreeDB;
    QTest::mouseClick(tree->viewport(), Qt::LeftButton, {},
                      tree->visualItemRect(m_window->FrameDBLst->Root()->child(0)).center());
    QStringList problems;
    bool seen = false;
    QTimer poll;
    connect(&poll, &QTimer::timeout, this, [&] {
        auto* prompt = qobject_cast<TFrmInputQueryExt*>(QApplication::activeModalWidget());
        if (!prompt || !prompt->isActiveWindow())
            return;
        poll.stop();
        seen = true;
        problems = CheckEachTab(prompt, QStringLiteral("ConnectionString"));
        prompt->reject();
    });
    poll.start(20);
    QTest::keyClick(tree, Qt::Key_F2, Qt::ControlModifier | Qt::ShiftModifier);
    QTRY_VERIFY(seen);
    QVERIFY2(problems.isEmpty(), qPrintable(problems.join(u'\n')));
}

void TstMnemonics::databaseNameKeepsItsAmpersand() {
    ShowMainWindow();
    m_window->OpenWorkspace(QStringLiteral("Lager & Co"), QStringLiteral("Provider=SQLite;Data Source=") +
                                                              SqliteFile(QStringLiteral("lager")));
    const QString shown = m_window->PageControl->tabText(0);
    QCOMPARE(shown, QStringLiteral("Lager && Co"));
    QVERIFY(QKeySequence::mnemonic(shown).isEmpty());
    QCOMPARE(m_window->windowTitle(), QStringLiteral("Tabulo - Lager & Co"));
}

QTEST_MAIN(TstMnemonics)
#include "tst_mnemonics.moc"
