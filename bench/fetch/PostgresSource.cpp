#include "bench/fetch/BenchSource.h"

#include "data/ConnectionString.h"

#include <QElapsedTimer>
#include <QProcess>
#include <QProcessEnvironment>
#include <QStandardPaths>
#include <QUuid>
#include <cstdio>
#include <libpq-fe.h>
#include <stdexcept>
#include <string>
#include <vector>

// The PostgreSQL side: a scratch table in a schema of its own on TABULO_TEST_PG, a
// PQsetSingleRowMode loop copying values, and "psql -At" to /dev/null.

namespace {

class TPostgresSource : public TBenchSource {
public:
    TPostgresSource() {
        m_base = qEnvironmentVariable("TABULO_TEST_PG");
        const TConnectionString cs(m_base);
        const QString source = cs.Value(QStringLiteral("Data Source"));
        m_host = source.section(u':', 0, 0);
        m_port = source.section(u':', 1, 1);
        m_database = cs.Value(QStringLiteral("Initial Catalog"));
        m_user = cs.Value(QStringLiteral("User ID"));
        m_password = cs.Value(QStringLiteral("Password"));
        m_schema = QStringLiteral("bench_%1").arg(QUuid::createUuid().toString(QUuid::Id128).left(12));
    }

    QString Prepare(qint64 rows) override {
        Run(QStringLiteral(
                "CREATE SCHEMA %1; "
                "CREATE UNLOGGED TABLE %1.bench_fetch (id integer, name varchar(20), amount real, note text, "
                "day date, gap text); "
                "INSERT INTO %1.bench_fetch SELECT i, 'name' || lpad(i::text, 16, '0'), i * 1.25 + 0.01, "
                "repeat('x', 60 + i % 40), DATE '2000-01-01' + i % 9000, NULL "
                "FROM generate_series(1, %2) AS s(i)")
                .arg(m_schema)
                .arg(rows));
        Run(QStringLiteral("VACUUM ANALYZE %1.bench_fetch").arg(m_schema));
        return m_base + QStringLiteral(";options='-c search_path=%1'").arg(m_schema);
    }

    double BareLoop(qint64& tsvBytes) override {
        PGconn* conn = Connect();
        const QByteArray sql =
            Qualified().toUtf8();
        QElapsedTimer timer;
        timer.start();
        PQsendQuery(conn, sql.constData());
        PQsetSingleRowMode(conn);
        std::vector<std::string> values;
        tsvBytes = 0;
        while (PGresult* r = PQgetResult(conn)) {
            if (PQresultStatus(r) == PGRES_SINGLE_TUPLE) {
                const int n = PQnfields(r);
                for (int i = 0; i < n; ++i) {
                    values.emplace_back(PQgetvalue(r, 0, i), size_t(PQgetlength(r, 0, i)));
                    tsvBytes += PQgetlength(r, 0, i) + 1; // the tab or the line end
                }
            }
            PQclear(r);
        }
        const double seconds = timer.nsecsElapsed() / 1e9;
        PQfinish(conn);
        return seconds;
    }

    double FloorLoop() override {
        PGconn* conn = Connect();
        const QByteArray sql = Qualified().toUtf8();
        QElapsedTimer timer;
        timer.start();
        PQsendQuery(conn, sql.constData());
        PQsetSingleRowMode(conn);
        quint64 sum = 0;
        while (PGresult* r = PQgetResult(conn)) {
            if (PQresultStatus(r) == PGRES_SINGLE_TUPLE) {
                const int n = PQnfields(r);
                for (int i = 0; i < n; ++i)
                    sum += PQgetisnull(r, 0, i) ? 1 : quint64(*PQgetvalue(r, 0, i)) + quint64(PQgetlength(r, 0, i));
            }
            PQclear(r);
        }
        const double seconds = timer.nsecsElapsed() / 1e9;
        PQfinish(conn);
        if (sum == 0)
            throw std::runtime_error("the floor loop read nothing");
        return seconds;
    }

    double CommandLineClient() override {
        const QString psql = QStandardPaths::findExecutable(QStringLiteral("psql"));
        if (psql.isEmpty())
            return -1;
        QProcess p;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("PGPASSWORD"), m_password);
        p.setProcessEnvironment(env);
        p.setStandardOutputFile(QProcess::nullDevice());
        QElapsedTimer timer;
        timer.start();
        p.start(psql, {QStringLiteral("-At"), QStringLiteral("-h"), m_host, QStringLiteral("-p"), m_port,
                       QStringLiteral("-U"), m_user, QStringLiteral("-d"), m_database, QStringLiteral("-c"),
                       Qualified()});
        p.waitForFinished(-1);
        return timer.nsecsElapsed() / 1e9;
    }

    QString ClientName() const override { return QStringLiteral("psql -At"); }

    void CleanUp() override { Run(QStringLiteral("DROP SCHEMA IF EXISTS %1 CASCADE").arg(m_schema)); }

private:
    QString Qualified() const {
        return QStringLiteral("SELECT id, name, amount, note, day, gap FROM %1.bench_fetch").arg(m_schema);
    }

    PGconn* Connect() const {
        const QByteArray host = m_host.toUtf8(), port = m_port.toUtf8(), db = m_database.toUtf8(),
                         user = m_user.toUtf8(), password = m_password.toUtf8();
        const char* keys[] = {"host", "port", "dbname", "user", "password", "client_encoding", nullptr};
        const char* values[] = {host.constData(),     port.constData(), db.constData(), user.constData(),
                                password.constData(), "UTF8",           nullptr};
        PGconn* conn = PQconnectdbParams(keys, values, 0);
        PQsetNoticeProcessor(
            conn, [](void*, const char*) {}, nullptr);
        if (PQstatus(conn) != CONNECTION_OK) {
            const std::string message = PQerrorMessage(conn);
            PQfinish(conn);
            throw std::runtime_error(message);
        }
        return conn;
    }

    void Run(const QString& sql) const {
        PGconn* conn = Connect();
        PGresult* r = PQexec(conn, sql.toUtf8().constData());
        const bool ok = PQresultStatus(r) == PGRES_COMMAND_OK || PQresultStatus(r) == PGRES_TUPLES_OK;
        const std::string message = PQresultErrorMessage(r);
        PQclear(r);
        PQfinish(conn);
        if (!ok)
            throw std::runtime_error(message);
    }

    QString m_base, m_host, m_port, m_database, m_user, m_password, m_schema;
};

} // namespace

TBenchSource* NewPostgresSource() {
    if (qEnvironmentVariableIsEmpty("TABULO_TEST_PG")) {
        std::fprintf(stderr, "TABULO_TEST_PG is not set (start a server with scripts/pg-test-server.sh)\n");
        return nullptr;
    }
    return new TPostgresSource;
}
