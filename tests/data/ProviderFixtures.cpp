#include "tests/data/ProviderFixtures.h"

#include "data/Connection.h"
#include "data/ConnectionString.h"
#include "data/Provider.h"
#include "tests/support/TestSupport.h"

#include <QCoreApplication>
#include <QDir>
#include <QTest>
#include <QUuid>

namespace {

QString TempDir()
{
    const QString dir = qEnvironmentVariable("TABULO_TEST_TMP", QDir::tempPath());
    return dir;
}

QString NewSqliteFile()
{
    return QDir(TempDir()).filePath(QStringLiteral("conf-%1.sqlite").arg(QUuid::createUuid().toString(QUuid::Id128)));
}

QString SqliteSeries(int n)
{
    return QStringLiteral("WITH RECURSIVE s(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM s WHERE i < %1) "
                          "SELECT i, 'name' || i AS name FROM s")
        .arg(n);
}

QString SqliteFailingAt(int n)
{
    // abs() of the smallest integer overflows: an error raised while rows are being read.
    return QStringLiteral("WITH RECURSIVE s(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM s WHERE i < %1) "
                          "SELECT i, CASE WHEN i < %2 THEN i ELSE abs(-9223372036854775807 - 1) END AS v FROM s")
        .arg(n * 4)
        .arg(n);
}

const QString kSqliteSlow = QStringLiteral(
    "WITH RECURSIVE s(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM s WHERE i < 5000000000) SELECT count(*) FROM s");

const QString kPeople = QStringLiteral("CREATE TABLE people (id INTEGER PRIMARY KEY, name VARCHAR(40) NOT NULL, "
                                       "amount REAL, born DATE)");

// PostgreSQL: every fixture database is a schema of its own on the shared server, so test
// executables running side by side never meet.
QString PgFresh(const QString& base, const QString& extraKeys)
{
    const QString schema = QStringLiteral("t_%1_%2")
                               .arg(QCoreApplication::applicationPid())
                               .arg(QUuid::createUuid().toString(QUuid::Id128).left(12));
    TConnection admin;
    admin.Open(base);
    admin.Execute(QStringLiteral("CREATE SCHEMA %1").arg(schema));
    return base + QStringLiteral(";options='-c search_path=%1'").arg(schema) + extraKeys;
}

void PgDrop(const QString& cs)
{
    TConnectionString parsed(cs);
    const QString schema = parsed.Value(QStringLiteral("options")).section(u'=', 1).trimmed();
    if (schema.isEmpty())
        return;
    parsed.Remove(QStringLiteral("options"));
    TConnection admin;
    admin.Open(parsed.ToString());
    admin.Execute(QStringLiteral("DROP SCHEMA %1 CASCADE").arg(schema));
}

QString PgSeries(int n)
{
    return QStringLiteral("SELECT i, 'name' || i AS name FROM generate_series(1, %1) AS s(i)").arg(n);
}

QString PgFailingAt(int n)
{
    return QStringLiteral("SELECT i, 1 / (%1 - i) AS v FROM generate_series(1, %2) AS s(i)").arg(n).arg(n * 4);
}

// The server of TABULO_TEST_PG through psqlODBC, on a schema of its own like PgFresh.
QString OdbcPgFresh()
{
    const TConnectionString pg(TestSupport::PostgresConnectionString());
    const QString schema = TConnectionString(PgFresh(pg.ToString(), {})).Value(QStringLiteral("options")).section(u'=', 1);
    const QString source = pg.Value(QStringLiteral("Data Source"));
    return QStringLiteral("Provider=ODBC;Driver={PostgreSQL Unicode};Server=%1;Port=%2;Database=%3;User ID=%4;"
                          "Password=%5;ConnSettings='SET search_path TO %6'")
        .arg(source.section(u':', 0, 0), source.section(u':', 1, 1).isEmpty() ? QStringLiteral("5432")
                                                                              : source.section(u':', 1, 1),
             pg.Value(QStringLiteral("Initial Catalog")), pg.Value(QStringLiteral("User ID")),
             pg.Value(QStringLiteral("Password")), schema.trimmed());
}

void OdbcPgDrop(const QString& cs)
{
    const QString schema = TConnectionString(cs).Value(QStringLiteral("ConnSettings")).section(u' ', -1);
    PgDrop(TestSupport::PostgresConnectionString() + QStringLiteral(";options='-c search_path=%1'").arg(schema));
}

QString MissingProvider(const char* name)
{
    return FindProvider(QString::fromLatin1(name)) ? QString()
                                                   : QStringLiteral("provider %1 is not built").arg(QLatin1String(name));
}

QString MissingPostgres(const char* provider)
{
    const QString missing = MissingProvider(provider);
    if (!missing.isEmpty())
        return missing;
    return TestSupport::PostgresConnectionString().isEmpty() ? QStringLiteral("TABULO_TEST_PG is not set") : QString();
}

QList<TProviderFixture> MakeFixtures()
{
    QList<TProviderFixture> fixtures;

    TProviderFixture sqlite;
    sqlite.Name = QStringLiteral("sqlite");
    sqlite.Unavailable = [] { return QString(); };
    sqlite.FreshDatabase = [] { return QStringLiteral("Provider=SQLite;Data Source=%1;Mode=Create").arg(NewSqliteFile()); };
    sqlite.Drop = [](const QString& cs) { QFile::remove(TConnectionString(cs).Value(QStringLiteral("Data Source"))); };
    sqlite.Series = SqliteSeries;
    sqlite.SlowStatement = kSqliteSlow;
    sqlite.FailingAt = SqliteFailingAt;
    sqlite.CreatePeople = kPeople;
    sqlite.CreateCounter = QStringLiteral("CREATE TABLE counter (id INTEGER PRIMARY KEY, label VARCHAR(20), "
                                          "state VARCHAR(10) DEFAULT 'neu')");
    fixtures << sqlite;

    TProviderFixture pg;
    pg.Name = QStringLiteral("postgresql");
    pg.Unavailable = [] { return MissingPostgres("PostgreSQL"); };
    pg.FreshDatabase = [] { return PgFresh(TestSupport::PostgresConnectionString(), {}); };
    pg.Drop = PgDrop;
    pg.Series = PgSeries;
    pg.SlowStatement = QStringLiteral("SELECT pg_sleep(60)");
    pg.FailingAt = PgFailingAt;
    pg.CreatePeople = kPeople;
    pg.CreateCounter = QStringLiteral("CREATE TABLE counter (id SERIAL PRIMARY KEY, label VARCHAR(20), "
                                      "state VARCHAR(10) DEFAULT 'neu')");
    fixtures << pg;

    TProviderFixture odbcSqlite = sqlite;
    odbcSqlite.Name = QStringLiteral("odbc-sqlite");
    odbcSqlite.Unavailable = [] { return MissingProvider("ODBC"); };
    odbcSqlite.FreshDatabase = [] {
        const QString file = NewSqliteFile();
        TConnection create; // the SQLite3 driver would create it too, but only on its first write
        create.Open(QStringLiteral("Provider=SQLite;Data Source=%1;Mode=Create").arg(file));
        return QStringLiteral("Provider=ODBC;Driver=SQLite3;Database=%1;StepAPI=1").arg(file);
    };
    odbcSqlite.Drop = [](const QString& cs) { QFile::remove(TConnectionString(cs).Value(QStringLiteral("Database"))); };
    odbcSqlite.VarCharType = 129;
    fixtures << odbcSqlite;

    TProviderFixture odbcPg = pg;
    odbcPg.Name = QStringLiteral("odbc-postgresql");
    odbcPg.Unavailable = [] { return MissingPostgres("ODBC"); };
    odbcPg.FreshDatabase = OdbcPgFresh;
    odbcPg.Drop = OdbcPgDrop;
    fixtures << odbcPg;

    return fixtures;
}

} // namespace

