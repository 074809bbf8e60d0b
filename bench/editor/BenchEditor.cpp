// Times the SQL editor on a 100,000-line text: opening it and colouring the first page,
// jumping to its end, and keystrokes in its middle, among them one that opens a block
// comment over the rest of the text. Every step includes the repaint the user waits for.
//
//   tabulo-bench-editor [lines] [repetitions]
#include "editor/SqlEdit.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QKeyEvent>
#include <QTextStream>

#include <algorithm>
#include <vector>

namespace {

QStringList sampleText(int lines) {
    const QStringList pattern = {
        QStringLiteral("select k.Nr, k.Name, sum(o.Betrag) as Summe -- Umsatz je Kunde"),
        QStringLiteral("  from Kunden k inner join Orders o on o.KundeNr = k.Nr"),
        QStringLiteral(" where k.Ort = 'Köln' and o.Datum >= '2024-01-01' and o.Status <> 'it''s'"),
        QStringLiteral(" group by k.Nr, k.Name having count(*) > 10 order by 3 desc;"),
        QStringLiteral("/* Kommentar über"),
        QStringLiteral("   zwei Zeilen */ insert into \"Order Details\" values (1, 2.5, 'x', null);"),
        QString(),
    };
    QStringList text;
    text.reserve(lines);
    for (int i = 0; i < lines; ++i)
        text << pattern[i % pattern.size()];
    return text;
}

void paint(TSqlEdit& edit) {
    edit.viewport()->repaint();
}

void key(TSqlEdit& edit, int code, const QString& text) {
    QKeyEvent press(QEvent::KeyPress, code, Qt::NoModifier, text);
    QApplication::sendEvent(&edit, &press);
    QKeyEvent release(QEvent::KeyRelease, code, Qt::NoModifier, text);
    QApplication::sendEvent(&edit, &release);
    paint(edit);
}

struct TSeries {
    QString name;
    std::vector<double> ms;
};

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
}

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const int lines = argc > 1 ? QString::fromLocal8Bit(argv[1]).toInt() : 100000;
    const int repetitions = argc > 2 ? QString::fromLocal8Bit(argv[2]).toInt() : 5;
    const QStringList text = sampleText(lines);

    TSeries open{QStringLiteral("open and colour the first page"), {}};
    TSeries toEnd{QStringLiteral("jump to the end and colour it"), {}};
    TSeries plainKey{QStringLiteral("keystroke in the middle"), {}};
    TSeries opener{QStringLiteral("keystroke opening a block comment in the middle"), {}};
    TSeries endAfterOpener{QStringLiteral("then jump to the end (all lines below recoloured)"), {}};
    TSeries closer{QStringLiteral("keystroke removing the comment opener"), {}};

    for (int r = 0; r < repetitions; ++r) {
        TSqlEdit edit;
        edit.resize(1000, 700);
        edit.show();
        QApplication::processEvents();
        QElapsedTimer t;

        t.start();
        edit.SetLines(text);
        paint(edit);
        open.ms.push_back(t.nsecsElapsed() / 1e6);

        t.start();
        edit.SetCaret(lines - 1, 0);
        paint(edit);
        toEnd.ms.push_back(t.nsecsElapsed() / 1e6);

        const int middle = lines / 2 - (lines / 2) % 7; // a "select" line
        edit.SetCaret(middle, 0);
        paint(edit);
        t.start();
        key(edit, Qt::Key_X, QStringLiteral("x"));
        plainKey.ms.push_back(t.nsecsElapsed() / 1e6);
        key(edit, Qt::Key_Backspace, QString());

        key(edit, Qt::Key_Slash, QStringLiteral("/"));
        t.start();
        key(edit, Qt::Key_Asterisk, QStringLiteral("*"));
        opener.ms.push_back(t.nsecsElapsed() / 1e6);

        t.start();
        edit.SetCaret(lines - 1, 0);
        paint(edit);
        endAfterOpener.ms.push_back(t.nsecsElapsed() / 1e6);

        edit.SetCaret(middle, 2);
        paint(edit);
        t.start();
        key(edit, Qt::Key_Backspace, QString());
        closer.ms.push_back(t.nsecsElapsed() / 1e6);
    }

    QTextStream out(stdout);
    out << "SQL editor, " << lines << " lines, median of " << repetitions << " runs\n";
    for (const TSeries* s : {&open, &toEnd, &plainKey, &opener, &endAfterOpener, &closer})
        out << QStringLiteral("%1 ms  %2\n").arg(median(s->ms), 8, 'f', 1).arg(s->name);
    return 0;
}
