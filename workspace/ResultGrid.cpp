#include "workspace/ResultGrid.h"

#include <QApplication>
#include <QHeaderView>

TResultGrid::TResultGrid(QWidget* parent)
    : QTableView(parent) {
    setObjectName(QStringLiteral("GrdResults"));
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    setSelectionBehavior(QAbstractItemView::SelectItems);
    setEditTriggers(QAbstractItemView::DoubleClicked | QAbstractItemView::EditKeyPressed |
                    QAbstractItemView::AnyKeyPressed);
    setTabKeyNavigation(true);
    setShowGrid(true);
    setWordWrap(false);
    QHeaderView* rows = verticalHeader();
    rows->setSectionResizeMode(QHeaderView::Fixed);
    rows->setDefaultSectionSize(fontMetrics().height() + 4);
    rows->setMinimumWidth(14);
    rows->setDefaultAlignment(Qt::AlignCenter);
    QHeaderView* columns = horizontalHeader();
    columns->setSectionResizeMode(QHeaderView::Interactive);
    columns->setHighlightSections(false);
    QFont bold = columns->font();
    bold.setBold(true);
    columns->setFont(bold);
}

int TResultGrid::PixelsOf(int characters) const {
    return characters * fontMetrics().averageCharWidth() + 8;
}

int TResultGrid::CharactersOf(int pixels) const {
    return qMax(1, (pixels - 8 + fontMetrics().averageCharWidth() / 2) /
                       qMax(1, fontMetrics().averageCharWidth()));
}

QWidget* TResultGrid::OpenEditor() const {
    if (state() != QAbstractItemView::EditingState)
        return nullptr;
    QWidget* focus = QApplication::focusWidget();
    while (focus && focus->parentWidget() != viewport())
        focus = focus->parentWidget();
    return focus;
}

void TResultGrid::PostEdit() {
    if (QWidget* editor = OpenEditor()) {
        commitData(editor);
        closeEditor(editor, QAbstractItemDelegate::NoHint);
    }
}

void TResultGrid::CancelEdit() {
    if (QWidget* editor = OpenEditor())
        closeEditor(editor, QAbstractItemDelegate::RevertModelCache);
}
