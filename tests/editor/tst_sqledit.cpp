#include "editor/BracketMarks.h"
#include "editor/CompletionList.h"
#include "editor/SqlEdit.h"
#include "editor/SqlLexer.h"

#include <Qsci/qscilexer.h>

#include <QAction>
#include <QKeyEvent>
#include <QMainWindow>
#include <QMenu>
#include <QScreen>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>

// The real editor under the offscreen platform, typed into with QTest.
class TestSqlEdit : public QObject {
    Q_OBJECT

    QMainWindow* m_window = nullptr;
    TSqlEdit* m_edit = nullptr;

    // Types like a keyboard, also characters QTest has no key for.
    void type(const QString& text) {
        for (QChar c : text) {
            if (c.unicode() < 0x80) {
                QTest::keyClick(m_edit, c.toLatin1());
            } else {
                QKeyEvent press(QEvent::KeyPress, Qt::Key_unknown, Qt::NoModifier, QString(c));
                QApplication::sendEvent(m_edit, &press);
            }
        }
    }

    int styleAt(int line, int column) const {
        m_edit->SendScintilla(QsciScintillaBase::SCI_COLOURISE, 0L, -1L);
        return int(
            m_edit->SendScintilla(QsciScintillaBase::SCI_GETSTYLEAT, m_edit->PositionOf(line, column)));
    }

private slots:
    void init() {
        m_window = new QMainWindow;
        m_edit = new TSqlEdit;
        m_edit->setObjectName(QStringLiteral("MemSql"));
        m_window->setCentralWidget(m_edit);
        m_window->resize(600, 400);
        m_window->show();
        m_window->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(m_window));
        m_edit->setFocus();
    }

    void cleanup() {
        delete m_window;
        m_window = nullptr;
        m_edit = nullptr;
    }

    // What the user sees: each probe names a piece of text and the class it must show in.
    void colouring_data() {
        QTest::addColumn<QStringList>("lines");
        QTest::addColumn<int>("line");
        QTest::addColumn<QString>("piece");
        QTest::addColumn<int>("expected");
        const QStringList simple{"select Name from Kunden where Nr = 10 -- alt"};
        QTest::newRow("keyword") << simple << 0 << "from" << int(TTokenClass::Reserved);
        QTest::newRow("name") << simple << 0 << "Kunden" << int(TTokenClass::Identifier);
        QTest::newRow("symbol") << simple << 0 << "=" << int(TTokenClass::Symbol);
        QTest::newRow("number") << simple << 0 << "10" << int(TTokenClass::Number);
        QTest::newRow("line comment") << simple << 0 << "-- alt" << int(TTokenClass::Comment);
        QTest::newRow("blank") << simple << 0 << " " << int(TTokenClass::PlainText);
        const QStringList block{"/* start", "still */ select 1", "'a /* b' x"};
        QTest::newRow("comment on the next line") << block << 1 << "still */" << int(TTokenClass::Comment);
        QTest::newRow("keyword after comment") << block << 1 << "select" << int(TTokenClass::Reserved);
        QTest::newRow("opener in a string") << block << 2 << "x" << int(TTokenClass::Identifier);
        const QStringList umlaut{QString::fromUtf8("'ä' ß select")};
        QTest::newRow("after wide characters") << umlaut << 0 << "select" << int(TTokenClass::Reserved);
        QTest::newRow("wide string") << umlaut << 0 << QString::fromUtf8("'ä'") << int(TTokenClass::Strings);
    }

    void colouring() {
        QFETCH(QStringList, lines);
        QFETCH(int, line);
        QFETCH(QString, piece);
        QFETCH(int, expected);
        m_edit->SetLines(lines);
        const int at = int(lines[line].indexOf(piece));
        QVERIFY(at >= 0);
        for (int i = 0; i < piece.size(); ++i)
            QCOMPARE(styleAt(line, at + i), expected);
    }

    void typingOpensAndClosesBlockComments() {
        m_edit->SetLines({"a", "select 1", "b */ from"});
        QCOMPARE(styleAt(1, 0), int(TTokenClass::Reserved));
        m_edit->SetCaret(0, 1);
        type(" /*");
        QCOMPARE(styleAt(1, 0), int(TTokenClass::Comment));
        QCOMPARE(styleAt(2, 5), int(TTokenClass::Reserved));
        QTest::keyClick(m_edit, Qt::Key_Backspace);
        QCOMPARE(styleAt(1, 0), int(TTokenClass::Reserved));
        QCOMPARE(styleAt(2, 5), int(TTokenClass::Reserved));
    }

    // Only what is shown gets coloured; lines shown later start from the state of the line
    // above them, also after a comment was opened far above.
    void linesShownLaterFollowTheCommentState() {
        QStringList lines;
        for (int i = 0; i < 3000; ++i)
            lines << QStringLiteral("select %1 from t").arg(i);
        m_edit->SetLines(lines);
        const auto shownStyle = [this](int line) {
            m_edit->SetCaret(line, 0);
            m_edit->viewport()->repaint();
            return int(m_edit->SendScintilla(QsciScintillaBase::SCI_GETSTYLEAT, m_edit->PositionOf(line, 0)));
        };
        QCOMPARE(shownStyle(2999), int(TTokenClass::Reserved));
        m_edit->SetCaret(10, 0);
        type("/*");
        m_edit->viewport()->repaint();
        const long endStyled = m_edit->SendScintilla(QsciScintillaBase::SCI_GETENDSTYLED);
        QVERIFY2(endStyled < m_edit->PositionOf(1000, 0), "the keystroke must not colour the whole text");
        QCOMPARE(shownStyle(2999), int(TTokenClass::Comment));
        QCOMPARE(shownStyle(1500), int(TTokenClass::Comment));
        m_edit->SetCaret(10, 2);
        QTest::keyClick(m_edit, Qt::Key_Backspace);
        QTest::keyClick(m_edit, Qt::Key_Backspace);
        QCOMPARE(m_edit->LineText(10), QStringLiteral("select 10 from t"));
        QCOMPARE(shownStyle(2999), int(TTokenClass::Reserved));
    }

    void lookOfTheClasses() {
        QsciLexer* lexer = m_edit->lexer();
        QVERIFY(lexer->font(int(TTokenClass::Reserved)).bold());
        QVERIFY(lexer->font(int(TTokenClass::Comment)).italic());
        QVERIFY(!lexer->font(int(TTokenClass::Identifier)).bold());
        QVERIFY(lexer->font(int(TTokenClass::Identifier)).fixedPitch() ||
                QFontInfo(lexer->font(0)).fixedPitch());
        QCOMPARE(lexer->color(int(TTokenClass::Comment)), QColor(0x808080));
        QCOMPARE(lexer->color(int(TTokenClass::Strings)), QColor(0x800080));
        QCOMPARE(lexer->color(int(TTokenClass::Number)), QColor(0x000080));
        QCOMPARE(lexer->color(int(TTokenClass::Symbol)), QColor(0x0000FF));
        QCOMPARE(lexer->font(0).pointSize(), 10);
    }

    void linesRoundTripWithEmptyLines() {
        const QStringList lines{"select *", "", "from t", "", ""};
        m_edit->SetLines(lines);
        QCOMPARE(m_edit->Lines(), lines);
        QCOMPARE(m_edit->LineCount(), 5);
        QCOMPARE(m_edit->LineText(2), QStringLiteral("from t"));
        QCOMPARE(m_edit->Text(), QStringLiteral("select *\r\n\r\nfrom t\r\n\r\n\r\n"));
        m_edit->SetLines({});
        QCOMPARE(m_edit->Lines(), QStringList{QString()});
        QCOMPARE(m_edit->Text(), QStringLiteral("\r\n"));
    }

    void caretBeyondTheEndOfItsLine() {
        m_edit->SetLines({"abc", QString::fromUtf8("äöü")});
        QSignalSpy moved(m_edit, &TSqlEdit::CaretMoved);
        m_edit->SetCaret(0, 7);
        QCOMPARE(m_edit->CaretLine(), 0);
        QCOMPARE(m_edit->CaretColumn(), 7);
        QTRY_VERIFY(!moved.isEmpty());
        QCOMPARE(moved.last(), (QList<QVariant>{0, 7}));
        type("x");
        QCOMPARE(m_edit->LineText(0), QStringLiteral("abc    x"));
        m_edit->SetCaret(1, 2);
        QCOMPARE(m_edit->CaretColumn(), 2);
        type("x");
        QCOMPARE(m_edit->LineText(1), QString::fromUtf8("äöxü"));
        QTest::keyClick(m_edit, Qt::Key_End);
        QTest::keyClick(m_edit, Qt::Key_Right);
        QCOMPARE(m_edit->CaretColumn(), 5);
    }

    void insertionIsOneUndoStep() {
        m_edit->SetLines({"select  from t"});
        m_edit->SetCaret(0, 7);
        m_edit->InsertText(QStringLiteral("a,\r\nb"));
        QCOMPARE(m_edit->Lines(), (QStringList{"select a,", "b from t"}));
        QCOMPARE(m_edit->CaretLine(), 1);
        QCOMPARE(m_edit->CaretColumn(), 1);
        m_edit->undo();
        QCOMPARE(m_edit->Lines(), QStringList{"select  from t"});

        m_edit->SetLines({"one two"});
        m_edit->SetCaret(0, 10);
        m_edit->InsertText(QStringLiteral("x"));
        QCOMPARE(m_edit->LineText(0), QStringLiteral("one two   x"));
        m_edit->SendScintilla(QsciScintillaBase::SCI_SETSELECTION, m_edit->PositionOf(0, 7),
                              m_edit->PositionOf(0, 4));
        QVERIFY(m_edit->HasSelection());
        QCOMPARE(m_edit->SelectedText(), QStringLiteral("two"));
        m_edit->InsertText(QStringLiteral("2"));
        QCOMPARE(m_edit->LineText(0), QStringLiteral("one 2   x"));
        m_edit->undo();
        QCOMPARE(m_edit->LineText(0), QStringLiteral("one two   x"));
    }

    void columnBlockInsertion() {
        m_edit->SetLines({"abcdef", "ab"});
        m_edit->SetCaret(0, 4);
        m_edit->InsertColumnBlock(QStringLiteral("SELECT *\r\nFROM t\r\n"));
        QCOMPARE(m_edit->Lines(), (QStringList{"abcdSELECT *ef", "ab  FROM t"}));
        QCOMPARE(m_edit->CaretLine(), 0);
        QCOMPARE(m_edit->CaretColumn(), 4 + 18);
        m_edit->SetCaret(1, 0);
        m_edit->InsertColumnBlock(QStringLiteral("x\ny\nz"));
        QCOMPARE(m_edit->Lines(), (QStringList{"abcdSELECT *ef", "xab  FROM t", "y", "z"}));
        m_edit->undo();
        QCOMPARE(m_edit->Lines(), (QStringList{"abcdSELECT *ef", "ab  FROM t"}));
        m_edit->InsertColumnBlock(QString());
        QCOMPARE(m_edit->Lines(), (QStringList{"abcdSELECT *ef", "ab  FROM t"}));
    }

    void selectionOffsetsCountLineBreaksTwice() {
        m_edit->SetLines({QString::fromUtf8("äb"), "select x"});
        m_edit->SetCaret(1, 3);
        QCOMPARE(m_edit->SelectionStartOffset(), 2 + 2 + 3);
        m_edit->SetCaret(0, 9);
        QCOMPARE(m_edit->SelectionStartOffset(), 2);
        m_edit->SelectTextRange(4, 6);
        QCOMPARE(m_edit->SelectedText(), QStringLiteral("select"));
        QCOMPARE(m_edit->SelectionStartOffset(), 4);
        m_edit->SelectTextRange(1, 4);
        QCOMPARE(m_edit->SelectedText(), QStringLiteral("b\r\ns"));
        m_edit->DeleteSelection();
        QCOMPARE(m_edit->Lines(), QStringList{QString::fromUtf8("äelect x")});
    }

    void completionOpensAfterTheDelay() {
        type("sel");
        TCompletionList* list = m_edit->CompletionList();
        QVERIFY(!list->isVisible());
        QTRY_VERIFY_WITH_TIMEOUT(list->isVisible(), 3000);
        QCOMPARE(list->Selected(), QStringLiteral("SELECT"));
        QCOMPARE(list->count(), 8);
        QCOMPARE(list->width(), 300);
        QCOMPARE(list->RowRect(0).height(), 13);
        // Just below the caret's line, aligned with the caret.
        const QPoint caret = m_edit->viewport()->mapToGlobal(
            QPoint(int(m_edit->SendScintilla(QsciScintillaBase::SCI_POINTXFROMPOSITION, 0UL,
                                             m_edit->PositionOf(0, 3))),
                   0));
        QCOMPARE(list->x(), caret.x());
        QVERIFY(list->y() > caret.y());
        QVERIFY(!m_edit->hasSelectedText());
        type(" ");
        QVERIFY(!list->isVisible());
        QCOMPARE(m_edit->LineText(0), QStringLiteral("SELECT "));
        QCOMPARE(m_edit->CaretColumn(), 7);
    }

    void listOpensAboveTheLineNearTheScreenBottom() {
        TCompletionList* list = m_edit->CompletionList();
        const QRect screen = m_edit->screen()->geometry();
        list->Open(40, 100, 113);
        QCOMPARE(list->pos(), QPoint(40, 113));
        const int top = screen.bottom() - 20;
        list->Open(40, top, top + 13);
        QCOMPARE(list->pos(), QPoint(40, top - list->height()));
        QCOMPARE(list->height(), 6 * 13 + 2 * list->frameWidth());
        list->hide();
    }

    void noListForACompletedWord() {
        type("select");
        QTest::qWait(m_edit->CompletionDelay() * 2 + 200);
        QVERIFY(!m_edit->CompletionList()->isVisible());
    }

    void ctrlSpaceOpensTheListAtAnyTime() {
        TCompletionList* list = m_edit->CompletionList();
        QTest::keyClick(m_edit, Qt::Key_Space, Qt::ControlModifier);
        QVERIFY(list->isVisible());
        QCOMPARE(list->Selected(), QString());
        QTest::keyClick(m_edit, Qt::Key_Escape);
        QVERIFY(!list->isVisible());

        type("select x from t or");
        QTest::keyClick(m_edit, Qt::Key_Space, Qt::ControlModifier);
        QVERIFY(list->isVisible());
        QCOMPARE(list->Selected(), QStringLiteral("ORDER BY"));
        // Letters, digits and Backspace edit the text and steer the selection.
        type("x");
        QVERIFY(list->isVisible());
        QCOMPARE(list->Selected(), QString());
        QTest::keyClick(m_edit, Qt::Key_Backspace);
        QTest::keyClick(m_edit, Qt::Key_Backspace);
        QCOMPARE(list->Selected(), QStringLiteral("ORDER BY"));
        type("r");
        QTest::keyClick(m_edit, Qt::Key_Down);
        QTest::keyClick(m_edit, Qt::Key_Down);
        QCOMPARE(list->Selected(), QStringLiteral("HAVING"));
        QTest::keyClick(m_edit, Qt::Key_End);
        QCOMPARE(list->Selected(), QStringLiteral("UPDATE"));
        QTest::keyClick(m_edit, Qt::Key_Home);
        QCOMPARE(list->Selected(), QStringLiteral("SELECT"));
        QTest::keyClick(m_edit, Qt::Key_PageDown);
        QCOMPARE(list->Selected(), QStringLiteral("HAVING"));
        QTest::keyClick(m_edit, Qt::Key_Return);
        QVERIFY(!list->isVisible());
        QCOMPARE(m_edit->LineText(0), QStringLiteral("select x from t HAVING"));
        QCOMPARE(m_edit->LineCount(), 1);
        QCOMPARE(m_edit->CaretColumn(), 22);
        m_edit->undo();
        QCOMPARE(m_edit->LineText(0), QStringLiteral("select x from t or"));
    }

    void otherCharactersReplaceFirst_data() {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("expected");
        QTest::newRow("comma") << ","
                               << "x FROM,";
        QTest::newRow("parenthesis") << "("
                                     << "x FROM(";
        QTest::newRow("underscore") << "_"
                                    << "x FROM_";
        QTest::newRow("umlaut") << QString::fromUtf8("ä") << QString::fromUtf8("x FROMä");
    }

    void otherCharactersReplaceFirst() {
        QFETCH(QString, typed);
        QFETCH(QString, expected);
        type("x fr");
        QTest::keyClick(m_edit, Qt::Key_Space, Qt::ControlModifier);
        type(typed);
        QVERIFY(!m_edit->CompletionList()->isVisible());
        QCOMPARE(m_edit->LineText(0), expected);
    }

    void escapeAndClickCloseWithoutChange() {
        type("wh");
        QTest::keyClick(m_edit, Qt::Key_Space, Qt::ControlModifier);
        QCOMPARE(m_edit->CompletionList()->Selected(), QStringLiteral("WHERE"));
        QTest::keyClick(m_edit, Qt::Key_Escape);
        QCOMPARE(m_edit->LineText(0), QStringLiteral("wh"));
        QTest::keyClick(m_edit, Qt::Key_Space, Qt::ControlModifier);
        QTest::mouseClick(m_edit->viewport(), Qt::LeftButton, {}, QPoint(2, 2));
        QVERIFY(!m_edit->CompletionList()->isVisible());
        QCOMPARE(m_edit->LineText(0), QStringLiteral("wh"));
        m_edit->SetCaret(0, 2);
        // Without a selected entry, closing with a character replaces nothing.
        type(" zz");
        QTest::keyClick(m_edit, Qt::Key_Space, Qt::ControlModifier);
        type(",");
        QCOMPARE(m_edit->LineText(0), QStringLiteral("wh zz,"));
    }

    void bracketMarks_data() {
        QTest::addColumn<int>("caret");
        QTest::addColumn<QList<int>>("marked");
        // f((a), b)  -- columns 0..8
        QTest::newRow("outer opener") << 1 << QList<int>{1, 8};
        QTest::newRow("inner opener") << 2 << QList<int>{2, 4};
        QTest::newRow("outer closer") << 8 << QList<int>{1, 8};
        QTest::newRow("no bracket") << 0 << QList<int>{};
        QTest::newRow("end of line") << 9 << QList<int>{};
    }

    void bracketMarks() {
        QFETCH(int, caret);
        QFETCH(QList<int>, marked);
        m_edit->SetLines({"f((a), b)"});
        m_edit->SetCaret(0, 4); // first mark something, so moving must take it away
        m_edit->SetCaret(0, caret);
        QTest::qWait(1);
        TBracketMarks marks(m_edit);
        QList<int> found;
        for (int c = 0; c < 9; ++c)
            if (marks.IsMarked(0, c))
                found << c;
        QCOMPARE(found, marked);
    }

    void bracketsOfOtherKindsAndLinesAreCounted() {
        m_edit->SetLines({"( [ ) ]", "'('", "x)"});
        int line = 0;
        int column = 0;
        const QStringList lines = m_edit->Lines();
        const auto lineAt = [&](int l) {
            return lines.value(l);
        };
        QVERIFY(TBracketMarks::FindPartner(lineAt, 3, 0, 0, &line, &column));
        QCOMPARE(line, 0);
        QCOMPARE(column, 4);
        QVERIFY(TBracketMarks::FindPartner(lineAt, 3, 0, 2, &line, &column));
        QCOMPARE(column, 6);
        // Strings count like any text: the "(" in the string is the partner.
        QVERIFY(TBracketMarks::FindPartner(lineAt, 3, 2, 1, &line, &column));
        QCOMPARE(line, 1);
        QCOMPARE(column, 1);
        QStringList far{"("};
        for (int i = 0; i < 800; ++i)
            far << QString();
        far << ")";
        const auto farAt = [&](int l) {
            return far.value(l);
        };
        QVERIFY(!TBracketMarks::FindPartner(farAt, int(far.size()), 0, 0, &line, &column));
        far.removeAt(1);
        QVERIFY(TBracketMarks::FindPartner(farAt, int(far.size()), 0, 0, &line, &column));
        QCOMPARE(line, 800);
    }

    void editingKeys_data() {
        QTest::addColumn<QStringList>("lines");
        QTest::addColumn<int>("line");
        QTest::addColumn<int>("column");
        QTest::addColumn<int>("key");
        QTest::addColumn<QStringList>("expected");
        QTest::addColumn<int>("expectedColumn");
        QTest::newRow("tab to a word start above")
            << QStringList{"select a,   b", "x"} << 1 << 1 << int(Qt::Key_Tab)
            << QStringList{"select a,   b", "x      "} << 7;
        QTest::newRow("tab beyond the words above goes to a tab stop")
            << QStringList{"ab", "abc"} << 1 << 3 << int(Qt::Key_Tab) << QStringList{"ab", "abc "} << 4;
        QTest::newRow("tab at line start")
            << QStringList{""} << 0 << 0 << int(Qt::Key_Tab) << QStringList{"  "} << 2;
        QTest::newRow("tab beyond the end of the line")
            << QStringList{"a"} << 0 << 5 << int(Qt::Key_Tab) << QStringList{"a     "} << 6;
        QTest::newRow("shift+tab to the previous tab stop")
            << QStringList{"abcdefg"} << 0 << 5 << int(Qt::Key_Backtab) << QStringList{"abcdefg"} << 4;
        QTest::newRow("shift+tab from column 2")
            << QStringList{"abc"} << 0 << 2 << int(Qt::Key_Backtab) << QStringList{"abc"} << 0;
        QTest::newRow("enter keeps the indentation")
            << QStringList{"    select a,b"} << 0 << 13 << int(Qt::Key_Return)
            << QStringList{"    select a,", "    b"} << 4;
        QTest::newRow("enter after a blank line looks further up")
            << QStringList{"  from t", "", ""} << 2 << 0 << int(Qt::Key_Return)
            << QStringList{"  from t", "", "", "  "} << 2;
        QTest::newRow("enter beyond the end adds no trailing blanks")
            << QStringList{"x"} << 0 << 6 << int(Qt::Key_Return) << QStringList{"x", ""} << 0;
        QTest::newRow("backspace to the indentation above")
            << QStringList{"select", "    from", "        "} << 2 << 8 << int(Qt::Key_Backspace)
            << QStringList{"select", "    from", "    "} << 4;
        QTest::newRow("backspace before text deletes one character")
            << QStringList{"  a", "    b"} << 1 << 4 << int(Qt::Key_Backspace) << QStringList{"  a", "   b"}
            << 3;
        QTest::newRow("backspace in virtual space of a blank line")
            << QStringList{"  a", ""} << 1 << 6 << int(Qt::Key_Backspace) << QStringList{"  a", ""} << 2;
        QTest::newRow("backspace after text deletes one character")
            << QStringList{"ab  "} << 0 << 4 << int(Qt::Key_Backspace) << QStringList{"ab "} << 3;
    }

    void editingKeys() {
        QFETCH(QStringList, lines);
        QFETCH(int, line);
        QFETCH(int, column);
        QFETCH(int, key);
        QFETCH(QStringList, expected);
        QFETCH(int, expectedColumn);
        m_edit->SetLines(lines);
        m_edit->SetCaret(line, column);
        QTest::keyClick(m_edit, Qt::Key(key), key == Qt::Key_Backtab ? Qt::ShiftModifier : Qt::NoModifier);
        QCOMPARE(m_edit->Lines(), expected);
        QCOMPARE(m_edit->CaretColumn(), expectedColumn);
        QVERIFY(m_edit->hasFocus());
    }

    void overwriteModeTabOnlyMoves() {
        m_edit->SetLines({"abcdef"});
        m_edit->SetCaret(0, 1);
        m_edit->setOverwriteMode(true);
        QTest::keyClick(m_edit, Qt::Key_Tab);
        QCOMPARE(m_edit->LineText(0), QStringLiteral("abcdef"));
        QCOMPARE(m_edit->CaretColumn(), 2);
    }

    void programShortcutsReachTheWindow_data() {
        QTest::addColumn<QKeySequence>("shortcut");
        for (const char* key : {"Ctrl+Return", "F5", "F6", "F7", "F8", "Ctrl+Backspace", "Ctrl+F", "F3",
                                "Ctrl+O", "Ctrl+Q", "F2", "Ctrl+F2", "Ctrl+Shift+F2", "Ctrl+F4"})
            QTest::newRow(key) << QKeySequence(QString::fromLatin1(key));
    }

    void programShortcutsReachTheWindow() {
        QFETCH(QKeySequence, shortcut);
        m_edit->SetLines({"select a b"});
        m_edit->SetCaret(0, 10);
        QAction action(m_window);
        action.setShortcut(shortcut);
        m_window->addAction(&action);
        QSignalSpy triggered(&action, &QAction::triggered);
        QTest::keySequence(m_edit, shortcut);
        QCOMPARE(triggered.count(), 1);
        QCOMPARE(m_edit->LineText(0), QStringLiteral("select a b"));
    }

    void ctrlJDoesNothing() {
        m_edit->SetLines({"ab"});
        m_edit->SetCaret(0, 1);
        QTest::keyClick(m_edit, Qt::Key_J, Qt::ControlModifier);
        QCOMPARE(m_edit->Lines(), QStringList{"ab"});
        QCOMPARE(m_edit->CaretColumn(), 1);
    }

    void workspaceContextMenu() {
        QMenu menu;
        m_edit->SetContextMenu(&menu);
        QTimer::singleShot(0, &menu, [&menu] { menu.close(); });
        bool shown = false;
        connect(&menu, &QMenu::aboutToShow, this, [&shown] { shown = true; });
        QContextMenuEvent event(QContextMenuEvent::Mouse, QPoint(5, 5), m_edit->mapToGlobal(QPoint(5, 5)));
        QApplication::sendEvent(m_edit->viewport(), &event);
        QVERIFY(shown);
    }
};

QTEST_MAIN(TestSqlEdit)
#include "tst_sqledit.moc"
