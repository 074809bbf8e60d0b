#include "app/Main.h"
#include "catalogue/DBLst.h"
#include "data/Connection.h"
#include "data/Query.h"
#include "editor/SqlEdit.h"
#include "settings/IniFileEx.h"
#include "tests/support/TestSupport.h"
#include "tests/workspace/WorkTestBase.h"
#include "ui/ErrorHandler.h"
#include "ui/KeyNames.h"
#include "ui/MsgBox.h"
#include "editor/SqlLexer.h"
#include "editor/SqlStyler.h"
#include "workspace/DbNavigator.h"
#include "workspace/FindDialog.h"
#include "workspace/ResultCellDelegate.h"
#include "workspace/ResultGrid.h"
#include "workspace/ResultModel.h"
#include "workspace/Work.h"

#include <QAccessible>
#include <QAction>
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QDir>
#include <QHeaderView>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QPushButton>
#include <QScopeGuard>
#include <Qsci/qscilexer.h>
#include <QTabWidget>
#include <QTableWidget>
#include <QTest>
#include <QTimer>
#include <QToolTip>
#include <QToolButton>
#include <QTreeWidget>

#include <memory>

// The result grid inside the real main window on real SQLite files (and the test run's
// PostgreSQL server): the record buffer, insert and delete, copying, the field list, the
// search and the keys.
class TstWorkGrid : public TWorkTestBase {
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanup();

    void editIsHeldUntilPostedAndCancelRestores();
    void failedPostKeepsTheRecordAndTheValues();
    void insertAndDeleteThroughKeys();
    void insertReadsBackAGeneratedKeyOnPostgres();
    void postWaitingForALockedRowRepaintsAndEscapeCancels();
    void binaryCellsReadHexBack_data();
    void binaryCellsReadHexBack();
    void copyTexts_data();
    void copyTexts();
    void copyCellTrimsAndRowKeepsSpaces();
    void selectedBlockIsCopied();
    void cutValuesShowWholeInToolTips();
    void hugeValuesPaintCutAndCopyWhole();
    void longValueEditedKeepsItsLength();
    void fieldListFillsAndJumps();
    void gridSearch();
    void editorSearch();
    void searchNeedsAFocusedGridOrEditor();
    void f2EditsTheCellAndLeavesTheCatalogue();
    void numbersAreRightAligned();
    void cancelDuringExecution();
    void ctrlTabLeadsThroughThePanes();
    void darkPaletteStaysReadable();
    void gridIsATableForAssistiveTechnology();

private:
    TFrameWork* OpenRun(const QString& connectionString, const QString& sql, bool readWrite);
    QString Db(const QString& connectionString, const QString& sql);
    QAction* Nav(TFrameWork* work, const char* name) { return work->Nav->Button(QLatin1String(name)); }
    static QString Shown(const QModelIndex& index) { return index.data().toString(); }
    // The tool tip shown once the mouse rests on a point of a widget, empty if none shows.
    static QString ToolTipAt(QWidget* widget, const QPoint& position) {
        QToolTip::hideText();
        if (!QTest::qWaitFor([] { return !QToolTip::isVisible(); }))
            return QStringLiteral("<a tool tip that stays>");
        // From elsewhere: Qt drops a move to where the mouse already is.
        QWidget* top = widget->window();
        QTest::mouseMove(top->windowHandle(), QPoint(1, 1));
        QTest::mouseMove(top->windowHandle(), widget->mapTo(top, position));
        return QTest::qWaitFor([] { return QToolTip::isVisible(); }) ? QToolTip::text() : QString();
    }
    static QStyleOptionViewItem CellOption(TResultGrid* grid, const QModelIndex& index) {
        QStyleOptionViewItem option;
        option.initFrom(grid);
        option.widget = grid;
        option.rect = grid->visualRect(index);
        return option;
    }

    QString m_sample;
};

void TstWorkGrid::initTestCase() {
    SetUpApplication();
}

void TstWorkGrid::init() {
    StartWindow();
    m_sample = Database(QStringLiteral("grid"),
                        "create table Kunden(Id integer primary key, Name text, Betrag real);"
                        "insert into Kunden values (1, 'Meier', 1.5), (2, 'Schulze', 2), "
                        "(3, 'MÜLLER', 123);");
}

void TstWorkGrid::cleanup() {
    StopWindow();
    MsgBox::ScriptAnswers({});
}

TFrameWork* TstWorkGrid::OpenRun(const QString& connectionString, const QString& sql, bool readWrite) {
    TFrameWork* work = Open(QStringLiteral("Beispiel"), connectionString);
    work->BtnReadOnly->setChecked(readWrite);
    work->ApplyReadOnlyMode();
    Run(work, sql);
    work->GrdResults->setFocus();
    work->GrdResults->setCurrentIndex(work->Dsr->index(0, 0));
    return work;
}

// One value read through a connection of its own, as another user sees the database.
QString TstWorkGrid::Db(const QString& connectionString, const QString& sql) {
    TConnection c;
    c.Open(connectionString);
    TQuery q;
    q.SetConnection(&c);
    q.SetSql(sql);
    q.Open();
    return q.Eof() ? QStringLiteral("<none>") : q.Fields()[0].AsText();
}

