#include "app/Main.h"
#include "app/Termination.h"
#include "catalogue/DBLst.h"
#include "data/Connection.h"
#include "data/Query.h"
#include "data/RowBudget.h"
#include "editor/SqlEdit.h"
#include "settings/Error.h"
#include "settings/IniFileEx.h"
#include "tests/support/TestSupport.h"
#include "tests/workspace/WorkTestBase.h"
#include "ui/ErrorHandler.h"
#include "ui/KeyNames.h"
#include "ui/MsgBox.h"
#include "workspace/DbNavigator.h"
#include "workspace/EditorRecovery.h"
#include "workspace/HeaderBar.h"
#include "workspace/ResultGrid.h"
#include "workspace/ResultModel.h"
#include "workspace/StatusBar.h"
#include "workspace/Work.h"

#include <QAction>
#include <QComboBox>
#include <QDialog>
#include <QDir>
#include <QElapsedTimer>
#include <QHeaderView>
#include <QLabel>
#include <QListWidget>
#include <QMenu>
#include <QRegularExpression>
#include <QScrollBar>
#include <QSplitter>
#include <QTabWidget>
#include <QTableWidget>
#include <QTest>
#include <QTimer>
#include <csignal>
#include <QToolButton>

#include <memory>

#include <unistd.h>

// The workspace inside the real main window, against real SQLite files (and the test run's
// PostgreSQL server), driven through the main window's actions and keys.
class TstWork : public TWorkTestBase {
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanup();

    void freshWorkspaceHasItsLayout();
    void defaultWindowFitsPaneAndHeaderTools();
    void selectShowsRowsStatusAndHistory();
    void selectThroughPostgres();
    void batchSumsCountsAndAddsHistory();
    void severalSelectsAreRefused();
    void errorsLeaveNothingBusy_data();
    void errorsLeaveNothingBusy();
    void cancelShowsRowsSoFar_data();
    void cancelShowsRowsSoFar();
    void slowOpenKeepsWindowLive();
    void slowBatchKeepsWindowLiveAndCancels_data();
    void slowBatchKeepsWindowLiveAndCancels();
    void connectingNeverFreezesTheWindow();
    void closingTabWhileOpenWaits();
    void fetchBrokenOffIsReported();
    void fetchOutOfRoomKeepsRowsSoFar();
    void tabSwitchRefusedWhileBusy();
    void historyRunRefusedWhileBusy();
    void closeAndReopenRestoresTextAndSizes();
    void emptiedEditorRemovesItsSection();
    void textLeftByAnUncleanEndComesBack();
    void terminationSignalClosesAsTheUserWould();
    void failedOpenLeavesNoTabAndWritesNothing();
    void historyKeepsFiftyNewestFirst();
    void historyTakesStatementBack();
    void historyMenuAndToolTip();
    void readWriteSwitchRerunsAndEdits();
    void columnWidthsFollowFieldNames();
    void tablesListShowsTablesAndViews();
    void tableNameAtCaret_data();
    void tableNameAtCaret();
    void lineGroup_data();
    void lineGroup();
    void chosenTextRuns_data();
    void chosenTextRuns();

private:
    TFrameWork* OpenSample(const QString& name = QStringLiteral("Beispiel"));
    static QString Cell(const QTableWidget* grid, int row, int column);

    QString m_sample;
};

void TstWork::initTestCase() {
    SetUpApplication();
}

void TstWork::init() {
    StartWindow();
    m_sample = Database(QStringLiteral("sample"),
                        "create table t(a integer primary key, b text, c real);"
                        "with recursive n(x) as (select 1 union all select x + 1 from n where x < 1500) "
                        "insert into t select x, 'Name ' || x, x / 4.0 from n;"
                        "create table Kunden(Id integer primary key, Name text);"
                        "insert into Kunden values (1, 'Meier'), (2, 'Schulze');"
                        "create view v as select a from t where a < 10;");
}

void TstWork::cleanup() {
    StopWindow();
}

TFrameWork* TstWork::OpenSample(const QString& name) {
    return Open(name, m_sample);
}

QString TstWork::Cell(const QTableWidget* grid, int row, int column) {
    const QTableWidgetItem* item = grid->item(row, column);
    return item ? item->text() : QString();
}

void TstWork::freshWorkspaceHasItsLayout() {
    TFrameWork* work = OpenSample();
    QVERIFY(work);
    for (const char* name : {"PnlRight",        "PnlRightTables",  "PnlTables",     "LbxTables",
                             "Splitter1",       "Splitter2",       "Splitter3",     "Splitter4",
                             "PnlRightFields",  "PnlFields",       "BtnFieldsSort", "LbxFields",
                             "PnlRightHistory", "PnlHeader",       "GrdHistory",    "PnlLeft",
                             "PnlLeftTop",      "MemSql",          "PnlBottom",     "LblText",
                             "PnlLeftMiddle",   "CbxFieldsSorted", "BtnReadOnly",   "Nav",
                             "GrdResults",      "StatBar",         "PopMnuMemSql",  "PopMnuHistory"})
        QVERIFY2(work->findChild<QObject*>(QLatin1String(name)), name);
    QCOMPARE(work->PnlLeftTop->height(), 82);
    QCOMPARE(work->PnlRight->width(), 197);
    QCOMPARE(work->PnlRightTables->height(), 105);
    QCOMPARE(work->PnlRightFields->height(), 129);
    QCOMPARE(work->MemSql->Lines(), QStringList{QString()});
    QVERIFY(work->PnlBottom->isVisible());
    QVERIFY(!work->LblText->isVisible());
    QCOMPARE(work->BtnReadOnly->text(), QStringLiteral("RO"));
    QCOMPARE(work->GrdHistory->rowCount(), 1);
    QCOMPARE(Cell(work->GrdHistory, 0, 0), QString());
    // The empty history is fitted too: its statement column reaches the right edge of the cells.
    QCOMPARE(work->GrdHistory->columnWidth(0) + work->GrdHistory->columnWidth(1),
             work->GrdHistory->viewport()->width());
    const QStringList panels{"--", "Datensätze", "---", "Zeit", "---", ""};
    for (int i = 0; i < 6; ++i)
        QCOMPARE(work->StatusText(i), panels.at(i));
    QVERIFY(work->StatBar->PanelWidth(1) >= 70);
    QCOMPARE(work->PnlTables->findChild<QLabel*>(QStringLiteral("PnlTablesLabel"))->text(),
             QStringLiteral("Tabellen (3)"));
    // The editor's menu holds the main window's actions.
    QStringList entries;
    for (QAction* action : work->PopMnuMemSql->actions())
        entries.append(action->isSeparator() ? QStringLiteral("-") : action->objectName());
    QCOMPARE(entries,
             (QStringList{"ActSqlExec", "ActSqlExecSelected", "ActSqlExecLine", "ActSqlExecLines",
                          "ActSqlExecTable", "-", "ActEditSearch", "ActEditSearchAgain", "-", "ActDBClose"}));
    QCOMPARE(QApplication::focusWidget(), work->MemSql);

    // Likewise in a further tab.
    const TFrameWork* second = OpenSample(QStringLiteral("Zweite"));
    QCOMPARE(second->GrdHistory->columnWidth(0) + second->GrdHistory->columnWidth(1),
             second->GrdHistory->viewport()->width());
}

