// PostgreSQL provider against the real server of the test run (TABULO_TEST_PG): what the
// shared conformance cases cannot see — libpq streaming and cancel, the server's types, its
// schema rowsets and its messages. Each run works in a schema of its own.

#include "data/CProviderTypes.h"
#include "data/Connection.h"
#include "data/DataError.h"
#include "data/Query.h"
#include "data/postgres/PostgresStatements.h"
#include "tests/support/TestSupport.h"

#include <QDateTime>
#include <charconv>
#include <QElapsedTimer>
#include <QRandomGenerator>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>
#include <unistd.h>

class TestPostgres : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();

    void splitStatements_data();
    void splitStatements();
    void openErrors_data();
    void openErrors();
    void unreachablePortFailsWithinTimeout();
    void valuesKeepTheirTypes();
    void realsAreTheDoublesOfTheServersDigits();
    void parametersReachTheServerTyped();
    void multiStatementTexts();
    void cancelWhileExecuting();
    void cancelWhileFetching();
    void errorInTheMiddleOfTheStream();
    void statementsDuringAFetch();
    void schemaRowsets();
    void columnTypesInTheServersWords_data();
    void columnTypesInTheServersWords();
    void updatableResults();
    void lostConnectionIsReopened();

private:
    QString m_schema;
    QString m_connectionString;
};

namespace {

QString WithKey(const QString& connectionString, const QString& key, const QString& value) {
    return connectionString + u';' + key + u'=' + value;
}

std::unique_ptr<TConnection> Connect(const QString& connectionString) {
    auto c = std::make_unique<TConnection>();
    c->SetCommandTimeout(0);
    c->Open(connectionString);
    return c;
}

// The first value of a one-row result.
QString Scalar(TConnection& c, const QString& sql) {
    TQuery q;
    q.SetConnection(&c);
    q.SetSql(sql);
    q.Open();
    return q.Fields()[0].AsText();
}

} // namespace

void TestPostgres::initTestCase() {
    REQUIRE_POSTGRES(base);
    m_schema = QStringLiteral("tst_pg_%1_%2")
                   .arg(QCoreApplication::applicationPid())
                   .arg(QRandomGenerator::global()->bounded(1000000));
    auto c = Connect(base);
    c->Execute(QStringLiteral("CREATE SCHEMA %1").arg(m_schema));
    m_connectionString =
        WithKey(base, QStringLiteral("options"), QStringLiteral("'-c search_path=%1'").arg(m_schema));
}

void TestPostgres::cleanupTestCase() {
    if (m_schema.isEmpty())
        return;
    auto c = Connect(TestSupport::PostgresConnectionString());
    c->Execute(QStringLiteral("DROP SCHEMA %1 CASCADE").arg(m_schema));
}

void TestPostgres::splitStatements_data() {
    QTest::addColumn<QString>("sql");
    QTest::addColumn<QStringList>("statements");
    QTest::addColumn<QList<int>>("lastParameters");

    QTest::newRow("one") << "select 1" << QStringList{"select 1"} << QList<int>{};
    QTest::newRow("empty statements dropped")
        << " ; select 1;;\n select 2 ; " << QStringList{"select 1", "select 2"} << QList<int>{};
    QTest::newRow("quotes and comments")
        << "select ';', \"a;b\", E'\\';' -- x;y\n; /* a; /* nested; */ b; */ select 2"
        << QStringList{"select ';', \"a;b\", E'\\';' -- x;y", "/* a; /* nested; */ b; */ select 2"}
        << QList<int>{};
    QTest::newRow("dollar quoted body") << "create function f() returns int as $body$ begin; return 1; end "
                                           "$body$ language plpgsql; select f()"
                                        << QStringList{"create function f() returns int as $body$ begin; "
                                                       "return 1; end $body$ language plpgsql",
                                                       "select f()"}
                                        << QList<int>{};
    QTest::newRow("begin atomic body")
        << "create function g() returns int language sql begin atomic select 1; select case when true then 2 "
           "end; end; select g()"
        << QStringList{"create function g() returns int language sql begin atomic select 1; select case when "
                       "true then 2 end; end",
                       "select g()"}
        << QList<int>{};
    QTest::newRow("transaction begin is a statement")
        << "begin; select 1; commit" << QStringList{"begin", "select 1", "commit"} << QList<int>{};
    QTest::newRow("rule with parentheses")
        << "create rule r as on insert to t do also (insert into u values (1); insert into u values (2))"
        << QStringList{"create rule r as on insert to t do also (insert into u values (1); insert into u "
                       "values "
                       "(2))"}
        << QList<int>{};
    QTest::newRow("markers renumbered per statement")
        << "insert into t values ($1, $2); select * from t where a = $3 or b = $3 or c = $4"
        << QStringList{"insert into t values ($1, $2)", "select * from t where a = $1 or b = $1 or c = $2"}
        << QList<int>{3, 4};
    QTest::newRow("dollar inside a name is no marker")
        << "select a$1 from t$x" << QStringList{"select a$1 from t$x"} << QList<int>{};
}

