// A PostgreSQL server that goes away, goes silent or holds a row: against the real server of the
// test run (TABULO_TEST_PG), a loopback proxy that stops forwarding on request, a second
// session holding a row lock and pg_terminate_backend. Nothing may report a false success,
// and nothing the user waits on may wait for a silent network.

#include "data/Connection.h"
#include "data/ConnectionString.h"
#include "data/DataError.h"
#include "data/Provider.h"
#include "data/Query.h"
#include "tests/support/TestSupport.h"

#include <QElapsedTimer>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTest>

#include <thread>

namespace {

const QString Lost = QStringLiteral("Die Verbindung zum Server wurde getrennt; eine offene Transaktion wurde "
                                    "zurückgerollt");

std::unique_ptr<TConnection> Connect(const QString& connectionString) {
    auto c = std::make_unique<TConnection>();
    c->SetCommandTimeout(0);
    c->Open(connectionString);
    return c;
}

QString Scalar(TConnection& c, const QString& sql) {
    TQuery q;
    q.SetConnection(&c);
    q.SetSql(sql);
    q.Open();
    return q.Fields()[0].AsText();
}

QString ErrorOf(const std::function<void()>& call) {
    try {
        call();
    } catch (const TError& e) {
        return e.Message();
    }
    return QStringLiteral("(no error)");
}

// Waits, generously, until the server shows a session waiting for a lock.
bool WaitForLockWait(TConnection& observer) {
    for (int i = 0; i < 200; ++i) {
        if (Scalar(observer, QStringLiteral("SELECT count(*) FROM pg_stat_activity WHERE wait_event_type = 'Lock'")) !=
            QLatin1String("0"))
            return true;
        QThread::msleep(50);
    }
    return false;
}

} // namespace

class TestLostServer : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();

    void lostTransactionIsNeverCommitted_data();
    void lostTransactionIsNeverCommitted();
    void lossFoundByASchemaReadIsToldBeforeReconnecting();
    void odbcNeverCommitsALostTransaction();
    void cancelAgainstASilentServerGivesUp();
    void closingDuringASilentFetchDoesNotWait();
    void rowPostWaitsForALockOnlySoLong();
    void rowPostCanBeCancelled();

private:
    QString m_base;
    QString m_schema;
    QString m_connectionString;
    std::unique_ptr<TConnection> m_admin;
};

void TestLostServer::initTestCase() {
    REQUIRE_POSTGRES(base);
    m_base = base;
    m_schema = QStringLiteral("tst_lost_%1_%2")
                   .arg(QCoreApplication::applicationPid())
                   .arg(QRandomGenerator::global()->bounded(1000000));
    m_admin = Connect(base);
    m_admin->Execute(QStringLiteral("CREATE SCHEMA %1").arg(m_schema));
    m_connectionString = base + QStringLiteral(";options='-c search_path=%1'").arg(m_schema);
    m_admin->Execute(QStringLiteral("CREATE TABLE %1.t (id int PRIMARY KEY, name text)").arg(m_schema));
}

void TestLostServer::cleanupTestCase() {
    if (m_admin)
        m_admin->Execute(QStringLiteral("DROP SCHEMA %1 CASCADE").arg(m_schema));
}

void TestLostServer::lostTransactionIsNeverCommitted_data() {
    QTest::addColumn<QString>("commit");
    QTest::addColumn<bool>("statementBetween");
    QTest::newRow("commit right after the loss") << "COMMIT" << false;
    QTest::newRow("end after a failed insert") << "end" << true;
}

void TestLostServer::lostTransactionIsNeverCommitted() {
    QFETCH(QString, commit);
    QFETCH(bool, statementBetween);
    m_admin->Execute(QStringLiteral("DELETE FROM %1.t").arg(m_schema));
    auto c = Connect(m_connectionString);
    c->Execute(QStringLiteral("BEGIN"));
    c->Execute(QStringLiteral("INSERT INTO t VALUES (1, 'lost')"));
    const QString pid = Scalar(*c, QStringLiteral("SELECT pg_backend_pid()"));
    m_admin->Execute(QStringLiteral("SELECT pg_terminate_backend(%1, 5000)").arg(pid));
    if (statementBetween)
        QVERIFY(ErrorOf([&] { c->Execute(QStringLiteral("INSERT INTO t VALUES (2, 'lost')")); }).startsWith(Lost));
    // The first and every retried commit fail; none may succeed on a new connection.
    QVERIFY(ErrorOf([&] { c->Execute(commit); }).startsWith(Lost));
    QVERIFY(ErrorOf([&] { c->Execute(commit); }).startsWith(Lost));
    QCOMPARE(Scalar(*m_admin, QStringLiteral("SELECT count(*) FROM %1.t").arg(m_schema)), QStringLiteral("0"));
    // Once the user has moved on, the new connection works as any other.
    c->Execute(QStringLiteral("ROLLBACK"));
    c->Execute(QStringLiteral("INSERT INTO t VALUES (3, 'kept')"));
    c->Execute(commit);
    QCOMPARE(Scalar(*m_admin, QStringLiteral("SELECT count(*) FROM %1.t").arg(m_schema)), QStringLiteral("1"));
}

