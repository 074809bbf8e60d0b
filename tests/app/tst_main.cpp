#include "ui/KeyNames.h"
#include "app/Main.h"
#include "ui/MsgBox.h"
#include "catalogue/DBLst.h"
#include "editor/SqlEdit.h"
#include "settings/IniFileEx.h"
#include "settings/RegistryStore.h"
#include "workspace/EditorRecovery.h"
#include "workspace/Work.h"
#include "tests/support/TestSupport.h"

#include <QAction>
#include <QScopeGuard>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QSplitter>
#include <QTabWidget>
#include <QTest>
#include <QToolBar>
#include <QToolButton>
#include <QTreeWidget>

#include <memory>

// The main window driven through its actions, on a real settings store file.
class TstMain : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void init();
    void cleanup();

    void emptyCatalogueLeavesOnlyAlwaysEnabledActions();
    void selectionDrivesEntryCommands();
    void rootDoubleClickShowsError();
    void menusShowGermanShortcuts();
    void toolBarRemoveButtonKeepsItsTip();
    void closingWritesCatalogueAndPlacement();
    void unreadableSettingsAtStartAreShownAndKept();
    void readOnlyStoreIsToldOnceAndClosingSucceeds();
    void workspacesGetFreeNamesAndCaption();
    void openingKeepsTheCataloguePaneWidth();
    void failedOpenLeavesNoTab();
    void enterEndingRenameDoesNotOpen();
    void renamingAnOpenEntryKeepsItsText();
    void rightButtonOpensCatalogueMenu();

private:
    void Plant(const QStringList& catalogue);
    void ShowWindow();
    bool Enabled(const char* name) const { return m_window->Action(QLatin1String(name))->isEnabled(); }

    std::unique_ptr<TIniFileEx> m_store;
    std::unique_ptr<TFrmMain> m_window;
};

void TstMain::initTestCase()
{
    QApplication::setApplicationName(QStringLiteral("Tabulo"));
    InstallGermanTexts(*QCoreApplication::instance());
    MsgBox::SetAutoAnswer(true);
}

void TstMain::init()
{
    QFile::remove(qEnvironmentVariable("TABULO_SETTINGS"));
    QDir(TEditorRecovery::FolderBeside(qEnvironmentVariable("TABULO_SETTINGS"))).removeRecursively();
    m_store = std::make_unique<TIniFileEx>();
    SetSettingsStore(m_store.get());
    MsgBox::TakeShownTexts();
}

void TstMain::cleanup()
{
    m_window.reset();
    SetSettingsStore(nullptr);
    m_store.reset();
}

void TstMain::Plant(const QStringList& catalogue)
{
    m_store->WriteValueList(TFrameDBLst::CatalogueSection(), catalogue);
}

void TstMain::ShowWindow()
{
    m_window = std::make_unique<TFrmMain>();
    m_window->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_window.get()));
    QCoreApplication::processEvents(); // what the start could not read is shown after it
}

void TstMain::emptyCatalogueLeavesOnlyAlwaysEnabledActions()
{
    ShowWindow();
    QCOMPARE(m_window->windowTitle(), QStringLiteral("Tabulo"));
    QCOMPARE(m_window->FrameDBLst->CountText(), QStringLiteral("Anzahl DB: 0"));
    QStringList enabled;
    for (QAction* action : m_window->ActionListMain->findChildren<QAction*>())
        if (action->isEnabled())
            enabled.append(action->objectName());
    enabled.sort();
    QCOMPARE(enabled, (QStringList{QStringLiteral("ActDBAdd"), QStringLiteral("ActEditSearch"),
                                   QStringLiteral("ActEditSearchAgain"), QStringLiteral("ActFocusNext"),
                                   QStringLiteral("ActFocusPrevious"), QStringLiteral("ActHelpAbout"),
                                   QStringLiteral("ActSqlShowWhileFetching")}));
    QVERIFY(m_window->findChild<QAction*>(QStringLiteral("MnuFileExit"))->isEnabled());
}

