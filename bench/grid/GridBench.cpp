// The result grid on a large SQLite result: "Alles kopieren" against the sqlite3 shell
// writing the same rows tab-separated to a file, a grid search that finds nothing, and the
// time from a cancel during execution to an idle workspace, in one run.
// Usage: tabulo-bench-grid [rows] [runs]
#include "bench/BenchCommon.h"
#include "data/Connection.h"
#include "data/ConnectionString.h"
#include "data/Query.h"
#include "settings/IniFileEx.h"
#include "ui/MsgBox.h"
#include "workspace/FindDialog.h"
#include "workspace/ResultGrid.h"
#include "workspace/ResultModel.h"
#include "workspace/Work.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QLineEdit>
#include <QProcess>
#include <QTemporaryDir>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

double Seconds(const QElapsedTimer& clock) {
    return clock.nsecsElapsed() / 1e9;
}

void WaitIdle(TFrameWork& work) {
    while (work.Busy())
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 5);
}

// Milliseconds from a cancel, given `delayMs` after the statement started, to an idle workspace.
double CancelToIdle(TFrameWork& work, const QString& sql, int delayMs) {
    QElapsedTimer clock;
    QTimer::singleShot(delayMs, [&] {
        clock.start();
        work.CancelSql();
    });
    try {
        work.ExecuteSql(sql);
    } catch (const std::exception&) {
        // A cancelled execution ends in an error or an abort; only the time counts here.
    }
    WaitIdle(work);
    return clock.isValid() ? clock.nsecsElapsed() / 1e6 : -1;
}

} // namespace

int main(int argc, char** argv) {
    QTemporaryDir dir;
    qputenv("TABULO_SETTINGS", dir.filePath(QStringLiteral("settings.sqlite")).toUtf8());
    QApplication app(argc, argv);
    const int rows = argc > 1 ? std::atoi(argv[1]) : 1000000;
    const int runs = argc > 2 ? std::atoi(argv[2]) : 3;
    TIniFileEx store;
    SetSettingsStore(&store);
    // "Nicht gefunden" is answered at once instead of waiting for a click.
    MsgBox::SetAutoAnswer(true);
    const QString file = dir.filePath(QStringLiteral("bench.sqlite"));
    const QString cs = QStringLiteral("Provider=SQLite;Data Source=%1").arg(file);
    CreateTable(cs, rows);

    TFrameWork work;
    work.resize(1000, 700);
    work.show();
    work.OpenDatabase(QStringLiteral("Bench"), cs);
    work.ExecuteSql(QStringLiteral("select * from t"));
    WaitIdle(work);
    QCoreApplication::processEvents();
    work.GrdResults->setCurrentIndex(work.Dsr->index(0, 0));

    std::vector<double> copy, shell, search;
    qsizetype copied = 0;
    for (int i = 0; i < runs; ++i) {
        QElapsedTimer clock;
        clock.start();
        QProcess sqlite;
        sqlite.setStandardOutputFile(dir.filePath(QStringLiteral("out.tsv")));
        sqlite.start(QStringLiteral("sqlite3"),
                     {QStringLiteral("-tabs"), file, QStringLiteral("select * from t")});
        sqlite.waitForFinished(-1);
        shell.push_back(Seconds(clock));

        clock.start();
        work.MnuPopGrdCopyAll->trigger();
        copy.push_back(Seconds(clock));
        copied = QApplication::clipboard()->text().size();

        work.ShowFindDialog();
        work.SearchControl = work.GrdResults; // as if the grid had the focus
        work.FindDialog->EdtFind->setText(QStringLiteral("kommt nicht vor"));
        work.GrdResults->setCurrentIndex(work.Dsr->index(0, 0));
        clock.start();
        const bool found = work.FindNext(true);
        search.push_back(Seconds(clock));
        if (found)
            std::fprintf(stderr, "the search found something\n");
        std::printf("run %d: copy all %.3f s, sqlite3 -tabs %.3f s, search %.3f s\n", i + 1, copy.back(),
                    shell.back(), search.back());
    }
    const double c = Median(copy), s = Median(shell), f = Median(search);
    std::printf("%d rows x 4 columns (%lld characters), median of %d: copy all %.3f s, sqlite3 -tabs %.3f s "
                "(ratio %.2f); search finding nothing %.3f s\n",
                rows, (long long)copied, runs, c, s, c / s, f);

    const double sqliteMs =
        CancelToIdle(work, QStringLiteral("select count(*) from t a, t b where a.id <> b.id"), 300);
    std::printf("cancel during execution (SQLite cross join) to idle: %.0f ms\n", sqliteMs);
    {
        TFrameWork odbc;
        odbc.OpenDatabase(QStringLiteral("ODBC"),
                          QStringLiteral("Provider=ODBC;Driver=SQLite3;Database=%1;StepAPI=1").arg(file));
        const double ms =
            CancelToIdle(odbc, QStringLiteral("select count(*) from t a, t b where a.id <> b.id"), 300);
        std::printf("cancel during execution (ODBC SQLite3 cross join) to idle: %.0f ms\n", ms);
    }
    if (qEnvironmentVariableIsSet("TABULO_TEST_PG")) {
        const TConnectionString pgString(qEnvironmentVariable("TABULO_TEST_PG"));
        TFrameWork pg;
        pg.OpenDatabase(QStringLiteral("PG"), qEnvironmentVariable("TABULO_TEST_PG"));
        const double pgMs = CancelToIdle(pg, QStringLiteral("select pg_sleep(10)"), 300);
        std::printf("cancel during execution (PostgreSQL pg_sleep) to idle: %.0f ms\n", pgMs);
        QString host, port;
        TConnectionString::SplitHostPort(pgString.Value(QStringLiteral("Data Source")), host, port);
        TFrameWork odbc;
        odbc.OpenDatabase(
            QStringLiteral("ODBC-PG"),
            QStringLiteral("Provider=ODBC;Driver={PostgreSQL Unicode};Server=%1;Port=%2;Database=%3;"
                           "User ID=%4;Password=%5")
                .arg(host, port.isEmpty() ? QStringLiteral("5432") : port,
                     pgString.Value(QStringLiteral("Initial Catalog")),
                     pgString.Value(QStringLiteral("User ID")), pgString.Value(QStringLiteral("Password"))));
        const double odbcMs = CancelToIdle(odbc, QStringLiteral("select pg_sleep(10)"), 300);
        std::printf("cancel during execution (ODBC PostgreSQL pg_sleep) to idle: %.0f ms\n", odbcMs);
    }
    SetSettingsStore(nullptr);
    return 0;
}