void TestPostgres::splitStatements() {
    QFETCH(QString, sql);
    QFETCH(QStringList, statements);
    QFETCH(QList<int>, lastParameters);
    const QList<TPgStatement> parts = SplitPgStatements(sql);
    QStringList texts;
    for (const TPgStatement& p : parts)
        texts << p.Sql;
    QCOMPARE(texts, statements);
    QCOMPARE(parts.last().Parameters, lastParameters);
}

void TestPostgres::openErrors_data() {
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("value");
    QTest::addColumn<QString>("message");

    QTest::newRow("wrong password") << "Password"
                                    << "wrong"
                                    << "password authentication failed";
    QTest::newRow("missing password") << "Password"
                                      << ""
                                      << "no password supplied";
    QTest::newRow("unknown database") << "Initial Catalog"
                                      << "no_such_db"
                                      << "no_such_db";
    QTest::newRow("unknown libpq key") << "Frobnicate"
                                       << "1"
                                       << "frobnicate";
}

void TestPostgres::openErrors() {
    REQUIRE_POSTGRES(base);
    QFETCH(QString, key);
    QFETCH(QString, value);
    QFETCH(QString, message);
    TConnection c;
    try {
        c.Open(WithKey(base, key, value));
        QFAIL("Open succeeded");
    } catch (const TDataError& e) {
        QVERIFY2(e.Message().contains(message), qPrintable(e.Message()));
        QCOMPARE(e.SqlState(), QStringLiteral("08001"));
    }
    QVERIFY(!c.Connected());
}

void TestPostgres::unreachablePortFailsWithinTimeout() {
    REQUIRE_POSTGRES(base);
    // A port nobody listens on, and an address that drops packets: both end by the time-out.
    for (const QString& source : {QStringLiteral("127.0.0.1:1"), QStringLiteral("10.255.255.1:5432")}) {
        TConnection c;
        c.SetConnectionTimeout(2);
        QElapsedTimer t;
        t.start();
        QVERIFY_THROWS_EXCEPTION(TDataError, c.Open(WithKey(base, QStringLiteral("Data Source"), source)));
        QVERIFY2(t.elapsed() < 4000, qPrintable(QString::number(t.elapsed())));
    }
    // A server that takes the connection and never answers: the time-out alone ends the wait.
    const TestSupport::TSilentServer silent;
    QVERIFY(silent.Port() > 0);
    TConnection c;
    c.SetConnectionTimeout(2);
    QElapsedTimer t;
    t.start();
    try {
        c.Open(WithKey(base, QStringLiteral("Data Source"),
                       QStringLiteral("127.0.0.1:%1").arg(silent.Port())));
        QFAIL("a server that never answers was reached");
    } catch (const TDataError& e) {
        QVERIFY2(e.Message().contains(QStringLiteral("Zeitüberschreitung")), qPrintable(e.Message()));
    }
    QVERIFY2(t.elapsed() >= 1500 && t.elapsed() < 6000, qPrintable(QString::number(t.elapsed())));
}

