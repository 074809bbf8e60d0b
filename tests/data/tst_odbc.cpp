// What only the ODBC provider does: its connection string for SQLDriverConnect, cutting a
// batch for drivers that take one statement per call, and what the two Debian drivers
// deliver (texts, types in the database's own words, schema kinds, errors). The cases every
// provider shares are in TestConformance.

#include "data/CProviderTypes.h"
#include "data/Connection.h"
#include "data/ConnectionString.h"
#include "data/DataError.h"
#include "data/OdbcInfo.h"
#include "data/Query.h"
#include "data/Recordset.h"
#include "data/odbc/OdbcBatch.h"
#include "data/odbc/OdbcConnectString.h"
#include "tests/data/ProviderFixtures.h"
#include "tests/support/TestSupport.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QScopeGuard>
#include <QSignalSpy>
#include <QTest>
#include <QUuid>
#include <clocale>
#include <unistd.h>

namespace {

void AddOdbcRows() {
    QTest::addColumn<QString>("provider");
    QTest::newRow("sqlite3 driver") << QStringLiteral("odbc-sqlite");
    QTest::newRow("psqlodbc") << QStringLiteral("odbc-postgresql");
}

void AddTextSetups() {
    QTest::addColumn<QString>("setup");
    QTest::newRow("sqlite3 driver") << QStringLiteral("odbc-sqlite");
    QTest::newRow("psqlodbc") << QStringLiteral("odbc-postgresql");
    QTest::newRow("mariadb") << QStringLiteral("mariadb");
}

// Every Latin-1 letter, the letters the MariaDB driver miscounts in its wide entry points
// (U+00D8 to U+00DB, alone, repeated and last), text beyond Latin-1, and a text longer than
// the read buffers, which arrives in parts.
QStringList TrickyTexts() {
    QString latin1;
    for (char16_t c = 0xC0; c <= 0xFF; ++c)
        if (c != 0xD7 && c != 0xF7)
            latin1 += QChar(c);
    return {latin1,
            QStringLiteral("Úx"),
            QStringLiteral("aÚbÚc"),
            QStringLiteral("Último"),
            QStringLiteral("xÚyÚz"),
            QStringLiteral("ØÙÚÛ"),
            QStringLiteral("Müller 日本 Köln"),
            QStringLiteral("😀 e\u0301 שלום"),
            QString(9000, u'Ú') + u'z'};
}

// A connection of one of the text setups: a fixture's fresh database, or the MariaDB server's.
struct TSetupConnection {
    std::unique_ptr<TFixtureDatabase> Fixture;
    TConnection MariaDb;
    QString ConnectionString;
    QString Unavailable;

    explicit TSetupConnection(const QString& setup) {
        if (setup == QLatin1String("mariadb")) {
            ConnectionString = qEnvironmentVariable("TABULO_TEST_MARIADB");
            if (ConnectionString.isEmpty())
                Unavailable = QStringLiteral("TABULO_TEST_MARIADB is not set: no MariaDB server "
                                             "(scripts/mariadb-test-server.sh start)");
            else
                MariaDb.Open(ConnectionString);
            return;
        }
        const TProviderFixture& f = ProviderFixture(setup);
        Unavailable = f.Unavailable();
        if (!Unavailable.isEmpty())
            return;
        Fixture = std::make_unique<TFixtureDatabase>(f);
        ConnectionString = Fixture->ConnectionString();
    }
    TConnection& Connection() { return Fixture ? Fixture->Connection() : MariaDb; }
};

// What the database's own client prints for a query, one line per row, columns by tabs.
QStringList ClientLines(const QString& setup, const QString& connection, const QString& sql) {
    const TConnectionString c(connection);
    QProcess client;
    // The sanitizer run preloads its runtime, which the clients must not get.
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove(QStringLiteral("LD_PRELOAD"));
    client.setProcessEnvironment(env);
    if (setup == QLatin1String("odbc-sqlite")) {
        client.start(QStringLiteral("sqlite3"), {QStringLiteral("-separator"), QStringLiteral("\t"),
                                                 c.Value(QStringLiteral("Database")), sql});
    } else if (setup == QLatin1String("odbc-postgresql")) {
        env.insert(QStringLiteral("PGPASSWORD"), c.Value(QStringLiteral("Password")));
        env.insert(QStringLiteral("PGOPTIONS"),
                   QStringLiteral("-c search_path=") +
                       c.Value(QStringLiteral("ConnSettings")).section(u' ', -1).trimmed());
        client.setProcessEnvironment(env);
        client.start(QStringLiteral("psql"),
                     {QStringLiteral("-XAt"), QStringLiteral("-F"), QStringLiteral("\t"),
                      QStringLiteral("-h"), c.Value(QStringLiteral("Server")), QStringLiteral("-p"),
                      c.Value(QStringLiteral("Port")), QStringLiteral("-U"),
                      c.Value(QStringLiteral("User ID")), QStringLiteral("-d"),
                      c.Value(QStringLiteral("Database")), QStringLiteral("-c"), sql});
    } else {
        client.start(QStringLiteral("mariadb"),
                     {QStringLiteral("--no-defaults"), QStringLiteral("-h"),
                      c.Value(QStringLiteral("Server")), QStringLiteral("-P"),
                      c.Value(QStringLiteral("Port")), QStringLiteral("-u"), c.Value(QStringLiteral("UID")),
                      QStringLiteral("-BN"), QStringLiteral("-e"), sql, c.Value(QStringLiteral("Database"))});
    }
    if (!client.waitForFinished(60000) || client.exitCode() != 0)
        return {QStringLiteral("client failed: ") + QString::fromUtf8(client.readAllStandardError())};
    return QString::fromUtf8(client.readAllStandardOutput()).split(u'\n', Qt::SkipEmptyParts);
}

// Column v of table t by id, as hexadecimal UTF-8 from the database's own client.
QStringList ClientHex(const QString& setup, const QString& connection) {
    if (setup == QLatin1String("odbc-postgresql"))
        return ClientLines(
            setup, connection,
            QStringLiteral("SELECT upper(encode(convert_to(v, 'UTF8'), 'hex')) FROM t ORDER BY id"));
    return ClientLines(setup, connection, QStringLiteral("SELECT hex(v) FROM t ORDER BY id"));
}

} // namespace

class TestOdbc : public QObject {
    Q_OBJECT
private slots:
    void driverConnectString_data();
    void driverConnectString();
    void splitStatements_data();
    void splitStatements();
    void tableReferences_data();
    void tableReferences();
    void driverLists();
    void dataSourceByName();
    void openErrors_data();
    void openErrors();
    void openGivesUpAfterTheConnectTimeout();

