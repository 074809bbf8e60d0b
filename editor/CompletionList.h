#pragma once

#include <QListView>

class QStringListModel;

// A completion list of the SQL editor: a small floating list that never takes the keyboard
// focus, so the editor keeps receiving keys and steers it. Its rows come from a plain string
// model, so that tens of thousands of names are replaced in a keystroke. GUI thread only.
class TCompletionList : public QListView {
    Q_OBJECT

public:
    static constexpr int RowHeight = 13;
    static constexpr int VisibleRows = 6;
    static constexpr int ListWidth = 300;

    TCompletionList(QWidget* editor, const QStringList& entries);

    // Shows these entries instead, the first selected (none when empty).
    void SetEntries(const QStringList& entries);
    int count() const;
    QString EntryText(int row) const;
    QRect RowRect(int row) const;

    // Shows the list aligned with `caretX` just below the caret's line (`lineTop` to
    // `lineBottom`, all global coordinates), or above it when it would reach beyond the
    // bottom of the screen.
    void Open(int caretX, int lineTop, int lineBottom);
    // Selects the first entry beginning with `word`, or none.
    void SelectFor(QStringView word);
    // The selected row, or -1.
    int SelectedRow() const;
    // The selected entry, or an empty text.
    QString Selected() const;
    // Moves the selection for Up, Down, Page Up, Page Down, Home and End; false for other keys.
    bool Navigate(int key);

signals:
    void EntryClicked();

private:
    void SelectRow(int row);

    QStringListModel* m_model = nullptr;
};