// At the window's design size a workspace takes no width from the catalogue pane, and the
// result header's tools and the status panels are shown whole, also after a long status text.
void TstWork::defaultWindowFitsPaneAndHeaderTools() {
    m_window->resize(765, 696);
    QTRY_COMPARE(m_window->width(), 765);
    const int paneWidth = m_window->FrameDBLst->width();
    QVERIFY(paneWidth >= 150);
    TFrameWork* work = OpenSample();
    QVERIFY(work);
    work->SetStatusText(5, QStringLiteral("SQL-Text aus der Wiederherstellungskopie vom 10.12.26 14:45:14, "
                                          "ein langer Text in der Statuszeile"));
    QTest::qWait(50);
    QCOMPARE(m_window->width(), 765);
    QCOMPARE(m_window->FrameDBLst->width(), paneWidth);

    const auto inside = [](const QWidget* widget, const QWidget* area) {
        const QRect rect(widget->mapTo(area, QPoint(0, 0)), widget->size());
        return widget->isVisible() && area->rect().contains(rect) && area->visibleRegion().contains(rect);
    };
    QVERIFY(inside(work->PnlLeftMiddle, work));
    for (QWidget* tool : {static_cast<QWidget*>(work->CbxFieldsSorted),
                          static_cast<QWidget*>(work->BtnReadOnly), static_cast<QWidget*>(work->Nav)})
        QVERIFY2(inside(tool, work->PnlLeftMiddle), qPrintable(tool->objectName()));
    for (QAction* button : work->Nav->actions())
        QVERIFY2(inside(work->Nav->widgetForAction(button), work->Nav), qPrintable(button->objectName()));
    for (int i = 0; i < 5; ++i) {
        auto* panel = work->StatBar->findChild<QLabel*>(QStringLiteral("StatBarPanel%1").arg(i));
        QVERIFY(inside(panel, work->StatBar));
        QVERIFY(panel->width() >= panel->fontMetrics().horizontalAdvance(panel->text()));
        QVERIFY(panel->height() >= panel->fontMetrics().height());
    }
}

void TstWork::selectShowsRowsStatusAndHistory() {
    TFrameWork* work = OpenSample();
    work->MemSql->SetLines({QStringLiteral("select * from t"), QString()});
    work->MemSql->setFocus();
    QTest::keyClick(work->MemSql, Qt::Key_Return, Qt::ControlModifier);
    QTRY_VERIFY_WITH_TIMEOUT(!work->Busy(), 20000);

    QCOMPARE(work->StatusText(0), QStringLiteral("RO"));
    QCOMPARE(work->StatusText(2), QStringLiteral("1.500"));
    QVERIFY2(QRegularExpression(QStringLiteral("^\\d+,\\d{3} s $")).match(work->StatusText(4)).hasMatch(),
             qPrintable(work->StatusText(4)));
    QCOMPARE(work->Dsr->rowCount(), 1500);
    QCOMPARE(work->Dsr->columnCount(), 3);
    QCOMPARE(work->Dsr->headerData(1, Qt::Horizontal, Qt::DisplayRole).toString(), QStringLiteral("b"));
    QCOMPARE(work->Dsr->index(1, 1).data().toString(), QStringLiteral("Name 2"));
    QCOMPARE(work->Dsr->index(1, 2).data().toString(), QStringLiteral("0,5"));
    QCOMPARE(Cell(work->GrdHistory, 0, 0), QStringLiteral("1500"));
    QCOMPARE(Cell(work->GrdHistory, 0, 1), QStringLiteral("select * from t\r\n\r\n"));
    QVERIFY(m_window->Action(QStringLiteral("ActSqlExec"))->isEnabled());
    QVERIFY(!m_window->Action(QStringLiteral("ActSqlCancel"))->isEnabled());
    QVERIFY(QApplication::overrideCursor() == nullptr);
}

void TstWork::selectThroughPostgres() {
    REQUIRE_POSTGRES(pg);
    TFrameWork* work = Open(QStringLiteral("PG"), pg);
    Run(work, QStringLiteral("select g as nr, 'x' || g as name from generate_series(1, 2500) g"));
    QCOMPARE(work->StatusText(2), QStringLiteral("2.500"));
    QCOMPARE(work->StatusText(0), QStringLiteral("RO"));
    QCOMPARE(work->Dsr->rowCount(), 2500);
    QCOMPARE(work->Dsr->index(2499, 1).data().toString(), QStringLiteral("x2500"));
    QCOMPARE(Cell(work->GrdHistory, 0, 0), QStringLiteral("2500"));
}