    void valuesRoundTrip_data() { AddOdbcRows(); }
    void valuesRoundTrip();
    void writeDuringAFetch_data() { AddOdbcRows(); }
    void writeDuringAFetch();
    void batchParametersGoToTheirStatements_data() { AddOdbcRows(); }
    void batchParametersGoToTheirStatements();
    void textUnchangedBothWays_data() { AddTextSetups(); }
    void textUnchangedBothWays();
    void unknownEncodingRefusesOtherText();
    void mariaDbInAnotherCharacterSetRefusesMiscountedText();
    void valuesAsTheDatabaseSendsThem_data();
    void valuesAsTheDatabaseSendsThem();
    void typedValuesThroughMariaDb();
    void namesWithPatternCharacters_data() { AddTextSetups(); }
    void namesWithPatternCharacters();
    void typeTextAsDeclared_data();
    void typeTextAsDeclared();
    void columnTypeInTheDatabasesWords_data() { AddOdbcRows(); }
    void columnTypeInTheDatabasesWords();
    void schemaKinds_data();
    void schemaKinds();
    void mariaDbListsOnlyTheCurrentDatabase();
    void psqlodbcReadsEverySchema();
    void psqlodbcWholeCatalogAsTableByTable_data();
    void psqlodbcWholeCatalogAsTableByTable();

private:
    void textUnchangedBothWaysOn();
};

void TestOdbc::driverConnectString_data() {
    QTest::addColumn<QString>("input");
    QTest::addColumn<QString>("expected");
    QTest::newRow("postgres streams, program keys renamed")
        << "Provider=ODBC;Driver={PostgreSQL Unicode};Server=h;Port=5;User ID=u;Password=p"
        << "Driver={PostgreSQL "
           "Unicode};Server=h;Port=5;UID=u;PWD=p;UseDeclareFetch=1;Fetch=2000;BoolsAsChar=0";
    QTest::newRow("user's own streaming setting stays")
        << "Provider=MSDASQL.1;Driver={PostgreSQL Unicode};UseDeclareFetch=0;BoolsAsChar=1"
        << "Driver={PostgreSQL Unicode};UseDeclareFetch=0;BoolsAsChar=1";
    QTest::newRow("sqlite3 steps") << "Provider=ODBC;Driver=SQLite3;Database=/tmp/a.db"
                                   << "Driver=SQLite3;Database=/tmp/a.db;StepAPI=1";
    QTest::newRow("sqlite3 StepAPI=0 stays") << "Provider=ODBC;Driver=SQLite3;StepAPI=0"
                                             << "Driver=SQLite3;StepAPI=0";
    QTest::newRow("data source is the DSN, initial catalog the database")
        << "Provider=MSDASQL;Data Source=nosuchdsn;Initial Catalog=db;User ID=u"
        << "UID=u;DSN=nosuchdsn;Database=db";
    QTest::newRow("own Database wins over Initial Catalog")
        << "Provider=ODBC;DSN=nosuchdsn;Database=a;Initial Catalog=b"
        << "DSN=nosuchdsn;Database=a";
    QTest::newRow("extended properties inline")
        << "Provider=MSDASQL;Extended Properties=\"DSN=nosuchdsn;UID=x\""
        << "DSN=nosuchdsn;UID=x";
    QTest::newRow("semicolon and closing brace in a password")
        << "Provider=ODBC;DSN=nosuchdsn;Password='a;b}c'"
        << "DSN=nosuchdsn;PWD={a;b}}c}";
    QTest::newRow("closing brace alone needs no braces") << "Provider=ODBC;DSN=nosuchdsn;Password=a}b=c"
                                                         << "DSN=nosuchdsn;PWD=a}b=c";
    QTest::newRow("surrounding blanks kept") << "Provider=ODBC;DSN=nosuchdsn;Password=' x '"
                                             << "DSN=nosuchdsn;PWD={ x }";
}

void TestOdbc::driverConnectString() {
    QFETCH(QString, input);
    QFETCH(QString, expected);
    QCOMPARE(OdbcDriverConnectString(TConnectionString(input)), expected);
}

void TestOdbc::splitStatements_data() {
    QTest::addColumn<QString>("sql");
    QTest::addColumn<QStringList>("statements");
    QTest::newRow("one, trailing semicolon") << "SELECT 1;" << QStringList{"SELECT 1"};
    QTest::newRow("comments after the last one")
        << "SELECT 1; -- done\n/* really */" << QStringList{"SELECT 1"};
    QTest::newRow("nothing but comments") << "-- a; b" << QStringList{};
    QTest::newRow("empty ones dropped") << ";; SELECT 1 ;\n;SELECT 2" << QStringList{"SELECT 1", "SELECT 2"};
    QTest::newRow("semicolons in literals and names")
        << "SELECT ';', \"a;b\", [c;d], `e;f` FROM t; SELECT 2"
        << QStringList{"SELECT ';', \"a;b\", [c;d], `e;f` FROM t", "SELECT 2"};
    QTest::newRow("doubled quote") << "SELECT 'it''s; fine'; SELECT 2"
                                   << QStringList{"SELECT 'it''s; fine'", "SELECT 2"};
    QTest::newRow("comments") << "SELECT 1 -- a; b\n; /* c; d */ SELECT 2"
                              << QStringList{"SELECT 1 -- a; b", "/* c; d */ SELECT 2"};
    QTest::newRow("dollar-quoted body")
        << "CREATE FUNCTION f() RETURNS int AS $x$ BEGIN RETURN 1; END $x$ LANGUAGE plpgsql; SELECT f()"
        << QStringList{"CREATE FUNCTION f() RETURNS int AS $x$ BEGIN RETURN 1; END $x$ LANGUAGE plpgsql",
                       "SELECT f()"};
    QTest::newRow("trigger body with CASE")
        << "CREATE TEMP TRIGGER tr AFTER INSERT ON t BEGIN UPDATE t SET a = CASE WHEN 1 THEN 2 END; "
           "DELETE FROM u; END; SELECT 1"
        << QStringList{
               "CREATE TEMP TRIGGER tr AFTER INSERT ON t BEGIN UPDATE t SET a = CASE WHEN 1 THEN 2 END; "
               "DELETE FROM u; END",
               "SELECT 1"};
    QTest::newRow("BEGIN outside a trigger ends at its semicolon")
        << "BEGIN; INSERT INTO t VALUES (1); COMMIT"
        << QStringList{"BEGIN", "INSERT INTO t VALUES (1)", "COMMIT"};
}

void TestOdbc::splitStatements() {
    QFETCH(QString, sql);
    QFETCH(QStringList, statements);
    QCOMPARE(OdbcSplitStatements(sql), statements);
}

