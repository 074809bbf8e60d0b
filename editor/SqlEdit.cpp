#include "editor/SqlEdit.h"

#include "editor/BracketMarks.h"
#include "editor/CompletionList.h"
#include "editor/EditKeys.h"
#include "editor/SqlCompletion.h"
#include "editor/SqlStyler.h"

#include <Qsci/qscicommand.h>
#include <Qsci/qscicommandset.h>

#include <QAccessibleWidget>
#include <QContextMenuEvent>
#include <QFontInfo>
#include <QKeyEvent>
#include <QMenu>
#include <QTimer>

namespace {

QString normalisedLineBreaks(QString text) {
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    text.replace(u'\r', u'\n');
    return text;
}

bool isAsciiLetterOrDigit(QChar c) {
    const char16_t u = c.unicode();
    return (u >= 'a' && u <= 'z') || (u >= 'A' && u <= 'Z') || (u >= '0' && u <= '9');
}

// QScintilla's own accessible counts the characters from the top of the text on every
// caret move (about 0.1 s in the middle of 100,000 lines); the editor is offered to
// assistive tools as a plain editable text widget instead.
QAccessibleInterface* sqlEditAccessible(const QString&, QObject* object) {
    if (auto* edit = qobject_cast<TSqlEdit*>(object))
        return new QAccessibleWidget(edit, QAccessible::EditableText);
    return nullptr;
}

// Runs before QScintilla's constructor installs its own factory, which is asked after ours.
QWidget* withAccessibleFactory(QWidget* parent) {
    static const bool installed = (QAccessible::installFactory(sqlEditAccessible), true);
    Q_UNUSED(installed);
    return parent;
}

} // namespace

TSqlEdit::TSqlEdit(QWidget* parent)
    : QsciScintilla(withAccessibleFactory(parent)) {
    ConfigureView();
    FreeProgramShortcuts();

    m_brackets = new TBracketMarks(this);
    m_completion = new TCompletionList(this, TSqlCompletion::Entries());
    connect(m_completion, &TCompletionList::EntryClicked, this, &TSqlEdit::AcceptCompletion);
    m_nameList = new TCompletionList(this, {});
    m_nameList->setObjectName(QStringLiteral("NameList"));
    connect(m_nameList, &TCompletionList::EntryClicked, this, &TSqlEdit::AcceptName);
    m_completionTimer = new QTimer(this);
    m_completionTimer->setInterval(CompletionDelay());
    connect(m_completionTimer, &QTimer::timeout, this, &TSqlEdit::OnCompletionTimer);
    connect(this, &QsciScintillaBase::SCN_UPDATEUI, this, &TSqlEdit::OnUpdateUi);
}

TSqlEdit::~TSqlEdit() {
    delete m_brackets;
}

void TSqlEdit::ConfigureView() {
    setUtf8(true);
    setEolMode(EolUnix);
    QFont font(QStringLiteral("Courier New"));
    font.setPointSize(10);
    font.setStyleHint(QFont::TypeWriter);
    font.setFixedPitch(true);
    // Scintilla passes only the family name on to its styles; without the resolved name of
    // the monospace fallback, bold and plain styles could land in different fonts.
    font.setFamily(QFontInfo(font).family());
    setFont(font);
    m_styler = new TSqlStyler(font, palette().color(QPalette::Text), palette().color(QPalette::Base), this);
    setLexer(m_styler);

    for (int margin = 0; margin < 5; ++margin)
        setMarginWidth(margin, 0);
    setEdgeMode(EdgeNone);
    setWrapMode(WrapNone);
    setAutoIndent(false);
    setIndentationsUseTabs(false);
    setBraceMatching(NoBraceMatch);
    setSelectionBackgroundColor(palette().color(QPalette::Highlight));
    setSelectionForegroundColor(palette().color(QPalette::HighlightedText));
    setCaretForegroundColor(palette().color(QPalette::Text));
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    SendScintilla(SCI_SETSCROLLWIDTHTRACKING, 1L);
    SendScintilla(SCI_SETSCROLLWIDTH, 1L);
    SendScintilla(SCI_SETVIRTUALSPACEOPTIONS, long(SCVS_USERACCESSIBLE | SCVS_RECTANGULARSELECTION));
    // QScintilla turns every change notification into work over the whole text before
    // the change (about 70 ms per keystroke in the middle of 100,000 lines), and every
    // styling call into a signal. Nothing here needs them: caret, marks and completion
    // follow SCN_UPDATEUI.
    SendScintilla(SCI_SETMODEVENTMASK, 0L);
}

