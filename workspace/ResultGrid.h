#pragma once

#include <QTableView>

// The data grid GrdResults: bold titles, a narrow row indicator, rows of fixed height (so a
// million rows cost the header nothing), and the post/cancel of an open cell editor for the
// navigator. GUI thread.
class TResultGrid : public QTableView {
    Q_OBJECT
public:
    explicit TResultGrid(QWidget* parent);

    // Writes the value of an open cell editor and closes it.
    void PostEdit();
    // Closes an open cell editor without writing.
    void CancelEdit();
    // Pixels of a column `characters` wide in the grid's font.
    int PixelsOf(int characters) const;
    // Characters of a column of `pixels` width (at least 1).
    int CharactersOf(int pixels) const;

private:
    QWidget* OpenEditor() const;
};
