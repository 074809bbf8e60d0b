#include "settings/Tools.h"

#include <QTest>

// Entries as "text/mark", so a table row reads like the cases it protects.
static QStringList Rendered(const QList<TSplitEntry>& entries) {
    QStringList out;
    for (const TSplitEntry& e : entries)
        out.append(e.Text + u'/' + QString::number(e.Quoted));
    return out;
}

class TestTools : public QObject {
    Q_OBJECT
private slots:
    void Split_data();
    void Split();
    void ExtractPlaceholders_data();
    void ExtractPlaceholders();
    void IndexOfText_data();
    void IndexOfText();
    void Min_data();
    void Min();
};

void TestTools::Split_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("separator");
    QTest::addColumn<bool>("ignoreQuotes");
    QTest::addColumn<QStringList>("expected");
    const QString semi = QStringLiteral(";");

    QTest::newRow("empty") << "" << semi << false << QStringList{};
    QTest::newRow("empty, empty separator") << ""
                                            << "" << false << QStringList{"/0"};
    QTest::newRow("empty separator keeps text") << "a;b"
                                                << "" << false << QStringList{"a;b/0"};
    QTest::newRow("plain") << "a;b;c" << semi << false << QStringList{"a/0", "b/0", "c/0"};
    QTest::newRow("trailing separator") << "a;" << semi << false << QStringList{"a/0"};
    QTest::newRow("leading separator") << ";a" << semi << false << QStringList{"/0", "a/0"};
    QTest::newRow("double separator") << "a;;b" << semi << false << QStringList{"a/0", "/0", "b/0"};
    QTest::newRow("separator only") << ";" << semi << false << QStringList{"/0"};
    QTest::newRow("quoted separator") << "'x;y';z" << semi << false << QStringList{"x;y/1", "z/0"};
    QTest::newRow("doubled quote, last") << "'it''s'" << semi << false << QStringList{"it's/0"};
    QTest::newRow("unterminated quote") << "'abc" << semi << false << QStringList{"abc/0"};
    QTest::newRow("text after closing quote dropped")
        << "'a'b;c" << semi << false << QStringList{"a/1", "c/0"};
    QTest::newRow("quote inside entry") << "ab'c;d" << semi << false << QStringList{"ab'c/0", "d/0"};
    QTest::newRow("blank before quote") << " 'a';b" << semi << false << QStringList{" 'a'/0", "b/0"};
    QTest::newRow("empty quotes") << "''" << semi << false << QStringList{"/0"};
    QTest::newRow("three quotes") << "'''" << semi << false << QStringList{"'/0"};
    QTest::newRow("ignore quotes") << "'a;b'" << semi << true << QStringList{"'a/0", "b'/0"};
    QTest::newRow("double quotes") << "\"a;\"\"b\"\";c\";d" << semi << false
                                   << QStringList{"a;\"b\";c/1", "d/0"};
    QTest::newRow("single inside double") << "\"it's\";x" << semi << false << QStringList{"it's/1", "x/0"};
    QTest::newRow("double inside single")
        << "'say \"hi';x" << semi << false << QStringList{"say \"hi/1", "x/0"};
    QTest::newRow("quoted then end in after-quote")
        << "a;'b'  " << semi << false << QStringList{"a/0", "b/0"};
    QTest::newRow("long separator") << "a::b"
                                    << "::" << false << QStringList{"a/0", "b/0"};
    QTest::newRow("long separator partial") << "a:b"
                                            << "::" << false << QStringList{"a:b/0"};
    QTest::newRow("separator at end, partial") << "a:"
                                               << "::" << false << QStringList{"a:/0"};
    QTest::newRow("case-sensitive separator") << "aXb"
                                              << "x" << false << QStringList{"aXb/0"};
    QTest::newRow("blanks kept") << " a ; b " << semi << false << QStringList{" a /0", " b /0"};
    QTest::newRow("connection string")
        << "Provider=SQLite;Data Source='C:\\x;y.db';User ID=\"a\"" << semi << false
        << QStringList{"Provider=SQLite/0", "Data Source='C:\\x/0", "y.db'/0", "User ID=\"a\"/0"};
}

void TestTools::Split() {
    QFETCH(QString, text);
    QFETCH(QString, separator);
    QFETCH(bool, ignoreQuotes);
    QFETCH(QStringList, expected);
    QCOMPARE(Rendered(TTools::Split(text, separator, ignoreQuotes)), expected);
}

void TestTools::ExtractPlaceholders_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<QStringList>("expected");
    QTest::newRow("duplicates in order")
        << "select {a}, {b} from t where x={a}" << QStringList{"a", "b", "a"};
    QTest::newRow("empty name") << "{}" << QStringList{""};
    QTest::newRow("brace at end") << "x{" << QStringList{};
    QTest::newRow("unclosed") << "{abc" << QStringList{};
    QTest::newRow("no nesting") << "{a{b}" << QStringList{"a{b"};
    QTest::newRow("closing brace alone") << "a}b{c}" << QStringList{"c"};
    QTest::newRow("empty text") << "" << QStringList{};
    QTest::newRow("adjacent") << "{x}{y}" << QStringList{"x", "y"};
}

void TestTools::ExtractPlaceholders() {
    QFETCH(QString, text);
    QFETCH(QStringList, expected);
    QCOMPARE(TTools::ExtractPlaceholders(text), expected);
}

void TestTools::IndexOfText_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<QStringList>("values");
    QTest::addColumn<int>("expected");
    QTest::newRow("ascii case folded") << "user id" << QStringList{"Data Source", "User ID"} << 1;
    QTest::newRow("first match wins") << "a" << QStringList{"b", "A", "a"} << 1;
    QTest::newRow("umlauts not folded")
        << QString::fromUtf8("ä") << QStringList{QString::fromUtf8("Ä")} << -1;
    QTest::newRow("umlauts equal") << QString::fromUtf8("ä") << QStringList{"x", QString::fromUtf8("ä")} << 1;
    QTest::newRow("no locale rules") << "I" << QStringList{QString::fromUtf8("ı")} << -1;
    QTest::newRow("prefix is no match") << "user" << QStringList{"User ID"} << -1;
    QTest::newRow("empty values") << "x" << QStringList{} << -1;
    QTest::newRow("empty text") << "" << QStringList{"a", ""} << 1;
    QTest::newRow("punctuation not folded") << "[" << QStringList{"{"} << -1;
}

void TestTools::IndexOfText() {
    QFETCH(QString, text);
    QFETCH(QStringList, values);
    QFETCH(int, expected);
    QCOMPARE(TTools::IndexOfText(text, values), expected);
}

void TestTools::Min_data() {
    QTest::addColumn<qint64>("a");
    QTest::addColumn<qint64>("b");
    QTest::addColumn<qint64>("expected");
    QTest::newRow("50, 7") << qint64(50) << qint64(7) << qint64(7);
    QTest::newRow("-1, 0") << qint64(-1) << qint64(0) << qint64(-1);
    QTest::newRow("full 64 bits") << std::numeric_limits<qint64>::min() << qint64(1)
                                  << std::numeric_limits<qint64>::min();
    QTest::newRow("above 32 bits") << qint64(1) << (qint64(1) << 40) << qint64(1);
}

void TestTools::Min() {
    QFETCH(qint64, a);
    QFETCH(qint64, b);
    QFETCH(qint64, expected);
    QCOMPARE(TTools::Min(a, b), expected);
}

QTEST_APPLESS_MAIN(TestTools)
#include "tst_tools.moc"
