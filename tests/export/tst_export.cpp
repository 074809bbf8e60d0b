// The export writers on real results: exact bytes of each format for tricky values, round
// trips through the databases' own clients and Python's standard readers, and files that a
// cancelled or failed export must leave as they were.
#include "data/ConnectionString.h"
#include "data/Connection.h"
#include "data/Query.h"
#include "data/RowBudget.h"
#include "export/ExportFile.h"
#include "export/ExportJob.h"
#include "tests/support/TestSupport.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>
#include <unistd.h>

namespace {

const QString Checker = QStringLiteral(TABULO_SOURCE_DIR "/tests/export/check_export.py");

QByteArray ReadAll(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}

void WriteAll(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(bytes);
}

// Runs a program to its end; its standard output, or a failed test with its error output.
QByteArray Run(const QString& program, const QStringList& args, const QByteArray& input = {},
               const QProcessEnvironment& env = QProcessEnvironment::systemEnvironment()) {
    QProcess p;
    p.setProcessEnvironment(env);
    p.start(program, args);
    p.write(input);
    p.closeWriteChannel();
    p.waitForFinished(120000);
    const QByteArray out = p.readAllStandardOutput();
    if (p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0)
        qWarning().noquote() << program << args.join(QLatin1Char(' ')) << "\n"
                             << out << p.readAllStandardError();
    return p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0 ? out : QByteArray("<failed>");
}

// Exports the recordset as a user's export does (worker thread, temporary file, rename).
QString Export(const TRecordset& recordset, const TExportOptions& options, const QString& target, bool cancel = false) {
    TExportJob job(recordset, options, target);
    QString error = QStringLiteral("<no answer>");
    bool cancelled = false;
    QObject::connect(&job, &TExportJob::Finished, [&](const QString& e, bool c) {
        error = e;
        cancelled = c;
    });
    if (cancel)
        job.Cancel(); // stops before the first row: the cancel path without a race
    job.Start();
    job.Wait();
    if (cancel && !cancelled)
        return QStringLiteral("<not cancelled>");
    return error;
}

TExportOptions Options(TExportFormat format, const QString& table = QStringLiteral("t"),
                 const QStringList& fields = {}, TSqlDialect dialect = {}) {
    TExportOptions options;
    options.Format = format;
    options.SqlTable = table;
    options.SqlFieldNames = fields;
    options.Dialect = dialect;
    return options;
}

std::unique_ptr<TRecordset> TrickyValues() {
    using T = TDataType;
    auto col = [](const char* name, T type) {
        TColumnInfo c;
        c.Name = QLatin1String(name);
        c.Type = type;
        return c;
    };
    auto rs = TRecordset::CreateStatic({col("i", T::BigInt), col("txt", T::VarWChar), col("n", T::Numeric),
                                        col("r", T::Double), col("d", T::DBDate), col("ts", T::DBTimeStamp),
                                        col("b", T::VarBinary), col("f", T::Boolean)});
    rs->AppendRow({qlonglong(1), QStringLiteral("a,\"b\""), QStringLiteral("123456789012345678901234567890.5"), 0.1,
                   QDate(2024, 2, 29), QDateTime(QDate(2024, 2, 29), QTime(13, 45, 6, 500)),
                   QByteArray("\0\xff", 2), true});
    rs->AppendRow({qlonglong(-5), QString(""), QStringLiteral("NaN"), 2.0, QDate(-44, 3, 15),
                   QDateTime(QDate(1999, 12, 31), QTime(23, 59, 59)), QByteArray("x"), false});
    rs->AppendRow({QVariant(), QStringLiteral(" lead\r\nx\t"), QVariant(), qInf(), QVariant(), QVariant(),
                   QVariant(), QVariant()});
    return rs;
}

} // namespace

class TestExport : public QObject {
    Q_OBJECT

private slots:
    void formats_data();
    void formats();
    void spreadsheetShowsValuesAsTheGridDoes();
    void sqlBinaryAndStringsFollowTheDatabase_data();
    void sqlBinaryAndStringsFollowTheDatabase();
    void sqliteRoundTrip_data();
    void sqliteRoundTrip();
    void postgresRoundTrip();
    void cancelledExportLeavesTheEarlierFile();
    void fullDiskLeavesTheEarlierFile();
    void missingFolderIsNamed();
    void rowsMovedToTheTemporaryFileExportExactly();

private:
    QTemporaryDir m_dir;
};

