// tabulo-bench-fetch: fetch of a generated table through TQuery's asynchronous fetch against
// the driver's own row loop without copying (the floor), the bare driver loop copying every
// value and the database's command-line client, in one run.
//   tabulo-bench-fetch [--rows N] [--runs R] [--provider sqlite|postgresql] [--budget-mb M]
// Last line: floor-ratio: F fetch-ratio: R memory-ratio: M stall-ms: S cancel-ms: C
// F is the median over the runs of the fetch's time over the floor loop's in the same run.
// With --budget-mb the result goes beyond a memory budget of M MiB: the run compares the
// fetch under that budget with the fetch in memory, and reports the peak resident memory and
// the time to read the rows a grid shows at the end and at the start of the spilled result.
// Last line: spill-ratio: R peak-over-budget-mb: P jump-ms: J

#include "bench/fetch/BenchSource.h"
#include "data/Connection.h"
#include "data/Query.h"
#include "data/RowBudget.h"

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
    qint64 StoreBytes = 0; // what the row store holds
};

// Opens the statement with asynchronous fetch and runs the event loop until FetchComplete,
// timing the longest gap between the ticks of a 5 ms timer meanwhile. The query is handed
// back through `keep` when given.
TFetchResult FetchAll(TConnection& connection, const QString& sql, std::unique_ptr<TQuery>* keep = nullptr) {
    TFetchResult r;
    ResetPeak();
    const qint64 before = StatusKb("VmRSS:");
    const qint64 storesBefore = TRowBudget::InMemory();
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
    r.StoreBytes = TRowBudget::InMemory() - storesBefore;
    r.PeakGrowthBytes = (StatusKb("VmHWM:") - before) * 1024;
    if (keep)
        *keep = std::move(q);
    return r;
}

// The texts of the rows a grid shows (40) at the end and then at the start of a result.
qint64 JumpMs(const TQuery& q) {
    QElapsedTimer timer;
    timer.start();
    qint64 chars = 0;
    const qint64 count = q.RecordCount();
    for (qint64 start : {count - 40, qint64(0)})
        for (qint64 row = std::max<qint64>(start, 0); row < std::min(start + 40, count); ++row)
            for (int column = 0; column < q.Fields().Count(); ++column)
                chars += q.Text(row, column).size();
    return chars > 0 ? timer.elapsed() : -1;
}

// The fetch under a memory budget against the fetch in memory, in one run.
void CompareSpill(TConnection& connection, const QString& sql, qint64 rows, qint64 budgetMb) {
    TRowBudget::SetLimit(qint64(64) << 30);
    const TFetchResult inMemory = FetchAll(connection, sql);
    TRowBudget::SetLimit(budgetMb << 20);
    std::unique_ptr<TQuery> q;
    const TFetchResult spilled = FetchAll(connection, sql, &q);
    if (inMemory.Rows != rows || spilled.Rows != rows)
        throw std::runtime_error("the fetch returned a wrong number of rows");
    const qint64 peakMb = StatusKb("VmHWM:") / 1024;
    const qint64 jump = JumpMs(*q);
    std::printf("in-memory-s: %.3f (%.1f ns per row), peak growth %lld MB\n", inMemory.Seconds,
                inMemory.Seconds * 1e9 / rows, inMemory.PeakGrowthBytes >> 20);
    std::printf("budget-%lld-mb-s: %.3f (%.1f ns per row), peak resident %lld MB\n", budgetMb, spilled.Seconds,
                spilled.Seconds * 1e9 / rows, peakMb);
    std::printf("spill-ratio: %.2f peak-over-budget-mb: %lld jump-ms: %lld stall-ms: %lld\n",
                spilled.Seconds / inMemory.Seconds, peakMb - budgetMb, jump, spilled.StallMs);
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
    parser.addOption({QStringLiteral("runs"), QStringLiteral("Runs of each loop (the median counts)."),
                      QStringLiteral("R"), QStringLiteral("3")});
    parser.addOption({QStringLiteral("provider"), QStringLiteral("sqlite or postgresql."),
                      QStringLiteral("name"), QStringLiteral("sqlite")});
    parser.addOption({QStringLiteral("budget-mb"),
                      QStringLiteral("Compare a fetch under this memory budget (MiB) with one in memory."),
                      QStringLiteral("M")});
    parser.process(app);
    const qint64 budgetMb = parser.value(QStringLiteral("budget-mb")).toLongLong();
    const qint64 rows = parser.value(QStringLiteral("rows")).toLongLong();
    const QString provider = parser.value(QStringLiteral("provider"));
    const int runs = qMax(1, parser.value(QStringLiteral("runs")).toInt());

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
        if (budgetMb > 0) {
            TConnection connection;
            connection.SetCommandTimeout(0);
            connection.Open(cs);
            CompareSpill(connection, source->SelectAll(), rows, budgetMb);
            connection.Close();
            source->CleanUp();
            return 0;
        }

        // Medians over the runs; the first floor run also warms the cache. The floor ratio is
        // taken within each run, so that a busy machine slows both sides alike.
        qint64 tsvBytes = 0;
        std::vector<double> floorLoop, floorRatio, bare, client, fetch;
        TFetchResult first;
        TConnection connection;
        connection.SetCommandTimeout(0);
        connection.Open(cs);
        for (int run = 0; run < runs; ++run) {
            floorLoop.push_back(source->FloorLoop());
            bare.push_back(source->BareLoop(tsvBytes));
            const TFetchResult r = FetchAll(connection, source->SelectAll());
            floorRatio.push_back(r.Seconds / floorLoop.back());
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
        std::printf("floor-loop-s: %.3f\n", median(floorLoop));
        std::printf("bare-loop-s: %.3f\n", median(bare));
        std::printf("%s-s: %.3f\n", qPrintable(source->ClientName()), median(client));
        std::printf("tabulo-fetch-s: %.3f\n", median(fetch));
        std::printf("tabulo-peak-growth-bytes: %lld, row store %.1f bytes per row\n", first.PeakGrowthBytes,
                    double(first.StoreBytes) / rows);
        std::printf("floor-ratio: %.2f fetch-ratio: %.2f memory-ratio: %.2f stall-ms: %lld cancel-ms: %lld\n",
                    median(floorRatio), fetchRatio, memoryRatio, first.StallMs, cancelMs);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "benchmark failed: %s\n", e.what());
        source->CleanUp();
        return 1;
    }
    return 0;
}
