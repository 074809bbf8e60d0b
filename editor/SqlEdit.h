#pragma once

#include "editor/SqlNames.h"

#include <Qsci/qsciscintilla.h>

#include <QHash>
#include <QSet>
#include <QStringList>

class QMenu;
class QTimer;
class TBracketMarks;
class TCompletionList;
class TSqlStyler;
struct TNamePlace;

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
    // The line and column where the selection starts, or of the caret without a selection.
    void SelectionStart(int* line, int* column) const;
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

    // Names of the open database for the names list (SqlEditNames.cpp). Columns come later,
    // table by table, after ColumnsWanted asked for them; a list waiting for them opens when
    // they arrive unless a key was pressed meanwhile. Empty names complete nothing.
    void SetNames(const TSqlNames& names);
    void SetColumns(const QString& schema, const QString& table, const QStringList& columns);
    // Puts the caret at a place where a statement failed and underlines the word there until
    // the next edit, or until ClearErrorMark.
    void MarkError(int line, int column);
    void ClearErrorMark();
    bool HasErrorMark() const { return m_errorMarked; }

    // Test and benchmark hooks.
    TCompletionList* CompletionList() const { return m_completion; }
    TCompletionList* NameList() const { return m_nameList; }
    void ShowCompletion(bool automatic);
    void ShowNames(bool automatic);
    int CompletionDelay() const { return 800; }

    // Byte position of a line and column; a column beyond the end of the line gives the
    // line end and the excess in `virtualSpace` (when given).
    long PositionOf(int line, int column, int* virtualSpace = nullptr) const;
    // Line and column of a byte position.
    void LineColumnOf(long position, int* line, int* column) const;

signals:
    void CaretMoved(int line, int column);
    // The names list needs the columns of a table; answered with SetColumns.
    void ColumnsWanted(const QString& schema, const QString& table);

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
    // The list that is open, or nullptr.
    TCompletionList* OpenList() const;
    bool FiltersList(QChar typed) const;
    void FilterOpenList();
    // A blank or punctuation typed into a list that opened by itself: the phrase list
    // replaces only a word that cannot be meant as typed.
    void CloseListBeforeCharacter();
    bool IsKnownName(const QString& word) const;
    // The statement around the caret and the place of its word there.
    TNamePlace PlaceAtCaret(int* wordStart = nullptr, int* wordEnd = nullptr) const;
    const TSqlTable* FindTable(const QString& schema, const QString& name) const;
    // Whether the caret follows «x.» for a known table, alias or schema x.
    bool AfterKnownQualifier() const;
    void AcceptName();
    void OpenListAtCaret(TCompletionList* list);
    void FilterNames();
    void RetryPendingNames();
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
    TCompletionList* m_nameList = nullptr;
    QTimer* m_completionTimer = nullptr;
    bool m_listAutomatic = false;
    // The names list: what fits at the caret (shown text, SQL), and the rows shown of it.
    TSqlNames m_names;
    bool m_namesKnown = false;
    QSet<QString> m_knownNames; // lower case
    QHash<QString, QStringList> m_columns;
    QSet<QString> m_columnsAsked;
    QStringList m_nameTexts;
    QStringList m_nameSql;
    QList<int> m_nameRows;
    // A names list waiting for names: where the caret stood and the key count then.
    bool m_namesPending = false;
    bool m_pendingAutomatic = false;
    long m_pendingPosition = -1;
    quint64 m_keyCount = 0;
    bool m_errorMarked = false;
    long m_errorTextLength = 0;
    QMenu* m_contextMenu = nullptr;
    int m_lastCaretLine = -1;
    int m_lastCaretColumn = -1;
};