void TestExport::formats_data() {
    QTest::addColumn<int>("format");
    QTest::addColumn<QByteArray>("expected");
    QTest::newRow("csv") << int(TExportFormat::Csv)
                         << QByteArray("i,txt,n,r,d,ts,b,f\r\n"
                                       "1,\"a,\"\"b\"\"\",123456789012345678901234567890.5,0.1,2024-02-29,"
                                       "2024-02-29 13:45:06.5,\\x00ff,true\r\n"
                                       "-5,\"\",NaN,2,0044-03-15 BC,1999-12-31 23:59:59,\\x78,false\r\n"
                                       ",\" lead\r\nx\t\",,Infinity,,,,\r\n");
    QTest::newRow("json") << int(TExportFormat::Json)
                          << QByteArray("[\n"
                                        "{\"i\":1,\"txt\":\"a,\\\"b\\\"\",\"n\":123456789012345678901234567890.5,"
                                        "\"r\":0.1,\"d\":\"2024-02-29\",\"ts\":\"2024-02-29T13:45:06.5\","
                                        "\"b\":\"AP8=\",\"f\":true},\n"
                                        "{\"i\":-5,\"txt\":\"\",\"n\":\"NaN\",\"r\":2.0,\"d\":\"0044-03-15 BC\","
                                        "\"ts\":\"1999-12-31T23:59:59\",\"b\":\"eA==\",\"f\":false},\n"
                                        "{\"i\":null,\"txt\":\" lead\\r\\nx\\t\",\"n\":null,\"r\":\"Infinity\","
                                        "\"d\":null,\"ts\":null,\"b\":null,\"f\":null}\n"
                                        "]\n");
    QTest::newRow("sql") << int(TExportFormat::Sql)
                         << QByteArray("INSERT INTO t (i, txt, n, r, d, ts, b, f) VALUES (1, 'a,\"b\"', "
                                       "123456789012345678901234567890.5, 0.1, '2024-02-29', "
                                       "'2024-02-29 13:45:06.5', X'00ff', TRUE);\n"
                                       "INSERT INTO t (i, txt, n, r, d, ts, b, f) VALUES (-5, '', 'NaN', 2.0, "
                                       "'0044-03-15 BC', '1999-12-31 23:59:59', X'78', FALSE);\n"
                                       "INSERT INTO t (i, txt, n, r, d, ts, b, f) VALUES (NULL, ' lead\r\nx\t', "
                                       "NULL, 'Infinity', NULL, NULL, NULL, NULL);\n");
}

void TestExport::formats() {
    QFETCH(int, format);
    QFETCH(QByteArray, expected);
    const auto rs = TrickyValues();
    const QString target = m_dir.filePath(QStringLiteral("formats.out"));
    const QStringList fields = {"i", "txt", "n", "r", "d", "ts", "b", "f"};
    QCOMPARE(Export(*rs, Options(TExportFormat(format), QStringLiteral("t"), fields), target), QString());
    QCOMPARE(ReadAll(target), expected);
}

void TestExport::spreadsheetShowsValuesAsTheGridDoes() {
    TColumnInfo r, d, txt;
    r.Name = QStringLiteral("Betrag");
    r.Type = TDataType::Double;
    d.Name = QStringLiteral("Tag");
    d.Type = TDataType::DBDate;
    txt.Name = QStringLiteral("Grüße");
    auto rs = TRecordset::CreateStatic({r, d, txt});
    rs->AppendRow({2.5, QDate(2024, 2, 29), QStringLiteral("ja; nein")});
    rs->AppendRow({QVariant(), QVariant(), QString()});
    const QString target = m_dir.filePath(QStringLiteral("sheet.csv"));
    QCOMPARE(Export(*rs, Options(TExportFormat::SpreadsheetCsv), target), QString());
    // A byte order mark, semicolons, the decimal comma and the German date (LANG=de_DE).
    QCOMPARE(ReadAll(target), QByteArray("\xEF\xBB\xBF"
                                         "Betrag;Tag;Gr\xC3\xBC\xC3\x9F"
                                         "e\r\n2,5;29.02.2024;\"ja; nein\"\r\n;;\"\"\r\n"));
}