void TestPostgres::valuesKeepTheirTypes() {
    auto c = Connect(m_connectionString);
    TQuery q;
    q.SetConnection(c.get());
    q.SetSql(QStringLiteral(
        "SELECT 42::int4 AS i, 9007199254740993::int8 AS big, 0.1::float8 AS f, "
        "12345678901234567890.12::numeric "
        "AS n, 'Grüße'::varchar(10) AS v, '\\x00ff10'::bytea AS b, DATE '2024-02-29' AS d, "
        "TIMESTAMP '2024-02-29 13:14:15.678' AS ts, TIMESTAMP '2024-02-29 13:14:15.678901' AS fine, "
        "TIME '23:59:58' AS t, true AS yes, NULL::int AS nothing, "
        "'5f1c5b1e-8a4b-4f7e-9a39-2d1a0b3c4d5e'::uuid AS "
        "u, DATE '0044-03-15 BC' AS bc, ARRAY[1,2] AS arr"));
    q.Open();
    struct {
        const char* Name;
        TDataType Type;
        QVariant Value;
    } const expected[] = {
        {"i", TDataType::Integer, qlonglong(42)},
        {"big", TDataType::BigInt, qlonglong(9007199254740993LL)},
        {"f", TDataType::Double, 0.1},
        {"n", TDataType::Numeric, QStringLiteral("12345678901234567890.12")},
        {"v", TDataType::VarWChar, QStringLiteral("Grüße")},
        {"b", TDataType::LongVarBinary, QByteArray("\x00\xff\x10", 3)},
        {"d", TDataType::DBDate, QDate(2024, 2, 29)},
        {"ts", TDataType::DBTimeStamp, QDateTime(QDate(2024, 2, 29), QTime(13, 14, 15, 678))},
        {"fine", TDataType::DBTimeStamp, QStringLiteral("2024-02-29 13:14:15.678901")},
        {"t", TDataType::DBTime, QTime(23, 59, 58)},
        {"yes", TDataType::Boolean, true},
        {"nothing", TDataType::Integer, QVariant()},
        {"u", TDataType::Guid, QStringLiteral("5f1c5b1e-8a4b-4f7e-9a39-2d1a0b3c4d5e")},
        {"bc", TDataType::DBDate, QStringLiteral("0044-03-15 BC")},
        {"arr", TDataType::LongVarWChar, QStringLiteral("{1,2}")},
    };
    QCOMPARE(q.Fields().Count(), int(std::size(expected)));
    for (const auto& e : expected) {
        const TField& f = q.FieldByName(QString::fromLatin1(e.Name));
        QCOMPARE(f.Type(), e.Type);
        QCOMPARE(f.Value(), e.Value);
    }
    QCOMPARE(q.FieldByName(QStringLiteral("v")).DefinedSize(), 10);
    QVERIFY(q.FieldByName(QStringLiteral("nothing")).AsText().isEmpty());
}

void TestPostgres::realsAreTheDoublesOfTheServersDigits() {
    // Short decimals are read by a fast path, the rest by from_chars; both must give the
    // double nearest to the digits the server wrote, for double and real columns, at every
    // magnitude and with up to 17 digits. An empty text next to them stays a text.
    auto c = Connect(m_connectionString);
    TQuery q;
    q.SetConnection(c.get());
    q.SetSql(QStringLiteral("SELECT x, x::text, x::real, x::real::text, '' AS empty FROM "
                            "(SELECT (CASE WHEN i % 2 = 0 THEN -1 ELSE 1 END) * (i * 1.0137::float8 + i / 7.0::float8) "
                            "/ power(10::float8, i % 25 - 8) AS x FROM generate_series(1, 20000) AS s(i)) AS t"));
    q.Open();
    QCOMPARE(q.RecordCount(), 20000);
    const auto digits = [](const QVariant& text) {
        const QByteArray t = text.toString().toLatin1();
        double v = 0;
        std::from_chars(t.constData(), t.constData() + t.size(), v);
        return v;
    };
    int fast = 0;
    for (qint64 row = 0; row < q.RecordCount(); ++row) {
        for (int column : {0, 2}) {
            const QVariant value = q.Value(row, column);
            const QVariant text = q.Value(row, column + 1);
            QCOMPARE(value.typeId(), int(QMetaType::Double));
            if (value.toDouble() != digits(text))
                QFAIL(qPrintable(QStringLiteral("%1 read as %2").arg(text.toString()).arg(value.toDouble(), 0, 'g', 17)));
            fast += text.toString().remove(u'-').remove(u'.').size() <= 15 && !text.toString().contains(u'e');
        }
        QCOMPARE(q.Value(row, 4).typeId(), int(QMetaType::QString)); // not NULL
        QVERIFY(q.Value(row, 4).toString().isEmpty());
    }
    QVERIFY(fast > 1000); // the short decimals were there
}

