// "Verlauf durchsuchen..." in the real main window: statements run on two databases, the
// window restarted, found again by words, put into the editor, removed.
#include "app/Main.h"
#include "editor/SqlEdit.h"
#include "history/HistoryStore.h"
#include "settings/IniFileEx.h"
#include "tests/support/TestSupport.h"
#include "tests/workspace/WorkTestBase.h"
#include "ui/MsgBox.h"
#include "workspace/HistoryDialog.h"
#include "workspace/Work.h"

#include <QApplication>
#include <QFile>
#include <QScopeGuard>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QRadioButton>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>

#include <functional>

namespace {

// Typed key by key; keys without an ASCII code (umlauts) arrive as a keyboard layout sends them.
void Type(QWidget* widget, const QString& text) {
    for (const QChar c : text) {
        if (c.unicode() < 0x80)
            QTest::keyClick(widget, char(c.unicode()));
        else
            QTest::sendKeyEvent(QTest::Click, widget, Qt::Key_unknown, QString(c), Qt::NoModifier);
    }
}

} // namespace

class TstHistoryDialog : public TWorkTestBase {
    Q_OBJECT
private slots:
    void initTestCase() { SetUpApplication(); }
    void cleanup() { StopWindow(); }
    void findsInsertsAndRemovesAfterRestart();
    void readOnlyHistoryIsSaidOnceAndRunsGoOn();

private:
    // Presses Ctrl+Shift+H in the editor and lets `drive` work the dialog while it is open.
    void WithDialog(TFrameWork* work, const std::function<void(THistoryDialog*)>& drive);
    static QStringList Column(const QTreeWidget* list, int column);
};

void TstHistoryDialog::WithDialog(TFrameWork* work, const std::function<void(THistoryDialog*)>& drive) {
    bool driven = false;
    // The window gets the keys again once the dialog has gone, as the window system hands them back.
    m_window->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(m_window.get()));
    QTimer::singleShot(0, this, [&] {
        auto* dialog = qobject_cast<THistoryDialog*>(QApplication::activeModalWidget());
        QVERIFY(dialog);
        driven = true;
        drive(dialog);
        if (dialog->isVisible()) // a failed check must not leave the dialog open
            dialog->reject();
    });
    QTest::keyClick(work->MemSqlWidget(), Qt::Key_H, Qt::ControlModifier | Qt::ShiftModifier);
    QVERIFY(driven);
}

QStringList TstHistoryDialog::Column(const QTreeWidget* list, int column) {
    QStringList texts;
    for (int i = 0; i < list->topLevelItemCount(); ++i)
        texts.append(list->topLevelItem(i)->text(column));
    return texts;
}