void TestExport::sqlBinaryAndStringsFollowTheDatabase_data() {
    QTest::addColumn<QString>("provider");
    QTest::addColumn<QString>("connectionString");
    QTest::addColumn<QByteArray>("values");
    QTest::newRow("sqlite") << "SQLite" << "" << QByteArray("(X'005c', 'a\\b''c', 9e999)");
    QTest::newRow("postgresql") << "PostgreSQL" << "" << QByteArray("('\\x005c', 'a\\b''c', 'Infinity')");
    QTest::newRow("odbc postgresql") << "ODBC" << "Driver={PostgreSQL Unicode};Server=h"
                                     << QByteArray("('\\x005c', 'a\\b''c', 'Infinity')");
    QTest::newRow("odbc mariadb") << "ODBC" << "Driver={MariaDB Unicode};Server=h"
                                  << QByteArray("(X'005c', 'a\\\\b''c', 'Infinity')");
    QTest::newRow("odbc sql server") << "ODBC" << "Driver=FreeTDS;Server=h"
                                     << QByteArray("(0x005c, 'a\\b''c', 'Infinity')");
}

void TestExport::sqlBinaryAndStringsFollowTheDatabase() {
    QFETCH(QString, provider);
    QFETCH(QString, connectionString);
    QFETCH(QByteArray, values);
    TColumnInfo b, s, r;
    b.Type = TDataType::VarBinary;
    r.Type = TDataType::Double;
    auto rs = TRecordset::CreateStatic({b, s, r});
    rs->AppendRow({QByteArray("\0\\", 2), QStringLiteral("a\\b'c"), qInf()});
    const QString target = m_dir.filePath(QStringLiteral("dialect.sql"));
    const TExportOptions options = Options(TExportFormat::Sql, QStringLiteral("\"T\""), {"b", "s", "r"},
                                  TExportFormats::DialectFor(provider, connectionString));
    QCOMPARE(Export(*rs, options, target), QString());
    QCOMPARE(ReadAll(target), "INSERT INTO \"T\" (b, s, r) VALUES " + values + ";\n");
}

namespace {

// The same select as the export, written by the database's client in CSV with NULL as \N;
// binary as PostgreSQL writes bytea, reals with all the digits a double holds.
const char* SqliteFixture =
    "create table t(id integer primary key, txt text, big text, r real, d text, b blob);\n"
    "insert into t values (1, 'say \"hi\", ok', '123456789012345678901234567890', 0.1, '2024-02-29', x'00ff00');\n"
    "insert into t values (2, 'CR LF' || char(13, 10) || 'tab' || char(9) || 'end', "
    "'-0.000000000000000000000000000001', 1e300, '0001-01-01', x'');\n"
    "insert into t values (3, '', null, -2.5, null, null);\n"
    "insert into t values (4, null, '', 3.0, '', x'5c27');\n"
    "insert into t values (5, ' lead and trail ', 'Grüße ✓ 😀', 0.3, 'x', x'00');\n";
const char* SqliteExpected = "select id, txt, big, printf('%!.17g', r) as r, d, "
                             "case when b is null then null else '\\x' || lower(hex(b)) end as b from t order by id";

void Verify(const QString& kind, const QString& exported, const QString& expected, const QString& reals,
            const QString& binary = {}) {
    const QByteArray out = Run(QStringLiteral("python3"), {Checker, kind, exported, expected, reals, binary});
    QVERIFY2(out.isEmpty(), out.constData());
}

void OpenSelect(TQuery& query, TConnection& connection, const QString& sql) {
    query.SetConnection(&connection);
    query.SetSql(sql);
    query.SetExecuteOptions(TExecuteOption::Synchronous);
    query.Open();
}

} // namespace

void TestExport::sqliteRoundTrip_data() {
    QTest::addColumn<QString>("provider");
    QTest::newRow("sqlite") << "SQLite";
    QTest::newRow("odbc sqlite3") << "ODBC";
}