void TestPostgres::parametersReachTheServerTyped() {
    auto c = Connect(m_connectionString);
    c->Execute(QStringLiteral("CREATE TABLE params (id int PRIMARY KEY, n numeric(12,3), b bytea, t text, "
                              "ts timestamptz, d date)"));
    TQuery q;
    q.SetConnection(c.get());
    q.SetSql(QStringLiteral("INSERT INTO params VALUES (:id, :n, :b, :t, :ts, :d)"));
    q.Parameters().ParamByName(QStringLiteral("id")).Value = 1;
    q.Parameters().ParamByName(QStringLiteral("n")).Value = 1.5;
    q.Parameters().ParamByName(QStringLiteral("b")).Value = QByteArray("\x01\x00\x02", 3);
    q.Parameters().ParamByName(QStringLiteral("t")).Value = QVariant();
    q.Parameters().ParamByName(QStringLiteral("ts")).Value = QDateTime(QDate(2020, 1, 2), QTime(3, 4, 5, 6));
    q.Parameters().ParamByName(QStringLiteral("d")).Value = QDate(1999, 12, 31);
    QCOMPARE(q.ExecSQL(), 1);
    q.SetSql(QStringLiteral(
        "SELECT n::text, encode(b, 'hex'), t IS NULL, t = '', ts, d FROM params WHERE id = :id"));
    q.Parameters()[0].Value = 1;
    q.Open();
    QCOMPARE(q.Fields()[0].Value().toString(), QStringLiteral("1.500"));
    QCOMPARE(q.Fields()[1].Value().toString(), QStringLiteral("010002"));
    QCOMPARE(q.Fields()[2].Value().toBool(), true);
    QCOMPARE(q.Fields()[4].Value().toDateTime(), QDateTime(QDate(2020, 1, 2), QTime(3, 4, 5, 6)));
    QCOMPARE(q.Fields()[5].Value().toDate(), QDate(1999, 12, 31));
}

void TestPostgres::multiStatementTexts() {
    auto c = Connect(m_connectionString);
    // Every statement runs; the affected rows add up; rows a SELECT returns are not counted.
    QCOMPARE(c->Execute(QStringLiteral("CREATE TABLE multi (a int); INSERT INTO multi VALUES (1), (2); "
                                       "SELECT * FROM multi; UPDATE multi SET a = a + 10")),
             4);
    QCOMPARE(Scalar(*c, QStringLiteral("SELECT sum(a) FROM multi")), QStringLiteral("23"));

    // With parameters each statement gets the values of its own markers.
    TQuery q;
    q.SetConnection(c.get());
    q.SetSql(QStringLiteral("INSERT INTO multi VALUES (:x); DELETE FROM multi WHERE a = :y; "
                            "SELECT count(*), sum(a) FROM multi WHERE a <> :x"));
    q.Parameters().ParamByName(QStringLiteral("x")).Value = 100;
    q.Parameters().ParamByName(QStringLiteral("y")).Value = 11;
    q.Open();
    QCOMPARE(q.Fields()[0].AsInteger(), 1);
    QCOMPARE(q.Fields()[1].AsInteger(), 12);

    // A failing statement in the middle fails the text; the rest does not run.
    QVERIFY_THROWS_EXCEPTION(TDataError,
                             c->Execute(QStringLiteral("INSERT INTO multi VALUES (7); SELECT 1/0; "
                                                       "INSERT INTO multi VALUES (8)")));
    QCOMPARE(Scalar(*c, QStringLiteral("SELECT count(*) FROM multi WHERE a IN (7, 8)")), QStringLiteral("0"));
}