void TstWork::batchSumsCountsAndAddsHistory() {
    TFrameWork* work = OpenSample();
    Run(work, QStringLiteral("select * from t"));
    Run(work, QStringLiteral("insert into Kunden values (3, 'Neu');\n\ndelete from t where a <= 4;"));
    QCOMPARE(work->StatusText(2), QStringLiteral("5"));
    QCOMPARE(work->StatusText(0), QString());
    QCOMPARE(work->Dsr->rowCount(), 0);
    QCOMPARE(work->Dsr->columnCount(), 0);
    QCOMPARE(Cell(work->GrdHistory, 0, 0), QStringLiteral("4"));
    QCOMPARE(Cell(work->GrdHistory, 0, 1), QStringLiteral("delete from t where a <= 4"));
    QCOMPARE(Cell(work->GrdHistory, 1, 0), QStringLiteral("1"));
    QCOMPARE(Cell(work->GrdHistory, 1, 1), QStringLiteral("insert into Kunden values (3, 'Neu')"));
    QCOMPARE(work->GrdHistory->rowCount(), 3);
    QVERIFY(QApplication::overrideCursor() == nullptr);

    // Statements without a count (DDL) do not pull the total down.
    Run(work, QStringLiteral("create table neu(a integer);\ninsert into neu values (1), (2);\ndrop view v;"));
    QCOMPARE(Cell(work->GrdHistory, 0, 0), QStringLiteral("-1"));
    QCOMPARE(Cell(work->GrdHistory, 2, 0), QStringLiteral("-1"));
    QCOMPARE(work->StatusText(2), QStringLiteral("2"));
    Run(work, QStringLiteral("drop table neu;"));
    QCOMPARE(work->StatusText(2), QStringLiteral("-1"));
}

void TstWork::severalSelectsAreRefused() {
    TFrameWork* work = OpenSample();
    Run(work, QStringLiteral("select 1;\nselect 2;"));
    QCOMPARE(
        MsgBox::TakeShownTexts(),
        QStringList{QStringLiteral("Mehrere SQL-Abfragen (2) können nur dann gleichzeitig ausgeführt werden, "
                                   "wenn sie keine Select-Abfragen sind.")});
    QCOMPARE(Cell(work->GrdHistory, 0, 0), QString());
    QVERIFY(!work->Busy());
    QVERIFY(QApplication::overrideCursor() == nullptr);
}

void TstWork::errorsLeaveNothingBusy_data() {
    QTest::addColumn<QString>("sql");
    QTest::newRow("syntax error in a select") << "select * fromm t";
    QTest::newRow("unknown table") << "select * from gibtsnicht";
    QTest::newRow("failing batch statement") << "insert into gibtsnicht values (1);";
    QTest::newRow("empty editor") << "";
}

void TstWork::errorsLeaveNothingBusy() {
    QFETCH(QString, sql);
    TFrameWork* work = OpenSample();
    Run(work, sql);
    QCOMPARE(MsgBox::TakeShownTexts().size(), 1);
    QVERIFY(!work->Busy());
    QVERIFY(QApplication::overrideCursor() == nullptr);
    QVERIFY(m_window->Action(QStringLiteral("ActSqlExec"))->isEnabled());
    QVERIFY(!m_window->Action(QStringLiteral("ActSqlCancel"))->isEnabled());
    // The workspace works on afterwards.
    Run(work, QStringLiteral("select * from Kunden"));
    QCOMPARE(work->Dsr->rowCount(), 2);
}

void TstWork::cancelShowsRowsSoFar_data() {
    QTest::addColumn<bool>("postgres");
    QTest::addColumn<QString>("sql");
    QTest::newRow("SQLite") << false << QString::fromLatin1(EndlessSelect);
    QTest::newRow("PostgreSQL") << true << QString::fromLatin1(EndlessPostgresSelect);
}

void TstWork::cancelShowsRowsSoFar() {
    QFETCH(bool, postgres);
    QFETCH(QString, sql);
    TFrameWork* work = nullptr;
    if (postgres) {
        REQUIRE_POSTGRES(pg);
        work = Open(QStringLiteral("PG"), pg);
    } else {
        work = OpenSample();
    }
    work->MemSql->SetLines({sql});
    Trigger("ActSqlExec");
    QVERIFY(work->Busy());
    QVERIFY(m_window->Action(QStringLiteral("ActSqlCancel"))->isEnabled());
    QVERIFY(!m_window->Action(QStringLiteral("ActSqlExec"))->isEnabled());
    QTRY_VERIFY_WITH_TIMEOUT(work->Query()->RecordCount() > 1000, 10000);
    // Progress shows at most once a second, while the rows stream in.
    QTRY_VERIFY_WITH_TIMEOUT(work->StatusText(2) != QLatin1String("---"), 5000);
    QCOMPARE(work->StatusText(0), QStringLiteral("RO"));

    m_window->Action(QStringLiteral("ActSqlCancel"))->trigger();
    QTRY_VERIFY_WITH_TIMEOUT(!work->Busy(), 10000);
    QVERIFY2(work->StatusText(4).endsWith(QStringLiteral(" s  (abgebrochen)")),
             qPrintable(work->StatusText(4)));
    const qint64 rows = work->Query()->RecordCount();
    QVERIFY(rows > 1000);
    QCOMPARE(work->Dsr->rowCount(), int(rows));
    QCOMPARE(work->StatusText(2), QLocale::system().toString(rows));
    QCOMPARE(Cell(work->GrdHistory, 0, 0), QString::number(rows));
    QCOMPARE(MsgBox::TakeShownTexts(), QStringList());
    QVERIFY(QApplication::overrideCursor() == nullptr);
}

// While Open waits for a statement that has not yet returned a row, the event loop runs:
// timers fire, and "SQL abbrechen" stops the statement without a message box.
void TstWork::slowOpenKeepsWindowLive() {
    REQUIRE_POSTGRES(pg);
    TFrameWork* work = Open(QStringLiteral("PG"), pg);
    work->MemSql->SetLines({QStringLiteral("select pg_sleep(30)")});
    int ticks = 0;
    QTimer ticker;
    connect(&ticker, &QTimer::timeout, [&] { ++ticks; });
    ticker.start(20);
    // Cancelled once the statement is under way and the timers have fired.
    bool cancelEnabled = false;
    QTimer watch;
    connect(&watch, &QTimer::timeout, [&] {
        if (ticks < 10 || !work->Busy())
            return;
        watch.stop();
        cancelEnabled = m_window->Action(QStringLiteral("ActSqlCancel"))->isEnabled();
        Trigger("ActSqlCancel");
    });
    watch.start(20);
    QElapsedTimer clock;
    clock.start();
    Trigger("ActSqlExec");
    QVERIFY(clock.elapsed() < 25000); // only a hang
    QVERIFY(cancelEnabled);
    QVERIFY2(ticks >= 10, qPrintable(QString::number(ticks)));
    QTRY_VERIFY(!work->Busy());
    QCOMPARE(MsgBox::TakeShownTexts(), QStringList());
    // The same account as a cancelled fetch: the time marked, the statement in the history.
    QVERIFY2(work->StatusText(4).endsWith(QStringLiteral(" s  (abgebrochen)")),
             qPrintable(work->StatusText(4)));
    QCOMPARE(Cell(work->GrdHistory, 0, 0), QStringLiteral("0"));
    QVERIFY(QApplication::overrideCursor() == nullptr);
    Run(work, QStringLiteral("select 1 as eins"));
    QCOMPARE(work->Dsr->rowCount(), 1);
}

