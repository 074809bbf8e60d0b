// tabulo-bench-fetch: fetch of a generated table through TQuery's asynchronous fetch against
// the bare driver loop and the database's command-line client, in one run.
//   tabulo-bench-fetch [--rows N] [--provider sqlite|postgresql]
// Last line: fetch-ratio: R memory-ratio: M stall-ms: S cancel-ms: C

#include "bench/fetch/BenchSource.h"
#include "data/Connection.h"
#include "data/Query.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <memory>

namespace {

qint64 StatusKb(const char* key) {
    QFile f(QStringLiteral("/proc/self/status"));
    if (!f.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray& line : f.readAll().split('\n'))
        if (line.startsWith(key))
            return line.mid(qstrlen(key)).trimmed().split(' ').first().toLongLong();
    return 0;
}

void ResetPeak() {
    QFile f(QStringLiteral("/proc/self/clear_refs"));
    if (f.open(QIODevice::WriteOnly))
        f.write("5");
}

struct TFetchResult {
    double Seconds = 0;
    qint64 Rows = 0;
    qint64 StallMs = 0;
    qint64 PeakGrowthBytes = 0;
};

// Opens the statement with asynchronous fetch and runs the event loop until FetchComplete,
// timing the longest gap between the ticks of a 5 ms timer meanwhile.
TFetchResult FetchAll(TConnection& connection, const QString& sql) {
    TFetchResult r;
    ResetPeak();
    const qint64 before = StatusKb("VmRSS:");
    auto q = std::make_unique<TQuery>();
    q->SetConnection(&connection);
    q->SetSql(sql);
    q->SetExecuteOptions(TExecuteOption::AsyncFetch);
    QEventLoop loop;
    QObject::connect(q.get(), &TQuery::FetchComplete, &loop, &QEventLoop::quit);
    QElapsedTimer tick;
    QTimer ticker;
    ticker.setTimerType(Qt::PreciseTimer);
    QObject::connect(&ticker, &QTimer::timeout, [&] { r.StallMs = std::max(r.StallMs, tick.restart()); });
    QElapsedTimer timer;
    timer.start();
    q->Open();
    tick.start();
    ticker.start(5);
    loop.exec();
    r.Seconds = timer.nsecsElapsed() / 1e9;
    ticker.stop();
    r.Rows = q->RecordCount();
    r.PeakGrowthBytes = (StatusKb("VmHWM:") - before) * 1024;
    return r;
}

// From the recordset's cancel inside the first FetchProgress to FetchComplete.
qint64 CancelTime(TConnection& connection, const QString& sql) {
    TQuery q;
    q.SetConnection(&connection);
    q.SetSql(sql);
    q.SetExecuteOptions(TExecuteOption::AsyncFetch);
    QEventLoop loop;
    QElapsedTimer sinceCancel;
    QObject::connect(&q, &TQuery::FetchProgress, [&] {
        if (!sinceCancel.isValid()) {
            sinceCancel.start();
            q.Cancel();
        }
    });
    QObject::connect(&q, &TQuery::FetchComplete, &loop, &QEventLoop::quit);
    q.Open();
    loop.exec();
    return sinceCancel.isValid() ? sinceCancel.elapsed() : -1;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QCommandLineParser parser;
    parser.addHelpOption();
    parser.addOption({QStringLiteral("rows"), QStringLiteral("Rows of the generated table."),
                      QStringLiteral("N"), QStringLiteral("1000000")});
    parser.addOption({QStringLiteral("provider"), QStringLiteral("sqlite or postgresql."),
                      QStringLiteral("name"), QStringLiteral("sqlite")});
    parser.process(app);
    const qint64 rows = parser.value(QStringLiteral("rows")).toLongLong();
    const QString provider = parser.value(QStringLiteral("provider"));

    std::unique_ptr<TBenchSource> source(provider == QLatin1String("postgresql") ? NewPostgresSource()
                                         : provider == QLatin1String("sqlite")   ? NewSqliteSource()
                                                                                 : nullptr);
    if (!source) {
        std::fprintf(stderr, "provider %s is not available in this benchmark\n", qPrintable(provider));
        return 2;
    }
    try {
        const QString cs = source->Prepare(rows);
        std::printf("rows: %lld provider: %s\n", rows, qPrintable(provider));

        // Median of three for the timings; the first bare run also warms the cache.
        qint64 tsvBytes = 0;
        std::vector<double> bare, client, fetch;
        TFetchResult first;
        TConnection connection;
        connection.SetCommandTimeout(0);
        connection.Open(cs);
        for (int run = 0; run < 3; ++run) {
            bare.push_back(source->BareLoop(tsvBytes));
            const TFetchResult r = FetchAll(connection, source->SelectAll());
            if (run == 0)
                first = r;
            else
                first.StallMs = std::max(first.StallMs, r.StallMs);
            fetch.push_back(r.Seconds);
            if (r.Rows != rows)
                throw std::runtime_error("the fetch returned a wrong number of rows");
            client.push_back(source->CommandLineClient());
        }
        const auto median = [](std::vector<double> v) {
            std::sort(v.begin(), v.end());
            return v[v.size() / 2];
        };
        const qint64 cancelMs = CancelTime(connection, source->SelectAll());
        connection.Close();
        source->CleanUp();

        const double fetchRatio = median(fetch) / median(bare);
        const double memoryRatio = double(first.PeakGrowthBytes) / double(tsvBytes);
        std::printf("tsv-bytes: %lld\n", tsvBytes);
        std::printf("bare-loop-s: %.3f\n", median(bare));
        std::printf("%s-s: %.3f\n", qPrintable(source->ClientName()), median(client));
        std::printf("tabulo-fetch-s: %.3f\n", median(fetch));
        std::printf("tabulo-peak-growth-bytes: %lld\n", first.PeakGrowthBytes);
        std::printf("fetch-ratio: %.2f memory-ratio: %.2f stall-ms: %lld cancel-ms: %lld\n", fetchRatio,
                    memoryRatio, first.StallMs, cancelMs);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "benchmark failed: %s\n", e.what());
        source->CleanUp();
        return 1;
    }
    return 0;
}