void TestOdbc::tableReferences_data() {
    QTest::addColumn<QString>("sql");
    QTest::addColumn<int>("count");
    QTest::newRow("plain") << "SELECT id, name FROM people" << 1;
    QTest::newRow("qualified columns are no reference") << "SELECT people.id, p.name FROM people p" << 1;
    QTest::newRow("self-join") << "SELECT a.id, b.name FROM people a, People b WHERE a.id = b.id" << 2;
    QTest::newRow("subquery") << "SELECT id FROM people WHERE id IN (SELECT id FROM \"people\")" << 2;
    QTest::newRow("schema-qualified table") << "SELECT id FROM public.people" << 1;
    QTest::newRow("literal and comment") << "SELECT 'people' FROM people -- people" << 1;
}

void TestOdbc::tableReferences() {
    QFETCH(QString, sql);
    QFETCH(int, count);
    QCOMPARE(OdbcTableReferences(sql, QStringLiteral("people")), count);
}

void TestOdbc::driverLists() {
    // Both drivers of the test run are registered on this machine.
    QStringList drivers = OdbcDriverNames();
    QVERIFY2(drivers.contains(QStringLiteral("SQLite3")), qPrintable(drivers.join(u',')));
    QVERIFY2(drivers.contains(QStringLiteral("PostgreSQL Unicode")), qPrintable(drivers.join(u',')));
    QCOMPARE(drivers.removeDuplicates(), 0);
    OdbcDataSourceNames(); // may be empty, must not throw
}

void TestOdbc::dataSourceByName() {
    // A user data source of its own (unixODBC reads the file named by ODBCINI).
    const QString dir = qEnvironmentVariable("TABULO_TEST_TMP", QDir::tempPath());
    const QString database =
        QDir(dir).filePath(QStringLiteral("dsn-%1.sqlite").arg(QCoreApplication::applicationPid()));
    const QString ini =
        QDir(dir).filePath(QStringLiteral("odbc-%1.ini").arg(QCoreApplication::applicationPid()));
    QFile file(ini);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(QStringLiteral("[tabulo_test_dsn]\nDriver=SQLite3\nDatabase=%1\n").arg(database).toUtf8());
    file.close();
    const QByteArray old = qgetenv("ODBCINI");
    qputenv("ODBCINI", ini.toLocal8Bit());
    auto restore = qScopeGuard([&] {
        if (old.isNull())
            qunsetenv("ODBCINI");
        else
            qputenv("ODBCINI", old);
        QFile::remove(ini);
        QFile::remove(database);
    });

    QVERIFY(OdbcDataSourceNames().contains(QStringLiteral("tabulo_test_dsn")));
    // The data source's driver is found, so it streams like "Driver=SQLite3" does.
    const QString text = QStringLiteral("Provider=MSDASQL;Data Source=tabulo_test_dsn");
    QCOMPARE(OdbcDriverConnectString(TConnectionString(text)),
             QStringLiteral("DSN=tabulo_test_dsn;StepAPI=1"));
    TConnection c;
    c.Open(text);
    c.Execute(QStringLiteral("CREATE TABLE t (a INTEGER)"));
    QCOMPARE(c.Execute(QStringLiteral("INSERT INTO t VALUES (1)")), 1);
}

void TestOdbc::openErrors_data() {
    QTest::addColumn<QString>("connection");
    QTest::addColumn<QString>("message");
    QTest::newRow("unknown driver") << "Provider=ODBC;Driver=NoSuchDriver"
                                    << "nicht gefunden";
    QTest::newRow("unknown DSN") << "Provider=MSDASQL;DSN=nosuchdsn"
                                 << "nicht gefunden";
    QTest::newRow("server not listening")
        << "Provider=ODBC;Driver={PostgreSQL Unicode};Server=127.0.0.1;Port=1;Database=x;User ID=x;Password=x"
        << "127.0.0.1";
}

void TestOdbc::openErrors() {
    QFETCH(QString, connection);
    QFETCH(QString, message);
    TConnection c;
    c.SetConnectionTimeout(5);
    try {
        c.Open(connection);
        QFAIL("opened");
    } catch (const TDataError& e) {
        QVERIFY2(e.Message().contains(message), qPrintable(e.Message()));
        QVERIFY2(!e.Message().contains(QLatin1String("[unixODBC]")), qPrintable(e.Message()));
    }
    QVERIFY(!c.Connected());
}

void TestOdbc::openGivesUpAfterTheConnectTimeout() {
    // A server that takes the connection and never answers.
    const TestSupport::TSilentServer silent;
    QVERIFY(silent.Port() > 0);
    const int port = silent.Port();

    TConnection c;
    c.SetConnectionTimeout(2);
    QElapsedTimer timer;
    timer.start();
    QVERIFY_THROWS_EXCEPTION(TDataError,
                             c.Open(QStringLiteral("Provider=ODBC;Driver={PostgreSQL Unicode};"
                                                   "Server=127.0.0.1;Port=%1;Database=x;User ID=x;Password=x")
                                        .arg(port)));
    const qint64 elapsed = timer.elapsed();
    QVERIFY2(elapsed >= 1500 && elapsed < 6000, qPrintable(QString::number(elapsed)));
}