void TestLostServer::lossFoundByASchemaReadIsToldBeforeReconnecting() {
    m_admin->Execute(QStringLiteral("DELETE FROM %1.t").arg(m_schema));
    auto c = Connect(m_connectionString);
    c->Execute(QStringLiteral("BEGIN"));
    c->Execute(QStringLiteral("INSERT INTO t VALUES (1, 'lost')"));
    const QString pid = Scalar(*c, QStringLiteral("SELECT pg_backend_pid()"));
    m_admin->Execute(QStringLiteral("SELECT pg_terminate_backend(%1, 5000)").arg(pid));
    // The tables list finds the loss; its error goes into the list, not to the user.
    QVERIFY_THROWS_EXCEPTION(TDataError, c->OpenSchema(TSchemaKind::Tables));
    // So the next statement says it, and runs nothing: its insert would be committed alone.
    QVERIFY(ErrorOf([&] { c->Execute(QStringLiteral("INSERT INTO t VALUES (2, 'alone')")); }).startsWith(Lost));
    QCOMPARE(Scalar(*m_admin, QStringLiteral("SELECT count(*) FROM %1.t").arg(m_schema)), QStringLiteral("0"));
    QVERIFY(ErrorOf([&] { c->Execute(QStringLiteral("COMMIT")); }).startsWith(Lost));
}

// Through psqlODBC the driver reports the loss; nothing reconnects behind the user's back.
void TestLostServer::odbcNeverCommitsALostTransaction() {
    const TConnectionString pg(m_base);
    const QString source = pg.Value(QStringLiteral("Data Source"));
    std::unique_ptr<TConnection> c;
    try {
        c = Connect(QStringLiteral("Provider=ODBC;Driver={PostgreSQL Unicode};Server=%1;Port=%2;Database=%3;"
                                   "User ID=%4;Password=%5")
                        .arg(source.section(u':', 0, 0), source.section(u':', 1, 1),
                             pg.Value(QStringLiteral("Initial Catalog")), pg.Value(QStringLiteral("User ID")),
                             pg.Value(QStringLiteral("Password"))));
    } catch (const TDataError& e) {
        QSKIP(qPrintable(QStringLiteral("psqlODBC is not usable here: ") + e.Message()));
    }
    m_admin->Execute(QStringLiteral("DELETE FROM %1.t").arg(m_schema));
    c->Execute(QStringLiteral("BEGIN"));
    c->Execute(QStringLiteral("INSERT INTO %1.t VALUES (1, 'lost')").arg(m_schema));
    const QString pid = Scalar(*c, QStringLiteral("SELECT pg_backend_pid()"));
    m_admin->Execute(QStringLiteral("SELECT pg_terminate_backend(%1, 5000)").arg(pid));
    QVERIFY_THROWS_EXCEPTION(TDataError, c->Execute(QStringLiteral("COMMIT")));
    QVERIFY_THROWS_EXCEPTION(TDataError, c->Execute(QStringLiteral("COMMIT")));
    QCOMPARE(Scalar(*m_admin, QStringLiteral("SELECT count(*) FROM %1.t").arg(m_schema)), QStringLiteral("0"));
}

void TestLostServer::cancelAgainstASilentServerGivesUp() {
    TestSupport::TStallingProxy proxy(m_connectionString);
    QVERIFY(proxy.Port() > 0);
    auto c = Connect(proxy.ConnectionString());
    c->Execute(QStringLiteral("BEGIN"));
    TQuery q;
    q.SetConnection(c.get());
    q.SetExecuteOptions(TExecuteOption::AsyncFetch);
    q.SetSql(QStringLiteral("SELECT g, pg_sleep(0.001) FROM generate_series(1, 10000000) g"));
    QSignalSpy complete(&q, &TQuery::FetchComplete);
    q.Open();
    QTRY_VERIFY_WITH_TIMEOUT(q.RecordCount() > 10, 30000);
    proxy.Stall();
    // The cancel request cannot reach the server now; asking for it must not wait for that.
    QElapsedTimer clock;
    clock.start();
    c->Cancel();
    QVERIFY2(clock.elapsed() < 1000, "the cancel waited for the silent server");
    QVERIFY(complete.wait(30000));
    QVERIFY(q.FetchConnectionLost());
    const QString error = complete.first().first().toString();
    QVERIFY2(error.startsWith(Lost) && error.contains(QLatin1String("Abbruch")), qPrintable(error));
    QVERIFY(q.RecordCount() > 10); // the rows so far stay
    proxy.Stall(false);
    QVERIFY(ErrorOf([&] { c->Execute(QStringLiteral("COMMIT")); }).startsWith(Lost));
    QCOMPARE(Scalar(*c, QStringLiteral("SELECT 7")), QStringLiteral("7"));
}