void TstWorkGrid::editIsHeldUntilPostedAndCancelRestores() {
    TFrameWork* work = OpenRun(m_sample, QStringLiteral("select * from Kunden order by Id"), true);
    TResultModel* model = work->Dsr;
    QVERIFY(Nav(work, "NavInsert")->isEnabled());
    QVERIFY(!Nav(work, "NavPost")->isEnabled());
    QVERIFY(model->setData(model->index(1, 1), QStringLiteral("Schmidt"), Qt::EditRole));
    QVERIFY(model->setData(model->index(1, 2), QStringLiteral("7,25"), Qt::EditRole));
    QCOMPARE(Shown(model->index(1, 1)), QStringLiteral("Schmidt"));
    QCOMPARE(model->headerData(1, Qt::Vertical, Qt::DisplayRole).toString(), QStringLiteral("I"));
    QVERIFY(Nav(work, "NavPost")->isEnabled() && Nav(work, "NavCancel")->isEnabled());
    QCOMPARE(Db(m_sample, QStringLiteral("select Name from Kunden where Id = 2")), QStringLiteral("Schulze"));

    // Cancel puts the whole record back.
    Nav(work, "NavCancel")->trigger();
    QCOMPARE(Shown(model->index(1, 1)), QStringLiteral("Schulze"));
    QCOMPARE(Shown(model->index(1, 2)), QStringLiteral("2"));
    QVERIFY(!Nav(work, "NavPost")->isEnabled());

    // Escape in the grid does the same.
    work->GrdResults->setCurrentIndex(model->index(1, 1));
    QVERIFY(model->setData(model->index(1, 1), QStringLiteral("Schmidt"), Qt::EditRole));
    QTest::keyClick(work->GrdResults, Qt::Key_Escape);
    QCOMPARE(Shown(model->index(1, 1)), QStringLiteral("Schulze"));

    // Moving to another record posts; the locale's decimal comma is read as a number.
    QVERIFY(model->setData(model->index(1, 2), QStringLiteral("7,25"), Qt::EditRole));
    work->GrdResults->setCurrentIndex(model->index(2, 1));
    QCOMPARE(model->EditRow(), -1);
    QCOMPARE(Db(m_sample, QStringLiteral("select Betrag * 4 from Kunden where Id = 2")),
             QStringLiteral("29"));

    // The navigator's post writes, and so does running the next statement.
    QVERIFY(model->setData(model->index(0, 1), QStringLiteral("Maier"), Qt::EditRole));
    Nav(work, "NavPost")->trigger();
    QCOMPARE(Db(m_sample, QStringLiteral("select Name from Kunden where Id = 1")), QStringLiteral("Maier"));
    QVERIFY(model->setData(model->index(2, 1), QStringLiteral("Müller"), Qt::EditRole));
    Run(work, QStringLiteral("select * from Kunden order by Id"));
    QCOMPARE(Db(m_sample, QStringLiteral("select Name from Kunden where Id = 3")), QStringLiteral("Müller"));
    QVERIFY(MsgBox::TakeShownTexts().isEmpty());
}

void TstWorkGrid::failedPostKeepsTheRecordAndTheValues() {
    TFrameWork* work = OpenRun(m_sample, QStringLiteral("select * from Kunden order by Id"), true);
    TResultModel* model = work->Dsr;
    QVERIFY(model->setData(model->index(0, 1), QStringLiteral("Mine"), Qt::EditRole));
    TConnection other;
    other.Open(m_sample);
    other.Execute(QStringLiteral("update Kunden set Name = 'Theirs' where Id = 1"));

    Nav(work, "NavPost")->trigger();
    QStringList shown = MsgBox::TakeShownTexts();
    QCOMPARE(shown.size(), 1);
    QVERIFY2(shown.first().contains(QStringLiteral("nichts gespeichert")), qPrintable(shown.first()));
    QCOMPARE(model->EditRow(), 0);
    QCOMPARE(Shown(model->index(0, 1)), QStringLiteral("Mine"));

    // Leaving the record tries again, fails again and brings the user back to it.
    work->GrdResults->setCurrentIndex(model->index(2, 1));
    QTRY_COMPARE(work->GrdResults->currentIndex().row(), 0);
    QCOMPARE(MsgBox::TakeShownTexts().size(), 1);
    QCOMPARE(Shown(model->index(0, 1)), QStringLiteral("Mine"));

    // A text that is no number for a number field fails the same way.
    QVERIFY(model->setData(model->index(0, 2), QStringLiteral("viel"), Qt::EditRole));
    Nav(work, "NavPost")->trigger();
    shown = MsgBox::TakeShownTexts();
    QCOMPARE(shown.size(), 1);
    QVERIFY2(shown.first().contains(QStringLiteral("„viel“")), qPrintable(shown.first()));

    // A run that would replace the result, and closing the tab, are refused while the
    // record cannot be written.
    Trigger("ActSqlExec");
    QCOMPARE(MsgBox::TakeShownTexts().size(), 1);
    QCOMPARE(model->EditRow(), 0);
    Trigger("ActDBClose");
    QCOMPARE(MsgBox::TakeShownTexts().size(), 1);
    QCOMPARE(m_window->PageControl->count(), 1);
    QCOMPARE(model->EditRow(), 0);
    Nav(work, "NavCancel")->trigger();
    QCOMPARE(Shown(model->index(0, 1)), QStringLiteral("Meier"));
    QCOMPARE(Db(m_sample, QStringLiteral("select Name from Kunden where Id = 1")), QStringLiteral("Theirs"));
}

void TstWorkGrid::insertAndDeleteThroughKeys() {
    TFrameWork* work = OpenRun(m_sample, QStringLiteral("select * from Kunden order by Id"), true);
    TResultModel* model = work->Dsr;
    TResultGrid* grid = work->GrdResults;
    grid->setCurrentIndex(model->index(1, 1));
    QTest::keyClick(grid, Qt::Key_Insert);
    QCOMPARE(model->rowCount(), 4);
    QCOMPARE(model->EditRow(), 1);
    QCOMPARE(grid->currentIndex().row(), 1);
    QCOMPARE(model->headerData(1, Qt::Vertical, Qt::DisplayRole).toString(), QStringLiteral("*"));
    QCOMPARE(Shown(model->index(2, 1)), QStringLiteral("Schulze"));
    // Left without a change, the new record goes.
    grid->setCurrentIndex(model->index(3, 1));
    QCOMPARE(model->rowCount(), 3);

    grid->setCurrentIndex(model->index(0, 1));
    QTest::keyClick(grid, Qt::Key_Insert);
    QVERIFY(model->setData(model->index(0, 1), QStringLiteral("Neu"), Qt::EditRole));
    Nav(work, "NavPost")->trigger();
    QCOMPARE(MsgBox::TakeShownTexts(), QStringList());
    QCOMPARE(work->StatusText(2), QStringLiteral("4"));
    // The key the database gave is shown, so the record can be changed again at once.
    QCOMPARE(Shown(model->index(0, 0)), QStringLiteral("4"));
    QVERIFY(model->setData(model->index(0, 2), QStringLiteral("9"), Qt::EditRole));
    Nav(work, "NavPost")->trigger();
    QCOMPARE(Db(m_sample, QStringLiteral("select Betrag from Kunden where Name = 'Neu'")),
             QStringLiteral("9"));

    // Ctrl+Del asks, Abbrechen keeps the record, OK deletes it by its key.
    grid->setCurrentIndex(model->index(0, 1));
    MsgBox::ScriptAnswers({MsgBox::Button::Cancel});
    QTest::keyClick(grid, Qt::Key_Delete, Qt::ControlModifier);
    QCOMPARE(MsgBox::TakeShownTexts(), QStringList{QStringLiteral("Datensatz löschen?")});
    QCOMPARE(model->rowCount(), 4);
    QTest::keyClick(grid, Qt::Key_Delete, Qt::ControlModifier);
    QCOMPARE(model->rowCount(), 3);
    QCOMPARE(work->StatusText(2), QStringLiteral("3"));
    QCOMPARE(Db(m_sample, QStringLiteral("select count(*) from Kunden")), QStringLiteral("3"));
    QCOMPARE(Shown(model->index(0, 1)), QStringLiteral("Meier"));

    // Deleting a new record while its cell editor is open only drops it.
    QTest::keyClick(grid, Qt::Key_Insert);
    grid->edit(grid->currentIndex());
    QVERIFY(Editing(grid));
    Nav(work, "NavDelete")->trigger();
    QCOMPARE(model->rowCount(), 3);
    QCOMPARE(Db(m_sample, QStringLiteral("select count(*) from Kunden")), QStringLiteral("3"));
    QCOMPARE(Shown(model->index(0, 1)), QStringLiteral("Meier"));

    // A read-only result offers none of it.
    work->BtnReadOnly->click();
    QTRY_VERIFY_WITH_TIMEOUT(!work->Busy(), 10000);
    QVERIFY(!Nav(work, "NavInsert")->isEnabled());
    QVERIFY(!Nav(work, "NavDelete")->isEnabled());
    grid->setCurrentIndex(model->index(0, 1));
    QTest::keyClick(grid, Qt::Key_Insert);
    QCOMPARE(model->rowCount(), 3);
}

