#include "editor/SqlLexer.h"

#include <QTest>

// The lexer renders a line as "class:text" pieces, so a case reads like what the user sees.
namespace {

QString className(TTokenClass c) {
    switch (c) {
    case TTokenClass::PlainText:
        return QStringLiteral("plain");
    case TTokenClass::Comment:
        return QStringLiteral("comment");
    case TTokenClass::Strings:
        return QStringLiteral("string");
    case TTokenClass::Number:
        return QStringLiteral("number");
    case TTokenClass::Symbol:
        return QStringLiteral("symbol");
    case TTokenClass::Reserved:
        return QStringLiteral("reserved");
    case TTokenClass::Identifier:
        return QStringLiteral("ident");
    }
    return {};
}

// Scans the lines from the top, carrying the block-comment state, and renders every token.
QString render(const QStringList& lines) {
    QStringList pieces;
    bool inComment = false;
    for (const QString& line : lines) {
        QList<TSqlToken> tokens;
        inComment = TSqlLexer::ScanLine(line, inComment, &tokens);
        for (const TSqlToken& t : tokens)
            pieces << className(t.Class) + u':' + line.mid(t.Start, t.Length);
        pieces << QStringLiteral("|");
    }
    pieces.removeLast();
    return pieces.join(u' ');
}

} // namespace

class TestSqlLexer : public QObject {
    Q_OBJECT

private slots:
    void tokens_data() {
        QTest::addColumn<QStringList>("lines");
        QTest::addColumn<QString>("expected");

        QTest::newRow("keywords, names, symbol, number, line comment")
            << QStringList{"select Name from Kunden where Nr = 10 -- alt"}
            << "reserved:select ident:Name reserved:from ident:Kunden reserved:where ident:Nr symbol:= "
               "number:10 comment:-- alt";
        QTest::newRow("doubled quotes stay in one string")
            << QStringList{"SELECT 'it''s' FROM t"} << "reserved:SELECT string:'it''s' reserved:FROM ident:t";
        QTest::newRow("double quotes are coloured but form no string")
            << QStringList{"\"Order Details\""} << "string:\" reserved:Order ident:Details string:\"";
        QTest::newRow("comment opener inside a string opens nothing")
            << QStringList{"x = 'a /* b'", "select 1"}
            << "ident:x symbol:= string:'a /* b' | reserved:select number:1";
        QTest::newRow("comment opener after a line comment opens nothing")
            << QStringList{"-- a /* b", "select 1"} << "comment:-- a /* b | reserved:select number:1";
        QTest::newRow("comment opener between double quotes opens nothing")
            << QStringList{"\"a/*b\"", "select"}
            << "string:\" ident:a symbol:/ symbol:* ident:b string:\" | reserved:select";
        QTest::newRow("a lone double quote does not shield a comment")
            << QStringList{"\"a /* b", "c */ d"} << "string:\" ident:a comment:/* b | comment:c */ ident:d";
        QTest::newRow("block comment closed on a later line")
            << QStringList{"/* start", "still */ select 1"}
            << "comment:/* start | comment:still */ reserved:select number:1";
        QTest::newRow("unclosed block comment runs on")
            << QStringList{"a /* b", "", "select", "x */"}
            << "ident:a comment:/* b | | comment:select | comment:x */";
        QTest::newRow("block comment within a line")
            << QStringList{"a/*x*/b /*/ c */"} << "ident:a comment:/*x*/ ident:b comment:/*/ c */";
        QTest::newRow("numbers") << QStringList{"1.2 1.2.3 12. -5"}
                                 << "number:1.2 ident:1.2.3 number:12. symbol:- number:5";
        QTest::newRow("a digit run ends where letters start")
            << QStringList{"1abc a1b"} << "number:1 ident:abc ident:a1b";
        QTest::newRow("unclosed string ends with its line")
            << QStringList{"'abc", "from"} << "string:'abc | reserved:from";
        QTest::newRow("empty and doubled-only strings") << QStringList{"'' ''''"} << "string:'' string:''''";
        QTest::newRow("other letters are single tokens")
            << QStringList{"Größe_1"} << "ident:Gr ident:ö ident:ß ident:e_1";
        QTest::newRow("symbols and other characters")
            << QStringList{"#%&()*+,-./:;<=>[\\]^{|}~@ ! $ ?"}
            << "symbol:# symbol:% symbol:& symbol:( symbol:) symbol:* symbol:+ symbol:, symbol:- symbol:. "
               "symbol:/ symbol:: symbol:; symbol:< symbol:= symbol:> symbol:[ symbol:\\ symbol:] symbol:^ "
               "symbol:{ symbol:| symbol:} symbol:~ symbol:@ ident:! ident:$ ident:?";
        QTest::newRow("tab is a token, not a separator")
            << QStringList{"a\tfrom"} << "ident:a ident:\t reserved:from";
        QTest::newRow("case-insensitive keywords, not case/top/exec/go")
            << QStringList{"SeLeCt case top exec go group_commit_wait_time"}
            << "reserved:SeLeCt ident:case ident:top ident:exec ident:go reserved:group_commit_wait_time";
        QTest::newRow("keyword glued to underscore is a plain word")
            << QStringList{"select_ from_x _from"} << "ident:select_ ident:from_x ident:_from";
        QTest::newRow("character outside the basic plane is one token")
            << QStringList{QString::fromUtf8("a\xF0\x9F\x98\x80"
                                             "b")}
            << QString::fromUtf8("ident:a ident:\xF0\x9F\x98\x80 ident:b");
    }

    void tokens() {
        QFETCH(QStringList, lines);
        QFETCH(QString, expected);
        QCOMPARE(render(lines), expected);
    }

    void reservedWords() {
        const QStringList& words = TSqlLexer::ReservedWords();
        QCOMPARE(words.size(), 265);
        for (const QString& w : words) {
            QVERIFY2(TSqlLexer::IsReserved(w.toUpper()), qPrintable(w));
            QVERIFY2(!TSqlLexer::IsReserved(w + u'x'), qPrintable(w));
        }
    }

    void blockCommentStateAtLineEnd_data() {
        QTest::addColumn<QString>("line");
        QTest::addColumn<bool>("inComment");
        QTest::addColumn<bool>("after");
        QTest::newRow("opens") << "select /* x" << false << true;
        QTest::newRow("opens and closes") << "/* x */" << false << false;
        QTest::newRow("stays open") << "still" << true << true;
        QTest::newRow("closes and reopens") << "*/ a /*" << true << true;
        QTest::newRow("closes, then a line comment") << "*/ -- /*" << true << false;
        QTest::newRow("opener in a string") << "'/*'" << false << false;
        QTest::newRow("opener in an unclosed string") << "'it''s /*" << false << false;
    }

    void blockCommentStateAtLineEnd() {
        QFETCH(QString, line);
        QFETCH(bool, inComment);
        QFETCH(bool, after);
        QCOMPARE(TSqlLexer::ScanLine(line, inComment), after);
    }
};

QTEST_GUILESS_MAIN(TestSqlLexer)
#include "tst_sqllexer.moc"