void TestPostgres::cancelWhileExecuting() {
    auto c = Connect(m_connectionString);
    TQuery q;
    q.SetConnection(c.get());
    q.SetExecuteOptions(TExecuteOption::AsyncFetch);
    q.SetSql(QStringLiteral("SELECT pg_sleep(20)"));
    QTimer::singleShot(200, c.get(), [&c] { c->Cancel(); });
    QElapsedTimer t;
    t.start();
    try {
        q.Open();
        QFAIL("Open succeeded");
    } catch (const TDataError& e) {
        QCOMPARE(e.SqlState(), QStringLiteral("57014"));
        QCOMPARE(e.Message(), TCancelledError().Message());
    }
    QVERIFY2(t.elapsed() < 3000, qPrintable(QString::number(t.elapsed())));
    // The session stays usable.
    QCOMPARE(Scalar(*c, QStringLiteral("SELECT 7")), QStringLiteral("7"));

    // A statement time-out is the server's error, not a cancel by the user.
    c->SetCommandTimeout(1);
    try {
        c->Execute(QStringLiteral("SELECT pg_sleep(5)"));
        QFAIL("no time-out");
    } catch (const TCancelledError&) {
        QFAIL("time-out reported as a cancel");
    } catch (const TDataError& e) {
        QCOMPARE(e.SqlState(), QStringLiteral("57014"));
    }
}

void TestPostgres::cancelWhileFetching() {
    auto c = Connect(m_connectionString);
    TQuery q;
    q.SetConnection(c.get());
    q.SetExecuteOptions(TExecuteOption::AsyncFetch);
    q.SetSql(QStringLiteral("SELECT n, repeat('x', 50) FROM generate_series(1, 3000000) n"));
    QSignalSpy complete(&q, &TQuery::FetchComplete);
    QElapsedTimer sinceCancel;
    connect(&q, &TQuery::FetchProgress, &q, [&](qint64 progress) {
        if (progress > 1000 && !sinceCancel.isValid()) {
            sinceCancel.start();
            q.Cancel();
        }
    });
    q.Open();
    QTRY_COMPARE_WITH_TIMEOUT(complete.count(), 1, 10000);
    // The row count shows that the cancel stopped the fetch; how fast is for the benchmarks
    // to say, this only catches a cancel left hanging.
    QVERIFY2(sinceCancel.elapsed() < 10000, qPrintable(QString::number(sinceCancel.elapsed())));
    QVERIFY(q.RecordCount() < 3000000);
    QTest::qWait(100);
    QCOMPARE(complete.count(), 1);
    QCOMPARE(Scalar(*c, QStringLiteral("SELECT 8")), QStringLiteral("8"));

    // Destroying a query in the middle of its fetch leaves the session usable as well.
    auto q2 = std::make_unique<TQuery>();
    q2->SetConnection(c.get());
    q2->SetExecuteOptions(TExecuteOption::AsyncFetch);
    q2->SetSql(QStringLiteral("SELECT n FROM generate_series(1, 3000000) n"));
    q2->Open();
    QTest::qWait(50);
    q2.reset();
    QCOMPARE(Scalar(*c, QStringLiteral("SELECT 9")), QStringLiteral("9"));
}

void TestPostgres::errorInTheMiddleOfTheStream() {
    auto c = Connect(m_connectionString);
    TQuery q;
    q.SetConnection(c.get());
    q.SetExecuteOptions(TExecuteOption::AsyncFetch);
    q.SetSql(QStringLiteral("SELECT n, 1 / (n - 30000) FROM generate_series(1, 100000) n"));
    QSignalSpy complete(&q, &TQuery::FetchComplete);
    q.Open(); // the first rows are good
    QTRY_COMPARE_WITH_TIMEOUT(complete.count(), 1, 10000);
    QVERIFY2(complete.at(0).at(0).toString().contains(QLatin1String("division by zero")),
             qPrintable(complete.at(0).at(0).toString()));
    QCOMPARE(q.RecordCount(), 29999);
    QCOMPARE(Scalar(*c, QStringLiteral("SELECT 10")), QStringLiteral("10"));

    // An error before the first row is raised by Open itself.
    q.SetSql(QStringLiteral("SELECT 1 / 0"));
    try {
        q.Open();
        QFAIL("Open succeeded");
    } catch (const TDataError& e) {
        QCOMPARE(e.SqlState(), QStringLiteral("22012"));
    }
}