void TstWorkGrid::insertReadsBackAGeneratedKeyOnPostgres() {
    REQUIRE_POSTGRES(pg);
    TConnection setup;
    setup.Open(pg);
    setup.Execute(
        QStringLiteral("drop table if exists grid_serial; create table grid_serial "
                       "(id serial primary key, name varchar(20), state varchar(5) default 'neu')"));
    TFrameWork* work = OpenRun(pg, QStringLiteral("select * from grid_serial"), true);
    TResultModel* model = work->Dsr;
    QTest::keyClick(work->GrdResults, Qt::Key_Insert);
    QVERIFY(model->setData(model->index(0, 1), QStringLiteral("eins"), Qt::EditRole));
    Nav(work, "NavPost")->trigger();
    QCOMPARE(MsgBox::TakeShownTexts(), QStringList());
    QCOMPARE(Shown(model->index(0, 0)), QStringLiteral("1"));
    QCOMPARE(Shown(model->index(0, 2)), QStringLiteral("neu"));
    QVERIFY(model->setData(model->index(0, 2), QStringLiteral("alt"), Qt::EditRole));
    Nav(work, "NavPost")->trigger();
    QCOMPARE(Db(pg, QStringLiteral("select state from grid_serial where id = 1")), QStringLiteral("alt"));
    setup.Execute(QStringLiteral("drop table grid_serial"));
}

// Another session holds the row: the post waits off the GUI thread (timers run, the window
// repaints), Escape gives up, and what the user typed stays.
void TstWorkGrid::postWaitingForALockedRowRepaintsAndEscapeCancels() {
    REQUIRE_POSTGRES(pg);
    TConnection holder;
    holder.Open(pg);
    holder.Execute(QStringLiteral("drop table if exists grid_locked; create table grid_locked "
                                  "(id int primary key, name text); insert into grid_locked values (1, 'alt'), (2, 'b')"));
    holder.Execute(QStringLiteral("begin"));
    holder.Execute(QStringLiteral("update grid_locked set name = 'gehalten' where id = 1"));
    TFrameWork* work = OpenRun(pg, QStringLiteral("select * from grid_locked order by id"), true);
    TResultModel* model = work->Dsr;
    work->GrdResults->setCurrentIndex(model->index(0, 1));
    QTest::keyClick(work->GrdResults, Qt::Key_F2);
    auto* editor = qobject_cast<QLineEdit*>(QApplication::focusWidget());
    QVERIFY(editor);
    editor->selectAll();
    QTest::keyClicks(editor, QStringLiteral("neu"));
    QTest::keyClick(editor, Qt::Key_Return);
    QTRY_COMPARE(Shown(model->index(0, 1)), QStringLiteral("neu"));
    QCOMPARE(model->EditRow(), 0);

    int ticks = 0;
    bool escaped = false;
    QTimer watcher;
    watcher.setInterval(100);
    connect(&watcher, &QTimer::timeout, this, [&] {
        ++ticks;
        if (!escaped && Db(pg, QStringLiteral("select count(*) from pg_stat_activity where "
                                              "wait_event_type = 'Lock'")) != QLatin1String("0")) {
            escaped = true;
            QTest::keyClick(work->GrdResults, Qt::Key_Escape);
        }
    });
    watcher.start();
    QTest::keyClick(work->GrdResults, Qt::Key_Down); // leaving the record posts it
    watcher.stop();
    QVERIFY(escaped);
    QVERIFY(ticks > 0);
    // The failure is shown once the view has taken the user back to the record.
    QStringList shown;
    QTRY_COMPARE((shown += MsgBox::TakeShownTexts()).size(), 1);
    QVERIFY2(shown.first().contains(QStringLiteral("abgebrochen")) &&
                 shown.first().contains(QStringLiteral("bleiben erhalten")),
             qPrintable(shown.first()));
    QCOMPARE(model->EditRow(), 0);
    QCOMPARE(Shown(model->index(0, 1)), QStringLiteral("neu"));

    holder.Execute(QStringLiteral("rollback"));
    Nav(work, "NavPost")->trigger();
    QCOMPARE(MsgBox::TakeShownTexts(), QStringList());
    QCOMPARE(Db(pg, QStringLiteral("select name from grid_locked where id = 1")), QStringLiteral("neu"));
    holder.Execute(QStringLiteral("drop table grid_locked"));
}

void TstWorkGrid::binaryCellsReadHexBack_data() {
    QTest::addColumn<bool>("postgres");
    QTest::addColumn<QString>("setup");
    QTest::addColumn<QString>("stored");
    QTest::addColumn<QString>("expected");
    QTest::newRow("SQLite blob") << false << "create table grid_bin(id integer primary key, b blob); "
                                            "insert into grid_bin values (1, x'68656c6c6f'), (2, null)"
                                 << "select typeof(b) || ' ' || hex(b) from grid_bin where id = 1"
                                 << "blob 68656C6C6F00";
    // SQLite keeps bytes in a column declared as text as well; they are shown as hex.
    QTest::newRow("SQLite bytes in a text column")
        << false << "create table grid_bin(id integer primary key, b text); insert into grid_bin values (1, x'68656c6c6f'), (2, null)"
        << "select typeof(b) || ' ' || hex(b) from grid_bin where id = 1" << "blob 68656C6C6F00";
    QTest::newRow("PostgreSQL bytea") << true << "drop table if exists grid_bin; create table grid_bin"
                                                 "(id int primary key, b bytea); insert into grid_bin values "
                                                 "(1, 'hello'::bytea), (2, null)"
                                      << "select pg_typeof(b)::text || ' ' || upper(encode(b, 'hex')) from "
                                         "grid_bin where id = 1"
                                      << "bytea 68656C6C6F00";
}