void TestOdbc::valuesRoundTrip() {
    USE_PROVIDER_FIXTURE(f);
    TConnection& c = db.Connection();
    const QString blob =
        f.Name == QLatin1String("odbc-sqlite") ? QStringLiteral("BLOB") : QStringLiteral("BYTEA");
    c.Execute(
        QStringLiteral(
            "CREATE TABLE v (id INTEGER PRIMARY KEY, t VARCHAR(10000), n INTEGER, r REAL, d DATE, b %1)")
            .arg(blob));
    // Longer than the provider's read buffer, so the text arrives in parts.
    const QString umlauts = QStringLiteral("Grüße, Ärger, Öl, Übermaß ß € ") + QString(5000, u'ä');
    TQuery ins;
    ins.SetConnection(&c);
    ins.SetSql(QStringLiteral("INSERT INTO v (id, t, n, r, d, b) VALUES (:id, :t, :n, :r, :d, :b)"));
    ins.Parameters().ParamByName(QStringLiteral("id")).Value = 1;
    ins.Parameters().ParamByName(QStringLiteral("t")).Value = umlauts;
    ins.Parameters().ParamByName(QStringLiteral("n")).Value = -42;
    ins.Parameters().ParamByName(QStringLiteral("r")).Value = 2.5;
    ins.Parameters().ParamByName(QStringLiteral("d")).Value = QDate(2024, 2, 29);
    // Bytes of every value, more than the provider reads in one part.
    QByteArray bytes(300000, 0);
    for (int i = 0; i < bytes.size(); ++i)
        bytes[i] = char(i * 7);
    ins.Parameters().ParamByName(QStringLiteral("b")).Value = bytes;
    QCOMPARE(ins.ExecSQL(), 1);
    ins.Parameters().ParamByName(QStringLiteral("id")).Value = 2;
    for (const char* name : {"t", "n", "r", "d", "b"})
        ins.Parameters().ParamByName(QLatin1String(name)).Value = QVariant();
    QCOMPARE(ins.ExecSQL(), 1);

    TQuery q;
    q.SetConnection(&c);
    q.SetSql(QStringLiteral("SELECT t, n, r, d, b FROM v ORDER BY id"));
    q.Open();
    QCOMPARE(q.RecordCount(), 2);
    QCOMPARE(q.FieldByName(QStringLiteral("t")).AsText(), umlauts);
    QCOMPARE(q.FieldByName(QStringLiteral("n")).AsInteger(), -42);
    QCOMPARE(q.FieldByName(QStringLiteral("n")).Type(), TDataType::Integer);
    QCOMPARE(q.FieldByName(QStringLiteral("r")).AsFloat(), 2.5);
    QCOMPARE(q.FieldByName(QStringLiteral("d")).Type(), TDataType::DBDate);
    QCOMPARE(q.FieldByName(QStringLiteral("d")).Value().toDate(), QDate(2024, 2, 29));
    QVERIFY(q.FieldByName(QStringLiteral("b")).IsBlob());
    QCOMPARE(q.FieldByName(QStringLiteral("b")).Value().toByteArray(), bytes);
    q.Next();
    for (int i = 0; i < q.Fields().Count(); ++i) {
        QVERIFY(q.Fields()[i].IsNull());
        QCOMPARE(q.Fields()[i].AsText(), QString());
    }

    if (f.Name == QLatin1String("odbc-postgresql")) {
        q.SetSql(QStringLiteral("SELECT true AS yes, false AS no"));
        q.Open();
        QCOMPARE(q.Fields()[0].Type(), TDataType::Boolean);
        QVERIFY(q.Fields()[0].AsBoolean());
        QVERIFY(!q.Fields()[1].AsBoolean());
    }
}

void TestOdbc::writeDuringAFetch() {
    // A second connection to an SQLite file would wait for the reading one to end: the
    // statements share the one connection instead.
    USE_PROVIDER_FIXTURE(f);
    TConnection& c = db.Connection();
    c.Execute(f.CreatePeople);
    const int rows = 300000;
    // Rows of a table: reading them holds the file's read lock until the end.
    c.Execute(QStringLiteral("CREATE TABLE numbers (i INTEGER, name VARCHAR(20))"));
    c.Execute(QStringLiteral("INSERT INTO numbers (i, name) ") + f.Series(rows));
    TQuery q;
    q.SetConnection(&c);
    q.SetSql(QStringLiteral("SELECT i, name FROM numbers"));
    q.SetExecuteOptions(TExecuteOption::AsyncFetch);
    QSignalSpy complete(&q, &TQuery::FetchComplete);
    qint64 written = -1;
    qint64 took = -1;
    qint64 fetchedMeanwhile = -1;
    connect(
        &q, &TQuery::FetchProgress, this,
        [&] {
            QElapsedTimer t;
            t.start();
            written = c.Execute(QStringLiteral("INSERT INTO people (id, name) VALUES (1, 'während')"));
            took = t.elapsed();
            fetchedMeanwhile = q.RecordCount();
        },
        Qt::SingleShotConnection);
    q.Open();
    QVERIFY(complete.count() > 0 || complete.wait(60000));
    QCOMPARE(complete.first().first().toString(), QString());
    QCOMPARE(q.RecordCount(), rows);
    QCOMPARE(written, 1);
    QVERIFY2(took < 2000, qPrintable(QString::number(took)));
    // The write did not wait for the end of the rows.
    QVERIFY2(fetchedMeanwhile < rows, qPrintable(QString::number(fetchedMeanwhile)));
    TQuery check;
    check.SetConnection(&c);
    check.SetSql(QStringLiteral("SELECT name FROM people"));
    check.Open();
    QCOMPARE(check.Fields()[0].AsText(), QStringLiteral("während"));
}

void TestOdbc::batchParametersGoToTheirStatements() {
    // The SQLite3 driver takes one statement per call: the batch is cut and each statement
    // gets the values of its own markers.
    USE_PROVIDER_FIXTURE(f);
    TConnection& c = db.Connection();
    c.Execute(f.CreatePeople);
    TQuery q;
    q.SetConnection(&c);
    q.SetSql(QStringLiteral("INSERT INTO people (id, name) VALUES (:a, 'x;y');\n"
                            "INSERT INTO people (id, name) VALUES (:b, :n);\n"
                            "SELECT name FROM people WHERE id >= :a ORDER BY id"));
    q.Parameters().ParamByName(QStringLiteral("a")).Value = 1;
    q.Parameters().ParamByName(QStringLiteral("b")).Value = 2;
    q.Parameters().ParamByName(QStringLiteral("n")).Value = QStringLiteral("zwei");
    q.Open();
    QCOMPARE(q.RecordCount(), 2);
    QCOMPARE(q.Text(0, 0), QStringLiteral("x;y"));
    QCOMPARE(q.Text(1, 0), QStringLiteral("zwei"));
}

// Text goes to the database and comes back byte for byte through every driver, in statements,
// parameters, grid edits and names, whatever the process's locale: the driver manager would
// narrow UTF-16 by it for a driver without wide entry points (the SQLite3 driver).
void TestOdbc::textUnchangedBothWays() {
    try {
        textUnchangedBothWaysOn();
    } catch (const TDataError& e) {
        QFAIL(qPrintable(e.Message() + u'\n' + e.Statement()));
    }
}

