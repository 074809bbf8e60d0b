// What only the SQLite provider does: open modes, row ids, declared types, statement texts.

#include "data/Connection.h"
#include "data/DataError.h"
#include "data/Query.h"

#include <QDir>
#include <QElapsedTimer>
#include <QTest>

namespace {

QString TempFile(const QString& name) {
    const QString file = QDir(qEnvironmentVariable("TABULO_TEST_TMP", QDir::tempPath())).filePath(name);
    QFile::remove(file);
    return file;
}

} // namespace

class TestSqlite : public QObject {
    Q_OBJECT

private slots:
    void openModes();
    void notADatabaseFailsAtOpen();
    void rowIdMakesAKeylessTableUpdatable();
    void insertThatWritesNoRowFails();
    void declaredTypesBecomeFieldTypes_data();
    void declaredTypesBecomeFieldTypes();
    void openRunsLeadingStatementsOfAText();
    void commandTimeoutStopsAStatement();
    void schemaKindsItAnswers_data();
    void schemaKindsItAnswers();
};

void TestSqlite::openModes() {
    const QString file = TempFile(QStringLiteral("modes.sqlite"));
    TConnection c;
    QVERIFY_THROWS_EXCEPTION(TDataError, c.Open(QStringLiteral("Provider=SQLite;Data Source=") + file));
    QVERIFY(!QFile::exists(file)); // a mistyped path never becomes an empty database
    c.Open(QStringLiteral("Provider=SQLite;Mode=Create;Data Source=") + file);
    c.Execute(QStringLiteral("CREATE TABLE t (a)"));
    c.Close();
    c.Open(QStringLiteral("Provider=SQLite;Mode=Read;Data Source=") + file);
    QCOMPARE(c.Execute(QStringLiteral("SELECT * FROM t")), -1);
    QVERIFY_THROWS_EXCEPTION(TDataError, c.Execute(QStringLiteral("INSERT INTO t VALUES (1)")));
}

void TestSqlite::notADatabaseFailsAtOpen() {
    const QString file = TempFile(QStringLiteral("text.sqlite"));
    QFile f(file);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(QByteArray(4096, 'x'));
    f.close();
    TConnection c;
    QVERIFY_THROWS_EXCEPTION(TDataError, c.Open(QStringLiteral("Provider=SQLite;Data Source=") + file));
    QVERIFY(!c.Connected());
}

void TestSqlite::rowIdMakesAKeylessTableUpdatable() {
    TConnection c;
    c.Open(QStringLiteral("Provider=SQLite;Mode=Create;Data Source=") +
           TempFile(QStringLiteral("rowid.sqlite")));
    c.Execute(QStringLiteral("CREATE TABLE t (name TEXT); INSERT INTO t VALUES ('a'), ('a'), ('b')"));
    TQuery q;
    q.SetConnection(&c);
    q.SetLockType(TLockType::Optimistic);
    q.SetSql(QStringLiteral("SELECT name FROM t"));
    q.Open();
    QVERIFY(!q.Supports(TCursorOption::Update)); // two rows 'a' could not be told apart
    q.SetSql(QStringLiteral("SELECT rowid, name FROM t"));
    q.Open();
    QVERIFY(q.Supports(TCursorOption::Update));
    q.Next();
    q.Edit();
    q.Fields()[1].SetValue(QStringLiteral("second"));
    q.Post();
    q.SetSql(QStringLiteral("SELECT group_concat(name, ',') FROM (SELECT name FROM t ORDER BY rowid)"));
    q.Open();
    QCOMPARE(q.Fields()[0].AsText(), QStringLiteral("a,second,b"));
}

// A trigger that drops the row: the post fails and the new record keeps what was typed,
// instead of showing a row the table does not hold.
void TestSqlite::insertThatWritesNoRowFails() {
    TConnection c;
    c.Open(QStringLiteral("Provider=SQLite;Mode=Create;Data Source=") +
           TempFile(QStringLiteral("ignored.sqlite")));
    c.Execute(QStringLiteral("CREATE TABLE t (id INTEGER PRIMARY KEY, name TEXT); "
                             "CREATE TRIGGER drop_all BEFORE INSERT ON t BEGIN SELECT RAISE(IGNORE); END"));
    TQuery q;
    q.SetConnection(&c);
    q.SetLockType(TLockType::Optimistic);
    q.SetSql(QStringLiteral("SELECT id, name FROM t"));
    q.Open();
    q.Insert();
    q.Fields()[1].SetValue(QStringLiteral("weg"));
    QVERIFY_THROWS_EXCEPTION(TDataError, q.Post());
    QCOMPARE(q.State(), TRecordset::TEditState::Insert);
    QCOMPARE(q.Fields()[1].AsText(), QStringLiteral("weg"));
}