void TSqlEdit::FreeProgramShortcuts() {
    // QScintilla claims every key it has a binding for before window shortcuts are looked
    // up; these keys belong to the main window's actions (and Ctrl+J to nobody).
    const QKeyCombination keys[] = {Qt::CTRL | Qt::Key_Return,
                                    Qt::CTRL | Qt::Key_Enter,
                                    QKeyCombination(Qt::Key_F5),
                                    QKeyCombination(Qt::Key_F6),
                                    Qt::Key_F7,
                                    Qt::Key_F8,
                                    Qt::CTRL | Qt::Key_Backspace,
                                    Qt::CTRL | Qt::Key_F,
                                    Qt::Key_F3,
                                    Qt::CTRL | Qt::Key_O,
                                    Qt::CTRL | Qt::Key_Q,
                                    Qt::Key_F2,
                                    Qt::CTRL | Qt::Key_F2,
                                    Qt::CTRL | Qt::SHIFT | Qt::Key_F2,
                                    Qt::CTRL | Qt::Key_F4,
                                    Qt::CTRL | Qt::Key_J};
    for (QKeyCombination combination : keys) {
        const int key = combination.toCombined();
        while (QsciCommand* command = standardCommands()->boundTo(key)) {
            if (command->key() == key)
                command->setKey(0);
            if (command->alternateKey() == key)
                command->setAlternateKey(0);
        }
    }
}

// ---- text and caret ---------------------------------------------------------------------

QStringList TSqlEdit::Lines() const {
    return text().split(u'\n');
}

void TSqlEdit::SetLines(const QStringList& lines) {
    m_completion->hide();
    m_nameList->hide();
    setText(normalisedLineBreaks(lines.join(u'\n')));
    SendScintilla(SCI_EMPTYUNDOBUFFER);
    SetCaret(0, 0);
    // Scrolling to the caret in an editor not laid out yet (less than a line high) leaves
    // the first line out of view; a new text always starts at its top.
    SendScintilla(SCI_SETFIRSTVISIBLELINE, 0UL);
}

QString TSqlEdit::Text() const {
    return Lines().join(QStringLiteral("\r\n")) + QStringLiteral("\r\n");
}

int TSqlEdit::LineCount() const {
    return int(SendScintilla(SCI_GETLINECOUNT));
}

QString TSqlEdit::LineText(int line) const {
    if (line < 0 || line >= LineCount())
        return {};
    const long start = SendScintilla(SCI_POSITIONFROMLINE, line);
    const long end = SendScintilla(SCI_GETLINEENDPOSITION, line);
    const char* bytes = reinterpret_cast<const char*>(SendScintilla(SCI_GETRANGEPOINTER, start, end - start));
    return bytes ? QString::fromUtf8(bytes, end - start) : QString();
}

long TSqlEdit::PositionOf(int line, int column, int* virtualSpace) const {
    line = qBound(0, line, LineCount() - 1);
    column = qMax(0, column);
    const long start = SendScintilla(SCI_POSITIONFROMLINE, line);
    const long end = SendScintilla(SCI_GETLINEENDPOSITION, line);
    const int units = int(SendScintilla(SCI_COUNTCODEUNITS, start, end));
    if (virtualSpace)
        *virtualSpace = qMax(0, column - units);
    if (column >= units)
        return end;
    return column == 0 ? start : SendScintilla(SCI_POSITIONRELATIVECODEUNITS, start, long(column));
}

void TSqlEdit::LineColumnOf(long position, int* line, int* column) const {
    *line = int(SendScintilla(SCI_LINEFROMPOSITION, position));
    const long start = SendScintilla(SCI_POSITIONFROMLINE, *line);
    *column = int(SendScintilla(SCI_COUNTCODEUNITS, start, position));
}

int TSqlEdit::CaretLine() const {
    return int(SendScintilla(SCI_LINEFROMPOSITION, SendScintilla(SCI_GETCURRENTPOS)));
}

