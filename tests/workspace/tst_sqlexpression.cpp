#include "workspace/SqlExpression.h"

#include <QTest>

class TestSqlExpression : public QObject {
    Q_OBJECT
private slots:
    void statements_data();
    void statements();
    void stripSeparator_data();
    void stripSeparator();
    void isNonSelect_data();
    void isNonSelect();
    void allNonSelect_data();
    void allNonSelect();
};

void TestSqlExpression::statements_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("separator");
    QTest::addColumn<QStringList>("expected");
    const auto row = [](const char* tag, const QString& text, const QStringList& expected,
                        const QString& separator = QStringLiteral(";")) {
        QTest::newRow(tag) << text << separator << expected;
    };

    row("one line without separator", "select * from t", {"select * from t"});
    row("separator inside a line does not split", "select 1; select 2;", {"select 1; select 2"});
    row("two statements around a blank line", "insert into t values (1);\r\n\r\nupdate t set a = 2;",
        {"insert into t values (1)", "update t set a = 2"});
    row("inner lines keep their blanks, closing line keeps blanks before the separator",
        "select a\r\n  from t   \r\nwhere b = 1 ;", {"select a\r\n  from t   \r\nwhere b = 1 "});
    row("separator on a line of its own", "select a\n;", {"select a"});
    row("separator inside a string literal ends the statement", "insert into t\nvalues ('x;\n')",
        {"insert into t\r\nvalues ('x", "')"});
    row("lone CR and lone LF end lines", "delete from a;\rdelete from b;\ndelete from c",
        {"delete from a", "delete from b", "delete from c"});
    row("blank lines inside a statement are dropped", "select a\r\n\r\n   \r\nfrom t",
        {"select a\r\nfrom t"});
    row("empty text", "", {});
    row("only blank lines", "\r\n  \r\n\t\r\n", {});
    // The editor's text ends with a line break and often a blank line: no empty statement.
    row("trailing blank line after a select", "select 1\r\n\r\n", {"select 1"});
    row("trailing blank line after a closed statement", "select 1;\r\n\r\n", {"select 1"});
    row("separator line with no open statement", ";\r\nselect 1", {"select 1"});
    row("only one separator removed", "select 1;;", {"select 1;"});
    row("separator is case-sensitive", "select 1 go\r\nselect 2 GO", {"select 1 go\r\nselect 2 "}, "GO");
}

void TestSqlExpression::statements() {
    QFETCH(QString, text);
    QFETCH(QString, separator);
    QFETCH(QStringList, expected);
    const TSqlExpression expression(text, separator);
    QCOMPARE(expression.Statements(), expected);
    QCOMPARE(expression.StatementCount(), expected.size());
}

void TestSqlExpression::stripSeparator_data() {
    QTest::addColumn<QString>("line");
    QTest::addColumn<bool>("ends");
    QTest::addColumn<QString>("stripped");

    QTest::newRow("blank before separator kept") << "select 1 ;" << true << "select 1 ";
    QTest::newRow("one of two separators") << "select 1;;" << true << "select 1;";
    QTest::newRow("blanks and controls after separator") << "select 1;\t \x01" << true << "select 1";
    QTest::newRow("no separator, trailing blanks trimmed") << "select 1  " << false << "select 1";
    QTest::newRow("separator alone") << ";" << true << "";
    QTest::newRow("empty line") << "" << false << "";
    QTest::newRow("separator in the middle") << "a; b" << false << "a; b";
}

void TestSqlExpression::stripSeparator() {
    QFETCH(QString, line);
    QFETCH(bool, ends);
    QFETCH(QString, stripped);
    QCOMPARE(TSqlExpression::EndsWithSeparator(line, ";"), ends);
    QCOMPARE(TSqlExpression::StripSeparator(line, ";"), stripped);
}

void TestSqlExpression::isNonSelect_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("nonSelect");

    QTest::newRow("upper-case select") << "SELECT * FROM t" << false;
    QTest::newRow("with clause") << "with x as (select 1) select * from x" << false;
    QTest::newRow("exec") << "exec p" << true;
    QTest::newRow("empty") << "" << true;
    QTest::newRow("insert from select") << "insert into t select * from s" << true;
    QTest::newRow("word inside a name: updates") << "select * from updates" << true;
    QTest::newRow("word inside a name: deleted") << "select deleted from t" << true;
    QTest::newRow("mixed case Update") << "UpDaTe t set a = 1" << true;
    // Only A-Z are folded: the dotless capital I of Turkish does not fold to "i".
    QTest::newRow("non-ASCII capital not folded") << QString::fromUtf8("SELECT 1 -- \u0130NSERT") << false;
}

void TestSqlExpression::isNonSelect() {
    QFETCH(QString, text);
    QFETCH(bool, nonSelect);
    QCOMPARE(TSqlExpression::IsNonSelect(text), nonSelect);
}

void TestSqlExpression::allNonSelect_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("all");

    QTest::newRow("two non-selects") << "insert into t values (1);\r\ndelete from t where a = 0;" << true;
    QTest::newRow("select after non-select") << "insert into t values (1);\r\nselect 1" << false;
    QTest::newRow("single select") << "select 1" << false;
    QTest::newRow("empty text") << "" << false;
    QTest::newRow("blank lines only") << "\r\n\r\n" << false;
}

void TestSqlExpression::allNonSelect() {
    QFETCH(QString, text);
    QFETCH(bool, all);
    QCOMPARE(TSqlExpression(text, ";").AllNonSelect(), all);
}

QTEST_APPLESS_MAIN(TestSqlExpression)
#include "tst_sqlexpression.moc"