void TstMain::selectionDrivesEntryCommands()
{
    Plant({QStringLiteral("A=Provider=SQLite;Data Source=a.sqlite")});
    ShowWindow();
    QTreeWidget* tree = m_window->FrameDBLst->TreeDB;
    const char* entryCommands[] = {"ActDBOpen", "ActDBProperties", "ActDBCopy", "ActDBRename", "ActDBRemove",
                                   "ActDBConnectionString"};
    tree->setCurrentItem(m_window->FrameDBLst->Root()->child(0));
    for (const char* name : entryCommands)
        QVERIFY2(Enabled(name), name);
    tree->setCurrentItem(m_window->FrameDBLst->Root());
    for (const char* name : entryCommands)
        QVERIFY2(!Enabled(name), name);
    // A click makes the entry current before it selects it.
    QTest::mouseClick(tree->viewport(), Qt::LeftButton, {},
                      tree->visualItemRect(m_window->FrameDBLst->Root()->child(0)).center());
    for (const char* name : entryCommands)
        QVERIFY2(Enabled(name), name);
    tree->setCurrentItem(m_window->FrameDBLst->Root());
    // A click into empty space clears the selection but keeps the current item.
    tree->setCurrentItem(m_window->FrameDBLst->Root()->child(0));
    QVERIFY(Enabled("ActDBOpen"));
    QTest::mouseClick(tree->viewport(), Qt::LeftButton, {}, QPoint(5, tree->viewport()->height() - 5));
    QVERIFY(tree->selectedItems().isEmpty());
    for (const char* name : entryCommands)
        QVERIFY2(!Enabled(name), name);
    QVERIFY(!Enabled("ActDBClose"));
    QVERIFY(!Enabled("ActSqlExec"));
    QVERIFY(!Enabled("ActSqlCancel"));
}

void TstMain::rootDoubleClickShowsError()
{
    Plant({QStringLiteral("A=x")});
    ShowWindow();
    QTreeWidget* tree = m_window->FrameDBLst->TreeDB;
    const QPoint root = tree->visualItemRect(m_window->FrameDBLst->Root()).center();
    QTest::mouseDClick(tree->viewport(), Qt::LeftButton, {}, root);
    QCOMPARE(MsgBox::TakeShownTexts(), QStringList{QStringLiteral("Kein Datenbank ausgewählt.")});
    QCOMPARE(m_window->PageControl->count(), 0);
}

void TstMain::menusShowGermanShortcuts()
{
    ShowWindow();
    QStringList titles;
    for (QAction* menu : m_window->MainMenu->actions())
        titles.append(menu->text().remove(QLatin1Char('&')));
    QCOMPARE(titles, (QStringList{QStringLiteral("Datei"), QStringLiteral("Bearbeiten"), QStringLiteral("SQL"),
                                  QStringLiteral("Hilfe")}));
    auto shortcut = [this](const char* name) {
        return m_window->Action(QLatin1String(name))->shortcut().toString(QKeySequence::NativeText);
    };
    QCOMPARE(shortcut("ActSqlExec"), QStringLiteral("Strg+Eingabe"));
    QCOMPARE(shortcut("ActSqlCancel"), QStringLiteral("Strg+Rück"));
    QCOMPARE(shortcut("ActDBConnectionString"), QStringLiteral("Strg+Umsch+F2"));
    QCOMPARE(m_window->Action(QStringLiteral("ActDBOpen"))->shortcuts().size(), 2);
}

void TstMain::toolBarRemoveButtonKeepsItsTip()
{
    Plant({QStringLiteral("A=x")});
    ShowWindow();
    auto* button = m_window->findChild<QToolButton*>(QStringLiteral("BtnRemove"));
    QVERIFY(button);
    m_window->FrameDBLst->TreeDB->setCurrentItem(m_window->FrameDBLst->Root()->child(0));
    QVERIFY(button->isEnabled());
    QCOMPARE(button->toolTip(), QStringLiteral("Datenbank aus der Liste entfernen"));
}