void TestLostServer::closingDuringASilentFetchDoesNotWait() {
    TestSupport::TStallingProxy proxy(m_connectionString);
    auto c = Connect(proxy.ConnectionString());
    TQuery q;
    q.SetConnection(c.get());
    q.SetExecuteOptions(TExecuteOption::AsyncFetch);
    q.SetSql(QStringLiteral("SELECT g, pg_sleep(0.001) FROM generate_series(1, 10000000) g"));
    q.Open();
    QTRY_VERIFY_WITH_TIMEOUT(q.RecordCount() > 10, 30000);
    proxy.Stall();
    QElapsedTimer clock;
    clock.start();
    c->Close();
    // Well below the time a cancel is given to be answered: closing never waits for it.
    QVERIFY2(clock.elapsed() < 2500, // half of the 5 s a cancel is given
             qPrintable(QString::number(clock.elapsed())));
    QVERIFY(!q.Active());
}

void TestLostServer::rowPostWaitsForALockOnlySoLong() {
    m_admin->Execute(QStringLiteral("DELETE FROM %1.t").arg(m_schema));
    m_admin->Execute(QStringLiteral("INSERT INTO %1.t VALUES (1, 'old')").arg(m_schema));
    auto holder = Connect(m_connectionString);
    holder->Execute(QStringLiteral("BEGIN"));
    holder->Execute(QStringLiteral("UPDATE t SET name = 'held' WHERE id = 1"));

    auto c = Connect(m_connectionString);
    // The user's own transaction keeps the lock wait limit it had.
    c->Execute(QStringLiteral("BEGIN"));
    c->Execute(QStringLiteral("SET LOCAL lock_timeout = '1min'"));
    TQuery q;
    q.SetConnection(c.get());
    q.SetLockType(TLockType::Optimistic);
    q.SetSql(QStringLiteral("SELECT id, name FROM t"));
    q.Open();
    QVERIFY(q.Supports(TCursorOption::Update));
    q.Edit();
    q.Fields()[1].SetValue(QStringLiteral("typed"));
    const QString error = ErrorOf([&] { q.Post(); });
    QVERIFY2(error.contains(QLatin1String("gesperrt")) && error.contains(QLatin1String("bleiben erhalten")),
             qPrintable(error));
    QCOMPARE(q.State(), TRecordset::TEditState::Edit);
    QCOMPARE(q.Fields()[1].AsText(), QStringLiteral("typed"));
    QCOMPARE(Scalar(*c, QStringLiteral("SHOW lock_timeout")), QStringLiteral("1min"));

    holder->Execute(QStringLiteral("ROLLBACK"));
    q.Post();
    c->Execute(QStringLiteral("COMMIT"));
    QCOMPARE(Scalar(*m_admin, QStringLiteral("SELECT name FROM %1.t").arg(m_schema)), QStringLiteral("typed"));
}

void TestLostServer::rowPostCanBeCancelled() {
    m_admin->Execute(QStringLiteral("DELETE FROM %1.t").arg(m_schema));
    m_admin->Execute(QStringLiteral("INSERT INTO %1.t VALUES (1, 'old')").arg(m_schema));
    auto holder = Connect(m_connectionString);
    holder->Execute(QStringLiteral("BEGIN"));
    holder->Execute(QStringLiteral("SELECT * FROM t FOR UPDATE"));

    auto c = Connect(m_connectionString);
    // A window's waiter: the post runs on a worker while this thread goes on; here the user
    // gives up as soon as the server shows the post waiting for the lock.
    bool ranOnWorker = false;
    c->SetWaiter([&](const std::function<void()>& work, const std::function<void()>& cancel) {
        std::exception_ptr failure;
        std::thread worker([&] {
            ranOnWorker = true;
            try {
                work();
            } catch (...) {
                failure = std::current_exception();
            }
        });
        const bool waited = WaitForLockWait(*m_admin);
        cancel();
        worker.join();
        QVERIFY(waited);
        if (failure)
            std::rethrow_exception(failure);
    });
    TQuery q;
    q.SetConnection(c.get());
    q.SetLockType(TLockType::Optimistic);
    q.SetSql(QStringLiteral("SELECT id, name FROM t"));
    q.Open();
    q.Edit();
    q.Fields()[1].SetValue(QStringLiteral("typed"));
    const QString error = ErrorOf([&] { q.Post(); });
    QVERIFY(ranOnWorker);
    QVERIFY2(error.contains(QLatin1String("abgebrochen")) && error.contains(QLatin1String("bleiben erhalten")),
             qPrintable(error));
    QCOMPARE(q.Fields()[1].AsText(), QStringLiteral("typed"));
    holder->Execute(QStringLiteral("COMMIT"));
    QCOMPARE(Scalar(*m_admin, QStringLiteral("SELECT name FROM %1.t").arg(m_schema)), QStringLiteral("old"));
}

QTEST_MAIN(TestLostServer)
#include "tst_lostserver.moc"
