// Export of a fetched SQLite result to CSV and JSON against `sqlite3 -csv -header` writing
// the same select to a file, in one run; and the resident memory an export adds to a result
// that lives within a memory budget (the rest in the row store's temporary file).
//
//   tabulo-bench-export [--rows N] [--runs R]              speed (1,000,000 x 6 by default)
//   tabulo-bench-export --rows N --budget-mb M             memory (e.g. 20,000,000 and 512)
#include "data/Connection.h"
#include "data/Query.h"
#include "data/RowBudget.h"
#include "export/ExportJob.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <algorithm>
#include <atomic>
#include <cstdio>
#include <thread>
#include <vector>

namespace {

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

qint64 ResidentBytes() {
    QFile f(QStringLiteral("/proc/self/statm"));
    if (!f.open(QIODevice::ReadOnly))
        return 0;
    const QList<QByteArray> parts = f.readAll().split(' ');
    return parts.value(1).toLongLong() * 4096;
}

// id integer, amount real, short text, long text, date, and a column of NULLs.
void CreateTable(const QString& file, qint64 rows, bool wide) {
    QFile::remove(file);
    TConnection connection;
    connection.SetCommandTimeout(0);
    connection.Open(QStringLiteral("Provider=SQLite;Data Source=%1;Mode=Create").arg(file));
    const QString longText = wide ? QStringLiteral("printf('%.*c', 120 + x % 80, 'x') || ' Ende, \"zitiert\"'")
                                  : QStringLiteral("'kurz'");
    connection.Execute(QStringLiteral("create table t(id integer, amount real, name text, note text, day date, "
                                      "leer text);"
                                      "with recursive n(x) as (select 1 union all select x + 1 from n where x < %1) "
                                      "insert into t select x, x * 0.25 + 0.1, printf('Name %08d', x), %2, "
                                      "date('2000-01-01', '+' || (x % 9000) || ' days'), null from n;")
                           .arg(rows)
                           .arg(longText));
}

double ExportSeconds(const TRecordset& result, TExportFormat format, const QString& target) {
    TExportOptions options;
    options.Format = format;
    TExportJob job(result, options, target);
    QString error;
    QObject::connect(&job, &TExportJob::Finished, [&error](const QString& e, bool) { error = e; });
    QElapsedTimer clock;
    clock.start();
    job.Start();
    job.Wait();
    const double seconds = clock.nsecsElapsed() / 1e9;
    if (!error.isEmpty())
        std::fprintf(stderr, "export failed: %s\n", qPrintable(error));
    return seconds;
}

double ClientSeconds(const QString& db, const QString& target) {
    QProcess p;
    p.setStandardOutputFile(target);
    QElapsedTimer clock;
    clock.start();
    p.start(QStringLiteral("sqlite3"), {QStringLiteral("-csv"), QStringLiteral("-header"), db,
                                        QStringLiteral("select * from t")});
    p.waitForFinished(-1);
    return clock.nsecsElapsed() / 1e9;
}

void Open(TQuery& query, TConnection& connection, const QString& db) {
    connection.Open(QStringLiteral("Provider=SQLite;Data Source=%1").arg(db));
    query.SetConnection(&connection);
    query.SetCommandTimeout(0);
    query.SetSql(QStringLiteral("select * from t"));
    query.SetExecuteOptions(TExecuteOption::Synchronous);
    query.Open();
}

int Speed(const QString& folder, qint64 rows, int runs) {
    const QString db = folder + QStringLiteral("/bench.sqlite");
    CreateTable(db, rows, true);
    TConnection connection;
    TQuery query;
    Open(query, connection, db);
    std::printf("rows: %lld x %d, fetched\n", query.RecordCount(), query.Fields().Count());
    std::vector<double> client, csv, json;
    for (int i = 0; i < runs; ++i) {
        client.push_back(ClientSeconds(db, folder + QStringLiteral("/client.csv")));
        csv.push_back(ExportSeconds(query, TExportFormat::Csv, folder + QStringLiteral("/export.csv")));
        json.push_back(ExportSeconds(query, TExportFormat::Json, folder + QStringLiteral("/export.json")));
    }
    const double c = Median(client), e = Median(csv), j = Median(json);
    std::printf("sqlite3 -csv -header: %.3f s (%lld bytes)\n", c,
                QFileInfo(folder + QStringLiteral("/client.csv")).size());
    std::printf("export CSV:           %.3f s (%lld bytes)\n", e,
                QFileInfo(folder + QStringLiteral("/export.csv")).size());
    std::printf("export JSON:          %.3f s (%lld bytes)\n", j,
                QFileInfo(folder + QStringLiteral("/export.json")).size());
    std::printf("csv-ratio: %.2f json-ratio: %.2f\n", e / c, j / c);
    return 0;
}

int Memory(const QString& folder, qint64 rows, qint64 budgetMiB) {
    TRowBudget::SetLimit(budgetMiB << 20);
    const QString db = folder + QStringLiteral("/bench.sqlite");
    CreateTable(db, rows, false);
    TConnection connection;
    TQuery query;
    Open(query, connection, db);
    const qint64 before = ResidentBytes();
    std::printf("rows: %lld, budget %lld MiB, resident after the fetch %lld MiB\n", query.RecordCount(), budgetMiB,
                before >> 20);
    std::atomic<bool> done{false};
    std::atomic<qint64> peak{before};
    std::thread sampler([&] {
        while (!done.load()) {
            peak.store(std::max(peak.load(), ResidentBytes()));
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
    });
    const double seconds = ExportSeconds(query, TExportFormat::Csv, folder + QStringLiteral("/export.csv"));
    done.store(true);
    sampler.join();
    std::printf("export CSV: %.3f s (%lld bytes)\n", seconds, QFileInfo(folder + QStringLiteral("/export.csv")).size());
    std::printf("resident-growth-mb: %.1f\n", (peak.load() - before) / 1048576.0);
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    qint64 rows = 1000000;
    int runs = 3;
    qint64 budget = 0;
    const QStringList args = app.arguments();
    for (int i = 1; i + 1 < args.size(); i += 2) {
        if (args[i] == QLatin1String("--rows"))
            rows = args[i + 1].toLongLong();
        else if (args[i] == QLatin1String("--runs"))
            runs = args[i + 1].toInt();
        else if (args[i] == QLatin1String("--budget-mb"))
            budget = args[i + 1].toLongLong();
    }
    QTemporaryDir dir(QDir::tempPath() + QStringLiteral("/tabulo-bench-export-XXXXXX"));
    return budget > 0 ? Memory(dir.path(), rows, budget) : Speed(dir.path(), rows, runs);
}