void TstMain::closingWritesCatalogueAndPlacement()
{
    Plant({QStringLiteral("A=1"), QStringLiteral("B=2")});
    ShowWindow();
    m_window->Splitter1->setSizes({240, 500});
    QVERIFY(m_window->close());

    QStringList catalogue;
    m_store->ReadValueList(TFrameDBLst::CatalogueSection(), catalogue);
    QCOMPARE(catalogue, (QStringList{QStringLiteral("A=1"), QStringLiteral("B=2")}));
    QCOMPARE(m_store->ReadCommaList(QStringLiteral("FrmMain"), QStringLiteral("TFrmMain")).size(), 5);
    QCOMPARE(m_store->ReadInteger(QStringLiteral("FrmMain"), QStringLiteral("FrameDBLst"), 0), 240);

    // The next start restores the pane width.
    m_window.reset();
    ShowWindow();
    QCOMPARE(m_window->Splitter1->sizes().first(), 240);
    QCOMPARE(m_window->FrameDBLst->EntryCount(), 2);
}

// Values of another type, planted by an outside tool, in the catalogue and the window settings:
// the start completes, says what it could not read, and the close keeps those values unless
// the user chose anew.
void TstMain::unreadableSettingsAtStartAreShownAndKept()
{
    Plant({QStringLiteral("A=1"), QStringLiteral("B=2")});
    TRegistryStore& raw = m_store->Store();
    const QByteArray dword("\x2a\0\0\0", 4);
    const auto plant = [&](const QString& section, const QString& ident) {
        raw.SetValue(raw.CreateKey(TIniFileEx::SectionPath(section)), ident, RegDword, dword);
    };
    const auto typeOf = [&](const QString& section, const QString& ident) {
        const std::optional<qint64> key = raw.FindKey(TIniFileEx::SectionPath(section));
        const std::optional<TRegValue> value = key ? raw.Value(*key, ident) : std::nullopt;
        return value ? int(value->Type) : -1;
    };
    plant(TFrameDBLst::CatalogueSection(), QStringLiteral("2"));
    raw.SetValue(*raw.FindKey(TIniFileEx::SectionPath(TFrameDBLst::CatalogueSection())), QStringLiteral("3"),
                 RegSz, RegStringData(QStringLiteral("C=3")));
    plant(QStringLiteral("FrmMain"), QStringLiteral("TFrmMain"));
    plant(QStringLiteral("FrmMain"), QStringLiteral("FrameDBLst"));

    ShowWindow();
    const QStringList shown = MsgBox::TakeShownTexts();
    QCOMPARE(shown.size(), 3);
    QVERIFY2(shown.at(0).startsWith(QStringLiteral("Ungültiger Datentyp für '2'\r\n")),
             qPrintable(shown.at(0)));
    QVERIFY(shown.at(0).contains(TFrameDBLst::UnreadableSection()));
    QCOMPARE(shown.at(1), QStringLiteral("Ungültiger Datentyp für 'TFrmMain'"));
    QCOMPARE(shown.at(2), QStringLiteral("Ungültiger Datentyp für 'FrameDBLst'"));
    QCOMPARE(m_window->FrameDBLst->EntryCount(), 3);
    for (const char* name : {"ActDBOpen", "ActDBRemove", "ActDBClose", "ActSqlExec", "ActSqlCancel"})
        QVERIFY2(!Enabled(name), name);
    QVERIFY(m_window->close());

    QStringList catalogue;
    m_store->ReadValueList(TFrameDBLst::CatalogueSection(), catalogue);
    QCOMPARE(catalogue, (QStringList{QStringLiteral("A=1"), QStringLiteral("B=2"), QStringLiteral("C=3")}));
    QCOMPARE(typeOf(TFrameDBLst::UnreadableSection(), QStringLiteral("2")), int(RegDword));
    QCOMPARE(typeOf(QStringLiteral("FrmMain"), QStringLiteral("TFrmMain")), int(RegDword));
    QCOMPARE(typeOf(QStringLiteral("FrmMain"), QStringLiteral("FrameDBLst")), int(RegDword));

    // Once the user drags the pane border, that width is what is stored.
    m_window.reset();
    ShowWindow();
    MsgBox::TakeShownTexts();
    QSplitterHandle* handle = m_window->Splitter1->handle(1);
    const QPoint grip = handle->rect().center();
    const QPoint to = grip + QPoint(240 - m_window->Splitter1->sizes().value(0), 0);
    QTest::mousePress(handle, Qt::LeftButton, {}, grip);
    QTest::mouseMove(handle, to);
    QTest::mouseRelease(handle, Qt::LeftButton, {}, to);
    QCOMPARE(m_window->Splitter1->sizes().value(0), 240);
    QVERIFY(m_window->close());
    QCOMPARE(m_store->ReadInteger(QStringLiteral("FrmMain"), QStringLiteral("FrameDBLst"), 0), 240);
    QCOMPARE(typeOf(QStringLiteral("FrmMain"), QStringLiteral("TFrmMain")), int(RegDword));
}