void TstWorkGrid::binaryCellsReadHexBack() {
    QFETCH(bool, postgres);
    QFETCH(QString, setup);
    QFETCH(QString, stored);
    QFETCH(QString, expected);
    QString connection;
    if (postgres) {
        REQUIRE_POSTGRES(pg);
        connection = pg;
        TConnection c;
        c.Open(pg);
        c.Execute(setup);
    } else {
        connection = Database(QStringLiteral("binary"), setup);
    }
    TFrameWork* work = OpenRun(connection, QStringLiteral("select id, b from grid_bin order by id"), true);
    TResultGrid* grid = work->GrdResults;
    const QModelIndex cell = work->Dsr->index(0, 1);
    QCOMPARE(Shown(cell), QStringLiteral("0x68656C6C6F"));
    const auto type = [grid](const QString& keys) {
        QTest::keyClick(grid, Qt::Key_F2);
        auto* editor = qobject_cast<QLineEdit*>(QApplication::focusWidget());
        QVERIFY(editor);
        QTest::keyClick(editor, Qt::Key_End);
        QTest::keyClicks(editor, keys);
        QTest::keyClick(editor, Qt::Key_Return);
        // The editor is closed by a queued call, as between two key presses of a user.
        QTRY_VERIFY(!Editing(grid));
        QTest::keyClick(grid, Qt::Key_Down);
    };
    QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, grid->visualRect(cell).center());
    type(QStringLiteral("00"));
    QCOMPARE(MsgBox::TakeShownTexts(), QStringList());
    QCOMPARE(Db(connection, stored), expected);
    QCOMPARE(Shown(cell), QStringLiteral("0x68656C6C6F00"));

    // A text that is no hex fails the post with the field named; the typed text stays.
    QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, grid->visualRect(cell).center());
    type(QStringLiteral("G"));
    QTRY_COMPARE(grid->currentIndex().row(), 0);
    QCOMPARE(MsgBox::TakeShownTexts(),
                 QStringList{QStringLiteral("„0x68656C6C6F00G“ ist kein gültiger Wert für das Feld „b“: "
                                            "Binärdaten werden als 0x und eine gerade Anzahl "
                                            "Hexadezimalziffern geschrieben.")});
    QCOMPARE(work->Dsr->EditRow(), 0);
    QCOMPARE(Shown(cell), QStringLiteral("0x68656C6C6F00G"));
    QTest::keyClick(grid, Qt::Key_Escape);
    QCOMPARE(Db(connection, stored), expected);
    if (postgres) {
        TConnection c;
        c.Open(connection);
        c.Execute(QStringLiteral("drop table grid_bin"));
    }
}

void TstWorkGrid::copyTexts_data() {
    QTest::addColumn<QString>("menuItem");
    QTest::addColumn<bool>("withFields");
    QTest::addColumn<int>("column");
    QTest::addColumn<QString>("expected");
    QTest::newRow("all with names") << "MnuPopGrdCopyAll" << true << 0 << "A\tB\r\n1\t\r\n\t2\r\n\t\r\nx\t";
    QTest::newRow("all") << "MnuPopGrdCopyAll" << false << 0 << "1\t\r\n\t2\r\n\t\r\nx\t";
    QTest::newRow("column") << "MnuPopGrdCopyColumn" << false << 0 << "1\r\n\r\n\r\nx";
    QTest::newRow("column with name") << "MnuPopGrdCopyColumn" << true << 1 << "B\r\n\r\n2\r\n\r\n";
    QTest::newRow("row") << "MnuPopGrdCopyRow" << true << 1 << "\t2";
    QTest::newRow("field name") << "MnuPopGrdCopyFieldname" << false << 1 << "B";
}

void TstWorkGrid::copyTexts() {
    QFETCH(QString, menuItem);
    QFETCH(bool, withFields);
    QFETCH(int, column);
    QFETCH(QString, expected);
    TFrameWork* work = OpenRun(m_sample,
                               QStringLiteral("select '1' as A, null as B union all select null, 2 "
                                              "union all select '', '' union all select 'x', null"),
                               false);
    QCOMPARE(work->PopMnuGrd->actions().size(), 10);
    QStringList items;
    for (QAction* a : work->PopMnuGrd->actions())
        items << (a->isSeparator() ? QStringLiteral("-")
                                   : a->text().remove(u'&') + u' ' + a->shortcut().toString(QKeySequence::NativeText));
    QCOMPARE(items, (QStringList{"Zelle kopieren Strg+C", "Zeile kopieren Strg+Alt+C",
                                 "Spalte kopieren Alt+Umsch+C", "Alles kopieren Strg+Alt+Umsch+C", "-",
                                 "Mit Feldnamen ", "-", "Feldname kopieren ", "-",
                                 "Ergebnis exportieren...\tStrg+Umsch+E "}));
    QVERIFY(!work->MnuPopGrdWithFields->isChecked());
    if (withFields)
        work->MnuPopGrdWithFields->trigger();
    work->GrdResults->setCurrentIndex(work->Dsr->index(1, column));
    QApplication::clipboard()->clear();
    work->PopMnuGrd->findChild<QAction*>(menuItem)->trigger();
    QCOMPARE(QApplication::clipboard()->text(), expected);
    // The current record is the one before.
    QCOMPARE(work->GrdResults->currentIndex(), work->Dsr->index(1, column));
}

void TstWorkGrid::copyCellTrimsAndRowKeepsSpaces() {
    TFrameWork* work = OpenRun(m_sample, QStringLiteral("select '  a b  ' as A, ' c' as B"), false);
    TResultGrid* grid = work->GrdResults;
    grid->setCurrentIndex(work->Dsr->index(0, 0));
    QTest::keyClick(grid, Qt::Key_C, Qt::ControlModifier);
    QCOMPARE(QApplication::clipboard()->text(), QStringLiteral("a b"));
    QTest::keyClick(grid, Qt::Key_C, Qt::ControlModifier | Qt::AltModifier);
    QCOMPARE(QApplication::clipboard()->text(), QStringLiteral("  a b  \t c"));
    // Without an open result the commands do nothing.
    work->Query()->Close();
    work->Dsr->SetRecordset(nullptr, false);
    QApplication::clipboard()->setText(QStringLiteral("unverändert"));
    work->MnuPopGrdCopyAll->trigger();
    QCOMPARE(QApplication::clipboard()->text(), QStringLiteral("unverändert"));
}

