// Fetch of a large SQLite result through the whole workspace in the main window (statement,
// fetch, status bar, grid) against the data layer alone, in one run, and the longest stall of
// the event loop meanwhile; then the time a jump to the last row and back to the first takes
// to paint. The workspace runs twice per round: as usual (grid attached at the end) and with
// "Zeilen schon beim Laden zeigen" (time from the executed statement, when the first row is
// there, to the first full screen of rows painted).
// Usage: tabulo-bench-workspace [rows] [runs] [memory budget in MiB]
#include "app/Main.h"
#include "bench/BenchCommon.h"
#include "data/Connection.h"
#include "data/Query.h"
#include "data/RowBudget.h"
#include "settings/IniFileEx.h"
#include "workspace/ResultGrid.h"
#include "workspace/ResultModel.h"
#include "workspace/Work.h"

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTemporaryDir>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <malloc.h>
#include <vector>

namespace {

// Ticks every 5 ms and records the longest gap between two ticks.
class TStallMeter {
public:
    TStallMeter() {
        m_timer.setInterval(5);
        QObject::connect(&m_timer, &QTimer::timeout, [this] {
            const qint64 now = m_clock.elapsed();
            m_maxGap = std::max(m_maxGap, now - m_last);
            m_last = now;
        });
    }
    void Start() {
        m_maxGap = 0;
        m_clock.start();
        m_last = 0;
        m_timer.start();
    }
    qint64 Stop() {
        m_timer.stop();
        return std::max(m_maxGap, m_clock.elapsed() - m_last);
    }

private:
    QTimer m_timer;
    QElapsedTimer m_clock;
    qint64 m_last = 0;
    qint64 m_maxGap = 0;
};

qint64 HeapInUse() {
    return qint64(mallinfo2().uordblks);
}

struct TRun {
    double Seconds;
    qint64 Stall;
    qint64 FirstScreen = -1; // ms from the start of the run to a full screen of rows painted
    qint64 Opened = -1;      // ms from the start of the run to the statement having run
};

// Notes when the grid's viewport first paints a full screen of rows.
class TFirstScreen : public QObject {
public:
    TFirstScreen(TFrameWork& work, QElapsedTimer& clock)
        : m_work(work)
        , m_clock(clock) {
        work.GrdResults->viewport()->installEventFilter(this);
    }
    qint64 At() const { return m_at; }

protected:
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::Paint && m_at < 0 && m_work.Dsr->rowCount() >= m_work.GrdResults->FullRows())
            m_at = m_clock.elapsed();
        return false;
    }

private:
    TFrameWork& m_work;
    QElapsedTimer& m_clock;
    qint64 m_at = -1;
};

TRun DataLayerAlone(const QString& connectionString, TStallMeter& meter) {
    TConnection connection;
    connection.Open(connectionString);
    TQuery query;
    query.SetConnection(&connection);
    query.SetSql(QStringLiteral("select * from t"));
    query.SetExecuteOptions(TExecuteOption::AsyncFetch);
    QEventLoop loop;
    QObject::connect(&query, &TQuery::FetchComplete, &loop, &QEventLoop::quit);
    meter.Start();
    QElapsedTimer clock;
    clock.start();
    query.Open();
    if (query.Fetching())
        loop.exec();
    const double seconds = clock.nsecsElapsed() / 1e9;
    return {seconds, meter.Stop()};
}