void TestExport::sqliteRoundTrip() {
    QFETCH(QString, provider);
    const QString db = m_dir.filePath(provider + QStringLiteral("-source.db"));
    QFile::remove(db);
    Run(QStringLiteral("sqlite3"), {db}, SqliteFixture);
    const QString expected = m_dir.filePath(QStringLiteral("sqlite-expected.csv"));
    WriteAll(expected, Run(QStringLiteral("sqlite3"),
                           {QStringLiteral("-csv"), QStringLiteral("-header"), QStringLiteral("-nullvalue"),
                            QStringLiteral("\\N"), db, QString::fromLatin1(SqliteExpected)}));

    TConnection connection;
    connection.Open(provider == QLatin1String("SQLite")
                        ? QStringLiteral("Provider=SQLite;Data Source=") + db
                        : QStringLiteral("Provider=ODBC;Driver=SQLite3;Database=") + db);
    TQuery query;
    OpenSelect(query, connection, QStringLiteral("select * from t order by id"));
    QStringList fields;
    for (int i = 0; i < query.Fields().Count(); ++i)
        fields.append(connection.SqlName(query.Fields()[i].Name()));
    const TSqlDialect dialect = TExportFormats::DialectFor(connection.ProviderName(), connection.ConnectionString());

    const QString csv = m_dir.filePath(QStringLiteral("sqlite.csv"));
    QCOMPARE(Export(query, Options(TExportFormat::Csv), csv), QString());
    Verify(QStringLiteral("csv"), csv, expected, QStringLiteral("3"));
    // NULL is an empty field, the empty text "", which a reader cannot tell apart.
    const QList<QByteArray> lines = ReadAll(csv).split('\n');
    QCOMPARE(lines.value(4), QByteArray("3,\"\",,-2.5,,\r"));
    QCOMPARE(lines.value(5), QByteArray("4,,\"\",3,\"\",\\x5c27\r"));

    const QString json = m_dir.filePath(QStringLiteral("sqlite.json"));
    QCOMPARE(Export(query, Options(TExportFormat::Json), json), QString());
    Verify(QStringLiteral("json"), json, expected, QStringLiteral("3"), QStringLiteral("5"));

    // The SQL file rebuilds the same rows, kinds included, in an empty database.
    const QString sql = m_dir.filePath(QStringLiteral("sqlite.sql"));
    QCOMPARE(Export(query, Options(TExportFormat::Sql, QStringLiteral("t"), fields, dialect), sql), QString());
    const QString copy = m_dir.filePath(provider + QStringLiteral("-copy.db"));
    QFile::remove(copy);
    Run(QStringLiteral("sqlite3"), {copy}, QByteArray(SqliteFixture).split(';').first() + ";\n" + ReadAll(sql));
    // Rows of either table that the other lacks, as SQLite quotes them: none.
    const QString differ =
        QStringLiteral("attach '%1' as o; select 'lost', quote(id), quote(txt), quote(big), quote(r), quote(d), "
                       "quote(b) from (select * from o.t except select * from t); select 'new', quote(id), "
                       "quote(txt), quote(big), quote(r), quote(d), quote(b) from (select * from t except select * "
                       "from o.t);")
            .arg(db);
    QCOMPARE(Run(QStringLiteral("sqlite3"), {copy, differ}), QByteArray());
    const QString kinds = QStringLiteral("select quote(id), quote(txt), quote(big), quote(r), quote(d), quote(b), "
                                         "typeof(r) from t order by id");
    QCOMPARE(Run(QStringLiteral("sqlite3"), {copy, kinds}), Run(QStringLiteral("sqlite3"), {db, kinds}));
}

namespace {

// psql's environment for the test server's connection string.
QProcessEnvironment PsqlEnvironment(const QString& connectionString) {
    const TConnectionString cs(connectionString);
    QString host, port;
    TConnectionString::SplitHostPort(cs.Value(QStringLiteral("Data Source")), host, port);
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("PGHOST"), host);
    env.insert(QStringLiteral("PGPORT"), port.isEmpty() ? QStringLiteral("5432") : port);
    env.insert(QStringLiteral("PGDATABASE"), cs.Value(QStringLiteral("Initial Catalog")));
    env.insert(QStringLiteral("PGUSER"), cs.Value(QStringLiteral("User ID")));
    env.insert(QStringLiteral("PGPASSWORD"), cs.Value(QStringLiteral("Password")));
    return env;
}

} // namespace