int TSqlEdit::CaretColumn() const {
    int line = 0;
    int column = 0;
    LineColumnOf(SendScintilla(SCI_GETCURRENTPOS), &line, &column);
    const long selection = SendScintilla(SCI_GETMAINSELECTION);
    return column + int(SendScintilla(SCI_GETSELECTIONNCARETVIRTUALSPACE, selection));
}

void TSqlEdit::SetCaretPosition(long position, int virtualSpace) {
    SendScintilla(SCI_SETSELECTION, position, position);
    SendScintilla(SCI_SETSELECTIONNCARETVIRTUALSPACE, 0UL, long(virtualSpace));
    SendScintilla(SCI_SETSELECTIONNANCHORVIRTUALSPACE, 0UL, long(virtualSpace));
    SendScintilla(SCI_CHOOSECARETX);
    SendScintilla(SCI_SCROLLCARET);
}

void TSqlEdit::SetCaret(int line, int column) {
    int virtualSpace = 0;
    const long position = PositionOf(line, column, &virtualSpace);
    SetCaretPosition(position, virtualSpace);
}

// ---- selection --------------------------------------------------------------------------

bool TSqlEdit::HasSelection() const {
    return !SendScintilla(SCI_GETSELECTIONEMPTY);
}

QString TSqlEdit::SelectedText() const {
    const long size = SendScintilla(SCI_GETSELTEXT, 0UL, static_cast<void*>(nullptr));
    QByteArray bytes(qMax(0L, size) + 1, '\0');
    SendScintilla(SCI_GETSELTEXT, 0UL, static_cast<void*>(bytes.data()));
    QString text = QString::fromUtf8(bytes.constData());
    text.replace(u'\n', QStringLiteral("\r\n"));
    return text;
}

void TSqlEdit::DeleteSelection() {
    if (!HasSelection())
        return;
    beginUndoAction();
    RemoveSelection();
    endUndoAction();
}

void TSqlEdit::SelectionStart(int* line, int* column) const {
    if (!HasSelection()) {
        *line = CaretLine();
        *column = CaretColumn();
        return;
    }
    LineColumnOf(SendScintilla(SCI_GETSELECTIONSTART), line, column);
}

int TSqlEdit::SelectionStartOffset() const {
    int line = 0;
    int column = 0;
    if (HasSelection()) {
        LineColumnOf(SendScintilla(SCI_GETSELECTIONSTART), &line, &column);
    } else {
        line = CaretLine();
        column = qMin(CaretColumn(), int(LineText(line).size()));
    }
    // Every line break before the line counts two in the CR LF text.
    const long lineStart = SendScintilla(SCI_POSITIONFROMLINE, line);
    return int(SendScintilla(SCI_COUNTCODEUNITS, 0L, lineStart)) + line + column;
}

void TSqlEdit::SelectTextRange(int offset, int length) {
    const auto locate = [this](int offset, int* line, int* column) {
        const int lines = LineCount();
        for (int l = 0; l < lines; ++l) {
            const long start = SendScintilla(SCI_POSITIONFROMLINE, l);
            const long end = SendScintilla(SCI_GETLINEENDPOSITION, l);
            const int units = int(SendScintilla(SCI_COUNTCODEUNITS, start, end));
            if (offset <= units || l == lines - 1) {
                *line = l;
                *column = qMin(offset, units);
                return;
            }
            offset = qMax(0, offset - units - 2);
        }
    };
    int line = 0;
    int column = 0;
    int endLine = 0;
    int endColumn = 0;
    locate(offset, &line, &column);
    locate(offset + length, &endLine, &endColumn);
    const long anchor = PositionOf(line, column);
    const long caret = PositionOf(endLine, endColumn);
    SendScintilla(SCI_SETSELECTION, caret, anchor);
    SendScintilla(SCI_SCROLLRANGE, anchor, caret);
}

// ---- insertion --------------------------------------------------------------------------

void TSqlEdit::RemoveSelection() {
    if (HasSelection())
        SendScintilla(SCI_REPLACESEL, "");
}

void TSqlEdit::InsertAtCaret(const QString& text) {
    int virtualSpace = 0;
    const long position = PositionOf(CaretLine(), CaretColumn(), &virtualSpace);
    const QByteArray bytes = (QString(virtualSpace, u' ') + text).toUtf8();
    SendScintilla(SCI_INSERTTEXT, position, bytes.constData());
    SetCaretPosition(position + bytes.size(), 0);
}