const QList<TProviderFixture>& ProviderFixtures()
{
    static const QList<TProviderFixture> fixtures = MakeFixtures();
    return fixtures;
}

const TProviderFixture& ProviderFixture(const QString& name)
{
    for (const TProviderFixture& f : ProviderFixtures())
        if (f.Name == name)
            return f;
    qFatal("no provider fixture %s", qPrintable(name));
}

void AddProviderRows()
{
    QTest::addColumn<QString>("provider");
    for (const TProviderFixture& f : ProviderFixtures())
        QTest::newRow(qPrintable(f.Name)) << f.Name;
}

TFixtureDatabase::TFixtureDatabase(const TProviderFixture& fixture) : m_fixture(fixture)
{
    m_connectionString = fixture.FreshDatabase();
    m_connection = OpenAnother();
}

TFixtureDatabase::~TFixtureDatabase()
{
    m_connection.reset();
    try {
        m_fixture.Drop(m_connectionString);
    } catch (...) {
        qWarning("could not drop the fixture database %s", qPrintable(m_connectionString));
    }
}

std::unique_ptr<TConnection> TFixtureDatabase::OpenAnother() const
{
    auto c = std::make_unique<TConnection>();
    c->SetCommandTimeout(0);
    c->Open(m_connectionString);
    return c;
}
