// Times the SQL editor on a 100,000-line text: opening it and colouring the first page,
// jumping to its end, and keystrokes in its middle, among them one that opens a block
// comment over the rest of the text. Every step includes the repaint the user waits for.
// Typing is timed without and with the workspace's recovery copy: at a brisk 20 keystrokes a
// second with the copy's real delay (a copy about once a second, taken between keystrokes), and
// as the worst case with a copy after every keystroke. Each keystroke's time includes the
// events it causes.
//
//   tabulo-bench-editor [lines] [repetitions]
#include "editor/SqlEdit.h"
#include "workspace/EditorRecovery.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QKeyEvent>
#include <QTemporaryDir>
#include <QTextStream>
#include <QTimer>

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

double mean(const std::vector<double>& v) {
    double sum = 0;
    for (double x : v)
        sum += x;
    return v.empty() ? 0 : sum / double(v.size());
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
    TSeries typing{QStringLiteral("typing in the middle, 20 keystrokes a second"), {}};
    TSeries typingRecovery{QStringLiteral("the same with the recovery copy"), {}};
    TSeries typingFast{QStringLiteral("typing in the middle, keystrokes back to back"), {}};
    TSeries typingCopied{QStringLiteral("the same with a recovery copy after each keystroke (worst case)"),
                         {}};
    QTemporaryDir recoveryFolder;
    const int middle = lines / 2 - (lines / 2) % 7; // a "select" line

    // Types 40 characters; each keystroke is timed with its repaint and the events it causes.
    const auto typeWord = [&](TSqlEdit& edit, TSeries& series, int pauseMs) {
        edit.SetCaret(middle, 7);
        paint(edit);
        QApplication::processEvents();
        for (int i = 0; i < 40; ++i) {
            QElapsedTimer t;
            t.start();
            key(edit, Qt::Key_A + i % 26, QString(QChar(u'a' + i % 26)));
            QApplication::processEvents();
            series.ms.push_back(t.nsecsElapsed() / 1e6);
            if (pauseMs > 0) {
                QEventLoop pause;
                QTimer::singleShot(pauseMs, &pause, &QEventLoop::quit);
                pause.exec();
            }
        }
    };

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

        typeWord(edit, typing, 50);
        typeWord(edit, typingFast, 0);
        TEditorRecovery recovery(&edit, recoveryFolder.filePath(QStringLiteral("recovery")),
                                 QStringLiteral("Bench"));
        recovery.Start();
        typeWord(edit, typingRecovery, 50);
        recovery.SetDelay(0);
        typeWord(edit, typingCopied, 0);
        recovery.Discard();
    }

    QTextStream out(stdout);
    out << "SQL editor, " << lines << " lines, median of " << repetitions << " runs\n";
    for (const TSeries* s : {&open, &toEnd, &plainKey, &opener, &endAfterOpener, &closer, &typing,
                             &typingRecovery, &typingFast, &typingCopied})
        out << QStringLiteral("%1 ms  %2\n").arg(median(s->ms), 8, 'f', 1).arg(s->name);
    out << QStringLiteral("recovery-keystroke-ratio: %1 median, %2 mean (worst case %3)\n")
               .arg(median(typingRecovery.ms) / median(typing.ms), 0, 'f', 3)
               .arg(mean(typingRecovery.ms) / mean(typing.ms), 0, 'f', 3)
               .arg(median(typingCopied.ms) / median(typingFast.ms), 0, 'f', 3);
    return 0;
}