void TstMain::readOnlyStoreIsToldOnceAndClosingSucceeds()
{
    Plant({QStringLiteral("A=1"), QStringLiteral("B=2")});
    const QString file = m_store->FileName();
    SetSettingsStore(nullptr);
    m_store.reset();
    const auto restore = qScopeGuard([&] { TestSupport::SetUnwritable(file, false); });
    if (!TestSupport::SetUnwritable(file, true))
        QSKIP("this system lets the test write an unwritable file");
    m_store = std::make_unique<TIniFileEx>();
    SetSettingsStore(m_store.get());

    ShowWindow();
    const QStringList shown = MsgBox::TakeShownTexts();
    QCOMPARE(shown.size(), 1);
    QVERIFY2(shown.first().contains(QStringLiteral("schreibgeschützt")), qPrintable(shown.first()));
    QCOMPARE(m_window->FrameDBLst->EntryCount(), 2);
    // Each change stores nothing and asks nothing (the unchanged file is no other program's).
    for (int i = 0; i < 2; ++i) {
        m_window->FrameDBLst->TreeDB->setCurrentItem(m_window->FrameDBLst->Root()->child(0));
        MsgBox::ScriptAnswers({MsgBox::Button::Ok});
        m_window->Action(QStringLiteral("ActDBRemove"))->trigger();
    }
    QVERIFY(m_window->close());
    QCOMPARE(MsgBox::TakeShownTexts(), QStringList(2, QStringLiteral("Datenbank aus der Liste entfernen?")));
    QStringList catalogue;
    m_store->ReadValueList(TFrameDBLst::CatalogueSection(), catalogue);
    QCOMPARE(catalogue, (QStringList{QStringLiteral("A=1"), QStringLiteral("B=2")}));
}

namespace {

// An empty file is a valid, empty SQLite database.
QString SqliteDb(const QString& name)
{
    const QString file = qEnvironmentVariable("TABULO_TEST_TMP") + QLatin1Char('/') + name + QStringLiteral(".sqlite");
    QFile f(file);
    f.open(QIODevice::WriteOnly);
    return QStringLiteral("Provider=SQLite;Data Source=") + file;
}

} // namespace

