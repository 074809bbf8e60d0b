// The editor's names list on a PostgreSQL database with many tables, through the whole
// workspace: handing the names over when the database opens, the list on screen after
// Ctrl+Shift+Space, and a keystroke while it is open. Needs TABULO_TEST_PG.
// Usage: tabulo-bench-names [tables] [columns] [runs]
#include "bench/BenchCommon.h"
#include "data/Connection.h"
#include "data/Recordset.h"
#include "editor/CompletionList.h"
#include "editor/SqlEdit.h"
#include "settings/IniFileEx.h"
#include "workspace/Work.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QTest>
#include <cstdio>
#include <vector>

namespace {

const QString Schema = QStringLiteral("bench_names");

// Made once: a second run finds the tables there.
void CreateTables(const QString& connectionString, int tables, int columns) {
    TConnection connection;
    connection.SetCommandTimeout(0);
    connection.Open(connectionString);
    const std::unique_ptr<TRecordset> count = connection.OpenSchema(TSchemaKind::Tables, {QVariant(), Schema});
    if (count->RecordCount() == tables)
        return;
    connection.Execute(QStringLiteral("DROP SCHEMA IF EXISTS %1 CASCADE; CREATE SCHEMA %1").arg(Schema));
    QStringList cols{QStringLiteral("id integer PRIMARY KEY")};
    for (int c = 1; c < columns; ++c)
        cols << QStringLiteral("c%1 %2").arg(c).arg(c % 2 ? "text" : "numeric(12,2)");
    const QString columnList = cols.join(QStringLiteral(", "));
    for (int from = 0; from < tables; from += 500) {
        QString sql;
        for (int t = from; t < qMin(tables, from + 500); ++t)
            sql += QStringLiteral("CREATE TABLE %1.t%2 (%3);").arg(Schema).arg(t).arg(columnList);
        connection.Execute(sql);
    }
}

// Milliseconds of one piece of work on the GUI thread, the paints it causes included.
template <typename F>
double Time(F work) {
    QElapsedTimer timer;
    timer.start();
    work();
    QCoreApplication::processEvents();
    return timer.nsecsElapsed() / 1e6;
}

void Report(const char* what, const std::vector<double>& ms) {
    std::printf("%-52s median %8.2f ms  max %8.2f ms\n", what, Median(ms), *std::max_element(ms.begin(), ms.end()));
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
    const int tables = argc > 1 ? std::atoi(argv[1]) : 10000;
    const int columns = argc > 2 ? std::atoi(argv[2]) : 20;
    const int runs = argc > 3 ? std::atoi(argv[3]) : 7;
    TIniFileEx store;
    SetSettingsStore(&store);
    CreateTables(pg, tables, columns);

    TFrameWork work;
    work.resize(1000, 700);
    work.show();
    QElapsedTimer opening;
    opening.start();
    work.OpenDatabase(QStringLiteral("Bench"), pg + QStringLiteral(";options='-c search_path=%1'").arg(Schema));
    const double openMs = opening.nsecsElapsed() / 1e6;
    QCoreApplication::processEvents();
    TSqlEdit* edit = work.MemSql;
    edit->setFocus();
    TCompletionList* list = edit->NameList();

    std::vector<double> handOver, show, keys, backspaces, columnsShow, columnKeys;
    for (int run = 0; run < runs; ++run) {
        handOver.push_back(Time([&] { work.UpdateEditorNames(true); }));

        // All tables and the schema: the longest list there is.
        edit->SetLines({QStringLiteral("select * from ")});
        edit->SetCaret(0, 14);
        show.push_back(Time([&] {
            QTest::keyClick(edit, Qt::Key_Space, Qt::ControlModifier | Qt::ShiftModifier);
        }));
        if (!list->isVisible() || list->count() != tables + 1) {
            std::fprintf(stderr, "the list shows %d entries, not %d\n", int(list->count()), tables + 1);
            return 1;
        }
        // "t" keeps every table, "1" a tenth of them; Backspace brings them all back.
        keys.push_back(Time([&] { QTest::keyClick(edit, 't'); }));
        keys.push_back(Time([&] { QTest::keyClick(edit, '1'); }));
        backspaces.push_back(Time([&] { QTest::keyClick(edit, Qt::Key_Backspace); }));
        QTest::keyClick(edit, Qt::Key_Escape);

        // The columns of one table through an alias, read in the background on first need.
        edit->SetLines({QStringLiteral("select k. from t%1 k").arg(run)});
        edit->SetCaret(0, 9);
        QTest::keyClick(edit, Qt::Key_Space, Qt::ControlModifier | Qt::ShiftModifier);
        QElapsedTimer wait;
        wait.start();
        while (!list->isVisible() && wait.elapsed() < 10000)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        QTest::keyClick(edit, Qt::Key_Escape);
        columnsShow.push_back(Time([&] {
            QTest::keyClick(edit, Qt::Key_Space, Qt::ControlModifier | Qt::ShiftModifier);
        }));
        if (list->count() != columns) {
            std::fprintf(stderr, "the list shows %d columns, not %d\n", int(list->count()), columns);
            return 1;
        }
        columnKeys.push_back(Time([&] { QTest::keyClick(edit, 'c'); }));
        QTest::keyClick(edit, Qt::Key_Escape);
    }
    std::printf("%d tables x %d columns on PostgreSQL, %d runs\n", tables, columns, runs);
    std::printf("%-52s        %8.2f ms\n", "opening the database (whole OpenDatabase)", openMs);
    Report("names handed to the editor (GUI thread)", handOver);
    Report("Ctrl+Shift+Space to list on screen, all tables", show);
    Report("keystroke with the list open (10,000 / 1,111 rows)", keys);
    Report("Backspace with the list open", backspaces);
    Report("Ctrl+Shift+Space to list on screen, columns", columnsShow);
    Report("keystroke with the columns list open", columnKeys);
    std::vector<double> allKeys = keys;
    allKeys.insert(allKeys.end(), backspaces.begin(), backspaces.end());
    std::printf("names-list-ms: %.2f keystroke-ms: %.2f keystroke-max-ms: %.2f handover-ms: %.2f\n",
                Median(show), Median(allKeys), *std::max_element(allKeys.begin(), allKeys.end()),
                Median(handOver));
    return 0;
}