void TestPostgres::statementsDuringAFetch() {
    auto c = Connect(m_connectionString);
    c->Execute(QStringLiteral("CREATE TABLE during (a int)"));
    TQuery q;
    q.SetConnection(c.get());
    q.SetExecuteOptions(TExecuteOption::AsyncFetch);
    q.SetSql(QStringLiteral("SELECT n FROM generate_series(1, 3000000) n"));
    QSignalSpy complete(&q, &TQuery::FetchComplete);
    q.Open();
    QVERIFY(q.Fetching());
    // Schema reads and statements go on while the rows stream, without waiting for the end.
    QElapsedTimer t;
    t.start();
    QCOMPARE(c->Execute(QStringLiteral("INSERT INTO during VALUES (1)")), 1);
    auto tables = c->OpenSchema(TSchemaKind::Tables, {QVariant(), m_schema, QStringLiteral("during")});
    QCOMPARE(tables->RecordCount(), 1);
    QVERIFY(q.Fetching());
    QTRY_COMPARE_WITH_TIMEOUT(complete.count(), 1, 30000);
    QCOMPARE(complete.at(0).at(0).toString(), QString());
    QCOMPARE(q.RecordCount(), 3000000);
}

void TestPostgres::schemaRowsets() {
    auto c = Connect(m_connectionString);
    c->Execute(QStringLiteral(
        "CREATE TABLE parent (id int PRIMARY KEY, code varchar(10) NOT NULL UNIQUE); "
        "CREATE TABLE child (id int, pos int, parent_id int REFERENCES parent ON DELETE CASCADE, "
        "  note text, PRIMARY KEY (id, pos)); "
        "CREATE INDEX child_note ON child (note DESC, (pos + 1)); "
        "CREATE VIEW child_view AS SELECT id, note FROM child; "
        "CREATE FUNCTION twice(x int) RETURNS int LANGUAGE sql AS 'SELECT 2 * x'"));
    auto field = [](TRecordset& rs, const char* name) {
        return rs.FieldByName(QString::fromLatin1(name)).AsText();
    };

    auto tables = c->OpenSchema(TSchemaKind::Tables, {QVariant(), m_schema});
    QStringList found;
    for (tables->First(); !tables->Eof(); tables->Next())
        if (field(*tables, "TABLE_NAME").contains(QLatin1String("child")) ||
            field(*tables, "TABLE_NAME") == "parent")
            found << field(*tables, "TABLE_NAME") + u':' + field(*tables, "TABLE_TYPE");
    found.sort();
    QCOMPARE(found, (QStringList{"child:TABLE", "child_view:VIEW", "parent:TABLE"}));
    auto system = c->OpenSchema(TSchemaKind::Tables,
                                {QVariant(), QStringLiteral("pg_catalog"), QStringLiteral("pg_class")});
    QCOMPARE(field(*system, "TABLE_TYPE"), QStringLiteral("SYSTEM TABLE"));

    auto indexes = c->OpenSchema(TSchemaKind::Indexes,
                                 {QVariant(), m_schema, QVariant(), QVariant(), QStringLiteral("child")});
    QStringList rows;
    for (indexes->First(); !indexes->Eof(); indexes->Next())
        rows << QStringList{field(*indexes, "INDEX_NAME"),  field(*indexes, "ORDINAL_POSITION"),
                            field(*indexes, "COLUMN_NAME"), field(*indexes, "PRIMARY_KEY"),
                            field(*indexes, "UNIQUE"),      field(*indexes, "COLLATION")}
                    .join(u' ');
    QCOMPARE(rows, (QStringList{"child_note 1 note False False 2", "child_note 2 (pos + 1) False False 1",
                                "child_pkey 1 id True True 1", "child_pkey 2 pos True True 1"}));

    auto keys = c->OpenSchema(TSchemaKind::ForeignKeys, {QVariant(), m_schema, QStringLiteral("parent")});
    QCOMPARE(keys->RecordCount(), 1);
    QCOMPARE(field(*keys, "FK_TABLE_NAME"), QStringLiteral("child"));
    QCOMPARE(field(*keys, "FK_COLUMN_NAME"), QStringLiteral("parent_id"));
    QCOMPARE(field(*keys, "PK_COLUMN_NAME"), QStringLiteral("id"));
    QCOMPARE(field(*keys, "DELETE_RULE"), QStringLiteral("CASCADE"));
    QCOMPARE(field(*keys, "PK_NAME"), QStringLiteral("parent_pkey"));

    auto primary = c->OpenSchema(TSchemaKind::PrimaryKeys, {QVariant(), m_schema, QStringLiteral("child")});
    QCOMPARE(primary->RecordCount(), 2);

    auto catalogs = c->OpenSchema(TSchemaKind::Catalogs);
    bool ownDatabase = false;
    for (catalogs->First(); !catalogs->Eof(); catalogs->Next())
        ownDatabase = ownDatabase || field(*catalogs, "CATALOG_NAME") ==
                                         Scalar(*c, QStringLiteral("SELECT current_database()"));
    QVERIFY(ownDatabase);

    auto procedures = c->OpenSchema(TSchemaKind::Procedures, {QVariant(), m_schema, QStringLiteral("twice")});
    QCOMPARE(procedures->RecordCount(), 1);
    QCOMPARE(field(*procedures, "PROCEDURE_DEFINITION"), QStringLiteral("SELECT 2 * x"));
    auto parameters =
        c->OpenSchema(TSchemaKind::ProcedureParameters, {QVariant(), m_schema, QStringLiteral("twice")});
    QCOMPARE(parameters->RecordCount(), 1);
    QCOMPARE(field(*parameters, "PARAMETER_NAME"), QStringLiteral("x"));
    QCOMPARE(field(*parameters, "TYPE_NAME"), QStringLiteral("integer"));
    QCOMPARE(field(*parameters, "DATA_TYPE"), QStringLiteral("3")); // I4
    auto views = c->OpenSchema(TSchemaKind::Views, {QVariant(), m_schema});
    QCOMPARE(views->RecordCount(), 1);
    QCOMPARE(field(*views, "IS_UPDATABLE"), QStringLiteral("True"));

    // Every kind either answers with its columns or says in German that it cannot.
    for (int kind = 0; kind <= 38; ++kind) {
        try {
            auto rs = c->OpenSchema(TSchemaKind(kind));
            QVERIFY(rs->Fields().Count() > 0);
        } catch (const TDataError& e) {
            QVERIFY2(e.Message().contains(QStringLiteral("nicht unterstützt")), qPrintable(e.Message()));
        }
    }
    QCOMPARE(Scalar(*c, QStringLiteral("SELECT 11")), QStringLiteral("11"));
}

