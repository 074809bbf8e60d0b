#pragma once

#include "tests/support/TestSupport.h"

#include <QString>
#include <QStringList>
#include <functional>
#include <memory>

class TConnection;

// One provider the conformance suite runs against: how to get a fresh, empty database (or
// schema) and the SQL that differs between databases.
struct TProviderFixture {
    QString Name;
    // Why the fixture cannot run here (no server, provider not built); empty when it can.
    std::function<QString()> Unavailable;
    // A connection string to a fresh, empty database or schema of its own.
    std::function<QString()> FreshDatabase;
    // Removes what FreshDatabase made (dropping schemas on a shared server).
    std::function<void(const QString&)> Drop;

    // SELECT of n rows with columns i (1..n) and name ('name' || i).
    std::function<QString(int)> Series;
    // A statement that runs for many seconds without returning a row.
    QString SlowStatement;
    // A SELECT of many rows that fails once row n has been sent.
    std::function<QString(int)> FailingAt;
    // DDL for the standard table "people" (id key, name varchar(40) not null, amount real, born date).
    QString CreatePeople;
    // DDL for the table "counter": a key the database generates (id), label varchar(20), and
    // state varchar(10) defaulting to 'neu'.
    QString CreateCounter;
    bool Updatable = true;
    // The OLE DB type of a VARCHAR column: 130 (WSTR), or 129 (STR) through a driver that
    // only has ANSI types (Debian's SQLite3 ODBC driver).
    int VarCharType = 130;
};

const QList<TProviderFixture>& ProviderFixtures();
const TProviderFixture& ProviderFixture(const QString& name);

// Adds one data row per fixture ("provider" column) to the current _data() function.
void AddProviderRows();

// A connection opened on a fresh database of the fixture; dropped again at destruction.
class TFixtureDatabase {
public:
    explicit TFixtureDatabase(const TProviderFixture& fixture);
    ~TFixtureDatabase();
    const QString& ConnectionString() const { return m_connectionString; }
    TConnection& Connection() { return *m_connection; }
    std::unique_ptr<TConnection> OpenAnother() const;

private:
    const TProviderFixture& m_fixture;
    QString m_connectionString;
    std::unique_ptr<TConnection> m_connection;
};

// Inside a test function with a "provider" data column: binds `var` to the fixture and `db` to a
// fresh database of it; skips a provider that is not available here (fails under CI when the
// PostgreSQL server of the test run is missing).
#define USE_PROVIDER_FIXTURE(var)                                                                            \
    QFETCH(QString, provider);                                                                               \
    const TProviderFixture& var = ProviderFixture(provider);                                                 \
    if (const QString why = var.Unavailable(); !why.isEmpty()) {                                             \
        if (TestSupport::UnderCi() && why.contains(QLatin1String("TABULO_TEST_PG")))                         \
            QFAIL(qPrintable(why));                                                                          \
        QSKIP(qPrintable(why));                                                                              \
    }                                                                                                        \
    TFixtureDatabase db(var)