void TstMain::workspacesGetFreeNamesAndCaption()
{
    ShowWindow();
    m_window->OpenWorkspace(QStringLiteral("Lager"), SqliteDb(QStringLiteral("lager")));
    m_window->OpenWorkspace(QStringLiteral("Kunden"), SqliteDb(QStringLiteral("kunden")));
    m_window->UpdateActions(); // as the catalogue does after opening
    QCOMPARE(m_window->PageControl->count(), 2);
    QCOMPARE(m_window->windowTitle(), QStringLiteral("Tabulo - Kunden"));
    QCOMPARE(m_window->CurrentWorkspace()->objectName(), QStringLiteral("Framework2"));
    QVERIFY(Enabled("ActDBClose"));
    QVERIFY(Enabled("ActSqlExec"));

    m_window->PageControl->setCurrentIndex(0);
    QCOMPARE(m_window->windowTitle(), QStringLiteral("Tabulo - Lager"));
    m_window->Action(QStringLiteral("ActDBClose"))->trigger();
    QCOMPARE(m_window->PageControl->count(), 1);
    QCOMPARE(m_window->windowTitle(), QStringLiteral("Tabulo - Kunden"));
    m_window->OpenWorkspace(QStringLiteral("Neu"), SqliteDb(QStringLiteral("neu")));
    QCOMPARE(m_window->CurrentWorkspace()->objectName(), QStringLiteral("Framework1"));

    m_window->Action(QStringLiteral("ActDBClose"))->trigger();
    m_window->Action(QStringLiteral("ActDBClose"))->trigger();
    QCOMPARE(m_window->PageControl->count(), 0);
    QVERIFY(!Enabled("ActDBClose"));
    QCOMPARE(m_window->windowTitle(), QStringLiteral("Tabulo"));
}

void TstMain::openingKeepsTheCataloguePaneWidth()
{
    // A wide pane in a window of the design size: the workspace needs more room than is
    // left, and the window grows rather than the pane giving way; closing keeps the width.
    m_store->WriteInteger(QStringLiteral("FrmMain"), QStringLiteral("FrameDBLst"), 320);
    ShowWindow();
    QCOMPARE(m_window->width(), 765);
    QCOMPARE(m_window->FrameDBLst->width(), 320);
    m_window->OpenWorkspace(QStringLiteral("Lager"), SqliteDb(QStringLiteral("lager")));
    QTest::qWait(50);
    QCOMPARE(m_window->FrameDBLst->width(), 320);
    QVERIFY(m_window->CurrentWorkspace()->width() >= m_window->CurrentWorkspace()->minimumSizeHint().width());
    QVERIFY(m_window->close());
    QCOMPARE(m_store->ReadInteger(QStringLiteral("FrmMain"), QStringLiteral("FrameDBLst"), 0), 320);
}

void TstMain::failedOpenLeavesNoTab()
{
    Plant({QStringLiteral("Weg=Provider=SQLite;Data Source=/nicht/da.sqlite")});
    ShowWindow();
    m_window->FrameDBLst->TreeDB->setCurrentItem(m_window->FrameDBLst->Root()->child(0));
    m_window->Action(QStringLiteral("ActDBOpen"))->trigger();
    QCOMPARE(m_window->PageControl->count(), 0);
    const QStringList shown = MsgBox::TakeShownTexts();
    QCOMPARE(shown.size(), 1);
    QVERIFY2(shown.first().startsWith(QStringLiteral("Datenbank kann nicht geöffnet werden, Fehlermeldung: \r\n")),
             qPrintable(shown.first()));
    QVERIFY(shown.first().size() > 60); // the provider's message follows on the next line
    QCOMPARE(m_window->windowTitle(), QStringLiteral("Tabulo"));
    QVERIFY(!m_store->SectionExists(QStringLiteral("Frame.Weg")));
}

void TstMain::enterEndingRenameDoesNotOpen()
{
    Plant({QStringLiteral("Alt=") + SqliteDb(QStringLiteral("alt"))});
    ShowWindow();
    QTreeWidget* tree = m_window->FrameDBLst->TreeDB;
    tree->setCurrentItem(m_window->FrameDBLst->Root()->child(0));
    m_window->Action(QStringLiteral("ActDBRename"))->trigger();
    auto* editor = tree->findChild<QLineEdit*>(QStringLiteral("TreeDBEditor"));
    QVERIFY(editor);
    editor->setText(QStringLiteral("Lager"));
    QTest::keyClick(editor, Qt::Key_Return);
    QTRY_COMPARE(m_window->FrameDBLst->Root()->child(0)->text(0), QStringLiteral("Lager"));
    QCOMPARE(m_window->PageControl->count(), 0);

    QTest::keyClick(tree, Qt::Key_Return); // now Enter opens, under the new name
    QCOMPARE(m_window->PageControl->count(), 1);
    QCOMPARE(m_window->PageControl->tabText(0), QStringLiteral("Lager"));
}