void TestOdbc::textUnchangedBothWaysOn() {
    QFETCH(QString, setup);
    const QByteArray locale = std::setlocale(LC_CTYPE, nullptr);
    std::setlocale(LC_CTYPE, "C");
    auto restoreLocale = qScopeGuard([&] { std::setlocale(LC_CTYPE, locale.constData()); });
    TSetupConnection setupConnection(setup);
    if (!setupConnection.Unavailable.isEmpty())
        QSKIP(qPrintable(setupConnection.Unavailable));
    const QString connection = setupConnection.ConnectionString;
    TConnection& c = setupConnection.Connection();
    c.Execute(QStringLiteral("DROP TABLE IF EXISTS t"));
    c.Execute(QStringLiteral("CREATE TABLE t (id INTEGER PRIMARY KEY, v TEXT)") +
              (setup == QLatin1String("mariadb") ? QStringLiteral(" CHARACTER SET utf8mb4") : QString()));
    auto dropTable = qScopeGuard([&] { c.Execute(QStringLiteral("DROP TABLE IF EXISTS t")); });

    const QStringList texts = TrickyTexts();
    QStringList expected;
    int id = 0;
    for (const QString& text : texts) {
        c.Execute(QStringLiteral("INSERT INTO t VALUES (%1, '%2')").arg(++id).arg(text));
        TQuery ins;
        ins.SetConnection(&c);
        ins.SetSql(QStringLiteral("INSERT INTO t VALUES (:id, :v)"));
        ins.Parameters().ParamByName(QStringLiteral("id")).Value = ++id;
        ins.Parameters().ParamByName(QStringLiteral("v")).Value = text;
        QCOMPARE(ins.ExecSQL(), 1);
        // As a grid edit writes it.
        c.Execute(QStringLiteral("INSERT INTO t VALUES (%1, 'x')").arg(++id));
        TQuery edit;
        edit.SetConnection(&c);
        edit.SetLockType(TLockType::Optimistic);
        edit.SetSql(QStringLiteral("SELECT id, v FROM t WHERE id = %1").arg(id));
        edit.Open();
        edit.Edit();
        edit.FieldByName(QStringLiteral("v")).SetValue(text);
        edit.Post();
        for (int i = 0; i < 3; ++i)
            expected << QString::fromLatin1(text.toUtf8().toHex().toUpper());
    }
    QCOMPARE(ClientHex(setup, connection), expected);

    TQuery q;
    q.SetConnection(&c);
    q.SetSql(QStringLiteral("SELECT v FROM t ORDER BY id"));
    q.Open();
    QCOMPARE(q.RecordCount(), expected.size());
    for (int row = 0; row < q.RecordCount(); ++row)
        QCOMPARE(q.Text(row, 0), texts[row / 3]);
    q.SetSql(QStringLiteral("SELECT count(*) FROM t WHERE v LIKE 'Müller 日本%'"));
    q.Open();
    QCOMPARE(q.Fields()[0].AsInteger(), 3);

    // Names: a table read through its schema restriction and by its quoted name.
    const QString name = QStringLiteral("Größe_ñ_日本");
    c.Execute(QStringLiteral("CREATE TABLE %1 (%2 INTEGER)")
                  .arg(c.SqlName(name), c.SqlName(QStringLiteral("Maß"))));
    auto dropNamed = qScopeGuard([&] { c.Execute(QStringLiteral("DROP TABLE %1").arg(c.SqlName(name))); });
    std::unique_ptr<TRecordset> columns = c.OpenSchema(TSchemaKind::Columns, {QVariant(), QVariant(), name});
    columns->First();
    QVERIFY(!columns->Eof());
    QCOMPARE(columns->FieldByName(QStringLiteral("TABLE_NAME")).AsText(), name);
    QCOMPARE(columns->FieldByName(QStringLiteral("COLUMN_NAME")).AsText(), QStringLiteral("Maß"));
    q.SetSql(QStringLiteral("SELECT * FROM %1").arg(c.SqlName(name)));
    q.Open();
    QCOMPARE(q.Fields()[0].Name(), QStringLiteral("Maß"));
    // A driver's message names the table as it is.
    const QString missing = QStringLiteral("Größe_fehlt_日本");
    try {
        c.Execute(QStringLiteral("SELECT * FROM %1").arg(c.SqlName(missing)));
        QFAIL("no error");
    } catch (const TDataError& e) {
        QVERIFY2(e.Message().contains(missing), qPrintable(e.Message()));
    }
}

// psqlODBC's ANSI driver has no wide entry points and no encoding the program could know:
// plain ASCII goes, other text is refused rather than sent in some guessed encoding.
void TestOdbc::unknownEncodingRefusesOtherText() {
    const TProviderFixture& f = ProviderFixture(QStringLiteral("odbc-postgresql"));
    if (const QString why = f.Unavailable(); !why.isEmpty())
        QSKIP(qPrintable(why));
    TFixtureDatabase db(f);
    TConnectionString ansi(db.ConnectionString());
    ansi.SetValue(QStringLiteral("Driver"), QStringLiteral("{PostgreSQL ANSI}"));
    TConnection c;
    c.Open(ansi.ToString());
    TQuery q;
    q.SetConnection(&c);
    q.SetSql(QStringLiteral("SELECT 'Koeln' AS v"));
    q.Open();
    QCOMPARE(q.Fields()[0].AsText(), QStringLiteral("Koeln"));
    for (const QString& sql : {QStringLiteral("SELECT 'Köln' AS v"), QStringLiteral("SELECT :v AS v")}) {
        q.SetSql(sql);
        if (sql.contains(u':'))
            q.Parameters().ParamByName(QStringLiteral("v")).Value = QStringLiteral("Köln");
        try {
            q.Open();
            QFAIL("sent");
        } catch (const TDataError& e) {
            QVERIFY2(e.Message().contains(QStringLiteral("unbekannten Zeichenkodierung")),
                     qPrintable(e.Message()));
        }
    }
    // The session is still usable.
    q.SetSql(QStringLiteral("SELECT 1 AS v"));
    q.Open();
    QCOMPARE(q.Fields()[0].AsInteger(), 1);
}

void TestOdbc::valuesAsTheDatabaseSendsThem_data() {
    QTest::addColumn<QString>("setup");
    QTest::addColumn<QString>("sql");
    const QString pg = QStringLiteral("odbc-postgresql"), maria = QStringLiteral("mariadb");
    // Each a value the driver's typed structs cannot hold; the rows after it still come.
    QTest::newRow("mariadb negative time")
        << maria << "SELECT TIMEDIFF('2024-01-01 10:00', '2024-01-01 11:30')";
    QTest::newRow("mariadb time beyond a day") << maria << "SELECT CAST('838:59:59' AS TIME)";
    QTest::newRow("mariadb zero month") << maria << "SELECT DATE('2024-00-00')";
    QTest::newRow("mariadb zero timestamp") << maria << "SELECT CAST('0000-00-00 00:00:00' AS DATETIME)";
    QTest::newRow("psqlodbc money") << pg << "SELECT 1234567.89::money";
    QTest::newRow("psqlodbc negative money") << pg << "SELECT '-12.5'::money";
}

// Values that are no time of day, no calendar day or no double are shown as the database
// sends them, as its client prints them, and end no fetch.
void TestOdbc::valuesAsTheDatabaseSendsThem() {
    QFETCH(QString, setup);
    QFETCH(QString, sql);
    TSetupConnection setupConnection(setup);
    if (!setupConnection.Unavailable.isEmpty())
        QSKIP(qPrintable(setupConnection.Unavailable));
    TConnection& c = setupConnection.Connection();
    TQuery q;
    q.SetConnection(&c);
    q.SetSql(sql + QStringLiteral(" AS v UNION ALL ") + sql + QStringLiteral(" UNION ALL SELECT NULL"));
    q.Open();
    QCOMPARE(q.RecordCount(), 3);
    const QString expected = ClientLines(setup, setupConnection.ConnectionString, sql).value(0);
    QCOMPARE(q.Text(0, 0), expected);
    QCOMPARE(q.Text(1, 0), expected);
    QVERIFY(q.Text(2, 0).isEmpty());
}