void TstWork::slowBatchKeepsWindowLiveAndCancels_data() {
    QTest::addColumn<bool>("postgres");
    QTest::addColumn<QString>("sql");
    QTest::newRow("SQLite")
        << false
        << "update t set b = (with recursive n(x) as (select 1 union all select x + 1 from n "
           "where x < 1000000000) select count(*) from n) where a = 1;";
    QTest::newRow("PostgreSQL") << true << "do $$begin perform pg_sleep(30); end$$;";
}

// A batch statement runs while the window repaints and runs its timers; Escape stops it
// without a message box, with the same account as a cancelled fetch.
void TstWork::slowBatchKeepsWindowLiveAndCancels() {
    QFETCH(bool, postgres);
    QFETCH(QString, sql);
    TFrameWork* work = nullptr;
    if (postgres) {
        REQUIRE_POSTGRES(pg);
        work = Open(QStringLiteral("PG"), pg);
    } else {
        work = OpenSample();
    }
    int ticks = 0;
    QTimer ticker;
    connect(&ticker, &QTimer::timeout, [&] { ++ticks; });
    ticker.start(20);
    // Escape once the running time has shown its first tick and the timers have fired, however
    // long that takes on a slow machine.
    QString timeWhileRunning;
    QTimer watch;
    connect(&watch, &QTimer::timeout, [&] {
        if (ticks < 10 || !work->StatusText(4).endsWith(QStringLiteral(" s ")))
            return;
        watch.stop();
        timeWhileRunning = work->StatusText(4);
        QTest::keyClick(work->MemSql, Qt::Key_Escape);
    });
    watch.start(20);
    QElapsedTimer clock;
    clock.start();
    Run(work, sql);
    QVERIFY(clock.elapsed() < 25000); // only a hang
    QVERIFY2(ticks >= 10, qPrintable(QString::number(ticks)));
    QVERIFY2(timeWhileRunning.endsWith(QStringLiteral(" s ")), qPrintable(timeWhileRunning));
    QCOMPARE(MsgBox::TakeShownTexts(), QStringList());
    QVERIFY2(work->StatusText(4).endsWith(QStringLiteral(" s  (abgebrochen)")),
             qPrintable(work->StatusText(4)));
    QCOMPARE(Cell(work->GrdHistory, 0, 0), QStringLiteral("0"));
    QVERIFY(QApplication::overrideCursor() == nullptr);
    Run(work, QStringLiteral("select 1 as eins"));
    QCOMPARE(work->Dsr->rowCount(), 1);
}

// A server that accepts the connection and never answers: the window repaints and runs its
// timers meanwhile, with the hourglass; Escape gives up at once, otherwise the attempt ends
// with the provider's time-out.
void TstWork::connectingNeverFreezesTheWindow() {
    const TestSupport::TSilentServer server;
    QVERIFY(server.Port() > 0);
    const QString silent = QStringLiteral("Provider=PostgreSQL;Data Source=127.0.0.1:%1;Initial Catalog=x;"
                                          "User ID=u;Password=p;Connect Timeout=2")
                               .arg(server.Port());
    int ticks = 0;
    QTimer ticker;
    connect(&ticker, &QTimer::timeout, [&] { ++ticks; });
    ticker.start(20);

    int cursor = -1;
    QTimer::singleShot(300, [&] {
        cursor = QApplication::overrideCursor() ? int(QApplication::overrideCursor()->shape()) : -1;
        QTest::keyClick(m_window.get(), Qt::Key_F2); // swallowed: no command runs meanwhile
        QTest::keyClick(m_window.get(), Qt::Key_Escape);
    });
    QElapsedTimer waited;
    waited.start();
    QVERIFY_THROWS_EXCEPTION(TAbort, m_window->OpenWorkspace(QStringLiteral("Stumm"), silent));
    QVERIFY2(waited.elapsed() < 2000, "Escape did not end the wait before the time-out");
    QCOMPARE(cursor, int(Qt::WaitCursor));
    QVERIFY(ticks >= 5);
    QCOMPARE(QApplication::overrideCursor(), nullptr);
    QCOMPARE(m_window->PageControl->count(), 0);

    ticks = 0;
    try {
        m_window->OpenWorkspace(QStringLiteral("Stumm"), silent);
        QFAIL("a server that never answers was opened");
    } catch (const TError& e) {
        QVERIFY2(e.Message().startsWith(
                     QStringLiteral("Datenbank kann nicht geöffnet werden, Fehlermeldung: \r\n")),
                 qPrintable(e.Message()));
    }
    QVERIFY2(ticks >= 50, qPrintable(QString::number(ticks))); // about two seconds of a live window
    QCOMPARE(m_window->PageControl->count(), 0);
    QCOMPARE(MsgBox::TakeShownTexts(), QStringList{});
}

void TstWork::closingTabWhileOpenWaits() {
    REQUIRE_POSTGRES(pg);
    TFrameWork* work = Open(QStringLiteral("PG"), pg);
    work->MemSql->SetLines({QStringLiteral("select pg_sleep(30)")});
    QTimer::singleShot(300, [this] { Trigger("ActDBClose"); });
    QElapsedTimer clock;
    clock.start();
    Trigger("ActSqlExec");
    QVERIFY(clock.elapsed() < 10000);
    QCOMPARE(m_window->PageControl->count(), 0);
    QVERIFY(m_window->findChildren<TFrameWork*>().isEmpty());
    QCOMPARE(MsgBox::TakeShownTexts(), QStringList());
    QVERIFY(QApplication::overrideCursor() == nullptr);
    QVERIFY(!m_window->Action(QStringLiteral("ActSqlCancel"))->isEnabled());
}

