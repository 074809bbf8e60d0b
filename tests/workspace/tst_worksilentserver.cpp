// A workspace whose server goes silent in the middle of a statement, through a loopback proxy
// that stops forwarding: cancelling, closing the tab and a termination signal never wait for
// the network.

#include "app/Main.h"
#include "app/Termination.h"
#include "data/Query.h"
#include "editor/SqlEdit.h"
#include "tests/support/TestSupport.h"
#include "tests/workspace/WorkTestBase.h"
#include "ui/MsgBox.h"
#include "workspace/ResultModel.h"
#include "workspace/Work.h"

#include <QAction>
#include <QElapsedTimer>
#include <QTabWidget>
#include <QTest>
#include <QTimer>
#include <csignal>

class TstWorkSilentServer : public TWorkTestBase {
    Q_OBJECT
private slots:
    void initTestCase() { SetUpApplication(); }
    void init() { StartWindow(); }
    void cleanup() { StopWindow(); }
    void silentServerNeverHoldsTheWindow_data();
    void silentServerNeverHoldsTheWindow();
};

void TstWorkSilentServer::silentServerNeverHoldsTheWindow_data() {
    QTest::addColumn<QString>("how");
    QTest::newRow("cancel of a fetch") << "cancel";
    QTest::newRow("Escape in a batch") << "batch";
    QTest::newRow("closing the tab") << "close";
    QTest::newRow("termination signal") << "signal";
}

// The network to the server goes silent while a statement runs: the cancel request cannot get
// through, nor an answer back. Nothing the user does waits for it; a cancel gives up after a
// few seconds and says so, closing does not wait at all.
void TstWorkSilentServer::silentServerNeverHoldsTheWindow() {
    QFETCH(QString, how);
    REQUIRE_POSTGRES(pg);
    TestSupport::TStallingProxy proxy(pg);
    TFrameWork* work = Open(QStringLiteral("PG"), proxy.ConnectionString());
    int ticks = 0;
    QTimer ticker;
    connect(&ticker, &QTimer::timeout, this, [&] { ++ticks; });
    ticker.start(50);
    QElapsedTimer clock;
    if (how == QLatin1String("batch")) {
        work->MemSql->SetLines({QStringLiteral("do $$ begin perform pg_sleep(60); end $$")});
        QTimer::singleShot(500, this, [&] {
            proxy.Stall();
            clock.start();
            QTest::keyClick(work->MemSql, Qt::Key_Escape);
        });
        Trigger("ActSqlExec");
    } else {
        work->MemSql->SetLines({QStringLiteral("select g, pg_sleep(0.001) from generate_series(1, 10000000) g")});
        Trigger("ActSqlExec");
        QTRY_VERIFY_WITH_TIMEOUT(work->Query()->RecordCount() > 10, 30000);
        proxy.Stall();
        clock.start();
        if (how == QLatin1String("close")) {
            Trigger("ActDBClose");
            QCOMPARE(m_window->PageControl->count(), 0);
        } else if (how == QLatin1String("signal")) {
            CloseOnTerminationSignals(m_window.get());
            std::raise(SIGTERM);
            QTRY_VERIFY(!m_window->isVisible());
            m_window.reset();
        } else {
            m_window->Action(QStringLiteral("ActSqlCancel"))->trigger();
            QVERIFY2(clock.elapsed() < 1000, "the cancel waited for the silent server");
            QTRY_VERIFY_WITH_TIMEOUT(!work->Busy(), 30000);
        }
    }
    if (how == QLatin1String("close") || how == QLatin1String("signal")) {
        // Well below the 5 s a cancel is given: closing never waits for the server.
        QVERIFY2(clock.elapsed() < 2500, qPrintable(QString::number(clock.elapsed())));
        return;
    }
    QVERIFY(ticks > 0);
    const QStringList shown = MsgBox::TakeShownTexts();
    QCOMPARE(shown.size(), 1);
    QVERIFY2(shown.first().contains(QStringLiteral("Die Verbindung zum Server wurde getrennt")) &&
                 shown.first().contains(QStringLiteral("Abbruch")),
             qPrintable(shown.first()));
    QVERIFY(!work->Busy());
    if (how == QLatin1String("cancel"))
        QVERIFY(work->Dsr->rowCount() > 10);
    // The next statement runs on a new connection.
    proxy.Stall(false);
    Run(work, QStringLiteral("select 42 as x"));
    QCOMPARE(work->Dsr->index(0, 0).data().toString(), QStringLiteral("42"));
}

QTEST_MAIN(TstWorkSilentServer)
#include "tst_worksilentserver.moc"