void TestPostgres::columnTypesInTheServersWords_data() {
    QTest::addColumn<QString>("definition");
    QTest::addColumn<QString>("text");

    QTest::newRow("varchar") << "varchar(40) NOT NULL"
                             << "character varying (40) not null";
    QTest::newRow("char") << "char(3)"
                          << "character (3) null";
    QTest::newRow("text") << "text"
                          << "text null";
    QTest::newRow("integer") << "int PRIMARY KEY"
                             << "integer not null";
    QTest::newRow("bigint") << "bigint"
                            << "bigint null";
    QTest::newRow("numeric") << "numeric(10,2)"
                             << "numeric (10,2) null";
    QTest::newRow("numeric unconstrained") << "numeric"
                                           << "numeric null";
    QTest::newRow("double") << "float8"
                            << "double precision null";
    QTest::newRow("boolean") << "boolean"
                             << "boolean null";
    QTest::newRow("timestamp") << "timestamp"
                               << "timestamp without time zone null";
    QTest::newRow("timestamptz") << "timestamptz"
                                 << "timestamp with time zone null";
    QTest::newRow("date") << "date"
                          << "date null";
    QTest::newRow("bytea") << "bytea"
                           << "bytea null";
    QTest::newRow("uuid") << "uuid"
                          << "uuid null";
    // Parameters the server keeps in the type modifier, read as declared.
    QTest::newRow("bit") << "bit(4)"
                         << "bit (4) null";
    QTest::newRow("varbit") << "varbit(16)"
                            << "bit varying (16) null";
    QTest::newRow("time precision") << "time(3)"
                                    << "time(3) without time zone null";
    QTest::newRow("timestamp precision") << "timestamp(0)"
                                         << "timestamp(0) without time zone null";
    QTest::newRow("interval fields") << "interval year to month"
                                     << "interval year to month null";
    QTest::newRow("interval seconds") << "interval second(3)"
                                      << "interval second(3) null";
}