void TestExport::postgresRoundTrip() {
    REQUIRE_POSTGRES(pg);
    const QProcessEnvironment env = PsqlEnvironment(pg);
    const QString schema = QStringLiteral("export_%1").arg(::getpid());
    auto psql = [&](const QString& sql, const QStringList& extra = {}) {
        return Run(QStringLiteral("psql"),
                   QStringList{QStringLiteral("-X"), QStringLiteral("-q"), QStringLiteral("-v"),
                               QStringLiteral("ON_ERROR_STOP=1")} +
                       extra + QStringList{QStringLiteral("-c"), sql},
                   {}, env);
    };
    psql(QStringLiteral("drop schema if exists %1 cascade; create schema %1;"
                        "create table %1.t(id int primary key, txt text, num numeric(40, 8), r float8, d date, "
                        "ts timestamp, b bytea, flag boolean);"
                        "insert into %1.t values "
                        "(1, 'say \"hi\", ok', 12345678901234567890123456789012.12345678, 0.1, '2024-02-29', "
                        "'2024-02-29 13:45:06.5', '\\x00ff00', true),"
                        "(2, E'CR LF\\r\\ntab\\tend', -0.00000001, 1e300, '0044-03-15 BC', '0044-03-15 10:00:00 BC', "
                        "'\\x', false),"
                        "(3, '', null, 'NaN', 'infinity', '-infinity', null, null),"
                        "(4, null, 0, '-Infinity', null, null, '\\x5c27', true),"
                        "(5, ' lead and trail ', 'NaN', 1.0 / 3, '2000-01-01', '2000-01-01 00:00:00', '\\x00', false),"
                        "(6, 'Grüße ✓ 😀', -99999999999999999999999999999999.99999999, -2.5, '0001-01-01', null, "
                        "null, null);")
             .arg(schema));
    const QString expected = m_dir.filePath(QStringLiteral("pg-expected.csv"));
    WriteAll(expected, psql(QStringLiteral("select id, txt, num, r, d, ts, b, flag::text as flag from %1.t order by id")
                                .arg(schema),
                            {QStringLiteral("--csv"), QStringLiteral("-P"), QStringLiteral("null=\\N")}));

    TConnection connection;
    connection.Open(pg);
    TQuery query;
    OpenSelect(query, connection, QStringLiteral("select * from %1.t order by id").arg(schema));
    QStringList fields;
    for (int i = 0; i < query.Fields().Count(); ++i)
        fields.append(connection.SqlName(query.Fields()[i].Name()));

    const QString csv = m_dir.filePath(QStringLiteral("pg.csv"));
    QCOMPARE(Export(query, Options(TExportFormat::Csv), csv), QString());
    Verify(QStringLiteral("csv"), csv, expected, QStringLiteral("3"));
    // PostgreSQL's own CSV reader tells NULL from the empty text: the same rows come back.
    const QString same = QStringLiteral("select count(*) from (select * from %1.t except select * from %1.%2) a;"
                                        "select count(*) from (select * from %1.%2 except select * from %1.t) b;");
    psql(QStringLiteral("create table %1.c (like %1.t)").arg(schema));
    psql(QStringLiteral("\\copy %1.c from '%2' csv header").arg(schema, csv));
    QCOMPARE(psql(same.arg(schema, QStringLiteral("c")), {QStringLiteral("-At")}), QByteArray("0\n0\n"));

    const QString json = m_dir.filePath(QStringLiteral("pg.json"));
    QCOMPARE(Export(query, Options(TExportFormat::Json), json), QString());
    Verify(QStringLiteral("json"), json, expected, QStringLiteral("3"), QStringLiteral("6"));

    const QString sql = m_dir.filePath(QStringLiteral("pg.sql"));
    const TSqlDialect dialect = TExportFormats::DialectFor(connection.ProviderName(), connection.ConnectionString());
    QCOMPARE(Export(query, Options(TExportFormat::Sql, schema + QStringLiteral(".s"), fields, dialect), sql), QString());
    psql(QStringLiteral("create table %1.s (like %1.t)").arg(schema));
    Run(QStringLiteral("psql"), {QStringLiteral("-X"), QStringLiteral("-q"), QStringLiteral("-v"),
                                 QStringLiteral("ON_ERROR_STOP=1"), QStringLiteral("-f"), sql},
        {}, env);
    QCOMPARE(psql(same.arg(schema, QStringLiteral("s")), {QStringLiteral("-At")}), QByteArray("0\n0\n"));
    psql(QStringLiteral("drop schema %1 cascade").arg(schema));
}

