#include "app/Main.h"
#include "data/Connection.h"
#include "data/Query.h"
#include "editor/SqlEdit.h"
#include "settings/IniFileEx.h"
#include "tests/support/TestSupport.h"
#include "tests/workspace/WorkTestBase.h"
#include "ui/MsgBox.h"
#include "workspace/DbNavigator.h"
#include "workspace/FindDialog.h"
#include "workspace/ResultGrid.h"
#include "workspace/ResultModel.h"
#include "workspace/Work.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QTableWidget>
#include <QTabWidget>
#include <QTest>
#include <QToolButton>

// "Zeilen schon beim Laden zeigen": the grid shows the rows of a running fetch and grows with
// them, driven through the real main window with mouse and keys, on SQLite and PostgreSQL.
class TstWorkStream : public TWorkTestBase {
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanup();

    void optionIsOffByDefaultAndStored();
    void rowsShowWhileArriving_data();
    void rowsShowWhileArriving();
    void editingWaitsForTheEnd();
    void finishedResultIsComplete();
    void brokenFetchIsReportedAsWithout();
    void closingTabWhileRowsShow();

private:
    // Clicks the option in the SQL menu of the menu bar.
    void ChooseOption();
    QAction* Option() const { return m_window->Action(QStringLiteral("ActSqlShowWhileFetching")); }
    static QPoint CellCenter(TFrameWork* work, int row, int column) {
        return work->GrdResults->visualRect(work->Dsr->index(row, column)).center();
    }

    QString m_sample;
};

void TstWorkStream::initTestCase() {
    SetUpApplication();
}

void TstWorkStream::init() {
    StartWindow();
    m_sample = Database(QStringLiteral("stream"),
                        "create table t(a integer primary key, b text);"
                        "with recursive n(x) as (select 1 union all select x + 1 from n where x < 3000) "
                        "insert into t select x, 'Name ' || x from n;");
}

void TstWorkStream::cleanup() {
    StopWindow();
}

void TstWorkStream::ChooseOption() {
    QMenuBar* bar = m_window->MainMenu;
    auto* menu = m_window->findChild<QMenu*>(QStringLiteral("MnuSql"));
    QVERIFY(menu);
    QTest::mouseClick(bar, Qt::LeftButton, {}, bar->actionGeometry(menu->menuAction()).center());
    ChooseInMenu(menu, Option());
}

// Off, everything is as before: nothing in the grid until the fetch ends. The choice is
// stored when made and read at the next start.
void TstWorkStream::optionIsOffByDefaultAndStored() {
    QVERIFY(Option()->isCheckable());
    QVERIFY(!Option()->isChecked());
    TFrameWork* work = Open(QStringLiteral("Beispiel"), m_sample);
    work->MemSql->SetLines({QString::fromLatin1(EndlessSelect)});
    Trigger("ActSqlExec");
    QTRY_VERIFY_WITH_TIMEOUT(work->Query()->RecordCount() > 1000, 10000);
    QCOMPARE(work->Dsr->rowCount(), 0);
    Trigger("ActSqlCancel");
    QTRY_VERIFY_WITH_TIMEOUT(!work->Busy(), 10000);

    ChooseOption();
    QVERIFY(Option()->isChecked());
    QCOMPARE(m_store->ReadInteger(QStringLiteral("FrmMain"), QStringLiteral("ShowRowsWhileFetching"), -1), 1);
    m_window.reset();
    m_window = std::make_unique<TFrmMain>();
    m_window->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_window.get()));
    QVERIFY(Option()->isChecked());
    ChooseOption();
    QVERIFY(!Option()->isChecked());
    QCOMPARE(m_store->ReadInteger(QStringLiteral("FrmMain"), QStringLiteral("ShowRowsWhileFetching"), -1), 0);
}

void TstWorkStream::rowsShowWhileArriving_data() {
    QTest::addColumn<bool>("postgres");
    QTest::addColumn<QString>("sql");
    QTest::newRow("SQLite") << false << QString::fromLatin1(EndlessSelect);
    QTest::newRow("PostgreSQL") << true << QString::fromLatin1(EndlessPostgresSelect);
}

