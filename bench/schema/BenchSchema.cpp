// The connection report and the information of a field click on a PostgreSQL database with
// many tables, through the whole workspace. Needs TABULO_TEST_PG.
// Usage: tabulo-bench-schema [tables] [columns] [runs] [libpq|odbc]
// ("odbc": the workspace connects through psqlODBC to the same database)
#include "bench/BenchCommon.h"
#include "data/Connection.h"
#include "data/ConnectionString.h"
#include "settings/IniFileEx.h"
#include "workspace/StatusBar.h"
#include "workspace/Work.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QListWidget>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

const QString Schema = QStringLiteral("bench_schema_report");

// Counts the paints of a widget.
class TPaintCounter : public QObject {
public:
    int Paints = 0;
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::Paint)
            ++Paints;
        return false;
    }
};

void CreateTables(const QString& connectionString, int tables, int columns) {
    TConnection connection;
    connection.Open(connectionString);
    connection.Execute(QStringLiteral("DROP SCHEMA IF EXISTS %1 CASCADE; CREATE SCHEMA %1").arg(Schema));
    QString sql;
    for (int t = 0; t < tables; ++t) {
        QStringList cols{QStringLiteral("id integer PRIMARY KEY")};
        for (int c = 1; c < columns; ++c)
            cols << QStringLiteral("c%1 %2").arg(c).arg(c % 3 == 0   ? "varchar(40)"
                                                        : c % 3 == 1 ? "numeric(12,2)"
                                                                     : "text");
        sql += QStringLiteral("CREATE TABLE %1.t%2 (%3);")
                   .arg(Schema)
                   .arg(t)
                   .arg(cols.join(QStringLiteral(", ")));
    }
    connection.Execute(sql);
}

// The workspace's connection string: libpq's, or psqlODBC's to the same database.
QString WorkConnection(const QString& pg, bool odbc) {
    if (!odbc)
        return pg + QStringLiteral(";options='-c search_path=%1'").arg(Schema);
    const TConnectionString c(pg);
    const QString source = c.Value(QStringLiteral("Data Source"));
    return QStringLiteral(
               "Provider=ODBC;Driver={PostgreSQL Unicode};Server=%1;Port=%2;Database=%3;UID=%4;PWD=%5;"
               "ConnSettings='SET search_path TO %6'")
        .arg(source.section(u':', 0, 0),
             source.section(u':', 1, 1).isEmpty() ? QStringLiteral("5432") : source.section(u':', 1, 1),
             c.Value(QStringLiteral("Initial Catalog")), c.Value(QStringLiteral("User ID")),
             c.Value(QStringLiteral("Password")), Schema);
}

} // namespace

int main(int argc, char** argv) {
    QTemporaryDir dir;
    qputenv("TABULO_SETTINGS", dir.filePath(QStringLiteral("settings.sqlite")).toUtf8());
    QApplication app(argc, argv);
    const QString pg = qEnvironmentVariable("TABULO_TEST_PG");
    if (pg.isEmpty()) {
        std::fprintf(stderr, "TABULO_TEST_PG is not set (scripts/pg-test-server.sh start)\n");
        return 2;
    }
    const int tables = argc > 1 ? std::atoi(argv[1]) : 500;
    const int columns = argc > 2 ? std::atoi(argv[2]) : 20;
    const int runs = argc > 3 ? std::atoi(argv[3]) : 3;
    const bool odbc = argc > 4 && QByteArray(argv[4]) == "odbc";
    TIniFileEx store;
    SetSettingsStore(&store);
    CreateTables(pg, tables, columns);

    std::vector<double> reports, clicks;
    int paints = 0;
    qsizetype reportLength = 0;
    {
        TFrameWork work;
        work.resize(1000, 700);
        work.show();
        work.OpenDatabase(QStringLiteral("Bench"), WorkConnection(pg, odbc));
        QCoreApplication::processEvents();
        TPaintCounter counter;
        work.StatBar->installEventFilter(&counter);
        for (int i = 0; i < runs; ++i) {
            QElapsedTimer clock;
            clock.start();
            const QString report = work.BuildConnectionReport();
            reports.push_back(clock.nsecsElapsed() / 1e9);
            reportLength = report.size();
            std::printf("report run %d: %.3f s, %lld characters\n", i + 1, reports.back(),
                        (long long)reportLength);
        }
        paints = counter.Paints / runs;

        // A click on a field: its information into the status bar.
        for (int i = 0; i < work.LbxTables->count(); ++i)
            if (work.LbxTables->item(i)->text() == QLatin1String("t250")) {
                work.LbxTables->setCurrentRow(i);
                work.LbxTables->item(i)->setSelected(true);
            }
        work.RefreshFields();
        work.LbxFields->setCurrentRow(7);
        for (int i = 0; i < 20; ++i) {
            QElapsedTimer clock;
            clock.start();
            emit work.LbxFields->itemClicked(work.LbxFields->currentItem());
            clicks.push_back(clock.nsecsElapsed() / 1e6);
        }
        std::printf("field information: %s\n", qPrintable(work.StatusText(5)));
        work.CloseDatabase();
    }
    TConnection cleanup;
    cleanup.Open(pg);
    cleanup.Execute(QStringLiteral("DROP SCHEMA %1 CASCADE").arg(Schema));

    std::printf(
        "%s, %d tables x %d columns: connection report median %.3f s of %d runs (goal < %s), status bar "
        "painted %d times per report; field click median %.1f ms (goal < 50 ms)\n",
        odbc ? "psqlODBC" : "libpq", tables, columns, Median(reports), runs,
        odbc ? "10 s for 3000 tables" : "3 s for 500 tables", paints, Median(clicks));
    SetSettingsStore(nullptr);
    return 0;
}
