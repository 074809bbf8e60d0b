#include "bench/fetch/BenchSource.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QUuid>
#include <sqlite3.h>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

class TSqliteSource : public TBenchSource {
public:
    QString Prepare(qint64 rows) override {
        m_file = QDir::temp().filePath(
            QStringLiteral("tabulo-bench-%1.sqlite").arg(QUuid::createUuid().toString(QUuid::Id128)));
        sqlite3* db = nullptr;
        sqlite3_open(m_file.toUtf8().constData(), &db);
        const QByteArray sql =
            QStringLiteral("PRAGMA journal_mode=OFF; PRAGMA synchronous=OFF;"
                           "CREATE TABLE bench_fetch (id INTEGER, name VARCHAR(20), amount REAL, note TEXT, day DATE, "
                           "gap TEXT);"
                           "WITH RECURSIVE s(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM s WHERE i < %1) "
                           "INSERT INTO bench_fetch SELECT i, printf('name%016d', i), i * 1.25 + 0.01, "
                           "printf('%.*c', 60 + i % 40, 'x'), date('2000-01-01', '+' || (i % 9000) || ' days'), "
                           "NULL FROM s;")
                .arg(rows)
                .toUtf8();
        char* error = nullptr;
        if (sqlite3_exec(db, sql.constData(), nullptr, nullptr, &error) != SQLITE_OK)
            throw std::runtime_error(error);
        sqlite3_close(db);
        return QStringLiteral("Provider=SQLite;Data Source=") + m_file;
    }

    double BareLoop(qint64& tsvBytes) override {
        sqlite3* db = nullptr;
        sqlite3_open_v2(m_file.toUtf8().constData(), &db, SQLITE_OPEN_READONLY, nullptr);
        sqlite3_stmt* st = nullptr;
        sqlite3_prepare_v2(db, SelectAll().toUtf8().constData(), -1, &st, nullptr);
        QElapsedTimer timer;
        timer.start();
        std::vector<std::string> values;
        const int n = sqlite3_column_count(st);
        tsvBytes = 0;
        while (sqlite3_step(st) == SQLITE_ROW)
            for (int i = 0; i < n; ++i) {
                const char* text = reinterpret_cast<const char*>(sqlite3_column_text(st, i));
                values.emplace_back(text ? text : "", sqlite3_column_bytes(st, i));
                tsvBytes += sqlite3_column_bytes(st, i) + 1; // the tab or the line end
            }
        const double seconds = timer.nsecsElapsed() / 1e9;
        sqlite3_finalize(st);
        sqlite3_close(db);
        return seconds;
    }

    double FloorLoop() override {
        sqlite3* db = nullptr;
        sqlite3_open_v2(m_file.toUtf8().constData(), &db, SQLITE_OPEN_READONLY, nullptr);
        sqlite3_stmt* st = nullptr;
        sqlite3_prepare_v2(db, SelectAll().toUtf8().constData(), -1, &st, nullptr);
        QElapsedTimer timer;
        timer.start();
        const int n = sqlite3_column_count(st);
        quint64 sum = 0;
        while (sqlite3_step(st) == SQLITE_ROW)
            for (int i = 0; i < n; ++i) {
                switch (sqlite3_column_type(st, i)) {
                case SQLITE_INTEGER:
                    sum += quint64(sqlite3_column_int64(st, i));
                    break;
                case SQLITE_FLOAT:
                    sum += quint64(sqlite3_column_double(st, i));
                    break;
                case SQLITE_TEXT:
                    sum += *sqlite3_column_text(st, i) + quint64(sqlite3_column_bytes(st, i));
                    break;
                case SQLITE_BLOB:
                    sum += quint64(sqlite3_column_bytes(st, i));
                    break;
                default:
                    ++sum;
                }
            }
        const double seconds = timer.nsecsElapsed() / 1e9;
        sqlite3_finalize(st);
        sqlite3_close(db);
        if (sum == 0)
            throw std::runtime_error("the floor loop read nothing");
        return seconds;
    }

    double CommandLineClient() override {
        const QString sqlite3 = QStandardPaths::findExecutable(QStringLiteral("sqlite3"));
        if (sqlite3.isEmpty())
            return -1;
        QProcess p;
        p.setStandardOutputFile(QProcess::nullDevice());
        QElapsedTimer timer;
        timer.start();
        p.start(sqlite3, {QStringLiteral("-tabs"), m_file, SelectAll()});
        p.waitForFinished(-1);
        return timer.nsecsElapsed() / 1e9;
    }

    QString ClientName() const override { return QStringLiteral("sqlite3 -tabs"); }
    void CleanUp() override { QFile::remove(m_file); }

private:
    QString m_file;
};

} // namespace

TBenchSource* NewSqliteSource() {
    return new TSqliteSource;
}