void TstWorkGrid::selectedBlockIsCopied() {
    TFrameWork* work = OpenRun(m_sample,
                               QStringLiteral("select 'a' as A, 'b' as B, ' c ' as C union all "
                                              "select 'd', null, 'f'"),
                               false);
    TResultGrid* grid = work->GrdResults;
    QHeaderView* header = grid->horizontalHeader();
    const auto cell = [&](int row, int column) { return grid->visualRect(work->Dsr->index(row, column)).center(); };
    const auto title = [header](int column) {
        return QPoint(header->sectionViewportPosition(column) + header->sectionSize(column) / 2, header->height() / 2);
    };
    const auto copied = [grid] {
        QApplication::clipboard()->clear();
        QTest::keyClick(grid, Qt::Key_C, Qt::ControlModifier);
        return QApplication::clipboard()->text();
    };
    QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, cell(0, 0));
    QTest::mouseClick(grid->viewport(), Qt::LeftButton, Qt::ShiftModifier, cell(1, 1));
    QCOMPARE(copied(), QStringLiteral("a\tb\r\nd\t"));
    // Two columns apart: the one between is left out; values are copied as they are.
    QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, title(2));
    QTest::mouseClick(header->viewport(), Qt::LeftButton, Qt::ControlModifier, title(0));
    QCOMPARE(copied(), QStringLiteral("a\t c \r\nd\tf"));
    // One cell is copied trimmed, also from the menu opened on it.
    QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, cell(0, 2));
    QCOMPARE(copied(), QStringLiteral("c"));
    RightClick(grid->viewport(), cell(1, 0));
    QCOMPARE(grid->currentIndex(), work->Dsr->index(1, 0));
    ChooseInMenu(work->PopMnuGrd, work->MnuPopGrdCopyCell);
    QCOMPARE(QApplication::clipboard()->text(), QStringLiteral("d"));
    // The corner selects all; "Mit Feldnamen" puts the names on top.
    RightClick(grid->viewport(), cell(0, 0));
    ChooseInMenu(work->PopMnuGrd, work->MnuPopGrdWithFields);
    auto* indicator = grid->findChild<QWidget*>(QStringLiteral("RowIndicator"));
    QTest::mouseClick(indicator, Qt::LeftButton, {}, QPoint(indicator->width() / 2, 2));
    QCOMPARE(copied(), QStringLiteral("A\tB\tC\r\na\tb\t c \r\nd\t\tf"));
}

void TstWorkGrid::cutValuesShowWholeInToolTips() {
    TFrameWork* work = OpenRun(m_sample,
                               QStringLiteral("select null as N, '' as E, 'kurz' as Kurzer_Wert_mit_langem_Titel, "
                                              "'<b>' || printf('%.300c', 'w') as L, "
                                              "'Zeile 1' || char(13, 10) || 'Zeile 2' as M, 1234567890123 as Z"),
                               false);
    TResultGrid* grid = work->GrdResults;
    const auto index = [work](int column) { return work->Dsr->index(0, column); };
    const auto tip = [&](int column) { return ToolTipAt(grid->viewport(), grid->visualRect(index(column)).center()); };
    const auto markup = TResultCellDelegate::ToolTipMarkup;
    QCOMPARE(tip(0), markup(QStringLiteral("NULL")));
    QCOMPARE(tip(1), markup(QStringLiteral("(leerer Text)")));
    const QString longValue = QStringLiteral("<b>") + QString(300, u'w');
    // Shown as the text it is, never read as markup.
    const QString longTip = tip(3);
    QCOMPARE(longTip, markup(longValue));
    QVERIFY(longTip.contains(QStringLiteral("&lt;b&gt;")));
    QCOMPARE(tip(4), markup(QStringLiteral("Zeile 1\nZeile 2")));
    // Both still copy as the empty text.
    QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, grid->visualRect(index(0)).center());
    QTest::keyClick(grid, Qt::Key_C, Qt::ControlModifier | Qt::AltModifier);
    QCOMPARE(QApplication::clipboard()->text(),
             QStringLiteral("\t\tkurz\t") + longValue + QStringLiteral("\tZeile 1\r\nZeile 2\t1234567890123"));

    // A value that fits has no tool tip; a number too wide shows "###" and itself as tip.
    auto* delegate = qobject_cast<TResultCellDelegate*>(grid->itemDelegate());
    QVERIFY(delegate);
    QCOMPARE(delegate->ToolTip(CellOption(grid, index(2)), index(2)), QString());
    grid->setColumnWidth(5, grid->fontMetrics().horizontalAdvance(QStringLiteral("1234567890123")) + 20);
    QCOMPARE(delegate->DisplayedText(CellOption(grid, index(5)), index(5)), QStringLiteral("1234567890123"));
    grid->setColumnWidth(5, grid->fontMetrics().horizontalAdvance(QStringLiteral("1234567")));
    QCOMPARE(delegate->DisplayedText(CellOption(grid, index(5)), index(5)), QStringLiteral("###"));
    grid->scrollTo(index(5));
    QCOMPARE(tip(5), markup(QStringLiteral("1234567890123")));

    // A title cut off is shown whole over its column, one that fits is not.
    QHeaderView* header = grid->horizontalHeader();
    grid->setColumnWidth(2, 60);
    grid->scrollTo(index(2));
    const QPoint titleAt(header->sectionViewportPosition(2) + 30, header->height() / 2);
    QCOMPARE(ToolTipAt(header->viewport(), titleAt), markup(QStringLiteral("Kurzer_Wert_mit_langem_Titel")));
    QCOMPARE(header->defaultAlignment() & Qt::AlignHorizontal_Mask, Qt::AlignLeft);
}

void TstWorkGrid::hugeValuesPaintCutAndCopyWhole() {
    // Ten million characters in one cell.
    TFrameWork* work = OpenRun(m_sample, QStringLiteral("select 'x' as A, hex(zeroblob(5000000)) as V"), false);
    TResultGrid* grid = work->GrdResults;
    const QModelIndex cell = work->Dsr->index(0, 1);
    const QString shown = Shown(cell);
    QCOMPARE(shown.size(), TResultModel::ShownCharacters + 1);
    QCOMPARE(shown.left(4), QStringLiteral("0000"));
    QCOMPARE(shown.back(), QChar(0x2026));
    grid->viewport()->repaint();
    // A double click on the title's border fits the column, at most to the viewport.
    QHeaderView* header = grid->horizontalHeader();
    QTest::mouseDClick(header->viewport(), Qt::LeftButton, {},
                       QPoint(header->sectionViewportPosition(1) + header->sectionSize(1) - 1, header->height() / 2));
    QCOMPARE(header->sectionSize(1), grid->viewport()->width());
    QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, grid->visualRect(cell).center());
    QTest::keyClick(grid, Qt::Key_C, Qt::ControlModifier);
    const QString copied = QApplication::clipboard()->text();
    QCOMPARE(copied.size(), 10'000'000);
    QVERIFY(copied.count(u'0') == copied.size());
}