// An error after the first rows (here a division by zero at row 5000) must not look like a
// complete result: the rows so far are shown, and the user is told.
void TstWork::fetchBrokenOffIsReported() {
    REQUIRE_POSTGRES(pg);
    TFrameWork* work = Open(QStringLiteral("PG"), pg);
    Run(work, QStringLiteral("select 1 / (5000 - g) as x from generate_series(1, 10000) g"));
    const QStringList shown = MsgBox::TakeShownTexts();
    QCOMPARE(shown.size(), 1);
    QVERIFY2(shown.first().startsWith(QStringLiteral("Das Lesen der Datensätze wurde abgebrochen: ")),
             qPrintable(shown.first()));
    QVERIFY(!work->Busy());
    QVERIFY(work->Dsr->rowCount() < 5000);
}

// A result beyond the memory budget whose temporary file cannot be written ends as a cancel
// does: the rows so far are shown, panel 4 says why, and a message names the folder.
void TstWork::fetchOutOfRoomKeepsRowsSoFar() {
    TRowBudget::SetLimit(1 << 20);
    TRowBudget::SetSpillFolder(QStringLiteral("/nonexistent/tabulo-cache"));
    TFrameWork* work = OpenSample();
    Run(work, QString::fromLatin1(EndlessSelect));
    TRowBudget::SetLimit(0);
    TRowBudget::SetSpillFolder({});
    const QStringList shown = MsgBox::TakeShownTexts();
    QCOMPARE(shown.size(), 1);
    QVERIFY2(
        shown.first().contains(QStringLiteral("Der Ordner für Zwischendaten /nonexistent/tabulo-cache fehlt")),
        qPrintable(shown.first()));
    QVERIFY2(work->StatusText(4).endsWith(QStringLiteral(" s  (abgebrochen: Zwischendaten nicht ablegbar)")),
             qPrintable(work->StatusText(4)));
    const qint64 rows = work->Query()->RecordCount();
    QVERIFY(rows > 1000);
    QCOMPARE(work->Dsr->rowCount(), int(rows));
    QCOMPARE(work->StatusText(2), QLocale::system().toString(rows));
    QVERIFY(!work->Busy());
    QVERIFY(QApplication::overrideCursor() == nullptr);
}

void TstWork::tabSwitchRefusedWhileBusy() {
    OpenSample(QStringLiteral("Eins"));
    TFrameWork* second = OpenSample(QStringLiteral("Zwei"));
    second->MemSql->SetLines({QLatin1String(EndlessSelect)});
    Trigger("ActSqlExec");
    QVERIFY(second->Busy());
    m_window->PageControl->setCurrentIndex(0);
    QCOMPARE(m_window->PageControl->currentIndex(), 1);
    QCOMPARE(m_window->windowTitle(), QStringLiteral("Tabulo - Zwei"));
    Trigger("ActSqlCancel");
    QTRY_VERIFY_WITH_TIMEOUT(!second->Busy(), 10000);
    m_window->PageControl->setCurrentIndex(0);
    QCOMPARE(m_window->PageControl->currentIndex(), 0);
}

void TstWork::historyRunRefusedWhileBusy() {
    TFrameWork* work = OpenSample();
    Run(work, QStringLiteral("select * from Kunden"));
    work->MemSql->SetLines({QLatin1String(EndlessSelect)});
    Trigger("ActSqlExec");
    QVERIFY(work->Busy());
    QVERIFY(!work->BtnReadOnly->isEnabled());
    work->GrdHistory->setCurrentCell(0, 1);
    work->PopMnuHistoryExecute->trigger();
    QCOMPARE(MsgBox::TakeShownTexts().size(), 1);
    QVERIFY(work->Busy());
    QVERIFY(work->Query()->Fetching());
    Trigger("ActSqlCancel");
    QTRY_VERIFY_WITH_TIMEOUT(!work->Busy(), 10000);
    QVERIFY(work->BtnReadOnly->isEnabled());
}

void TstWork::closeAndReopenRestoresTextAndSizes() {
    TFrameWork* work = OpenSample();
    const QStringList lines{"select *", "", "  from t  ", "", ""};
    work->MemSql->SetLines(lines);
    work->Splitter1->setSizes({150, work->Splitter1->sizes().value(1) - 68});
    work->Splitter4->setSizes({work->Splitter4->sizes().value(0) - 50, 247});
    work->Splitter3->setSizes({90, work->Splitter3->sizes().value(1) + 15});
    work->Splitter2->setSizes({60, work->Splitter2->sizes().value(1) + 69});
    Run(work, QStringLiteral("select 1"));
    work->MemSql->SetLines(lines);
    Trigger("ActDBClose");
    QCOMPARE(m_window->PageControl->count(), 0);

    work = OpenSample();
    QCOMPARE(work->MemSql->Lines(), lines);
    QCOMPARE(work->PnlLeftTop->height(), 150);
    QCOMPARE(work->PnlRight->width(), 247);
    QCOMPARE(work->PnlRightTables->height(), 90);
    QCOMPARE(work->PnlRightFields->height(), 60);
    QCOMPARE(work->GrdHistory->rowCount(), 1);
    QCOMPARE(Cell(work->GrdHistory, 0, 1), QString());

    // A text longer than the editor opens at its first line.
    QStringList longText;
    for (int i = 1; i <= 30; ++i)
        longText.append(QStringLiteral("-- Zeile %1").arg(i));
    work->MemSql->SetLines(longText);
    Trigger("ActDBClose");
    work = OpenSample();
    QTest::qWait(50);
    QCOMPARE(work->MemSql->SendScintilla(QsciScintillaBase::SCI_GETFIRSTVISIBLELINE), 0L);

    // Closing the program writes every workspace as well.
    work->MemSql->SetLines({QStringLiteral("select 2")});
    QVERIFY(m_window->close());
    QStringList stored;
    m_store->ReadValueList(QStringLiteral("Frame.Beispiel.SQL"), stored);
    QCOMPARE(stored, QStringList{QStringLiteral("select 2")});
}