// While rows arrive the user scrolls, jumps to the last row so far, copies a cell and
// searches; what must wait for the end is refused with its reason. A cancel ends as without
// the option: the rows so far, the time marked, the place in the grid kept.
void TstWorkStream::rowsShowWhileArriving() {
    QFETCH(bool, postgres);
    QFETCH(QString, sql);
    TFrameWork* work = nullptr;
    if (postgres) {
        REQUIRE_POSTGRES(pg);
        work = Open(QStringLiteral("PG"), pg);
    } else {
        work = Open(QStringLiteral("Beispiel"), m_sample);
    }
    ChooseOption();
    TResultGrid* grid = work->GrdResults;
    work->MemSql->SetLines({sql});
    Trigger("ActSqlExec");
    QVERIFY(work->Busy());
    QTRY_VERIFY_WITH_TIMEOUT(work->Dsr->rowCount() >= grid->FullRows(), 10000);
    QVERIFY(work->Busy());
    QVERIFY(grid->isVisible());
    QCOMPARE(work->StatusText(2), QLocale::system().toString(work->Dsr->rowCount()));
    QCOMPARE(work->Dsr->index(0, 0).data().toString(), QStringLiteral("1"));
    QVERIFY(work->StatusText(2) != QLatin1String("---"));
    // The window is usable: the busy cursor, not the hourglass.
    QVERIFY(QApplication::overrideCursor());
    QCOMPARE(QApplication::overrideCursor()->shape(), Qt::BusyCursor);
    const int first = work->Dsr->rowCount();
    QTRY_VERIFY_WITH_TIMEOUT(work->Dsr->rowCount() > first, 10000);

    // Ctrl+End goes to the last row so far; the grid stays there while more rows come.
    QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, CellCenter(work, 0, 0));
    QTest::keyClick(grid, Qt::Key_End, Qt::ControlModifier);
    const int last = work->Dsr->rowCount() - 1;
    QCOMPARE(grid->currentIndex().row(), last);
    QVERIFY(grid->TopRow() > 0);
    QTRY_VERIFY_WITH_TIMEOUT(work->Dsr->rowCount() > last + 1, 10000);
    QCOMPARE(grid->currentIndex().row(), last);

    QApplication::clipboard()->clear();
    QTest::keyClick(grid, Qt::Key_C, Qt::ControlModifier);
    QCOMPARE(QApplication::clipboard()->text(), QString::number(last + 1));
    RightClick(grid->viewport(), CellCenter(work, last, 0));
    ChooseInMenu(work->PopMnuGrd, work->MnuPopGrdCopyAll);
    QCOMPARE(MsgBox::TakeShownTexts(),
             QStringList{QStringLiteral("Spalten und das ganze Ergebnis lassen sich erst kopieren, wenn alle "
                                        "Datensätze gelesen sind. Warten Sie das Ende ab oder brechen Sie die "
                                        "Abfrage ab.")});
    QVERIFY(!work->BtnReadOnly->isEnabled());
    QVERIFY(!m_window->Action(QStringLiteral("ActSqlExport"))->isEnabled());

    // A search over the rows so far.
    QTest::keyClick(grid, Qt::Key_Home, Qt::ControlModifier);
    QCOMPARE(grid->currentIndex().row(), 0);
    Trigger("ActEditSearch");
    QVERIFY(work->FindDialog && work->FindDialog->isVisible());
    work->FindDialog->EdtFind->selectAll();
    QTest::keyClicks(work->FindDialog->EdtFind, QStringLiteral("25"));
    QTest::mouseClick(work->FindDialog->BtnFindNext, Qt::LeftButton);
    QCOMPARE(grid->currentIndex().row(), 24);
    work->FindDialog->close();

    Trigger("ActSqlCancel");
    QTRY_VERIFY_WITH_TIMEOUT(!work->Busy(), 10000);
    QVERIFY2(work->StatusText(4).endsWith(QStringLiteral(" s  (abgebrochen)")), qPrintable(work->StatusText(4)));
    const qint64 rows = work->Query()->RecordCount();
    QCOMPARE(work->Dsr->rowCount(), int(rows));
    QCOMPARE(work->StatusText(2), QLocale::system().toString(rows));
    QCOMPARE(grid->currentIndex().row(), 24);
    QCOMPARE(MsgBox::TakeShownTexts(), QStringList());
    QVERIFY(QApplication::overrideCursor() == nullptr);
    QVERIFY(work->BtnReadOnly->isEnabled());
}