void TstWorkGrid::longValueEditedKeepsItsLength() {
    const QString connection =
        Database(QStringLiteral("long"), "create table t(id integer primary key, v text); "
                                         "insert into t values (1, printf('%.40000c', 'w')), (2, 'x')");
    TFrameWork* work = OpenRun(connection, QStringLiteral("select id, v from t order by id"), true);
    TResultGrid* grid = work->GrdResults;
    QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, grid->visualRect(work->Dsr->index(0, 1)).center());
    QTest::keyClick(grid, Qt::Key_F2);
    auto* editor = qobject_cast<QLineEdit*>(QApplication::focusWidget());
    QVERIFY(editor);
    QTest::keyClick(editor, Qt::Key_End);
    QTest::keyClicks(editor, QStringLiteral("z"));
    QTest::keyClick(editor, Qt::Key_Return);
    QTRY_VERIFY(!Editing(grid));
    QTest::keyClick(grid, Qt::Key_Down);
    QCOMPARE(MsgBox::TakeShownTexts(), QStringList());
    QCOMPARE(Db(connection, QStringLiteral("select length(v) || substr(v, -2) from t where id = 1")),
             QStringLiteral("40001wz"));

    // A value of several lines opened and closed unchanged stays as it is.
    TConnection other;
    other.Open(connection);
    other.Execute(QStringLiteral("update t set v = 'a' || char(13, 10) || 'b' where id = 2"));
    Run(work, QStringLiteral("select id, v from t order by id"));
    QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, grid->visualRect(work->Dsr->index(1, 1)).center());
    QTest::keyClick(grid, Qt::Key_F2);
    QVERIFY(Editing(grid));
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
    QTRY_VERIFY(!Editing(grid));
    QTest::keyClick(grid, Qt::Key_Up);
    QCOMPARE(MsgBox::TakeShownTexts(), QStringList());
    QCOMPARE(Db(connection, QStringLiteral("select hex(v) from t where id = 2")), QStringLiteral("610D0A62"));
}

void TstWorkGrid::fieldListFillsAndJumps() {
    QStringList columns;
    for (int i = 1; i <= 80; ++i)
        columns << QStringLiteral("'Wert %1' as F%2").arg(i).arg(i, 2, 10, QLatin1Char('0'));
    TFrameWork* work =
        OpenRun(m_sample, QStringLiteral("select ") + columns.join(QStringLiteral(", ")), false);
    QComboBox* list = work->CbxFieldsSorted;
    QAbstractItemView* popup = list->view();
    TResultGrid* grid = work->GrdResults;
    const auto open = [&] {
        QTest::mouseClick(list, Qt::LeftButton, {}, list->rect().center());
        QTRY_VERIFY(popup->isVisible());
    };

    // Chosen with the mouse: the grid goes to that column and takes the focus.
    open();
    QCOMPARE(list->count(), 80);
    QCOMPARE(list->maxVisibleItems(), 50);
    QCOMPARE(list->itemText(0), QStringLiteral("F01 = Wert 1"));
    QCOMPARE(list->itemText(79), QStringLiteral("F80 = Wert 80"));
    // Past the double-click time, so the popup takes the release as a choice.
    QTest::qWait(QApplication::doubleClickInterval() + 50);
    QTest::mouseClick(popup->viewport(), Qt::LeftButton, {}, popup->visualRect(list->model()->index(5, 0)).center());
    QTRY_COMPARE(grid->currentIndex().column(), 5);
    QTRY_COMPARE(QApplication::focusWidget(), grid);

    // Chosen with the keys: Alt+Down opens, Down moves, Enter chooses.
    list->setFocus();
    QTest::keyClick(list, Qt::Key_Down, Qt::AltModifier);
    QTRY_VERIFY(popup->isVisible());
    for (int i = 0; i < 41; ++i) // from the first entry
        QTest::keyClick(popup, Qt::Key_Down);
    const QString chosen = popup->currentIndex().data().toString();
    QTest::keyClick(popup, Qt::Key_Return);
    QTRY_VERIFY(!popup->isVisible());
    QCOMPARE(chosen, QStringLiteral("F42 = Wert 42"));
    QTRY_COMPARE(grid->currentIndex().column(), 41);
    // The offscreen platform leaves the hidden popup the active window after a key choice:
    // the grid is the window's focus.
    QTRY_COMPARE(grid->window()->focusWidget(), grid);

    // Escape chooses nothing: the grid stays where it was.
    list->setFocus();
    QTest::keyClick(list, Qt::Key_Down, Qt::AltModifier);
    QTRY_VERIFY(popup->isVisible());
    QTest::keyClick(popup, Qt::Key_Down);
    QTest::keyClick(popup, Qt::Key_Escape);
    QTRY_VERIFY(!popup->isVisible());
    QTest::qWait(20);
    QCOMPARE(grid->currentIndex().column(), 41);
    QCOMPARE(MsgBox::TakeShownTexts(), QStringList());

    // A result without records lists the bare names.
    Run(work, QStringLiteral("select Name, Id from Kunden where 0"));
    open();
    QCOMPARE(list->count(), 2);
    QCOMPARE(list->itemText(0), QStringLiteral("Id"));
    QCOMPARE(list->itemText(1), QStringLiteral("Name"));
    QTest::keyClick(popup, Qt::Key_Escape);
    QTRY_VERIFY(!popup->isVisible());
}

void TstWorkGrid::gridSearch() {
    TFrameWork* work =
        OpenRun(m_sample, QStringLiteral("select Id, Name, Betrag from Kunden order by Id"), false);
    TResultGrid* grid = work->GrdResults;
    grid->setCurrentIndex(work->Dsr->index(0, 0));
    Trigger("ActEditSearch");
    QVERIFY(work->FindDialog && work->FindDialog->isVisible());
    QCOMPARE(work->SearchControl, grid);
    const auto find = [&](const QString& text, bool whole, bool matchCase) {
        work->FindDialog->EdtFind->setText(text);
        work->FindDialog->ChkWholeWord->setChecked(whole);
        work->FindDialog->ChkMatchCase->setChecked(matchCase);
        work->FindDialog->BtnFindNext->click();
    };
    // Umlauts keep their case: "müller" is not "MÜLLER"; the record before stays current.
    grid->setCurrentIndex(work->Dsr->index(1, 0));
    find(QStringLiteral("müller"), false, false);
    QCOMPARE(MsgBox::TakeShownTexts(), QStringList{QStringLiteral("Nicht gefunden: müller")});
    QCOMPARE(grid->currentIndex(), work->Dsr->index(1, 0));
    work->FirstSearch = true;
    find(QStringLiteral("mÜller"), false, false);
    QCOMPARE(grid->currentIndex(), work->Dsr->index(2, 1));

    // Whole word: 12 finds no 123; anywhere it does, and "Wiederholen" goes on after it.
    grid->setCurrentIndex(work->Dsr->index(0, 0));
    work->FirstSearch = true;
    find(QStringLiteral("12"), true, false);
    QCOMPARE(MsgBox::TakeShownTexts().size(), 1);
    work->FirstSearch = true;
    find(QStringLiteral("1"), false, false);
    QCOMPARE(grid->currentIndex(), work->Dsr->index(0, 0));
    grid->setFocus();
    Trigger("ActEditSearchAgain");
    QCOMPARE(grid->currentIndex(), work->Dsr->index(0, 2)); // 1,5
    Trigger("ActEditSearchAgain");
    QCOMPARE(grid->currentIndex(), work->Dsr->index(2, 2)); // next record from its first field: 123
    Trigger("ActEditSearchAgain");
    QCOMPARE(MsgBox::TakeShownTexts(), QStringList{QStringLiteral("Nicht gefunden: 1")});
    QCOMPARE(grid->currentIndex(), work->Dsr->index(2, 2));
}

