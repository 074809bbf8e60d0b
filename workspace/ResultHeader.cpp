#include "workspace/ResultHeader.h"

#include "workspace/ResultCellDelegate.h"

#include <QHelpEvent>
#include <QStyleOptionHeader>
#include <QToolTip>

TResultHeader::TResultHeader(QWidget* parent)
    : QHeaderView(Qt::Horizontal, parent) {
    setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
}

int TResultHeader::LabelWidth(int logicalIndex) const {
    QStyleOptionHeader option;
    initStyleOption(&option);
    option.section = logicalIndex;
    option.rect = QRect(0, 0, sectionSize(logicalIndex), height());
    return style()->subElementRect(QStyle::SE_HeaderLabel, &option, this).width();
}

bool TResultHeader::TitleCut(int logicalIndex) const {
    if (!model() || logicalIndex < 0)
        return false;
    const QString title = model()->headerData(logicalIndex, orientation()).toString();
    return fontMetrics().horizontalAdvance(title) > LabelWidth(logicalIndex);
}

void TResultHeader::initStyleOptionForIndex(QStyleOptionHeader* option, int logicalIndex) const {
    QHeaderView::initStyleOptionForIndex(option, logicalIndex);
    option->text = fontMetrics().elidedText(option->text, Qt::ElideRight, LabelWidth(logicalIndex));
}

bool TResultHeader::viewportEvent(QEvent* event) {
    if (event->type() != QEvent::ToolTip)
        return QHeaderView::viewportEvent(event);
    const auto* help = static_cast<QHelpEvent*>(event);
    const int column = logicalIndexAt(help->pos());
    if (!TitleCut(column)) {
        QToolTip::hideText();
        return true;
    }
    QToolTip::showText(help->globalPos(),
                       TResultCellDelegate::ToolTipMarkup(model()->headerData(column, orientation()).toString()),
                       viewport(), QRect(sectionViewportPosition(column), 0, sectionSize(column), height()));
    return true;
}