namespace {

std::unique_ptr<TRecordset> ManyRows(int rows) {
    TColumnInfo id, name;
    id.Type = TDataType::BigInt;
    auto rs = TRecordset::CreateStatic({id, name});
    for (int i = 0; i < rows; ++i)
        rs->AppendRow({qlonglong(i), QStringLiteral("Name %1 with some text to fill the disk").arg(i)});
    return rs;
}

QStringList Entries(const QString& folder) {
    return QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
}

} // namespace

void TestExport::cancelledExportLeavesTheEarlierFile() {
    const QString folder = m_dir.filePath(QStringLiteral("cancel"));
    QDir().mkpath(folder);
    const QString target = folder + QStringLiteral("/rows.csv");
    WriteAll(target, "earlier\r\n");
    const auto rs = ManyRows(1000);
    QCOMPARE(Export(*rs, Options(TExportFormat::Csv), target, true), QString());
    QCOMPARE(ReadAll(target), QByteArray("earlier\r\n"));
    QCOMPARE(Entries(folder), QStringList{QStringLiteral("rows.csv")});
}

void TestExport::fullDiskLeavesTheEarlierFile() {
    if (::geteuid() != 0)
        QSKIP("mounting a small file system needs root");
    const QString folder = m_dir.filePath(QStringLiteral("full"));
    QDir().mkpath(folder);
    QVERIFY(Run(QStringLiteral("mount"), {QStringLiteral("-t"), QStringLiteral("tmpfs"), QStringLiteral("-o"),
                                          QStringLiteral("size=256k"), QStringLiteral("tmpfs"), folder}) !=
            "<failed>");
    const auto unmount = qScopeGuard([&] { Run(QStringLiteral("umount"), {folder}); });
    const QString target = folder + QStringLiteral("/rows.json");
    WriteAll(target, "[]\n");
    const auto rs = ManyRows(20000);
    const QString error = Export(*rs, Options(TExportFormat::Json), target);
    QCOMPARE(error, QStringLiteral("Die Datei %1 kann nicht geschrieben werden: Kein Platz mehr auf dem Datenträger")
                        .arg(target));
    QCOMPARE(ReadAll(target), QByteArray("[]\n"));
    QCOMPARE(Entries(folder), QStringList{QStringLiteral("rows.json")});
}

void TestExport::missingFolderIsNamed() {
    const QString target = m_dir.filePath(QStringLiteral("gone/rows.csv"));
    const auto rs = ManyRows(3);
    QCOMPARE(Export(*rs, Options(TExportFormat::Csv), target),
             QStringLiteral("Die Datei %1 kann nicht angelegt werden: Der Ordner existiert nicht (mehr)").arg(target));
}

void TestExport::rowsMovedToTheTemporaryFileExportExactly() {
    // A budget far below the rows: most blocks live in the temporary file, and the export
    // gives up their pages again as it goes.
    const qint64 limit = TRowBudget::Limit();
    TRowBudget::SetLimit(1 << 20);
    const auto restore = qScopeGuard([limit] { TRowBudget::SetLimit(limit); });
    const int rows = 200000;
    const auto rs = ManyRows(rows);
    const QString target = m_dir.filePath(QStringLiteral("spilled.csv"));
    QCOMPARE(Export(*rs, Options(TExportFormat::Csv), target), QString());
    QByteArray expected = "\"\",\"\"\r\n"; // nameless fields
    for (int i = 0; i < rows; ++i)
        expected += QByteArray::number(i) + ",Name " + QByteArray::number(i) + " with some text to fill the disk\r\n";
    QVERIFY(ReadAll(target) == expected);
}

QTEST_GUILESS_MAIN(TestExport)
#include "tst_export.moc"