void TstWorkGrid::editorSearch() {
    TFrameWork* work = Open(QStringLiteral("Beispiel"), m_sample);
    // "Wiederholen" before the dialog was ever opened finds nothing to search for.
    work->MemSql->setFocus();
    Trigger("ActEditSearchAgain");
    QCOMPARE(MsgBox::TakeShownTexts(), QStringList{QStringLiteral("Nicht gefunden: ")});
    // An "ß" before the match must not shift it (upper-cased it is two letters).
    work->MemSql->SetLines({QStringLiteral("select 123 -- Straße"), QStringLiteral("from MÜLLER")});
    work->MemSql->SetCaret(0, 0);
    Trigger("ActEditSearch");
    QCOMPARE(work->SearchControl, static_cast<QWidget*>(work->MemSql));
    work->FindDialog->EdtFind->setText(QStringLiteral("müller"));
    work->FindDialog->BtnFindNext->click();
    // The locale folds umlauts in the editor; a line break counts two.
    QCOMPARE(work->MemSql->SelectedText(), QStringLiteral("MÜLLER"));
    work->FindDialog->EdtFind->setText(QStringLiteral("12"));
    work->FindDialog->ChkWholeWord->setChecked(true);
    work->MemSql->SetCaret(0, 0);
    work->FirstSearch = true;
    work->FindDialog->BtnFindNext->click();
    QCOMPARE(work->MemSql->SelectionStartOffset(), 7);
    QCOMPARE(work->MemSql->SelectedText(), QStringLiteral("12"));
    // Both commands stand in the editor's context menu.
    QStringList names;
    for (QAction* a : work->PopMnuMemSql->actions())
        names << a->objectName();
    QVERIFY(names.contains(QStringLiteral("ActEditSearch")) &&
            names.contains(QStringLiteral("ActEditSearchAgain")));
}

void TstWorkGrid::searchNeedsAFocusedGridOrEditor() {
    TFrameWork* work = OpenRun(m_sample, QStringLiteral("select * from Kunden"), false);
    work->LbxTables->setFocus();
    QVERIFY(!work->CanSearch());
    Trigger("ActEditSearch");
    QVERIFY(!work->FindDialog || !work->FindDialog->isVisible());
    work->GrdResults->setFocus();
    QVERIFY(work->CanSearch());
    Run(work, QStringLiteral("update Kunden set Name = Name"));
    work->GrdResults->setFocus();
    QVERIFY(!work->CanSearch());
}

void TstWorkGrid::f2EditsTheCellAndLeavesTheCatalogue() {
    // A catalogue entry is selected, so its F2 would rename it.
    auto* tree = m_window->FrameDBLst->findChild<QTreeWidget*>();
    QVERIFY(tree);
    tree->setCurrentItem(m_window->FrameDBLst->AddEntry(QStringLiteral("Beispiel"), m_sample));
    TFrameWork* work = OpenRun(m_sample, QStringLiteral("select * from Kunden order by Id"), true);
    m_window->UpdateActions();
    QVERIFY(m_window->Action(QStringLiteral("ActDBRename"))->isEnabled());
    TResultGrid* grid = work->GrdResults;
    grid->setFocus();
    grid->setCurrentIndex(work->Dsr->index(0, 1));
    QTest::keyClick(grid, Qt::Key_F2);
    QVERIFY(Editing(grid));
    QVERIFY(!Editing(tree));
    auto* editor = qobject_cast<QLineEdit*>(QApplication::focusWidget());
    QVERIFY(editor);
    editor->selectAll();
    QTest::keyClicks(editor, QStringLiteral("Neu"));
    QTest::keyClick(editor, Qt::Key_Return);
    QTRY_COMPARE(Shown(work->Dsr->index(0, 1)), QStringLiteral("Neu"));
    QVERIFY(!Editing(tree));
    // With the focus in the catalogue F2 renames as before.
    tree->setFocus();
    QTest::keyClick(tree, Qt::Key_F2);
    QVERIFY(Editing(tree));
}

void TstWorkGrid::numbersAreRightAligned() {
    TFrameWork* work =
        OpenRun(m_sample, QStringLiteral("select Id, Name, Betrag from Kunden order by Id"), false);
    const auto alignment = [&](int column) {
        return work->Dsr->index(0, column).data(Qt::TextAlignmentRole).value<Qt::Alignment>() &
               Qt::AlignHorizontal_Mask;
    };
    QCOMPARE(alignment(0), Qt::AlignRight);
    QCOMPARE(alignment(2), Qt::AlignRight);
    QVERIFY(alignment(1) != Qt::AlignRight);
    QCOMPARE(Shown(work->Dsr->index(0, 2)), QStringLiteral("1,5"));
    // A whole copy writes every value as the grid shows it.
    work->MnuPopGrdCopyAll->trigger();
    QCOMPARE(QApplication::clipboard()->text(),
             QStringLiteral("1\tMeier\t1,5\r\n2\tSchulze\t2\r\n3\tMÜLLER\t123"));
}

void TstWorkGrid::cancelDuringExecution() {
    TFrameWork* work = Open(QStringLiteral("Beispiel"), m_sample);
    Run(work,
        QStringLiteral("create table n(x); with recursive c(i) as (select 1 union all select i + 1 from c "
                       "where i < 2000) insert into n select i from c"));
    work->MemSql->SetLines({QStringLiteral("select count(*) from n a, n b, n c")});
    QTimer::singleShot(300, [this] { Trigger("ActSqlCancel"); });
    Trigger("ActSqlExec");
    QTRY_VERIFY(!work->Busy());
    QCOMPARE(MsgBox::TakeShownTexts(), QStringList());
    QVERIFY2(work->StatusText(4).endsWith(QStringLiteral(" s  (abgebrochen)")),
             qPrintable(work->StatusText(4)));
    QCOMPARE(work->StatusText(2), QStringLiteral("0"));
    QVERIFY(QApplication::overrideCursor() == nullptr);
}

