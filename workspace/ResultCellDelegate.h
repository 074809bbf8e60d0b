#pragma once

#include <QStyledItemDelegate>

// How a cell of GrdResults is drawn and what its tool tip says. At most one character a
// pixel of the value is laid out, so a value of megabytes paints as fast as a short one; a
// number too wide for its column shows "###" rather than digits that read as another value.
// The tool tip shows a value the cell cuts off whole (its lines too), "NULL" for a null value
// and "(leerer Text)" for the empty text. GUI thread.
class TResultCellDelegate : public QStyledItemDelegate {
    Q_OBJECT
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    // The text a cell drawn with `option` shows.
    QString DisplayedText(QStyleOptionViewItem option, const QModelIndex& index) const {
        initStyleOption(&option, index);
        return option.text;
    }
    // What the tool tip of a cell drawn with `option` says; empty when the cell shows its
    // value whole.
    QString ToolTip(const QStyleOptionViewItem& option, const QModelIndex& index) const;
    // A tool tip's text as the tip shows it: plain text kept as it is (no markup read in
    // it), its lines kept, long lines wrapped.
    static QString ToolTipMarkup(QString text);

    // A line editor that holds the whole value: its default limit of 32767 characters would
    // cut a longer value, and the cut value would be written back.
    QWidget* createEditor(QWidget* parent, const QStyleOptionViewItem& option,
                          const QModelIndex& index) const override;

    bool helpEvent(QHelpEvent* event, QAbstractItemView* view, const QStyleOptionViewItem& option,
                   const QModelIndex& index) override;

protected:
    void initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const override;
};