// The workspace stays open while its entry is renamed: what it stores at its close belongs
// under the new name, where the entry's settings moved, not back under the old one.
void TstMain::renamingAnOpenEntryKeepsItsText()
{
    Plant({QStringLiteral("Alt=") + SqliteDb(QStringLiteral("alt"))});
    ShowWindow();
    QTreeWidget* tree = m_window->FrameDBLst->TreeDB;
    tree->setCurrentItem(m_window->FrameDBLst->Root()->child(0));
    QTest::keyClick(tree, Qt::Key_Return);
    QCOMPARE(m_window->PageControl->count(), 1);
    QTest::keyClicks(m_window->CurrentWorkspace()->MemSql, QStringLiteral("select 42"));

    tree->setFocus();
    m_window->Action(QStringLiteral("ActDBRename"))->trigger();
    auto* editor = tree->findChild<QLineEdit*>(QStringLiteral("TreeDBEditor"));
    QVERIFY(editor);
    editor->selectAll();
    QTest::keyClicks(editor, QStringLiteral("Neu"));
    QTest::keyClick(editor, Qt::Key_Return);
    QTRY_COMPARE(m_window->FrameDBLst->Root()->child(0)->text(0), QStringLiteral("Neu"));
    QCOMPARE(m_window->PageControl->tabText(0), QStringLiteral("Neu"));
    QCOMPARE(m_window->windowTitle(), QStringLiteral("Tabulo - Neu"));

    QVERIFY(m_window->close());
    QStringList lines;
    m_store->ReadValueList(TIniFileEx::WorkspaceSqlSection(QStringLiteral("Neu")), lines);
    QCOMPARE(lines, QStringList{QStringLiteral("select 42")});
    QVERIFY(!m_store->SectionExists(TIniFileEx::WorkspaceSqlSection(QStringLiteral("Alt"))));
    QVERIFY(!m_store->SectionExists(TIniFileEx::WorkspaceSection(QStringLiteral("Alt"))));
}

void TstMain::rightButtonOpensCatalogueMenu()
{
    Plant({QStringLiteral("A=x"), QStringLiteral("B=y")});
    ShowWindow();
    QTreeWidget* tree = m_window->FrameDBLst->TreeDB;
    QMenu* menu = m_window->FrameDBLst->PopMnuTreeDB;

    // Over empty space nothing happens.
    QTest::mouseRelease(tree->viewport(), Qt::RightButton, {}, QPoint(5, tree->viewport()->height() - 5));
    QVERIFY(!menu->isVisible());
    QCOMPARE(tree->currentItem(), nullptr);

    // Pressing alone does not select; releasing over a node selects it and opens the menu.
    const QPoint second = tree->visualItemRect(m_window->FrameDBLst->Root()->child(1)).center();
    QTest::mousePress(tree->viewport(), Qt::RightButton, {}, second);
    QCOMPARE(tree->currentItem(), nullptr);
    QTest::mouseRelease(tree->viewport(), Qt::RightButton, {}, second);
    QTRY_VERIFY(menu->isVisible());
    QCOMPARE(tree->currentItem(), m_window->FrameDBLst->Root()->child(1));
    QStringList entries;
    for (QAction* action : menu->actions())
        entries.append(action->isSeparator() ? QStringLiteral("-") : action->objectName());
    QCOMPARE(entries, (QStringList{QStringLiteral("ActDBOpen"), QStringLiteral("ActDBClose"), QStringLiteral("-"),
                                   QStringLiteral("ActDBAdd"), QStringLiteral("ActDBRemove"),
                                   QStringLiteral("ActDBRename"), QStringLiteral("ActDBProperties"),
                                   QStringLiteral("ActDBCopy")}));
    QVERIFY(m_window->Action(QStringLiteral("ActDBRemove"))->isEnabled());
    QVERIFY(!m_window->Action(QStringLiteral("ActDBClose"))->isEnabled());
    menu->close();
}

QTEST_MAIN(TstMain)
#include "tst_main.moc"