TRun Workspace(const QString& connectionString, TStallMeter& meter, qint64 rows, bool whileFetching) {
    TFrmMain window;
    window.resize(1600, 1000);
    window.show();
    window.Action(QStringLiteral("ActSqlShowWhileFetching"))->setChecked(whileFetching);
    window.OpenWorkspace(QStringLiteral("Bench"), connectionString);
    TFrameWork& work = *window.CurrentWorkspace();
    QCoreApplication::processEvents();
    meter.Start();
    QElapsedTimer clock;
    clock.start();
    TFirstScreen firstScreen(work, clock);
    qint64 completedAt = 0;
    QEventLoop loop;
    // Connected after the workspace's own handler, so it runs once the grid is attached.
    QObject::connect(work.Query(), &TQuery::FetchComplete, [&] {
        completedAt = clock.elapsed();
        loop.quit();
    });
    work.ExecuteSql(QStringLiteral("select * from t"));
    const qint64 openedAt = clock.elapsed();
    if (work.Busy())
        loop.exec();
    // The rows are on screen once the grid has painted.
    QCoreApplication::processEvents();
    const double seconds = clock.nsecsElapsed() / 1e9;
    const qint64 stall = meter.Stop();
    if (qEnvironmentVariableIsSet("BENCH_PHASES"))
        std::printf("  open %lld ms, fetch shown %lld ms, painted %lld ms, first screen %lld ms\n",
                    (long long)openedAt, (long long)completedAt, (long long)clock.elapsed(),
                    (long long)firstScreen.At());
    if (work.Dsr->rowCount() != rows)
        std::fprintf(stderr, "grid shows %d rows, expected %lld\n", work.Dsr->rowCount(), rows);
    // Ctrl+End and Ctrl+Home as the grid paints them.
    QElapsedTimer jump;
    jump.start();
    work.GrdResults->scrollToBottom();
    work.GrdResults->viewport()->repaint();
    const qint64 toLast = jump.restart();
    work.GrdResults->scrollToTop();
    work.GrdResults->viewport()->repaint();
    std::printf("  jump to the last row painted in %lld ms, back to the first in %lld ms\n",
                (long long)toLast, (long long)jump.elapsed());
    // What the grid holds for the result: the heap with the result shown, without it, and
    // shown again (the row store is the query's and stays either way).
    const qint64 shown = HeapInUse();
    work.Dsr->SetRecordset(nullptr, false);
    QCoreApplication::processEvents();
    const qint64 hidden = HeapInUse();
    work.Dsr->SetRecordset(work.Query(), false);
    work.GrdResults->scrollToBottom();
    work.GrdResults->viewport()->repaint();
    QCoreApplication::processEvents();
    std::printf("  grid holds %lld KiB for the result (detached: %+lld KiB, attached again: %+lld KiB)\n",
                (long long)(std::max(shown, HeapInUse()) - hidden) / 1024, (long long)(hidden - shown) / 1024,
                (long long)(HeapInUse() - hidden) / 1024);
    work.CloseDatabase();
    return {seconds, stall, firstScreen.At(), openedAt};
}

} // namespace

int main(int argc, char** argv) {
    QTemporaryDir dir;
    qputenv("TABULO_SETTINGS", dir.filePath(QStringLiteral("settings.sqlite")).toUtf8());
    QApplication app(argc, argv);
    const int rows = argc > 1 ? std::atoi(argv[1]) : 1000000;
    const int runs = argc > 2 ? std::atoi(argv[2]) : 3;
    if (argc > 3)
        TRowBudget::SetLimit(qint64(std::atoi(argv[3])) << 20);
    TIniFileEx store;
    SetSettingsStore(&store);

    const QString cs =
        QStringLiteral("Provider=SQLite;Data Source=%1").arg(dir.filePath(QStringLiteral("bench.sqlite")));
    CreateTable(cs, rows);
    TStallMeter meter;
    std::vector<double> alone, whole, streamed, firstScreen, firstShownAtEnd;
    qint64 aloneStall = 0, wholeStall = 0, streamedStall = 0;
    // Alternate the three so that cache warmth favours none.
    for (int i = 0; i < runs; ++i) {
        const TRun a = DataLayerAlone(cs, meter);
        const TRun w = Workspace(cs, meter, rows, false);
        const TRun s = Workspace(cs, meter, rows, true);
        alone.push_back(a.Seconds);
        whole.push_back(w.Seconds);
        streamed.push_back(s.Seconds);
        firstScreen.push_back(double(s.FirstScreen));
        firstShownAtEnd.push_back(double(w.FirstScreen));
        aloneStall = std::max(aloneStall, a.Stall);
        wholeStall = std::max(wholeStall, w.Stall);
        streamedStall = std::max(streamedStall, s.Stall);
        std::printf("run %d: data layer %.3f s (stall %lld ms), workspace %.3f s (stall %lld ms, first screen "
                    "at %lld ms), rows while loading %.3f s (stall %lld ms, statement ran by %lld ms, first "
                    "screen at %lld ms)\n",
                    i + 1, a.Seconds, (long long)a.Stall, w.Seconds, (long long)w.Stall, (long long)w.FirstScreen,
                    s.Seconds, (long long)s.Stall, (long long)s.Opened, (long long)s.FirstScreen);
    }
    const double a = Median(alone), w = Median(whole), st = Median(streamed);
    std::printf("%d rows, median of %d: data layer alone %.3f s, whole workspace %.3f s (+%.1f %%), with rows "
                "while loading %.3f s (+%.1f %%); longest event-loop stall %lld ms (while loading %lld ms, data "
                "layer alone %lld ms); first screen of rows after the run started: %.0f ms while loading, %.0f "
                "ms at the end\n",
                rows, runs, a, w, (w / a - 1) * 100, st, (st / a - 1) * 100, (long long)wholeStall,
                (long long)streamedStall, (long long)aloneStall, Median(firstScreen), Median(firstShownAtEnd));
    SetSettingsStore(nullptr);
    return 0;
}