// The session ending (SIGTERM) closes the window as the user would, also when a modal dialog
// waits for an answer: the text is stored, not left to the recovery copy.
void TstWork::terminationSignalClosesAsTheUserWould() {
    TFrameWork* work = OpenSample();
    work->MemSql->SetLines({QStringLiteral("select 3")});
    CloseOnTerminationSignals(m_window.get());
    {
        QDialog dialog(m_window.get());
        QTimer::singleShot(0, [] { std::raise(SIGTERM); });
        dialog.exec();
    }
    QTRY_VERIFY(!m_window->isVisible());
    QStringList stored;
    m_store->ReadValueList(QStringLiteral("Frame.Beispiel.SQL"), stored);
    QCOMPARE(stored, QStringList{QStringLiteral("select 3")});
    // With the window the handlers go: the next SIGTERM ends the process as it always did.
    m_window.reset();
    struct sigaction action = {};
    sigaction(SIGTERM, nullptr, &action);
    QVERIFY(action.sa_handler == SIG_DFL);
}

// A program that ended without closing the workspace (here: destroyed without FormClose) left
// a recovery copy: the next open shows that text and says so; a clean close removes the copy.
void TstWork::textLeftByAnUncleanEndComesBack() {
    TFrameWork* work = OpenSample();
    work->MemSql->setFocus();
    QTest::keyClicks(work->MemSql, QStringLiteral("select 7"));
    m_window.reset();

    m_window = std::make_unique<TFrmMain>();
    m_window->show();
    work = OpenSample();
    QCOMPARE(work->MemSql->Lines(), QStringList{QStringLiteral("select 7")});
    QVERIFY2(work->StatusText(5).startsWith(QStringLiteral("SQL-Text aus der Wiederherstellungskopie vom ")),
             qPrintable(work->StatusText(5)));
    Trigger("ActDBClose");
    const QDir folder(TEditorRecovery::FolderBeside(m_store->FileName()));
    QCOMPARE(folder.entryList({QStringLiteral("*.sql")}, QDir::Files), QStringList{});

    work = OpenSample();
    QCOMPARE(work->MemSql->Lines(), QStringList{QStringLiteral("select 7")});
    QCOMPARE(work->StatusText(5), QString());
}

void TstWork::emptiedEditorRemovesItsSection() {
    TFrameWork* work = OpenSample();
    work->MemSql->SetLines({QStringLiteral("select 1")});
    Trigger("ActDBClose");
    QVERIFY(m_store->SectionExists(QStringLiteral("Frame.Beispiel.SQL")));
    work = OpenSample();
    work->MemSql->SetLines({});
    Trigger("ActDBClose");
    QVERIFY(!m_store->SectionExists(QStringLiteral("Frame.Beispiel.SQL")));
    work = OpenSample();
    QCOMPARE(work->MemSql->Lines(), QStringList{QString()});
}

void TstWork::failedOpenLeavesNoTabAndWritesNothing() {
    const QString missing = QStringLiteral("Provider=SQLite;Data Source=%1")
                                .arg(QDir(qEnvironmentVariable("TABULO_TEST_TMP")).filePath("fehlt.sqlite"));
    try {
        m_window->OpenWorkspace(QStringLiteral("Fehlt"), missing);
        QFAIL("the open did not fail");
    } catch (const TError& e) {
        QVERIFY2(e.Message().startsWith(
                     QStringLiteral("Datenbank kann nicht geöffnet werden, Fehlermeldung: \r\n")),
                 qPrintable(e.Message()));
        QVERIFY(e.Message().size() > 60);
    }
    QCOMPARE(m_window->PageControl->count(), 0);
    QVERIFY(m_window->findChildren<TFrameWork*>().isEmpty());
    QVERIFY(!m_store->SectionExists(QStringLiteral("Frame.Fehlt")));
    QVERIFY(!m_store->SectionExists(QStringLiteral("Frame.Fehlt.SQL")));
}

void TstWork::historyKeepsFiftyNewestFirst() {
    TFrameWork* work = OpenSample();
    QStringList batch;
    for (int i = 1; i <= 51; ++i)
        batch.append(QStringLiteral("update t set b = b where a = %1;").arg(i));
    Run(work, batch.join(QLatin1Char('\n')));
    QCOMPARE(work->GrdHistory->rowCount(), 50);
    QCOMPARE(Cell(work->GrdHistory, 0, 1), QStringLiteral("update t set b = b where a = 51"));
    QCOMPARE(Cell(work->GrdHistory, 49, 1), QStringLiteral("update t set b = b where a = 2"));
    QCOMPARE(Cell(work->GrdHistory, 0, 0), QStringLiteral("1"));
    QCOMPARE(work->StatusText(2), QStringLiteral("51"));
    // The statement column reaches the right edge of the cells, left of the scroll bar; the
    // count column fits its text.
    QTableWidget* grid = work->GrdHistory;
    QVERIFY(grid->verticalScrollBar()->isVisible());
    QCOMPARE(grid->columnWidth(0) + grid->columnWidth(1), grid->viewport()->width());
    const int oneDigit = work->GrdHistory->columnWidth(0);
    work->AddHistory(-1, QStringLiteral("exec p"));
    QCOMPARE(Cell(work->GrdHistory, 0, 0), QStringLiteral("-1"));
    const QFontMetrics metrics(work->GrdHistory->font());
    QCOMPARE(work->GrdHistory->columnWidth(0) - oneDigit,
             qMax(5, metrics.horizontalAdvance(QStringLiteral("-1"))) -
                 qMax(5, metrics.horizontalAdvance(QStringLiteral("1"))));
    work->Splitter4->setSizes(
        {work->Splitter4->sizes().value(0) - 80, work->Splitter4->sizes().value(1) + 80});
    QCOMPARE(grid->columnWidth(0) + grid->columnWidth(1), grid->viewport()->width());

    // A click on a statement leaves the counts in sight, a large one too.
    work->AddHistory(1000000, QStringLiteral("select 1"));
    QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, grid->visualRect(grid->model()->index(2, 1)).center());
    QCOMPARE(grid->currentRow(), 2);
    QCOMPARE(grid->horizontalScrollBar()->value(), 0);
    const QRect count = grid->visualRect(grid->model()->index(0, 0));
    QVERIFY(count.left() >= 0 && count.right() < grid->viewport()->width());
    QVERIFY(count.width() > metrics.horizontalAdvance(QStringLiteral("1000000")));
}

