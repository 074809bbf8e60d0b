#pragma once

#include <QTableView>

class TResultModel;

// The data grid GrdResults: bold titles, a narrow row indicator, rows of fixed height, and
// the record buffer's rules: leaving a record posts it (a failed post keeps the user on it),
// Escape puts it back, Insert and Ctrl+Del ask for a new or a deleted record. GUI thread.
class TResultGrid : public QTableView {
    Q_OBJECT
public:
    explicit TResultGrid(QWidget* parent);

    TResultModel* ResultModel() const;
    // Writes the value of an open cell editor into the record buffer and closes it.
    void PostEdit();
    // Closes an open cell editor without writing.
    void CancelEdit();
    // Pixels of a column `characters` wide in the grid's font.
    int PixelsOf(int characters) const;
    // Characters of a column of `pixels` width (at least 1).
    int CharactersOf(int pixels) const;

signals:
    void InsertRequested();
    void DeleteRequested();

protected:
    void currentChanged(const QModelIndex& current, const QModelIndex& previous) override;
    void closeEditor(QWidget* editor, QAbstractItemDelegate::EndEditHint hint) override;
    void keyPressEvent(QKeyEvent* event) override;
    bool event(QEvent* event) override;

private:
    QWidget* OpenEditor() const;
    bool m_returning = false;
};