void TstWorkGrid::ctrlTabLeadsThroughThePanes() {
    TFrameWork* work = OpenRun(m_sample, QStringLiteral("select * from Kunden"), false);
    const QList<QWidget*> order{work->MemSqlWidget(), work->GrdResults, work->LbxTables,
                                work->LbxFields,      work->GrdHistory, m_window->FrameDBLst->TreeDB};
    work->MemSql->setFocus();
    QTRY_COMPARE(QApplication::focusWidget(), work->MemSql);
    // Tab stays in the editor; Ctrl+Tab goes on, round to the start.
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    QCOMPARE(QApplication::focusWidget(), work->MemSql);
    for (int i = 1; i <= order.size(); ++i) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab, Qt::ControlModifier);
        QCOMPARE(QApplication::focusWidget(), order.at(i % order.size()));
    }
    // Ctrl+Shift+Tab goes back (the keyboard sends it as Backtab).
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Backtab, Qt::ControlModifier | Qt::ShiftModifier);
    QCOMPARE(QApplication::focusWidget(), m_window->FrameDBLst->TreeDB);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Backtab, Qt::ControlModifier | Qt::ShiftModifier);
    QCOMPARE(QApplication::focusWidget(), static_cast<QWidget*>(work->GrdHistory));
    // The menu says so.
    QCOMPARE(m_window->Action(QStringLiteral("ActFocusNext"))->shortcut().toString(QKeySequence::NativeText),
             QStringLiteral("Strg+Tab"));
}

void TstWorkGrid::darkPaletteStaysReadable() {
    StopWindow();
    const QPalette light = QApplication::palette();
    const auto restore = qScopeGuard([&light] { QApplication::setPalette(light); });
    QPalette dark = light;
    dark.setColor(QPalette::Window, QColor(0x30, 0x30, 0x30));
    dark.setColor(QPalette::Base, QColor(0x20, 0x20, 0x20));
    dark.setColor(QPalette::Text, QColor(0xE0, 0xE0, 0xE0));
    dark.setColor(QPalette::WindowText, QColor(0xE0, 0xE0, 0xE0));
    QApplication::setPalette(dark);
    StartWindow();
    QCOMPARE(m_window->FrameDBLst->TreeDB->palette().color(QPalette::Base), QColor(0x20, 0x20, 0x20));
    TFrameWork* work = Open(QStringLiteral("Beispiel"), m_sample);
    QsciLexer* lexer = work->MemSql->lexer();
    const QColor paper = lexer->paper(int(TTokenClass::PlainText));
    QCOMPARE(paper, QColor(0x20, 0x20, 0x20));
    const QList<QPair<TTokenClass, QColor>> designed{{TTokenClass::Comment, QColor(0x808080)},
                                                     {TTokenClass::Strings, QColor(0x800080)},
                                                     {TTokenClass::Number, QColor(0x000080)},
                                                     {TTokenClass::Symbol, QColor(0x0000FF)}};
    for (const auto& [token, colour] : designed) {
        const QColor shown = lexer->color(int(token));
        QVERIFY2(TSqlStyler::ContrastRatio(shown, paper) >= 4.5, qPrintable(shown.name()));
        QCOMPARE(shown.hslHue(), colour.hslHue());
        QVERIFY(shown.lightness() > colour.lightness());
    }
    // On white the designed colours stay as they are.
    QCOMPARE(TSqlStyler::ReadableOn(QColor(0x000080), Qt::white), QColor(0x000080));
    QVERIFY(TSqlStyler::ContrastRatio(Qt::black, Qt::white) > 20.9);
}

void TstWorkGrid::gridIsATableForAssistiveTechnology() {
    TFrameWork* work = OpenRun(m_sample, QStringLiteral("select Id, Name from Kunden order by Id"), false);
    TResultGrid* grid = work->GrdResults;
    QAccessibleInterface* table = QAccessible::queryAccessibleInterface(grid);
    QVERIFY(table && table->tableInterface());
    QCOMPARE(table->role(), QAccessible::Table);
    QCOMPARE(table->text(QAccessible::Name), QStringLiteral("Ergebnis"));
    QCOMPARE(table->tableInterface()->rowCount(), 3);
    QCOMPARE(table->tableInterface()->columnCount(), 2);
    QCOMPARE(table->tableInterface()->columnDescription(1), QStringLiteral("Name"));
    QAccessibleInterface* cell = table->tableInterface()->cellAt(2, 1);
    QCOMPARE(cell->text(QAccessible::Name), QStringLiteral("MÜLLER"));
    QCOMPARE(cell->role(), QAccessible::Cell);
    QCOMPARE(table->indexOfChild(cell), 5);
    QCOMPARE(table->child(5), cell);
    // The current cell is the focused child; a click moves it.
    QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, grid->visualRect(work->Dsr->index(1, 1)).center());
    QAccessibleTableCellInterface* current = table->focusChild()->tableCellInterface();
    QVERIFY(current);
    QCOMPARE(current->rowIndex(), 1);
    QCOMPARE(current->columnIndex(), 1);
    QVERIFY(current->isSelected());
    QCOMPARE(table->childAt(grid->viewport()->mapToGlobal(grid->visualRect(work->Dsr->index(0, 0)).center()).x(),
                            grid->viewport()->mapToGlobal(grid->visualRect(work->Dsr->index(0, 0)).center()).y()),
             table->tableInterface()->cellAt(0, 0));
    // A column chosen by its title is a selected column.
    QHeaderView* header = grid->horizontalHeader();
    QTest::mouseClick(header->viewport(), Qt::LeftButton, {},
                      QPoint(header->sectionViewportPosition(0) + 5, header->height() / 2));
    QCOMPARE(table->tableInterface()->selectedColumns(), QList<int>{0});
    QCOMPARE(table->tableInterface()->selectedCellCount(), 3);
    // Every pane says what it is.
    for (QWidget* pane : QList<QWidget*>{work->MemSqlWidget(), work->LbxTables, work->LbxFields, work->GrdHistory,
                                         work->CbxFieldsSorted, m_window->FrameDBLst->TreeDB})
        QVERIFY2(!pane->accessibleName().isEmpty(), qPrintable(pane->objectName()));
}

QTEST_MAIN(TstWorkGrid)
#include "tst_workgrid.moc"
