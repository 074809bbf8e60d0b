#include "editor/EditKeys.h"
#include "editor/SqlCompletion.h"

#include <QTest>

// The pure rules behind the editing keys and the completion list.
class TestEditKeys : public QObject {
    Q_OBJECT

private slots:
    void tabStops_data() {
        QTest::addColumn<int>("column");
        QTest::addColumn<int>("next");
        QTest::addColumn<int>("previous");
        QTest::newRow("0") << 0 << 2 << 0;
        QTest::newRow("1") << 1 << 2 << 0;
        QTest::newRow("2") << 2 << 4 << 0;
        QTest::newRow("3") << 3 << 4 << 2;
        QTest::newRow("4") << 4 << 6 << 2;
        QTest::newRow("9") << 9 << 10 << 8;
    }

    void tabStops() {
        QFETCH(int, column);
        QFETCH(int, next);
        QFETCH(int, previous);
        QCOMPARE(TEditKeys::NextTabStop(column), next);
        QCOMPARE(TEditKeys::PreviousTabStop(column), previous);
    }

    void tabTarget_data() {
        QTest::addColumn<QStringList>("lines");
        QTest::addColumn<int>("column");
        QTest::addColumn<int>("lookBack");
        QTest::addColumn<int>("target");
        QTest::newRow("next word of the line above") << QStringList{"select a, b", ""} << 0 << 10 << 7;
        QTest::newRow("skips the rest of the current word")
            << QStringList{"select a, b", ""} << 8 << 10 << 10;
        QTest::newRow("short line above is passed over") << QStringList{"  x  y", "ab", ""} << 2 << 10 << 5;
        QTest::newRow("only so many lines up") << QStringList{"  x  y", "ab", ""} << 2 << 1 << 4;
        QTest::newRow("no lines above") << QStringList{""} << 3 << 10 << 4;
    }

    void tabTarget() {
        QFETCH(QStringList, lines);
        QFETCH(int, column);
        QFETCH(int, lookBack);
        QFETCH(int, target);
        const auto lineAt = [&](int l) {
            return lines.value(l);
        };
        QCOMPARE(TEditKeys::TabTarget(lineAt, int(lines.size()) - 1, column, lookBack), target);
    }

    void backspaceTarget_data() {
        QTest::addColumn<QStringList>("lines");
        QTest::addColumn<int>("column");
        QTest::addColumn<int>("target");
        QTest::newRow("nearest smaller indentation") << QStringList{"a", "  b", "    c", "      "} << 6 << 4;
        QTest::newRow("blank lines are passed over") << QStringList{"  b", "", "      "} << 6 << 2;
        QTest::newRow("none above goes to 0") << QStringList{"   "} << 3 << 0;
        QTest::newRow("text left of the caret") << QStringList{"x  "} << 3 << -1;
        QTest::newRow("text at the caret") << QStringList{"  b", "    c"} << 4 << -1;
        QTest::newRow("blank at the caret") << QStringList{"  b", "     c"} << 4 << 2;
        QTest::newRow("column 0") << QStringList{"x"} << 0 << -1;
    }

    void backspaceTarget() {
        QFETCH(QStringList, lines);
        QFETCH(int, column);
        QFETCH(int, target);
        const auto lineAt = [&](int l) {
            return lines.value(l);
        };
        QCOMPARE(TEditKeys::BackspaceTarget(lineAt, int(lines.size()) - 1, column, 50), target);
    }

    void wordAtCaret_data() {
        QTest::addColumn<QString>("line");
        QTest::addColumn<int>("column");
        QTest::addColumn<QString>("word");
        QTest::addColumn<bool>("opens");
        QTest::newRow("start of a keyword") << "x sel" << 5 << "sel" << true;
        QTest::newRow("whole keyword") << "select" << 6 << "select" << false;
        QTest::newRow("keyword of two words") << "order" << 5 << "order" << true;
        QTest::newRow("caret inside a word") << "a.frxx" << 4 << "frxx" << false;
        QTest::newRow("underscore, dollar and umlauts belong to words")
            << QString::fromUtf8("$_ä") << 3 << QString::fromUtf8("$_ä") << false;
        QTest::newRow("after a separator") << "(u" << 2 << "u" << true;
        QTest::newRow("empty") << "a " << 2 << "" << false;
        QTest::newRow("beyond the end") << "sel" << 5 << "" << false;
        QTest::newRow("quote separates") << "\"gro" << 4 << "gro" << true;
    }

    void wordAtCaret() {
        QFETCH(QString, line);
        QFETCH(int, column);
        QFETCH(QString, word);
        QFETCH(bool, opens);
        QCOMPARE(TSqlCompletion::WordAt(line, column), word);
        QCOMPARE(TSqlCompletion::OpensFor(TSqlCompletion::WordAt(line, column)), opens);
    }

    void entries() {
        QCOMPARE(TSqlCompletion::Entries(), (QStringList{"SELECT", "FROM", "WHERE", "ORDER BY", "GROUP BY",
                                                         "HAVING", "INSERT", "UPDATE"}));
    }
};

QTEST_GUILESS_MAIN(TestEditKeys)
#include "tst_editkeys.moc"