void TestPostgres::columnTypesInTheServersWords() {
    QFETCH(QString, definition);
    QFETCH(QString, text);
    auto c = Connect(m_connectionString);
    c->Execute(QStringLiteral("DROP TABLE IF EXISTS typed; CREATE TABLE typed (col %1)").arg(definition));
    auto column = c->OpenSchema(TSchemaKind::Columns, {QVariant(), m_schema, QStringLiteral("typed")});
    QCOMPARE(column->RecordCount(), 1);
    QCOMPARE(TProviderTypes(*c).ColumnTypeText(*column), text);
}

void TestPostgres::updatableResults() {
    auto c = Connect(m_connectionString);
    c->Execute(
        QStringLiteral("CREATE TABLE editable (id int PRIMARY KEY, name varchar(20), amount numeric(8,2)); "
                       "INSERT INTO editable VALUES (1, 'one', 1.50), (2, 'two', 2.00); "
                       "CREATE TABLE unique_key (code text NOT NULL UNIQUE, n int); "
                       "INSERT INTO unique_key VALUES ('a', 1); "
                       "CREATE TABLE nullable_key (code text UNIQUE, n int)"));
    TQuery q;
    q.SetConnection(c.get());
    q.SetLockType(TLockType::Optimistic);
    q.SetSql(QStringLiteral("SELECT * FROM editable ORDER BY id"));
    q.Open();
    QVERIFY(q.Supports(TCursorOption::Update));
    q.Edit();
    q.FieldByName(QStringLiteral("name")).SetValue(QStringLiteral("eins"));
    q.Post();
    QCOMPARE(Scalar(*c, QStringLiteral("SELECT name FROM editable WHERE id = 1")), QStringLiteral("eins"));

    // A row someone else changed meanwhile is not overwritten; the edit stays.
    c->Execute(QStringLiteral("UPDATE editable SET amount = 9 WHERE id = 2"));
    q.Next();
    q.Edit();
    q.FieldByName(QStringLiteral("amount")).SetValue(QStringLiteral("3.25"));
    c->Execute(QStringLiteral("UPDATE editable SET amount = 8 WHERE id = 2"));
    QVERIFY_THROWS_EXCEPTION(TDataError, q.Post());
    QCOMPARE(q.State(), TRecordset::TEditState::Edit);
    QCOMPARE(Scalar(*c, QStringLiteral("SELECT amount FROM editable WHERE id = 2")), QStringLiteral("8.00"));
    q.CancelUpdate();

    // The change is its own transaction: nothing stays open afterwards.
    QCOMPARE(Scalar(*c, QStringLiteral("SELECT count(*) FROM pg_stat_activity WHERE pid = pg_backend_pid() "
                                       "AND xact_start IS NOT NULL AND state = 'idle in transaction'")),
             QStringLiteral("0"));

    q.Close();
    q.SetSql(QStringLiteral("SELECT * FROM unique_key"));
    q.Open();
    QVERIFY(q.Supports(TCursorOption::Update));
    q.Close();
    for (const QString& readOnly : {QStringLiteral("SELECT * FROM nullable_key"),
                                    QStringLiteral("SELECT e.id, u.n FROM editable e, unique_key u"),
                                    QStringLiteral("SELECT id, name || '!' AS x FROM editable")}) {
        q.SetSql(readOnly);
        q.Open();
        QVERIFY2(!q.Supports(TCursorOption::Update), qPrintable(readOnly));
        q.Close();
    }
}

void TestPostgres::lostConnectionIsReopened() {
    auto c = Connect(m_connectionString);
    const QString pid = Scalar(*c, QStringLiteral("SELECT pg_backend_pid()"));
    auto other = Connect(m_connectionString);
    other->Execute(QStringLiteral("SELECT pg_terminate_backend(%1, 5000)").arg(pid));
    // The statement that finds the connection gone fails with the message of libpq; the next
    // one runs on a new connection.
    QVERIFY_THROWS_EXCEPTION(TDataError, c->Execute(QStringLiteral("SELECT 1")));
    QVERIFY(Scalar(*c, QStringLiteral("SELECT pg_backend_pid()")) != pid);
}

QTEST_MAIN(TestPostgres)
#include "tst_postgres.moc"