void TSqlEdit::InsertText(const QString& text) {
    beginUndoAction();
    if (HasSelection())
        RemoveSelection();
    InsertAtCaret(normalisedLineBreaks(text));
    endUndoAction();
}

void TSqlEdit::InsertColumnBlock(const QString& text) {
    if (text.isEmpty())
        return;
    QStringList pieces = normalisedLineBreaks(text).split(u'\n');
    if (pieces.size() > 1 && pieces.last().isEmpty())
        pieces.removeLast();
    const int line = CaretLine();
    const int column = CaretColumn();
    beginUndoAction();
    for (int i = 0; i < pieces.size(); ++i) {
        if (line + i >= LineCount())
            SendScintilla(SCI_APPENDTEXT, 1UL, "\n");
        int padding = 0;
        const long position = PositionOf(line + i, column, &padding);
        const QByteArray bytes = (QString(padding, u' ') + pieces[i]).toUtf8();
        SendScintilla(SCI_INSERTTEXT, position, bytes.constData());
    }
    endUndoAction();
    SetCaret(line, column + int(text.size()));
}

void TSqlEdit::ReplaceWordAtCaret(const QString& text) {
    const int line = CaretLine();
    const int column = CaretColumn();
    int start = column;
    int end = column;
    TSqlCompletion::WordBounds(LineText(line), column, &start, &end);
    beginUndoAction();
    if (end > start) {
        SendScintilla(SCI_SETSELECTION, PositionOf(line, end), PositionOf(line, start));
        RemoveSelection();
    }
    InsertAtCaret(text);
    endUndoAction();
}

void TSqlEdit::SetContextMenu(QMenu* menu) {
    m_contextMenu = menu;
}

void TSqlEdit::contextMenuEvent(QContextMenuEvent* e) {
    if (m_contextMenu)
        m_contextMenu->exec(e->globalPos());
    e->accept();
}

// ---- completion -------------------------------------------------------------------------

void TSqlEdit::ShowCompletion(bool automatic) {
    const int line = CaretLine();
    const int column = CaretColumn();
    const QString word = TSqlCompletion::WordAt(LineText(line), column);
    if (automatic && !TSqlCompletion::OpensFor(word))
        return;
    m_nameList->hide();
    m_completion->SelectFor(word);
    m_listAutomatic = automatic;
    OpenListAtCaret(m_completion);
}

void TSqlEdit::OpenListAtCaret(TCompletionList* list) {
    const int line = CaretLine();
    const int column = CaretColumn();
    int virtualSpace = 0;
    const long position = PositionOf(line, column, &virtualSpace);
    const int blankWidth = int(SendScintilla(SCI_TEXTWIDTH, long(STYLE_DEFAULT), " "));
    const int x = int(SendScintilla(SCI_POINTXFROMPOSITION, 0UL, position)) + virtualSpace * blankWidth;
    const int y = int(SendScintilla(SCI_POINTYFROMPOSITION, 0UL, position));
    const int height = int(SendScintilla(SCI_TEXTHEIGHT, line));
    const QPoint top = viewport()->mapToGlobal(QPoint(x, y));
    list->Open(top.x(), top.y(), top.y() + height);
}

void TSqlEdit::OnCompletionTimer() {
    if (OpenList())
        return;
    if (TSqlCompletion::OpensFor(TSqlCompletion::WordAt(LineText(CaretLine()), CaretColumn())))
        ShowCompletion(true);
    else if (AfterKnownQualifier())
        ShowNames(true);
}

void TSqlEdit::AcceptCompletion() {
    if (m_nameList->isVisible()) {
        AcceptName();
        return;
    }
    const QString entry = m_completion->Selected();
    m_completion->hide();
    if (!entry.isEmpty())
        ReplaceWordAtCaret(entry);
}

TCompletionList* TSqlEdit::OpenList() const {
    if (m_completion->isVisible())
        return m_completion;
    return m_nameList->isVisible() ? m_nameList : nullptr;
}

