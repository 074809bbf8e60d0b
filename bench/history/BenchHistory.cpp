// The lasting history with 1,000,000 statements: opening the search dialog, each keystroke
// until its first 200 hits are shown, and what recording costs the GUI thread.
// Usage: tabulo-bench-history [file]  (a file made by an earlier run is used again)
#include "bench/BenchCommon.h"
#include "history/HistoryStore.h"
#include "workspace/HistoryDialog.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QLineEdit>
#include <QRandomGenerator>
#include <QTest>
#include <QTreeWidget>

#include <cstdio>

namespace {

constexpr int Statements = 1000000;

const char* const Tables[] = {"kunden", "auftraege", "artikel", "lager", "rechnungen", "positionen",
                              "lieferanten", "mitarbeiter", "orte", "buchungen"};
const char* const Columns[] = {"id", "name", "ort", "plz", "betrag", "datum", "menge", "preis", "status", "größe"};

QString RandomStatement(QRandomGenerator& random, int i) {
    auto pick = [&random](const auto& list) { return QLatin1String(list[random.bounded(10)]); };
    switch (random.bounded(4)) {
    case 0:
        return QStringLiteral("SELECT %1, %2 FROM %3 WHERE %4 = %5").arg(pick(Columns), pick(Columns), pick(Tables), pick(Columns)).arg(i);
    case 1:
        return QStringLiteral("UPDATE %1 SET %2 = '%3' WHERE id = %4").arg(pick(Tables), pick(Columns), QString::number(random.generate(), 36)).arg(i);
    case 2:
        return QStringLiteral("INSERT INTO %1 (%2, %3) VALUES (%4, 'Wert %5')").arg(pick(Tables), pick(Columns), pick(Columns)).arg(i).arg(random.bounded(100000));
    default:
        return QStringLiteral("DELETE FROM %1 WHERE %2 < %3").arg(pick(Tables), pick(Columns)).arg(i);
    }
}

void Fill(const QString& file) {
    THistoryStore store(file, Statements);
    QRandomGenerator random(7);
    QElapsedTimer timer;
    timer.start();
    for (int i = 0; i < Statements; ++i) {
        THistoryEntry e;
        e.database = i % 3 ? QStringLiteral("Lager") : QStringLiteral("Archiv");
        e.started = 1700000000000 + i * 1000LL;
        e.duration = random.bounded(500);
        e.records = random.bounded(1000);
        e.statement = RandomStatement(random, i);
        store.Record(std::move(e));
        if (i % 50000 == 49999)
            store.Flush();
    }
    store.Flush();
    std::printf("filled %d statements in %.1f s\n", Statements, timer.elapsed() / 1000.0);
}

} // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const QString file = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral("/tmp/tabulo-bench-history.sqlite");
    if (!QFile::exists(file))
        Fill(file);

    // Opening: the file and the dialog with its first hits (all databases, no words).
    std::vector<double> opens;
    for (int i = 0; i < 5; ++i) {
        QElapsedTimer timer;
        timer.start();
        THistoryStore store(file, Statements);
        SetHistoryStore(&store);
        THistoryDialog dialog(nullptr, &store);
        dialog.show();
        QApplication::processEvents();
        opens.push_back(timer.nsecsElapsed() / 1e6);
        SetHistoryStore(nullptr);
    }
    std::printf("open dialog: median %.1f ms, worst %.1f ms\n", Median(opens),
                *std::max_element(opens.begin(), opens.end()));

    // Keystrokes: each one searches and fills the list before the next.
    THistoryStore store(file, Statements);
    THistoryDialog dialog(nullptr, &store);
    dialog.show();
    auto* search = dialog.findChild<QLineEdit*>(QStringLiteral("EdtSearch"));
    auto* hits = dialog.findChild<QTreeWidget*>(QStringLiteral("LstHits"));
    std::vector<double> keys;
    for (const char* words : {"select kunden 4711", "update lager status", "insert artikel wert 99", "delete buchungen",
                              "x = 1", "menge preis orte 12345", "zzz nichts"}) {
        search->clear();
        QApplication::processEvents();
        for (const char* c = words; *c; ++c) {
            QElapsedTimer timer;
            timer.start();
            QTest::keyClick(search, *c);
            keys.push_back(timer.nsecsElapsed() / 1e6);
            if (keys.back() > 30)
                std::printf("  slow: '%s' %.1f ms\n", qPrintable(search->text()), keys.back());
        }
        std::printf("  '%s': %d hits\n", words, hits->topLevelItemCount());
    }
    std::printf("keystroke to first %d hits: median %.1f ms, worst %.1f ms (%zu keystrokes)\n",
                THistoryDialog::MaxHits, Median(keys), *std::max_element(keys.begin(), keys.end()), keys.size());

    // Recording on the GUI thread, with and without a history, in the same run.
    auto batch = [](bool withHistory, THistoryStore* target) {
        SetHistoryStore(withHistory ? target : nullptr);
        std::vector<double> times;
        QRandomGenerator random(11);
        for (int i = 0; i < 10000; ++i) {
            const QString statement = RandomStatement(random, i);
            QElapsedTimer timer;
            timer.start();
            RecordInHistory(QStringLiteral("Lager"), 1, statement, 3);
            times.push_back(timer.nsecsElapsed() / 1e6);
        }
        SetHistoryStore(nullptr);
        return Median(times);
    };
    const QString scratch = file + QStringLiteral(".record");
    QFile::remove(scratch);
    {
        THistoryStore recording(scratch);
        const double without = batch(false, &recording);
        const double with = batch(true, &recording);
        std::printf("recording per statement on the GUI thread: median %.4f ms with, %.4f ms without\n", with, without);
        recording.Flush();
    }
    for (const char* suffix : {"", "-wal", "-shm"})
        QFile::remove(scratch + QLatin1String(suffix));
    return 0;
}