// A time of day, a day and a single-precision float read typed, as the driver holds them.
void TestOdbc::typedValuesThroughMariaDb() {
    TSetupConnection setupConnection(QStringLiteral("mariadb"));
    if (!setupConnection.Unavailable.isEmpty())
        QSKIP(qPrintable(setupConnection.Unavailable));
    TQuery q;
    q.SetConnection(&setupConnection.Connection());
    q.SetSql(QStringLiteral("SELECT CAST('12:34:56.789' AS TIME(3)) AS t, DATE('2024-02-29') AS d, "
                            "CAST(0.1 AS FLOAT) AS f, CAST('2024-02-29 23:59:59' AS DATETIME) AS ts"));
    q.Open();
    QCOMPARE(q.FieldByName(QStringLiteral("t")).Value().toTime(), QTime(12, 34, 56, 789));
    QCOMPARE(q.FieldByName(QStringLiteral("d")).Value().toDate(), QDate(2024, 2, 29));
    QCOMPARE(q.FieldByName(QStringLiteral("f")).Type(), TDataType::Single);
    QCOMPARE(q.FieldByName(QStringLiteral("f")).AsFloat(), double(0.1f));
    const QDateTime ts = q.FieldByName(QStringLiteral("ts")).Value().toDateTime();
    QCOMPARE(ts.date(), QDate(2024, 2, 29));
    QCOMPARE(ts.time(), QTime(23, 59, 59));
}

// "%" and "_" in a name are no wildcards where a schema read is restricted to it, and no
// driver refuses the name: every kind lists the table's rows beside the others'.
void TestOdbc::namesWithPatternCharacters() {
    QFETCH(QString, setup);
    TSetupConnection setupConnection(setup);
    if (!setupConnection.Unavailable.isEmpty())
        QSKIP(qPrintable(setupConnection.Unavailable));
    TConnection& c = setupConnection.Connection();
    const QString odd = QStringLiteral("%under_"), plain = QStringLiteral("aunderb");
    const QString sqlOdd = c.SqlName(odd);
    c.Execute(QStringLiteral("CREATE TABLE %1 (id INTEGER PRIMARY KEY, x VARCHAR(5))").arg(sqlOdd));
    c.Execute(QStringLiteral("CREATE TABLE %1 (y INTEGER PRIMARY KEY, z INTEGER REFERENCES %2 (id))")
                  .arg(plain, sqlOdd));
    auto drop = qScopeGuard([&] {
        c.Execute(QStringLiteral("DROP TABLE %1").arg(plain));
        c.Execute(QStringLiteral("DROP TABLE %1").arg(sqlOdd));
    });
    // Every value of a column, sorted, of the rows of a kind.
    auto read = [&c](TSchemaKind kind, const QVariantList& restrictions, const char* column) {
        QStringList values;
        std::unique_ptr<TRecordset> rows = c.OpenSchema(kind, restrictions);
        for (rows->First(); !rows->Eof(); rows->Next())
            values << rows->FieldByName(QLatin1String(column)).AsText();
        values.sort();
        return values;
    };
    QCOMPARE(read(TSchemaKind::Tables, {QVariant(), QVariant(), odd}, "TABLE_NAME"), QStringList{odd});
    QCOMPARE(read(TSchemaKind::Columns, {QVariant(), QVariant(), odd}, "COLUMN_NAME"),
             (QStringList{"id", "x"}));
    const QStringList keys = read(TSchemaKind::PrimaryKeys, {}, "TABLE_NAME");
    QVERIFY2(keys.contains(odd) && keys.contains(plain), qPrintable(keys.join(u',')));
    QVERIFY(read(TSchemaKind::Indexes, {}, "TABLE_NAME").contains(odd));
    QVERIFY(read(TSchemaKind::ForeignKeys, {}, "PK_TABLE_NAME").contains(odd));
    QCOMPARE(read(TSchemaKind::ForeignKeys, {QVariant(), QVariant(), odd}, "FK_TABLE_NAME"),
             QStringList{plain});
}

// In a character set other than UTF-8 the MariaDB driver's values stay wide, where it would
// read a parameter with Ú beyond its end: such a value is refused, others go through.
void TestOdbc::mariaDbInAnotherCharacterSetRefusesMiscountedText() {
    const QString server = qEnvironmentVariable("TABULO_TEST_MARIADB");
    if (server.isEmpty())
        QSKIP("TABULO_TEST_MARIADB is not set: no MariaDB server (scripts/mariadb-test-server.sh start)");
    TConnection c;
    c.Open(server + QStringLiteral(";CHARSET=latin1"));
    TQuery q;
    q.SetConnection(&c);
    q.SetSql(QStringLiteral("SELECT :v AS v"));
    q.Parameters().ParamByName(QStringLiteral("v")).Value = QStringLiteral("Köln");
    q.Open();
    QCOMPARE(q.Fields()[0].AsText(), QStringLiteral("Köln"));
    q.Parameters().ParamByName(QStringLiteral("v")).Value = QStringLiteral("xÚyÚz");
    try {
        q.Open();
        QFAIL("sent");
    } catch (const TDataError& e) {
        QVERIFY2(e.Message().contains(QStringLiteral("„Ú“")), qPrintable(e.Message()));
    }
}

void TestOdbc::typeTextAsDeclared_data() {
    QTest::addColumn<QString>("setup");
    QTest::addColumn<QString>("declared");
    QTest::addColumn<QString>("expected");
    const QString sqlite = QStringLiteral("odbc-sqlite"), pg = QStringLiteral("odbc-postgresql"),
                  maria = QStringLiteral("mariadb");
    QTest::newRow("sqlite3 driver text") << sqlite << "TEXT"
                                         << "text null";
    QTest::newRow("sqlite3 driver varchar") << sqlite << "VARCHAR(7)"
                                            << "varchar (7) null";
    QTest::newRow("psqlodbc char") << pg << "char(5)"
                                   << "char (5) null";
    QTest::newRow("psqlodbc char array") << pg << "char(5)[]"
                                         << "char[] null";
    QTest::newRow("psqlodbc numeric") << pg << "numeric(8,3) NOT NULL"
                                      << "numeric (8, 3) not null";
    QTest::newRow("mariadb double") << maria << "DOUBLE"
                                    << "DOUBLE null";
    QTest::newRow("mariadb double with digits") << maria << "DOUBLE(10,2)"
                                                << "DOUBLE (10,2) null";
    QTest::newRow("mariadb float") << maria << "FLOAT"
                                   << "FLOAT null";
    QTest::newRow("mariadb timestamp") << maria << "TIMESTAMP NULL"
                                       << "TIMESTAMP null";
    QTest::newRow("mariadb varchar") << maria << "VARCHAR(7) NOT NULL"
                                     << "VARCHAR (7) not null";
    QTest::newRow("mariadb decimal") << maria << "DECIMAL(8,3)"
                                     << "DECIMAL (8,3) null";
}