// Characters that go on with the word: the phrase list's are ASCII letters and digits; names
// hold "_", "$" and letters of any alphabet too.
bool TSqlEdit::FiltersList(QChar typed) const {
    if (m_nameList->isVisible())
        return typed.isLetterOrNumber() || typed == u'_' || typed == u'$';
    return isAsciiLetterOrDigit(typed);
}

// Keys while a list is open; true when the key was used up here.
bool TSqlEdit::HandleCompletionKey(QKeyEvent* e) {
    TCompletionList* list = OpenList();
    const int key = e->key();
    if (key == Qt::Key_Escape) {
        list->hide();
        return true;
    }
    if (key == Qt::Key_Return || key == Qt::Key_Enter) {
        AcceptCompletion();
        return true;
    }
    if (e->modifiers() == Qt::NoModifier && list->Navigate(key))
        return true;
    if (key == Qt::Key_Backspace)
        return false;
    const QString typed = e->text();
    if (!typed.isEmpty() && typed[0].isPrint() &&
        !(e->modifiers() & (Qt::ControlModifier | Qt::AltModifier))) {
        if (!FiltersList(typed[0]))
            CloseListBeforeCharacter(); // then the character is typed as usual
        return false;
    }
    if (key != Qt::Key_Shift && key != Qt::Key_Control && key != Qt::Key_Alt && key != Qt::Key_AltGr)
        list->hide();
    return false;
}

void TSqlEdit::FilterOpenList() {
    if (m_nameList->isVisible())
        FilterNames();
    else if (m_completion->isVisible())
        m_completion->SelectFor(TSqlCompletion::WordAt(LineText(CaretLine()), CaretColumn()));
}

// ---- keys -------------------------------------------------------------------------------

void TSqlEdit::keyPressEvent(QKeyEvent* e) {
    const int key = e->key();
    const Qt::KeyboardModifiers modifiers = e->modifiers() & ~Qt::KeypadModifier;
    const QString typed = e->text();
    const bool printable =
        !typed.isEmpty() && typed[0].isPrint() && !(modifiers & (Qt::ControlModifier | Qt::AltModifier));
    const bool backspace = key == Qt::Key_Backspace && modifiers == Qt::NoModifier;
    if (printable || backspace)
        m_completionTimer->start();
    else
        m_completionTimer->stop();
    // A names list still waiting for a read opens only if nothing was pressed meanwhile.
    ++m_keyCount;
    m_namesPending = false;
    if (m_errorMarked && (printable || backspace || key == Qt::Key_Delete || key == Qt::Key_Return ||
                          key == Qt::Key_Enter || key == Qt::Key_Tab))
        ClearErrorMark();

    const bool listWasOpen = OpenList() != nullptr;
    if (listWasOpen && HandleCompletionKey(e)) {
        e->accept();
        return;
    }

    if (key == Qt::Key_J && modifiers == Qt::ControlModifier) {
        e->accept();
        return;
    }
    if (key == Qt::Key_Space && modifiers == Qt::ControlModifier) {
        ShowCompletion(false);
        e->accept();
        return;
    }
    if (key == Qt::Key_Space && modifiers == (Qt::ControlModifier | Qt::ShiftModifier)) {
        ShowNames(false);
        e->accept();
        return;
    }
    if (key == Qt::Key_Tab && modifiers == Qt::NoModifier) {
        SmartTab();
    } else if (key == Qt::Key_Backtab || (key == Qt::Key_Tab && modifiers == Qt::ShiftModifier)) {
        SmartBackTab();
    } else if ((key == Qt::Key_Return || key == Qt::Key_Enter) && modifiers == Qt::NoModifier) {
        SmartEnter();
    } else if (!(backspace && !HasSelection() && SmartBackspace())) {
        const bool filters = OpenList() && (backspace || (printable && FiltersList(typed[0])));
        QsciScintilla::keyPressEvent(e);
        if (filters)
            FilterOpenList();
        return;
    }
    e->accept();
}

int TSqlEdit::VisibleLines() const {
    return qMax(1, int(SendScintilla(SCI_LINESONSCREEN)));
}

void TSqlEdit::SmartTab() {
    beginUndoAction();
    if (HasSelection())
        RemoveSelection();
    const int line = CaretLine();
    const int column = CaretColumn();
    const auto lineAt = [this](int l) {
        return LineText(l);
    };
    const int target = TEditKeys::TabTarget(lineAt, line, column, 2 * VisibleLines());
    if (overwriteMode())
        SetCaret(line, target);
    else
        InsertAtCaret(QString(target - column, u' '));
    endUndoAction();
}