void TstHistoryDialog::findsInsertsAndRemovesAfterRestart() {
    const QString lager = Database(QStringLiteral("lager"), "create table kunden(id int, ort text);");
    const QString archiv = Database(QStringLiteral("archiv"), QString());
    StartWindow();
    TFrameWork* work = Open(QStringLiteral("Lager"), lager);
    Run(work, QStringLiteral("insert into kunden values (1, 'Köln'), (2, 'Bonn')"));
    Run(work, QStringLiteral("select * from kunden where ort = 'Köln'"));
    Run(work, QStringLiteral("select * from nirgends"));
    Run(work, QStringLiteral("   ")); // refused before any database saw it: not kept
    work = Open(QStringLiteral("Archiv"), archiv);
    Run(work, QStringLiteral("select 42 as antwort"));
    MsgBox::TakeShownTexts();
    StopWindow(); // the history is written when the window goes, as the program ends

    StartWindow();
    work = Open(QStringLiteral("Lager"), lager);
    work->MemSql->SetLines({QStringLiteral("AAA BBB")});
    work->MemSql->SelectTextRange(4, 3);
    WithDialog(work, [&](THistoryDialog* dialog) {
        auto* search = dialog->findChild<QLineEdit*>(QStringLiteral("EdtSearch"));
        auto* hits = dialog->findChild<QTreeWidget*>(QStringLiteral("LstHits"));
        auto* statement = dialog->findChild<QPlainTextEdit*>(QStringLiteral("MemStatement"));
        // Everything of this database, newest first, the failed one marked.
        QCOMPARE(Column(hits, 1), (QStringList{"Lager", "Lager", "Lager"}));
        QCOMPARE(Column(hits, 4), (QStringList{"✗", "", ""}));
        QCOMPARE(Column(hits, 3), (QStringList{"", "1", "2"}));
        QTRY_VERIFY(search->hasFocus());
        Type(search, QStringLiteral("KUNDEN köln"));
        QCOMPARE(Column(hits, 5), (QStringList{"select * from kunden where ort = 'Köln'",
                                              "insert into kunden values (1, 'Köln'), (2, 'Bonn')"}));
        QCOMPARE(statement->toPlainText(), QStringLiteral("select * from kunden where ort = 'Köln'"));
        QTest::keyClick(search, Qt::Key_Down);
        QCOMPARE(statement->toPlainText(), QStringLiteral("insert into kunden values (1, 'Köln'), (2, 'Bonn')"));
        QTest::keyClick(search, Qt::Key_Up);
        // The other database's statement only with "alle Datenbanken".
        search->clear();
        Type(search, QStringLiteral("antwort"));
        QCOMPARE(hits->topLevelItemCount(), 0);
        auto* all = dialog->findChild<QRadioButton*>(QStringLiteral("RbnAllDatabases"));
        QTest::mouseClick(all, Qt::LeftButton, {}, QPoint(5, all->height() / 2));
        QCOMPARE(Column(hits, 1), QStringList{"Archiv"});
        search->selectAll();
        Type(search, QStringLiteral("köln select"));
        QTest::keyClick(search, Qt::Key_Return);
        QVERIFY(!dialog->isVisible());
    });
    QCOMPARE(work->MemSql->Text(), QStringLiteral("AAA select * from kunden where ort = 'Köln'\r\n"));
    // One undo step brings the selection's text back.
    QTest::keyClick(work->MemSql, Qt::Key_Z, Qt::ControlModifier);
    QCOMPARE(work->MemSql->Text(), QStringLiteral("AAA BBB\r\n"));

    // Entf asks first; a double click inserts.
    WithDialog(work, [&](THistoryDialog* dialog) {
        auto* search = dialog->findChild<QLineEdit*>(QStringLiteral("EdtSearch"));
        auto* hits = dialog->findChild<QTreeWidget*>(QStringLiteral("LstHits"));
        Type(search, QStringLiteral("nirgends"));
        QCOMPARE(hits->topLevelItemCount(), 1);
        const QRect first = hits->visualItemRect(hits->topLevelItem(0));
        QTest::mouseClick(hits->viewport(), Qt::LeftButton, {}, first.center());
        MsgBox::ScriptAnswers({MsgBox::Button::No});
        QTest::keyClick(hits, Qt::Key_Delete);
        QCOMPARE(MsgBox::TakeShownTexts(), QStringList{"Den gewählten Eintrag aus dem Verlauf löschen?"});
        QCOMPARE(hits->topLevelItemCount(), 1);
        MsgBox::ScriptAnswers({MsgBox::Button::Yes});
        QTest::keyClick(hits, Qt::Key_Delete);
        QCOMPARE(hits->topLevelItemCount(), 0);
        search->clear();
        QCOMPARE(hits->topLevelItemCount(), 2);
        const QRect second = hits->visualItemRect(hits->topLevelItem(1));
        QTest::mouseClick(hits->viewport(), Qt::LeftButton, {}, second.center());
        QTest::mouseDClick(hits->viewport(), Qt::LeftButton, {}, second.center());
        QVERIFY(!dialog->isVisible());
    });
    QCOMPARE(work->MemSql->Text(), QStringLiteral("AAA BBBinsert into kunden values (1, 'Köln'), (2, 'Bonn')\r\n"));
    QVERIFY(HistoryStore()->Search(QStringLiteral("nirgends"), QString()).isEmpty());
}

void TstHistoryDialog::readOnlyHistoryIsSaidOnceAndRunsGoOn() {
    const QString file = THistoryStore::DefaultFile(qEnvironmentVariable("TABULO_SETTINGS"));
    QFile::remove(file);
    { THistoryStore(file).Flush(); }
    if (!TestSupport::SetUnwritable(file, true))
        QSKIP("this system lets the test write a read-only file");
    const auto writable = qScopeGuard([&file] { TestSupport::SetUnwritable(file, false); });
    const QString lager = Database(QStringLiteral("lager"), "create table t(x int);");
    // The message comes once the window runs; StartWindow would take it away unseen.
    m_store = std::make_unique<TIniFileEx>();
    SetSettingsStore(m_store.get());
    m_window = std::make_unique<TFrmMain>();
    m_window->show();
    QTRY_VERIFY(HistoryStore() && !HistoryStore()->CanRecord());
    QStringList shown;
    QTRY_VERIFY(!(shown += MsgBox::TakeShownTexts()).isEmpty());
    QCOMPARE(shown.size(), 1);
    QVERIFY(shown.first().contains(QStringLiteral("schreibgeschützt")));
    TFrameWork* work = Open(QStringLiteral("Lager"), lager);
    Run(work, QStringLiteral("insert into t values (1)"));
    Run(work, QStringLiteral("insert into t values (2)"));
    QCOMPARE(work->StatusText(2), QStringLiteral("1"));
    QCoreApplication::processEvents();
    QCOMPARE(MsgBox::TakeShownTexts(), QStringList{});
}

QTEST_MAIN(TstHistoryDialog)
#include "tst_historydialog.moc"