// A type text reads as the column was declared: no empty or half parameter lists where the
// driver reports no size of the column's own.
void TestOdbc::typeTextAsDeclared() {
    QFETCH(QString, setup);
    QFETCH(QString, declared);
    QFETCH(QString, expected);
    TSetupConnection setupConnection(setup);
    if (!setupConnection.Unavailable.isEmpty())
        QSKIP(qPrintable(setupConnection.Unavailable));
    TConnection& c = setupConnection.Connection();
    c.Execute(QStringLiteral("DROP TABLE IF EXISTS typed"));
    c.Execute(QStringLiteral("CREATE TABLE typed (x %1)").arg(declared));
    auto drop = qScopeGuard([&] { c.Execute(QStringLiteral("DROP TABLE typed")); });
    const TProviderTypes types(c);
    std::unique_ptr<TRecordset> columns =
        c.OpenSchema(TSchemaKind::Columns, {QVariant(), QVariant(), QStringLiteral("typed")});
    columns->First();
    QVERIFY(!columns->Eof());
    QCOMPARE(types.ColumnTypeText(*columns), expected);
}

void TestOdbc::columnTypeInTheDatabasesWords() {
    USE_PROVIDER_FIXTURE(f);
    TConnection& c = db.Connection();
    c.Execute(f.CreatePeople);
    const TProviderTypes types(c);
    std::unique_ptr<TRecordset> columns =
        c.OpenSchema(TSchemaKind::Columns, {QVariant(), QVariant(), QStringLiteral("people")});
    QMap<QString, QString> text;
    for (columns->First(); !columns->Eof(); columns->Next())
        text.insert(columns->FieldByName(QStringLiteral("COLUMN_NAME")).AsText(),
                    types.ColumnTypeText(*columns));
    QCOMPARE(text.value(QStringLiteral("name")), QStringLiteral("varchar (40) not null"));
    QVERIFY2(text.value(QStringLiteral("born")).startsWith(QLatin1String("date")),
             qPrintable(text.value(QStringLiteral("born"))));
    QVERIFY2(text.value(QStringLiteral("amount")).endsWith(QLatin1String(" null")) &&
                 !text.value(QStringLiteral("amount")).endsWith(QLatin1String("not null")),
             qPrintable(text.value(QStringLiteral("amount"))));
}

void TestOdbc::schemaKinds_data() {
    QTest::addColumn<QString>("provider");
    QTest::addColumn<int>("kind");
    QTest::addColumn<bool>("answered");
    struct TKind {
        TSchemaKind Kind;
        bool BySqlite3, ByPsqlodbc;
    };
    const QList<TKind> kinds = {
        {TSchemaKind::Catalogs, true, true},
        {TSchemaKind::Schemata, true, true},
        {TSchemaKind::Views, true, true},
        {TSchemaKind::Statistics, false, false}, // neither driver sends table statistics rows
        {TSchemaKind::Procedures, true, true},
        {TSchemaKind::ProcedureParameters, true, true},
        {TSchemaKind::ProcedureColumns, true, true},
        {TSchemaKind::TablePrivileges, true, true},
        {TSchemaKind::DBInfoKeywords, true, true},
        {TSchemaKind::ColumnPrivileges, false, true}, // the SQLite3 driver lacks SQLColumnPrivileges
        {TSchemaKind::CheckConstraints, false, false},
    };
    for (const TKind& k : kinds) {
        QTest::addRow("sqlite3 driver %s", qPrintable(SchemaKindName(k.Kind)))
            << QStringLiteral("odbc-sqlite") << int(k.Kind) << k.BySqlite3;
        QTest::addRow("psqlodbc %s", qPrintable(SchemaKindName(k.Kind)))
            << QStringLiteral("odbc-postgresql") << int(k.Kind) << k.ByPsqlodbc;
    }
}

void TestOdbc::schemaKinds() {
    USE_PROVIDER_FIXTURE(f);
    QFETCH(int, kind);
    QFETCH(bool, answered);
    TConnection& c = db.Connection();
    c.Execute(f.CreatePeople);
    // Restricted to the fixture's table, so that a shared server's other objects do not count.
    const QVariantList restrictions = {QVariant(), QVariant(), QStringLiteral("people")};
    try {
        std::unique_ptr<TRecordset> rows = c.OpenSchema(TSchemaKind(kind), restrictions);
        QVERIFY(answered);
        QVERIFY(rows->Fields().Count() > 0);
    } catch (const TDataError& e) {
        QVERIFY2(!answered, qPrintable(e.Message()));
        QVERIFY2(e.Message().contains(QStringLiteral("nicht unterstützt")), qPrintable(e.Message()));
    }
}

// MariaDB's driver lists the tables of every database of the server unless a catalog is
// named; the schema reads keep to the connection's database, and follow a USE.
void TestOdbc::mariaDbListsOnlyTheCurrentDatabase() {
    const QString server = qEnvironmentVariable("TABULO_TEST_MARIADB");
    if (server.isEmpty())
        QSKIP("TABULO_TEST_MARIADB is not set: no MariaDB server (scripts/mariadb-test-server.sh start)");
    TConnection c;
    c.Open(server);
    const QString own = TConnectionString(server).Value(QStringLiteral("Database"));
    c.Execute(QStringLiteral("CREATE DATABASE IF NOT EXISTS tabulo_fremd"));
    c.Execute(QStringLiteral("CREATE TABLE IF NOT EXISTS tabulo_fremd.fremd (x INT)"));
    c.Execute(QStringLiteral("CREATE TABLE IF NOT EXISTS kunden (id INT PRIMARY KEY, name VARCHAR(20))"));
    auto tables = [&c] {
        QStringList names;
        std::unique_ptr<TRecordset> rows = c.OpenSchema(TSchemaKind::Tables);
        for (rows->First(); !rows->Eof(); rows->Next())
            names << rows->FieldByName(QStringLiteral("TABLE_CATALOG")).AsText() + u'.' +
                         rows->FieldByName(QStringLiteral("TABLE_NAME")).AsText();
        return names;
    };
    QCOMPARE(tables(), QStringList{own + QStringLiteral(".kunden")});
    std::unique_ptr<TRecordset> columns =
        c.OpenSchema(TSchemaKind::Columns, {QVariant(), QVariant(), QStringLiteral("kunden")});
    int count = 0;
    for (columns->First(); !columns->Eof(); columns->Next(), ++count)
        QCOMPARE(columns->FieldByName(QStringLiteral("TABLE_CATALOG")).AsText(), own);
    QCOMPARE(count, 2);
    // A catalog the caller names is still read.
    std::unique_ptr<TRecordset> named = c.OpenSchema(TSchemaKind::Tables, {QStringLiteral("tabulo_fremd")});
    named->First();
    QVERIFY(!named->Eof());
    QCOMPARE(named->FieldByName(QStringLiteral("TABLE_NAME")).AsText(), QStringLiteral("fremd"));
    c.Execute(QStringLiteral("USE tabulo_fremd"));
    QCOMPARE(tables(), QStringList{QStringLiteral("tabulo_fremd.fremd")});
}

