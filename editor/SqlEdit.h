#pragma once

#include <Qsci/qsciscintilla.h>

#include <QStringList>

class QMenu;
class QTimer;
class TBracketMarks;
class TCompletionList;
class TSqlStyler;

// The SQL editor of a workspace (its component MemSql). It wires the colouring, the
// completion list, the bracket marks and the editing keys to QScintilla, and offers the
// workspace its text as lines and the caret as line and column.
//
// Columns are counted in UTF-16 code units of the line's text, so they index LineText()
// directly; the caret may stand beyond the end of its line (its column is then larger
// than the line's length). QScintilla's per-change notifications are switched off for
// speed, so its textChanged() signal does not fire; follow CaretMoved or SCN_UPDATEUI.
// GUI thread only.
class TSqlEdit : public QsciScintilla {
    Q_OBJECT

public:
    explicit TSqlEdit(QWidget* parent = nullptr);
    ~TSqlEdit() override;

    // The text as lines, empty lines included; SetLines also clears the undo history.
    QStringList Lines() const;
    void SetLines(const QStringList& lines);
    // Every line followed by CR LF.
    QString Text() const;

    int LineCount() const;
    QString LineText(int line) const;

    int CaretLine() const;
    int CaretColumn() const;
    // Puts the caret at the line (clamped to the text) and column (beyond the end of the
    // line when larger than it); removes the selection.
    void SetCaret(int line, int column);

    bool HasSelection() const;
    // Line breaks inside the selection become CR LF.
    QString SelectedText() const;
    // Deletes the selection as one undo step; the caret goes where it began.
    void DeleteSelection();
    // Selects `length` characters from `offset`, both counted in Text() (a line break
    // counts two), and shows the selection.
    void SelectTextRange(int offset, int length);
    // The selection's start, or the caret without a selection, as an offset in Text().
    // A caret beyond the end of its line counts as standing at the end.
    int SelectionStartOffset() const;

    // Replaces the selection (if any) with `text` at the caret as one undo step, padding a
    // caret beyond the end of its line with blanks; the caret ends after the text.
    void InsertText(const QString& text);
    // Inserts `text` as a column block at the caret as one undo step: its first line at the
    // caret, each further line at the same column of the following lines, which are padded
    // with blanks (or appended) as needed. The caret then moves right by the text's length
    // (line breaks included) on its own line.
    void InsertColumnBlock(const QString& text);

    // The workspace's context menu, shown instead of QScintilla's own; nullptr shows none.
    void SetContextMenu(QMenu* menu);

    // Test and benchmark hooks.
    TCompletionList* CompletionList() const { return m_completion; }
    void ShowCompletion(bool automatic);
    int CompletionDelay() const { return 800; }

    // Byte position of a line and column; a column beyond the end of the line gives the
    // line end and the excess in `virtualSpace` (when given).
    long PositionOf(int line, int column, int* virtualSpace = nullptr) const;
    // Line and column of a byte position.
    void LineColumnOf(long position, int* line, int* column) const;

signals:
    void CaretMoved(int line, int column);

protected:
    void keyPressEvent(QKeyEvent* e) override;
    void mousePressEvent(QMouseEvent* e) override;
    void focusOutEvent(QFocusEvent* e) override;
    void contextMenuEvent(QContextMenuEvent* e) override;
    QVariant inputMethodQuery(Qt::InputMethodQuery query) const override;

private:
    void ConfigureView();
    void FreeProgramShortcuts();
    void OnUpdateUi(int updated);
    void OnCompletionTimer();
    bool HandleCompletionKey(QKeyEvent* e);
    void AcceptCompletion();
    void ReplaceWordAtCaret(const QString& text);
    void SmartTab();
    void SmartBackTab();
    void SmartEnter();
    bool SmartBackspace();
    void InsertAtCaret(const QString& text);
    void RemoveSelection();
    int VisibleLines() const;
    void SetCaretPosition(long position, int virtualSpace);

    TSqlStyler* m_styler = nullptr;
    TBracketMarks* m_brackets = nullptr;
    TCompletionList* m_completion = nullptr;
    QTimer* m_completionTimer = nullptr;
    QMenu* m_contextMenu = nullptr;
    int m_lastCaretLine = -1;
    int m_lastCaretColumn = -1;
};
