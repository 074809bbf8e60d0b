#include "editor/CompletionList.h"
#include "editor/NameContext.h"
#include "editor/SqlEdit.h"

#include <Qsci/qsciscintillabase.h>

#include <QMainWindow>
#include <QRegularExpression>
#include <QTest>
#include <QTimer>

// The editor's names list and its phrase list's restraint, driven by keys on the real editor.
// The names stand in for what a workspace hands over; columns are answered later, as the
// workspace's reader does.
class TestNameCompletion : public QObject {
    Q_OBJECT

    QMainWindow* m_window = nullptr;
    TSqlEdit* m_edit = nullptr;
    bool m_answerColumns = true;
    QStringList m_asked;

    static QHash<QString, QStringList> Columns() {
        return {{QStringLiteral("Kunden"), {"Nr", "Name", "Vorname", "OrtNr"}},
                {QStringLiteral("Orte"), {"Nr", "Ort", "Plz"}},
                {QStringLiteral("Order Details"), {"OrderID", "Menge"}},
                {QStringLiteral("Artikel"), {"ArtNr", "Bezeichnung"}},
                {QStringLiteral("Sel"), {"x"}}};
    }

    // Quoted unless a plain lower-case name, as PostgreSQL would need.
    static QString Quote(const QString& name) {
        static const QRegularExpression plain(QStringLiteral("^[a-z_][a-z0-9_]*$"));
        return plain.match(name).hasMatch() ? name : u'"' + name + u'"';
    }

    static TSqlNames Names() {
        TSqlNames names;
        names.Tables = {{"public", "Kunden", "\"Kunden\""},
                        {"public", "Orte", "\"Orte\""},
                        {"public", "Order Details", "\"Order Details\""},
                        {"public", "Sel", "\"Sel\""},
                        {"lager", "Artikel", "lager.\"Artikel\""}};
        names.Schemas = {"public", "lager"};
        names.Quote = Quote;
        return names;
    }

    void type(const QString& text) {
        for (QChar c : text)
            QTest::keyClick(m_edit, c.toLatin1());
    }

    // Lines with "|" where the caret goes.
    void setText(const QString& text) {
        const QStringList lines = text.split(u'\n');
        QStringList clean;
        int caretLine = 0;
        int caretColumn = 0;
        for (int i = 0; i < lines.size(); ++i) {
            const qsizetype at = lines[i].indexOf(u'|');
            if (at >= 0) {
                caretLine = i;
                caretColumn = int(at);
            }
            clean << QString(lines[i]).remove(u'|');
        }
        m_edit->SetLines(clean);
        m_edit->SetCaret(caretLine, caretColumn);
    }

    QStringList shown() const {
        QStringList entries;
        const TCompletionList* list = m_edit->NameList();
        for (int i = 0; i < list->count(); ++i)
            entries << list->EntryText(i);
        return entries;
    }