void TstWork::historyTakesStatementBack() {
    TFrameWork* work = OpenSample();
    QTableWidget* grid = work->GrdHistory;
    const auto cell = [grid](int row) { return grid->visualRect(grid->model()->index(row, 1)).center(); };
    // A fresh history's empty row inserts nothing but focuses the editor.
    DoubleClick(grid->viewport(), cell(0));
    QTRY_COMPARE(QApplication::focusWidget(), work->MemSql);
    QCOMPARE(work->MemSql->Lines(), QStringList{QString()});
    Run(work, QStringLiteral("select a\nfrom t where a < 3"));
    Run(work, QStringLiteral("select * from Kunden"));
    work->MemSql->SetLines({QStringLiteral("-- ")});
    work->MemSql->SetCaret(0, 3);
    DoubleClick(grid->viewport(), cell(1));
    QTRY_COMPARE(work->MemSql->Lines(), (QStringList{"-- select a", "   from t where a < 3"}));
    QCOMPARE(QApplication::focusWidget(), work->MemSql);

    // "Ausführen" runs the row the menu was opened on again and records it on top.
    RightClick(grid->viewport(), cell(1));
    ChooseInMenu(work->PopMnuHistory, work->PopMnuHistoryExecute);
    QTRY_VERIFY_WITH_TIMEOUT(!work->Busy(), 10000);
    QCOMPARE(work->Dsr->rowCount(), 2);
    QCOMPARE(Cell(grid, 0, 1), QStringLiteral("select a\r\nfrom t where a < 3\r\n"));
}

void TstWork::historyMenuAndToolTip() {
    TFrameWork* work = OpenSample();
    for (int i = 1; i <= 5; ++i)
        work->AddHistory(i, QStringLiteral("select %1 as n").arg(6 - i));
    QTableWidget* grid = work->GrdHistory;
    const auto center = [grid](int row, int column) {
        return grid->visualRect(grid->model()->index(row, column)).center();
    };
    const auto selectRows = [grid, &center](int first, int last) {
        QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, center(first, 1));
        QTest::mouseClick(grid->viewport(), Qt::LeftButton, Qt::ShiftModifier, center(last, 1));
        QCOMPARE(grid->selectedItems().size(), last - first + 1);
    };

    // Opening the menu on a row's count selects that row's statement alone.
    selectRows(0, 1);
    RightClick(grid->viewport(), center(3, 0));
    QTRY_VERIFY(work->PopMnuHistory->isVisible());
    QTest::keyClick(work->PopMnuHistory, Qt::Key_Escape);
    QTRY_VERIFY(!work->PopMnuHistory->isVisible());
    QCOMPARE(grid->selectedItems().size(), 1);
    QCOMPARE(grid->selectedItems().first()->text(), QStringLiteral("select 4 as n"));

    // Below the last row the selection stays; "Ausführen" runs its first row only.
    selectRows(2, 4);
    const QPoint below(5, grid->viewport()->height() - 2);
    QVERIFY(!grid->indexAt(below).isValid());
    RightClick(grid->viewport(), below);
    ChooseInMenu(work->PopMnuHistory, work->PopMnuHistoryExecute);
    QTRY_VERIFY_WITH_TIMEOUT(!work->Busy(), 10000);
    QCOMPARE(Cell(grid, 0, 1), QStringLiteral("select 3 as n\r\n"));
    QCOMPARE(work->Dsr->index(0, 0).data().toString(), QStringLiteral("3"));

    // Resting on a statement shows it whole; over the count column nothing.
    QTest::mouseMove(grid->viewport(), center(1, 1));
    QTRY_COMPARE(grid->toolTip(), Cell(grid, 1, 1));
    QTest::mouseMove(grid->viewport(), center(1, 0));
    QTRY_COMPARE(grid->toolTip(), QString());
}

void TstWork::readWriteSwitchRerunsAndEdits() {
    TFrameWork* work = OpenSample();
    Run(work, QStringLiteral("select * from Kunden"));
    QCOMPARE(work->StatusText(0), QStringLiteral("RO"));
    QVERIFY(!(work->Dsr->flags(work->Dsr->index(0, 1)) & Qt::ItemIsEditable));
    work->BtnReadOnly->click();
    QTRY_VERIFY_WITH_TIMEOUT(!work->Busy(), 10000);
    QCOMPARE(work->BtnReadOnly->text(), QStringLiteral("RW"));
    QCOMPARE(work->BtnReadOnly->toolTip(), QStringLiteral("Read/write"));
    QCOMPARE(work->StatusText(0), QStringLiteral("RW"));
    QCOMPARE(work->GrdHistory->rowCount(), 2);
    QVERIFY(work->Dsr->setData(work->Dsr->index(1, 1), QStringLiteral("Schmidt"), Qt::EditRole));
    work->PostGridEdits();

    TConnection check;
    check.Open(m_sample);
    auto rows = check.OpenSchema(TSchemaKind::Tables); // the connection works
    TQuery query;
    query.SetConnection(&check);
    query.SetSql(QStringLiteral("select Name from Kunden where Id = 2"));
    query.Open();
    QCOMPARE(query.Fields()[0].AsText(), QStringLiteral("Schmidt"));

    work->BtnReadOnly->click();
    QTRY_VERIFY_WITH_TIMEOUT(!work->Busy(), 10000);
    QCOMPARE(work->BtnReadOnly->text(), QStringLiteral("RO"));
    QCOMPARE(work->StatusText(0), QStringLiteral("RO"));
}