void TSqlEdit::SmartBackTab() {
    SetCaret(CaretLine(), TEditKeys::PreviousTabStop(CaretColumn()));
}

void TSqlEdit::SmartEnter() {
    beginUndoAction();
    if (HasSelection())
        RemoveSelection();
    const int line = CaretLine();
    const int column = CaretColumn();
    const auto lineAt = [this](int l) {
        return LineText(l);
    };
    const int indent = TEditKeys::EnterIndent(lineAt, line, column);
    // Blanks the caret stood beyond the line's end are not part of the text.
    const long position = PositionOf(line, column);
    const QByteArray bytes = QByteArray("\n") + QByteArray(indent, ' ');
    SendScintilla(SCI_INSERTTEXT, position, bytes.constData());
    SetCaretPosition(position + bytes.size(), 0);
    endUndoAction();
}

bool TSqlEdit::SmartBackspace() {
    const int line = CaretLine();
    const int column = CaretColumn();
    const auto lineAt = [this](int l) {
        return LineText(l);
    };
    const int target = TEditKeys::BackspaceTarget(lineAt, line, column, 2 * VisibleLines());
    if (target < 0)
        return false;
    const int textEnd = qMin(column, int(LineText(line).size()));
    if (target < textEnd) {
        const long from = PositionOf(line, target);
        SendScintilla(SCI_DELETERANGE, from, PositionOf(line, textEnd) - from);
    }
    SetCaret(line, target);
    return true;
}

// ---- events -----------------------------------------------------------------------------

void TSqlEdit::mousePressEvent(QMouseEvent* e) {
    m_completion->hide();
    m_nameList->hide();
    QsciScintilla::mousePressEvent(e);
}

void TSqlEdit::focusOutEvent(QFocusEvent* e) {
    m_completion->hide();
    m_nameList->hide();
    m_completionTimer->stop();
    QsciScintilla::focusOutEvent(e);
}

QVariant TSqlEdit::inputMethodQuery(Qt::InputMethodQuery query) const {
    // QScintilla answers with the whole paragraph around the caret, which in SQL without
    // blank lines is the text from the top: input methods get the caret's line instead.
    switch (query) {
    case Qt::ImSurroundingText:
        return LineText(CaretLine());
    case Qt::ImCursorPosition:
        return qMin(CaretColumn(), int(LineText(CaretLine()).size()));
    case Qt::ImAnchorPosition: {
        int line = 0;
        int column = 0;
        LineColumnOf(SendScintilla(SCI_GETANCHOR), &line, &column);
        return line == CaretLine() ? column : QVariant(inputMethodQuery(Qt::ImCursorPosition));
    }
    default:
        return QsciScintilla::inputMethodQuery(query);
    }
}

void TSqlEdit::OnUpdateUi(int updated) {
    // The list stands at the caret's place on the screen, which scrolling moves away: it
    // follows a caret that stays in view (typing on at the right edge scrolls sideways) and
    // closes when the caret leaves the view.
    if (TCompletionList* list = OpenList(); list && (updated & (SC_UPDATE_V_SCROLL | SC_UPDATE_H_SCROLL))) {
        const long position = SendScintilla(SCI_GETCURRENTPOS);
        const QPoint caret(int(SendScintilla(SCI_POINTXFROMPOSITION, 0UL, position)),
                           int(SendScintilla(SCI_POINTYFROMPOSITION, 0UL, position)));
        if (viewport()->rect().contains(caret))
            OpenListAtCaret(list);
        else
            list->hide();
    }
    if (!(updated & (SC_UPDATE_CONTENT | SC_UPDATE_SELECTION)))
        return;
    // Edits that come without a key (paste, undo, a drop) change the text's length.
    if (m_errorMarked && SendScintilla(SCI_GETTEXTLENGTH) != m_errorTextLength)
        ClearErrorMark();
    m_brackets->Update();
    const int line = CaretLine();
    const int column = CaretColumn();
    if (line != m_lastCaretLine || column != m_lastCaretColumn) {
        m_lastCaretLine = line;
        m_lastCaretColumn = column;
        emit CaretMoved(line, column);
    }
}