    void pause() { QTest::qWait(m_edit->CompletionDelay() + 300); }

private slots:
    void init() {
        m_window = new QMainWindow;
        m_edit = new TSqlEdit;
        m_window->setCentralWidget(m_edit);
        m_window->resize(600, 400);
        m_window->show();
        m_window->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(m_window));
        m_edit->setFocus();
        m_answerColumns = true;
        m_asked.clear();
        connect(m_edit, &TSqlEdit::ColumnsWanted, this, [this](const QString& schema, const QString& table) {
            m_asked << table;
            if (m_answerColumns)
                QTimer::singleShot(10, m_edit, [this, schema, table] {
                    m_edit->SetColumns(schema, table, Columns().value(table));
                });
        });
        m_edit->SetNames(Names());
    }

    void cleanup() {
        delete m_window;
        m_window = nullptr;
        m_edit = nullptr;
    }

    void namesThatFitThePlace_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QStringList>("first");
        QTest::newRow("after from") << "select * from |" << QStringList{"Kunden", "Orte", "Order Details"};
        QTest::newRow("after from, schemas last")
            << "select * from Kunden, |" << QStringList{"Kunden", "Orte", "Order Details", "Sel", "Artikel",
                                                        "public", "lager"};
        QTest::newRow("alias") << "select k.| from Kunden k" << QStringList{"Nr", "Name", "Vorname", "OrtNr"};
        QTest::newRow("alias with as") << "select o.| from Kunden k join Orte as o on o.Nr = k.OrtNr"
                                       << QStringList{"Nr", "Ort", "Plz"};
        QTest::newRow("table itself") << "select Orte.| from Orte" << QStringList{"Nr", "Ort", "Plz"};
        QTest::newRow("schema") << "select * from lager.|" << QStringList{"Artikel"};
        QTest::newRow("schema and table") << "select lager.Artikel.| from lager.Artikel"
                                          << QStringList{"ArtNr", "Bezeichnung"};
        QTest::newRow("quoted name with a blank")
            << "select d.| from \"Order Details\" d" << QStringList{"OrderID", "Menge"};
        QTest::newRow("columns of the named tables first")
            << "select | from Kunden k, Orte o"
            << QStringList{"Nr", "Name", "Vorname", "OrtNr", "Ort", "Plz", "Kunden", "Orte"};
        QTest::newRow("word filters: prefix, then contains")
            << "select * from Kunden where Na|" << QStringList{"Name", "Vorname"};
        QTest::newRow("statement in the middle of a batch")
            << "select 1 from Kunden;\nselect * from Orte o\n  where o.|;\nselect 2 from Kunden k;"
            << QStringList{"Nr", "Ort", "Plz"};
    }

    void namesThatFitThePlace() {
        QFETCH(QString, text);
        QFETCH(QStringList, first);
        setText(text);
        QTest::keyClick(m_edit, Qt::Key_Space, Qt::ControlModifier | Qt::ShiftModifier);
        QTRY_VERIFY_WITH_TIMEOUT(m_edit->NameList()->isVisible(), 3000);
        QCOMPARE(shown().mid(0, first.size()), first);
        QCOMPARE(m_edit->NameList()->Selected(), first.first());
        QVERIFY(!m_edit->CompletionList()->isVisible());
    }

    void chosenNameGoesInAsSql_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("keys");
        QTest::addColumn<QString>("expected");
        QTest::newRow("quoted with a blank") << "select * from Ord|" << "\n" << "select * from \"Order Details\"";
        QTest::newRow("begun with a quote") << "select * from \"Ord|" << "\n" << "select * from \"Order Details\"";
        QTest::newRow("outside the search path") << "select * from Art|" << "\n" << "select * from lager.\"Artikel\"";
        QTest::newRow("after the schema only the table") << "select * from lager.|" << "\n"
                                                        << "select * from lager.\"Artikel\"";
        QTest::newRow("a comma replaces, then goes in") << "select k.Vor| from Kunden k" << ","
                                                        << "select k.\"Vorname\", from Kunden k";
        QTest::newRow("typing filters, Down moves") << "select k.| from Kunden k" << "r\x12\n"
                                                    << "select k.\"Vorname\" from Kunden k";
    }

    void chosenNameGoesInAsSql() {
        QFETCH(QString, text);
        QFETCH(QString, keys);
        QFETCH(QString, expected);
        // Columns of the statement's tables are read first.
        m_edit->SetColumns("public", "Kunden", Columns().value("Kunden"));
        setText(text);
        QTest::keyClick(m_edit, Qt::Key_Space, Qt::ControlModifier | Qt::ShiftModifier);
        QTRY_VERIFY_WITH_TIMEOUT(m_edit->NameList()->isVisible(), 3000);
        for (QChar c : keys) {
            if (c == u'\n')
                QTest::keyClick(m_edit, Qt::Key_Return);
            else if (c == u'\x12')
                QTest::keyClick(m_edit, Qt::Key_Down);
            else
                QTest::keyClick(m_edit, c.toLatin1());
        }
        QVERIFY(!m_edit->NameList()->isVisible());
        QCOMPARE(m_edit->LineText(0), expected);
    }

    void clickOnANameInsertsIt() {
        setText("select * from |");
        QTest::keyClick(m_edit, Qt::Key_Space, Qt::ControlModifier | Qt::ShiftModifier);
        TCompletionList* list = m_edit->NameList();
        QVERIFY(list->isVisible());
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->RowRect(1).center());
        QCOMPARE(m_edit->LineText(0), QStringLiteral("select * from \"Orte\""));
    }

    void listOpensByItselfAfterADot() {
        setText("select * from Kunden k where |");
        type("k.");
        QTRY_VERIFY_WITH_TIMEOUT(m_edit->NameList()->isVisible(), 3000);
        QCOMPARE(shown().first(), QStringLiteral("Nr"));
        type("na");
        QCOMPARE(m_edit->NameList()->Selected(), QStringLiteral("Name"));
        type(" ");
        QVERIFY(!m_edit->NameList()->isVisible());
        QCOMPARE(m_edit->LineText(0), QStringLiteral("select * from Kunden k where k.\"Name\" "));

        // Escape closes it without change; an unknown name before the dot opens nothing.
        type("and k.");
        QTRY_VERIFY_WITH_TIMEOUT(m_edit->NameList()->isVisible(), 3000);
        QTest::keyClick(m_edit, Qt::Key_Escape);
        QVERIFY(!m_edit->NameList()->isVisible());
        type("Nr and zz.");
        pause();
        pause();
        QVERIFY(!m_edit->NameList()->isVisible());
        QVERIFY(!m_edit->CompletionList()->isVisible());
    }

    void secondAliasOfAJoinOpensByItself() {
        setText("select * from Kunden k join Orte o on o.|");
        QTest::keyClick(m_edit, Qt::Key_Space, Qt::ControlModifier | Qt::ShiftModifier);
        QTRY_VERIFY_WITH_TIMEOUT(m_edit->NameList()->isVisible(), 3000);
        QTest::keyClick(m_edit, Qt::Key_Return);
        type(" = k.");
        QTRY_VERIFY_WITH_TIMEOUT(m_edit->NameList()->isVisible(), 3000);
        QCOMPARE(shown().first(), QStringLiteral("Nr"));
    }

    // Typing on at the right edge scrolls the text sideways; the list follows the caret.
    void listFollowsTheCaretAcrossTheRightEdge() {
        m_window->resize(260, 200);
        setText("select * from Kunden k join Orte o on o.Nr = k.|");
        QTest::keyClick(m_edit, Qt::Key_Space, Qt::ControlModifier | Qt::ShiftModifier);
        QTRY_VERIFY_WITH_TIMEOUT(m_edit->NameList()->isVisible(), 3000);
        const int scrolled = int(m_edit->SendScintilla(QsciScintillaBase::SCI_GETXOFFSET));
        type("ortn" + QString(40, u'x'));
        QTest::qWait(100); // the editor tells of its scrolling when it repaints
        QVERIFY(m_edit->SendScintilla(QsciScintillaBase::SCI_GETXOFFSET) > scrolled);
        QVERIFY(m_edit->NameList()->isVisible());
        for (int i = 0; i < 40; ++i)
            QTest::keyClick(m_edit, Qt::Key_Backspace);
        QTest::qWait(100);
        QVERIFY(m_edit->NameList()->isVisible());
        QTest::keyClick(m_edit, Qt::Key_Return);
        QCOMPARE(m_edit->LineText(0), QStringLiteral("select * from Kunden k join Orte o on o.Nr = k.\"OrtNr\""));
    }

    void aListNotReadyOpensWhenReadyOrNotAtAll() {
        m_answerColumns = false;
        setText("select k.| from Kunden k");
        QTest::keyClick(m_edit, Qt::Key_Space, Qt::ControlModifier | Qt::ShiftModifier);
        QCOMPARE(m_asked, QStringList{"Kunden"});
        QVERIFY(!m_edit->NameList()->isVisible());
        m_edit->SetColumns("public", "Kunden", Columns().value("Kunden"));
        QVERIFY(m_edit->NameList()->isVisible());
        QTest::keyClick(m_edit, Qt::Key_Escape);

        // Typed on before the columns came: nothing opens, and columns are asked for once.
        setText("select o.| from Orte o");
        QTest::keyClick(m_edit, Qt::Key_Space, Qt::ControlModifier | Qt::ShiftModifier);
        type("x");
        m_edit->SetColumns("public", "Orte", Columns().value("Orte"));
        QVERIFY(!m_edit->NameList()->isVisible());
        QCOMPARE(m_asked, (QStringList{"Kunden", "Orte"}));
    }

    void unreadableSchemaCompletesNothing() {
        m_edit->SetNames({});
        setText("select * from |");
        QTest::keyClick(m_edit, Qt::Key_Space, Qt::ControlModifier | Qt::ShiftModifier);
        type("k.");
        pause();
        QVERIFY(!m_edit->NameList()->isVisible());
        QCOMPARE(m_edit->LineText(0), QStringLiteral("select * from k."));
    }

    // A list that opened by itself replaces a word on a blank or punctuation only when the word
    // cannot have been meant as typed; Enter and Ctrl+Space still replace.
    void phraseListKeepsWordsTypedInFull_data() {
        QTest::addColumn<QString>("before");
        QTest::addColumn<QString>("after");
        QTest::addColumn<QString>("expected");
        QTest::newRow("reserved word") << "select * from Kunden where KundenNr in" << " (1,2)"
                                       << "select * from Kunden where KundenNr in (1,2)";
        QTest::newRow("short alias") << "select o" << ".Ort from Orte o" << "select o.Ort from Orte o";
        QTest::newRow("alias of the statement") << "select * from Orte ord where ord" << ".Nr = 1"
                                                << "select * from Orte ord where ord.Nr = 1";
        QTest::newRow("name of the database") << "select * from Sel" << " where x = 1"
                                              << "select * from Sel where x = 1";
        QTest::newRow("a begun phrase") << "ins" << " x" << "INSERT x";
        QTest::newRow("a begun phrase, comma") << "x upd" << "," << "x UPDATE,";
    }

    void phraseListKeepsWordsTypedInFull() {
        QFETCH(QString, before);
        QFETCH(QString, after);
        QFETCH(QString, expected);
        type(before);
        QTRY_VERIFY_WITH_TIMEOUT(m_edit->CompletionList()->isVisible(), 3000);
        type(after);
        QCOMPARE(m_edit->LineText(0), expected);
    }

    void enterAndCtrlSpaceStillReplaceShortWords() {
        type("x o");
        QTRY_VERIFY_WITH_TIMEOUT(m_edit->CompletionList()->isVisible(), 3000);
        QTest::keyClick(m_edit, Qt::Key_Return);
        QCOMPARE(m_edit->LineText(0), QStringLiteral("x ORDER BY"));
        type(" in");
        QTest::keyClick(m_edit, Qt::Key_Space, Qt::ControlModifier);
        type(" ");
        QCOMPARE(m_edit->LineText(0), QStringLiteral("x ORDER BY INSERT "));
    }

    void errorMarkUntilTheNextEdit() {
        setText("select *\nfrom Kunden\nwhere Nmae = 1|");
        m_edit->MarkError(2, 6);
        QCOMPARE(m_edit->CaretLine(), 2);
        QCOMPARE(m_edit->CaretColumn(), 6);
        const auto marked = [this](int column) {
            return m_edit->SendScintilla(QsciScintillaBase::SCI_INDICATORVALUEAT, 9UL,
                                         m_edit->PositionOf(2, column)) != 0;
        };
        QVERIFY(marked(6));
        QVERIFY(marked(9));
        QVERIFY(!marked(10));
        QVERIFY(!marked(5));
        // Moving the caret keeps it; typing ends it.
        QTest::keyClick(m_edit, Qt::Key_Left);
        QVERIFY(m_edit->HasErrorMark());
        QVERIFY(marked(6));
        type("x");
        QVERIFY(!m_edit->HasErrorMark());
        QVERIFY(!marked(7));
        // An edit without a key (undo) ends it as well.
        m_edit->MarkError(2, 6);
        m_edit->undo();
        QTRY_VERIFY(!m_edit->HasErrorMark());
        // A qualified name is marked whole.
        setText("select k.Nmae from Kunden k|");
        m_edit->MarkError(0, 7);
        for (int column : {7, 8, 9, 12})
            QVERIFY(m_edit->SendScintilla(QsciScintillaBase::SCI_INDICATORVALUEAT, 9UL,
                                          m_edit->PositionOf(0, column)) != 0);
        QVERIFY(m_edit->SendScintilla(QsciScintillaBase::SCI_INDICATORVALUEAT, 9UL, m_edit->PositionOf(0, 13)) ==
                0);
    }

    void filterPutsPrefixesFirst() {
        const QStringList names{"Vorname", "Name", "KundenName", "Nr", "name2"};
        QCOMPARE(TNameContext::Filter(names, u"nam"), (QList<int>{1, 4, 0, 2}));
        QCOMPARE(TNameContext::Filter(names, u"").size(), 5);
    }
};

QTEST_MAIN(TestNameCompletion)
#include "tst_namecompletion.moc"