void TestSqlite::declaredTypesBecomeFieldTypes_data() {
    QTest::addColumn<QString>("declared");
    QTest::addColumn<QString>("value");
    QTest::addColumn<int>("type");
    QTest::addColumn<int>("size");
    QTest::addColumn<bool>("blob");
    QTest::newRow("integer") << "INTEGER"
                             << "1" << int(TDataType::BigInt) << 0 << false;
    QTest::newRow("int") << "INT"
                         << "1" << int(TDataType::Integer) << 0 << false;
    QTest::newRow("varchar") << "VARCHAR(20)"
                             << "'x'" << int(TDataType::VarWChar) << 20 << false;
    QTest::newRow("text") << "TEXT"
                          << "'x'" << int(TDataType::LongVarWChar) << 0 << false;
    QTest::newRow("real") << "REAL"
                          << "1.5" << int(TDataType::Double) << 0 << false;
    QTest::newRow("blob") << "BLOB"
                          << "x'00'" << int(TDataType::LongVarBinary) << 0 << true;
    QTest::newRow("date") << "DATE"
                          << "'2020-01-01'" << int(TDataType::DBDate) << 0 << false;
    QTest::newRow("datetime") << "DATETIME"
                              << "'2020-01-01 10:00:00'" << int(TDataType::DBTimeStamp) << 0 << false;
    QTest::newRow("boolean") << "BOOLEAN"
                             << "1" << int(TDataType::Boolean) << 0 << false;
    QTest::newRow("numeric") << "NUMERIC(10,2)"
                             << "1.25" << int(TDataType::Numeric) << 0 << false;
    QTest::newRow("untyped takes the first value") << ""
                                                   << "2.5" << int(TDataType::Double) << 0 << false;
}

void TestSqlite::declaredTypesBecomeFieldTypes() {
    QFETCH(QString, declared);
    QFETCH(QString, value);
    QFETCH(int, type);
    QFETCH(int, size);
    QFETCH(bool, blob);
    TConnection c;
    c.Open(QStringLiteral("Provider=SQLite;Data Source=:memory:"));
    c.Execute(QStringLiteral("CREATE TABLE t (c %1); INSERT INTO t VALUES (%2)").arg(declared, value));
    TQuery q;
    q.SetConnection(&c);
    q.SetSql(QStringLiteral("SELECT c FROM t"));
    q.Open();
    QCOMPARE(int(q.Fields()[0].Type()), type);
    QCOMPARE(q.Fields()[0].DefinedSize(), size);
    QCOMPARE(q.Fields()[0].IsBlob(), blob);
}

void TestSqlite::openRunsLeadingStatementsOfAText() {
    TConnection c;
    c.Open(QStringLiteral("Provider=SQLite;Data Source=:memory:"));
    TQuery q;
    q.SetConnection(&c);
    q.SetSql(
        QStringLiteral("CREATE TABLE x (a); INSERT INTO x VALUES (1), (2);\nSELECT a FROM x;\n-- done\n"));
    q.Open();
    QCOMPARE(q.RecordCount(), 2);
    // Rows of an earlier statement would be lost silently: refused.
    q.SetSql(QStringLiteral("SELECT 1; SELECT 2"));
    QVERIFY_THROWS_EXCEPTION(TDataError, q.Open());
    q.SetSql(QStringLiteral("  -- nothing\n"));
    QVERIFY_THROWS_EXCEPTION(TDataError, q.Open());
}

void TestSqlite::commandTimeoutStopsAStatement() {
    TConnection c;
    c.Open(QStringLiteral("Provider=SQLite;Data Source=:memory:"));
    c.SetCommandTimeout(1);
    QElapsedTimer t;
    t.start();
    try {
        c.Execute(QStringLiteral(
            "WITH RECURSIVE s(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM s WHERE i < 5000000000) "
            "SELECT count(*) FROM s"));
        QFAIL("no time-out");
    } catch (const TDataError& e) {
        QCOMPARE(e.SqlState(), QStringLiteral("HYT00"));
    }
    QVERIFY(t.elapsed() < 4000);
    c.SetCommandTimeout(0);
    QCOMPARE(c.Execute(QStringLiteral("CREATE TABLE after_timeout (a)")), -1);
}

void TestSqlite::schemaKindsItAnswers_data() {
    QTest::addColumn<int>("kind");
    QTest::addColumn<QString>("column");
    QTest::addColumn<QString>("value");
    QTest::newRow("catalogs") << int(TSchemaKind::Catalogs) << "CATALOG_NAME"
                              << "main";
    QTest::newRow("schemata") << int(TSchemaKind::Schemata) << "SCHEMA_NAME"
                              << "main";
    QTest::newRow("views") << int(TSchemaKind::Views) << "TABLE_NAME"
                           << "v";
    QTest::newRow("statistics") << int(TSchemaKind::Statistics) << "TABLE_NAME"
                                << "t";
    QTest::newRow("collations") << int(TSchemaKind::Collations) << "COLLATION_NAME"
                                << "BINARY";
    QTest::newRow("keywords") << int(TSchemaKind::DBInfoKeywords) << "KEYWORD"
                              << "SELECT";
    QTest::newRow("system table") << int(TSchemaKind::Tables) << "TABLE_TYPE"
                                  << "SYSTEM TABLE";
}

void TestSqlite::schemaKindsItAnswers() {
    QFETCH(int, kind);
    QFETCH(QString, column);
    QFETCH(QString, value);
    TConnection c;
    c.Open(QStringLiteral("Provider=SQLite;Data Source=:memory:"));
    c.Execute(QStringLiteral("CREATE TABLE t (a INTEGER PRIMARY KEY); CREATE VIEW v AS SELECT a FROM t; "
                             "CREATE TABLE p (b INTEGER, owner INTEGER REFERENCES t (a), UNIQUE (b))"));
    std::unique_ptr<TRecordset> rs = c.OpenSchema(TSchemaKind(kind));
    QStringList values;
    for (rs->First(); !rs->Eof(); rs->Next())
        values << rs->FieldByName(column).AsText();
    QVERIFY2(values.contains(value), qPrintable(values.join(u',')));
}

QTEST_GUILESS_MAIN(TestSqlite)
#include "tst_sqlite.moc"
