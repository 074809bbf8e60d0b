#pragma once

#include <QHeaderView>

// The column titles of GrdResults: a title too long for its column is cut at its end with
// "…" (the header view of this Qt would cut it on both sides of its centre), and resting
// the mouse on it shows it whole. GUI thread.
class TResultHeader : public QHeaderView {
    Q_OBJECT
public:
    explicit TResultHeader(QWidget* parent);

    // Whether the title of a column is too long for it.
    bool TitleCut(int logicalIndex) const;

protected:
    void initStyleOptionForIndex(QStyleOptionHeader* option, int logicalIndex) const override;
    bool viewportEvent(QEvent* event) override;

private:
    // Pixels the title of a column has.
    int LabelWidth(int logicalIndex) const;
};