// psqlODBC looks a named table up in the current schema only when no schema is given; the
// workspace names tables without their schema and must see those of every schema, as the
// PostgreSQL provider does.
void TestOdbc::psqlodbcReadsEverySchema() {
    const TProviderFixture& f = ProviderFixture(QStringLiteral("odbc-postgresql"));
    if (const QString why = f.Unavailable(); !why.isEmpty()) {
        if (TestSupport::UnderCi() && why.contains(QLatin1String("TABULO_TEST_PG")))
            QFAIL(qPrintable(why));
        QSKIP(qPrintable(why));
    }
    TFixtureDatabase db(f);
    TConnection& c = db.Connection();
    const QString other = TConnectionString(db.ConnectionString())
                              .Value(QStringLiteral("ConnSettings"))
                              .section(u' ', -1)
                              .trimmed() +
                          QStringLiteral("_b");
    c.Execute(QStringLiteral("CREATE SCHEMA %1").arg(other));
    const auto dropOther =
        qScopeGuard([&] { c.Execute(QStringLiteral("DROP SCHEMA %1 CASCADE").arg(other)); });
    // A name of its own: other test runs on the shared server have tables called "kunden".
    const QString table = QStringLiteral("kunden_%1").arg(QUuid::createUuid().toString(QUuid::Id128).left(8));
    c.Execute(QStringLiteral("CREATE TABLE %1 (id int PRIMARY KEY, name text)").arg(table));
    c.Execute(QStringLiteral("CREATE TABLE %1.%2 (nr bigint, ort text, UNIQUE (nr, ort))").arg(other, table));
    auto read = [&c](TSchemaKind kind, const QVariantList& restrictions, const char* column) {
        QStringList values;
        std::unique_ptr<TRecordset> rows = c.OpenSchema(kind, restrictions);
        for (rows->First(); !rows->Eof(); rows->Next())
            values << rows->FieldByName(QLatin1String(column)).AsText();
        values.sort();
        return values;
    };
    QCOMPARE(read(TSchemaKind::Columns, {QVariant(), QVariant(), table}, "COLUMN_NAME"),
             (QStringList{"id", "name", "nr", "ort"}));
    QCOMPARE(
        read(TSchemaKind::Columns, {QVariant(), QVariant(), table, QStringLiteral("ort")}, "TABLE_SCHEMA"),
        QStringList{other});
    QCOMPARE(
        read(TSchemaKind::Indexes, {QVariant(), QVariant(), QVariant(), QVariant(), table}, "COLUMN_NAME"),
        (QStringList{"id", "nr", "ort"}));
    QCOMPARE(read(TSchemaKind::Tables, {QVariant(), QVariant(), table}, "TABLE_NAME").size(), 2);
}

void TestOdbc::psqlodbcWholeCatalogAsTableByTable_data() {
    QTest::addColumn<int>("kind");
    QTest::addColumn<int>("tableRestriction");
    QTest::addColumn<QString>("schemaColumn");
    QTest::newRow("primary keys") << int(TSchemaKind::PrimaryKeys) << 2 << "TABLE_SCHEMA";
    QTest::newRow("indexes") << int(TSchemaKind::Indexes) << 4 << "TABLE_SCHEMA";
    QTest::newRow("foreign keys") << int(TSchemaKind::ForeignKeys) << 5 << "FK_TABLE_SCHEMA";
    QTest::newRow("column privileges") << int(TSchemaKind::ColumnPrivileges) << 2 << "TABLE_SCHEMA";
}

// psqlODBC answers these kinds one table per call; without a table restriction they are read
// for all tables in one statement, which must give the rows the driver gives for each table.
void TestOdbc::psqlodbcWholeCatalogAsTableByTable() {
    QFETCH(int, kind);
    QFETCH(int, tableRestriction);
    QFETCH(QString, schemaColumn);
    const TProviderFixture& f = ProviderFixture(QStringLiteral("odbc-postgresql"));
    if (const QString why = f.Unavailable(); !why.isEmpty())
        QSKIP(qPrintable(why));
    TFixtureDatabase db(f);
    TConnection& c = db.Connection();
    const QString schema = TConnectionString(db.ConnectionString())
                               .Value(QStringLiteral("ConnSettings"))
                               .section(u' ', -1)
                               .trimmed();
    c.Execute(QStringLiteral(
        "CREATE TABLE a (id int, k int, \"Name\" text, PRIMARY KEY (id, k));"
        "CREATE UNIQUE INDEX a_name ON a (lower(\"Name\")) WHERE k > 0;"
        "CREATE INDEX a_k ON a (k DESC, id);"
        "CREATE TABLE b (x int PRIMARY KEY, ai int, ak int, "
        "FOREIGN KEY (ai, ak) REFERENCES a (id, k) ON DELETE CASCADE ON UPDATE SET NULL DEFERRABLE);"
        "CREATE TABLE \"c%_\" (z int REFERENCES b (x));"
        "GRANT SELECT (\"Name\") ON a TO PUBLIC"));
    auto texts = [&](const QVariantList& restrictions) {
        QStringList result;
        std::unique_ptr<TRecordset> rows = c.OpenSchema(TSchemaKind(kind), restrictions);
        for (rows->First(); !rows->Eof(); rows->Next()) {
            if (rows->FieldByName(schemaColumn).AsText() != schema)
                continue;
            QStringList fields;
            for (int i = 0; i < rows->Fields().Count(); ++i)
                fields << (rows->Fields()[i].IsNull() ? QStringLiteral("<null>")
                                                      : rows->Fields()[i].AsText());
            result << fields.join(u'|');
        }
        result.sort();
        return result;
    };
    QStringList byTable;
    for (const QString& table : {QStringLiteral("a"), QStringLiteral("b"), QStringLiteral("c%_")}) {
        QVariantList restrictions(tableRestriction + 1);
        restrictions[tableRestriction] = table;
        byTable << texts(restrictions);
    }
    byTable.sort();
    QVERIFY(!byTable.isEmpty());
    QCOMPARE(texts({}), byTable);
}

QTEST_GUILESS_MAIN(TestOdbc)
#include "tst_odbc.moc"
