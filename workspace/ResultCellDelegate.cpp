#include "workspace/ResultCellDelegate.h"

#include <QAbstractItemView>
#include <QHelpEvent>
#include <QLineEdit>
#include <QToolTip>
#include <limits>

namespace {

// Space between a cell's border and its text, as the style draws item texts.
int TextMargin(const QStyleOptionViewItem& option) {
    const QWidget* widget = option.widget;
    const QStyle* style = widget ? widget->style() : nullptr;
    return style ? style->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, widget) + 1 : 3;
}

bool IsMultiLine(const QString& text) {
    return text.contains(QLatin1Char('\n')) || text.contains(QLatin1Char('\r')) ||
           text.contains(QChar::LineSeparator);
}

// Characters a cell of this width may lay out: no character is narrower than a pixel.
qsizetype LaidOutCharacters(const QStyleOptionViewItem& option) {
    const int width = option.rect.width() > 0 ? option.rect.width()
                      : option.widget        ? option.widget->width()
                                             : 0;
    return qMax(64, width);
}

} // namespace

void TResultCellDelegate::initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const {
    QStyledItemDelegate::initStyleOption(option, index);
    const qsizetype limit = LaidOutCharacters(*option);
    if (option->text.size() > limit) {
        option->text.truncate(limit);
        if (option->text.back().isHighSurrogate())
            option->text.chop(1);
    }
    // A number cut on its right would read as a smaller one: as spreadsheets do, "###" says
    // that the column is too narrow (the tool tip shows the number).
    if ((option->displayAlignment & Qt::AlignRight) && option->rect.width() > 0 &&
        option->fontMetrics.horizontalAdvance(option->text) > option->rect.width() - 2 * TextMargin(*option))
        option->text = QStringLiteral("###");
}

QString TResultCellDelegate::ToolTip(const QStyleOptionViewItem& option, const QModelIndex& index) const {
    const QString tip = index.data(Qt::ToolTipRole).toString();
    const QString shown = index.data(Qt::DisplayRole).toString();
    if (shown.isEmpty())
        return tip;
    const bool cut = IsMultiLine(shown) || shown.size() > LaidOutCharacters(option) ||
                     option.fontMetrics.horizontalAdvance(shown) > option.rect.width() - 2 * TextMargin(option);
    return cut ? tip : QString();
}

QString TResultCellDelegate::ToolTipMarkup(QString text) {
    text.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    text.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    return QStringLiteral("<p style='white-space:pre-wrap'>%1</p>").arg(text.toHtmlEscaped());
}

QWidget* TResultCellDelegate::createEditor(QWidget* parent, const QStyleOptionViewItem& option,
                                          const QModelIndex& index) const {
    QWidget* editor = QStyledItemDelegate::createEditor(parent, option, index);
    if (auto* line = qobject_cast<QLineEdit*>(editor))
        line->setMaxLength(std::numeric_limits<int>::max());
    return editor;
}

bool TResultCellDelegate::helpEvent(QHelpEvent* event, QAbstractItemView* view, const QStyleOptionViewItem& option,
                                    const QModelIndex& index) {
    if (event->type() != QEvent::ToolTip || !index.isValid())
        return QStyledItemDelegate::helpEvent(event, view, option, index);
    const QString tip = ToolTip(option, index);
    if (tip.isEmpty())
        QToolTip::hideText();
    else
        QToolTip::showText(event->globalPos(), ToolTipMarkup(tip), view->viewport(), option.rect);
    return true;
}