// An updatable result is read-only while its rows arrive (a post would race the fetch) and
// editable once they stopped.
void TstWorkStream::editingWaitsForTheEnd() {
    REQUIRE_POSTGRES(pg);
    TConnection setup;
    setup.Open(pg);
    setup.Execute(QStringLiteral("drop table if exists stream_t; create table stream_t(id int primary key, b text);"
                                 "insert into stream_t select g, 'Zeile ' || g from generate_series(1, 5000) g"));
    TFrameWork* work = Open(QStringLiteral("PG"), pg);
    ChooseOption();
    QTest::mouseClick(work->BtnReadOnly, Qt::LeftButton);
    QCOMPARE(work->BtnReadOnly->text(), QStringLiteral("RW"));
    TResultGrid* grid = work->GrdResults;
    // Each row takes a few milliseconds: the fetch runs for seconds.
    work->MemSql->SetLines({QStringLiteral("select id, b from stream_t where pg_sleep(0.002)::text = ''")});
    Trigger("ActSqlExec");
    QTRY_VERIFY_WITH_TIMEOUT(work->Dsr->rowCount() >= 3, 10000);
    QVERIFY(work->Busy());
    QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, CellCenter(work, 1, 1));
    QTest::keyClick(grid, Qt::Key_F2);
    QVERIFY(!Editing(grid));
    QVERIFY(!work->Nav->Button(QStringLiteral("NavEdit"))->isEnabled());
    QVERIFY(!work->Nav->Button(QStringLiteral("NavInsert"))->isEnabled());

    Trigger("ActSqlCancel");
    QTRY_VERIFY_WITH_TIMEOUT(!work->Busy(), 10000);
    QVERIFY(work->Nav->Button(QStringLiteral("NavInsert"))->isEnabled());
    QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, CellCenter(work, 1, 1));
    QTest::keyClick(grid, Qt::Key_F2);
    QVERIFY(Editing(grid));
    QTest::keyClick(CellEditor(grid), Qt::Key_Escape);
    QTRY_VERIFY(!Editing(grid));
    QCOMPARE(MsgBox::TakeShownTexts(), QStringList());
    setup.Execute(QStringLiteral("drop table stream_t"));
}

// A fetch that ends by itself leaves the same result as without the option: every row, the
// count, the history entry, the widths the user gave, editable in read/write mode.
void TstWorkStream::finishedResultIsComplete() {
    TFrameWork* work = Open(QStringLiteral("Beispiel"), m_sample);
    ChooseOption();
    QTest::mouseClick(work->BtnReadOnly, Qt::LeftButton);
    Run(work, QStringLiteral("select a, b from t"));
    work->GrdResults->setColumnWidth(1, work->GrdResults->PixelsOf(25));
    Run(work, QStringLiteral("select a, b from t order by a desc"));
    QCOMPARE(work->Dsr->rowCount(), 3000);
    QCOMPARE(work->Dsr->index(0, 0).data().toString(), QStringLiteral("3000"));
    QCOMPARE(work->Dsr->index(2999, 1).data().toString(), QStringLiteral("Name 1"));
    QCOMPARE(work->StatusText(2), QLocale::system().toString(3000));
    QCOMPARE(work->StatusText(0), QStringLiteral("RW"));
    QCOMPARE(work->GrdResults->columnWidth(1), work->GrdResults->PixelsOf(25));
    QCOMPARE(work->GrdResults->columnWidth(0), work->GrdResults->PixelsOf(10));
    QVERIFY(work->Dsr->Editable());
    QCOMPARE(work->GrdHistory->item(0, 0)->text(), QStringLiteral("3000"));
    QVERIFY(QApplication::overrideCursor() == nullptr);

    // A statement that names "select" without returning rows runs the same way.
    Run(work, QStringLiteral("create view v as select a from t"));
    QCOMPARE(MsgBox::TakeShownTexts(), QStringList());
    QVERIFY(!work->LbxTables->findItems(QStringLiteral("v"), Qt::MatchExactly).isEmpty());
    QCOMPARE(work->Dsr->rowCount(), 0);
}

// An error after the first rows: the rows so far stay and the user is told, as without.
void TstWorkStream::brokenFetchIsReportedAsWithout() {
    REQUIRE_POSTGRES(pg);
    TFrameWork* work = Open(QStringLiteral("PG"), pg);
    ChooseOption();
    Run(work, QStringLiteral("select 1 / (5000 - g) as x from generate_series(1, 10000) g"));
    const QStringList shown = MsgBox::TakeShownTexts();
    QCOMPARE(shown.size(), 1);
    QVERIFY2(shown.first().startsWith(QStringLiteral("Das Lesen der Datensätze wurde abgebrochen: ")),
             qPrintable(shown.first()));
    QVERIFY(work->Dsr->rowCount() < 5000);
    QCOMPARE(work->Dsr->rowCount(), int(work->Query()->RecordCount()));
    QVERIFY(QApplication::overrideCursor() == nullptr);
}

// The tab goes while its grid paints rows that are still arriving.
void TstWorkStream::closingTabWhileRowsShow() {
    TFrameWork* work = Open(QStringLiteral("Beispiel"), m_sample);
    ChooseOption();
    work->MemSql->SetLines({QString::fromLatin1(EndlessSelect)});
    Trigger("ActSqlExec");
    QTRY_VERIFY_WITH_TIMEOUT(work->Dsr->rowCount() > 0, 10000);
    work->GrdResults->repaint();
    Trigger("ActDBClose");
    QCOMPARE(m_window->PageControl->count(), 0);
    QTest::qWait(100);
    QCOMPARE(MsgBox::TakeShownTexts(), QStringList());
    QVERIFY(QApplication::overrideCursor() == nullptr);
}

QTEST_MAIN(TstWorkStream)
#include "tst_workstream.moc"