void TstWork::columnWidthsFollowFieldNames() {
    TFrameWork* work = OpenSample();
    Run(work, QStringLiteral("select a, b from t"));
    const int tenChars = work->GrdResults->PixelsOf(10);
    QCOMPARE(work->GrdResults->columnWidth(0), tenChars);
    work->GrdResults->horizontalHeader()->resizeSection(1, work->GrdResults->PixelsOf(25));
    Run(work, QStringLiteral("select c, B from t"));
    QCOMPARE(work->GrdResults->columnWidth(0), tenChars);
    QCOMPARE(work->GrdResults->columnWidth(1), work->GrdResults->PixelsOf(25));
}

void TstWork::tablesListShowsTablesAndViews() {
    TFrameWork* work = OpenSample();
    QStringList names;
    for (int i = 0; i < work->LbxTables->count(); ++i)
        names.append(work->LbxTables->item(i)->text());
    QCOMPARE(names, (QStringList{"Kunden", "t", "v"}));
    work->LbxTables->item(0)->setSelected(true);
    work->RefreshFields();
    QCOMPARE(work->LbxFields->count(), 2);
    QCOMPARE(work->PnlFields->findChild<QLabel*>(QStringLiteral("PnlFieldsLabel"))->text(),
             QStringLiteral("Felder (2)"));

    // F8 with the tables list focused shows its current table.
    work->LbxTables->setCurrentRow(1);
    work->LbxTables->setFocus();
    Trigger("ActSqlExecTable");
    QTRY_VERIFY_WITH_TIMEOUT(!work->Busy(), 10000);
    QCOMPARE(Cell(work->GrdHistory, 0, 1), QStringLiteral("SELECT * FROM t\r\n"));
    QCOMPARE(work->Dsr->rowCount(), 1500);

    const QString empty = Database(QStringLiteral("leer"), {});
    work = Open(QStringLiteral("Leer"), empty);
    QCOMPARE(work->LbxTables->count(), 0);
    QCOMPARE(work->PnlTables->findChild<QLabel*>(QStringLiteral("PnlTablesLabel"))->text(),
             QStringLiteral("Tabellen (0)"));
}

void TstWork::tableNameAtCaret_data() {
    QTest::addColumn<QString>("line");
    QTest::addColumn<int>("column");
    QTest::addColumn<QString>("name");
    QTest::newRow("after the dot of dbo.Orders") << "select * from dbo.Orders" << 20 << "Orders";
    QTest::newRow("inside [Order Details]") << "select * from [Order Details]" << 23 << "Details";
    QTest::newRow("right after t1") << "from t1 where" << 7 << "t1";
    QTest::newRow("before the first character") << "Kunden" << 0 << "Kunden";
    QTest::newRow("tab and umlaut belong to the name")
        << QString::fromUtf8("x\tKündenÄ y") << 3 << QString::fromUtf8("x\tKündenÄ");
    QTest::newRow("section sign delimits") << QString::fromUtf8("a§b") << 3 << "b";
    QTest::newRow("hash and underscore belong to the name") << "#tmp_1" << 2 << "#tmp_1";
    QTest::newRow("between delimiters") << "a ( b" << 2 << "";
    QTest::newRow("beyond the end of the line") << "from t" << 8 << "";
    QTest::newRow("at the end of the line") << "from t" << 6 << "t";
}

void TstWork::tableNameAtCaret() {
    QFETCH(QString, line);
    QFETCH(int, column);
    QFETCH(QString, name);
    QCOMPARE(TFrameWork::TableNameAt(line, column), name);
}

void TstWork::lineGroup_data() {
    QTest::addColumn<QStringList>("lines");
    QTest::addColumn<int>("caret");
    QTest::addColumn<QString>("text");
    const QStringList lines{"select 0", "", "select a", "  from t", "where 1=1", " \t", "select 9"};
    QTest::newRow("middle of three lines") << lines << 3 << "select a\r\n  from t\r\nwhere 1=1\r\n";
    QTest::newRow("first line of the text") << lines << 0 << "select 0\r\n";
    QTest::newRow("blank caret line") << lines << 5 << "";
    QTest::newRow("last line of the text") << lines << 6 << "select 9\r\n";
    QTest::newRow("empty caret line") << lines << 1 << "";
}

void TstWork::lineGroup() {
    QFETCH(QStringList, lines);
    QFETCH(int, caret);
    QFETCH(QString, text);
    QCOMPARE(TFrameWork::LineGroupAt(lines, caret), text);
}

void TstWork::chosenTextRuns_data() {
    QTest::addColumn<QString>("action");
    QTest::addColumn<int>("caretLine");
    QTest::addColumn<int>("caretColumn");
    QTest::addColumn<QString>("history"); // the statement recorded; empty: nothing ran
    const QString lines =
        QStringLiteral("select * from Kunden\nselect a from t where a = 1\n\nselect a\nfrom v");
    QTest::newRow("line") << "ActSqlExecLine" << 1 << 3 << "select a from t where a = 1\r\n";
    QTest::newRow("empty line runs nothing") << "ActSqlExecLine" << 2 << 0 << "";
    QTest::newRow("line group") << "ActSqlExecLines" << 4 << 0 << "select a\r\nfrom v\r\n";
    QTest::newRow("table at caret") << "ActSqlExecTable" << 4 << 6 << "SELECT * FROM v\r\n";
    QTest::newRow("table beyond the line's end") << "ActSqlExecTable" << 4 << 9 << "";
    QTest::newRow("selected without selection") << "ActSqlExecSelected" << 0 << 0 << "";
}

void TstWork::chosenTextRuns() {
    QFETCH(QString, action);
    QFETCH(int, caretLine);
    QFETCH(int, caretColumn);
    QFETCH(QString, history);
    TFrameWork* work = OpenSample();
    work->MemSql->SetLines(
        QStringLiteral("select * from Kunden\nselect a from t where a = 1\n\nselect a\nfrom v")
            .split(QLatin1Char('\n')));
    work->MemSql->setFocus();
    work->MemSql->SetCaret(caretLine, caretColumn);
    m_window->Action(action)->trigger();
    QTRY_VERIFY_WITH_TIMEOUT(!work->Busy(), 10000);
    QCOMPARE(MsgBox::TakeShownTexts(), QStringList());
    QCOMPARE(Cell(work->GrdHistory, 0, 1), history);
}

QTEST_MAIN(TstWork)
#include "tst_work.moc"
