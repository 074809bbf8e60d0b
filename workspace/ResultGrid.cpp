#include "workspace/ResultGrid.h"

#include "settings/Error.h"
#include "ui/ErrorHandler.h"
#include "workspace/ResultCellDelegate.h"
#include "workspace/ResultGridAccessible.h"
#include "workspace/ResultHeader.h"
#include "workspace/ResultModel.h"

#include <QAccessible>
#include <QApplication>
#include <QHeaderView>
#include <QKeyEvent>
#include <QPainter>
#include <QScrollBar>
#include <QStyleOptionHeader>
#include <QTimer>
#include <algorithm>
#include <limits>

namespace {

// Rows farther than this from the top row lie one pixel apart, so that every row keeps a
// position of its own in int range however long the result is (Qt's selection by keys and
// Shift+click goes through these positions); the screen and any drag lie within it at true
// pixels.
constexpr qint64 NearPixels = 1 << 24;

} // namespace

// The row indicator left of the rows: marks the current record and its edit state, and takes
// a click as choosing that record (and selecting it, with Shift and Ctrl as on the titles). It
// paints the rows on screen only.
class TRowIndicator : public QWidget {
public:
    explicit TRowIndicator(TResultGrid* grid)
        : QWidget(grid)
        , m_grid(grid) {
        setObjectName(QStringLiteral("RowIndicator"));
        setAccessibleName(QStringLiteral("Datensatzanzeiger"));
    }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        QStyleOptionHeader option;
        option.initFrom(this);
        option.orientation = Qt::Vertical;
        option.textAlignment = Qt::AlignCenter;
        option.position = QStyleOptionHeader::OnlyOneSection;
        const int top = HeaderHeight();
        option.rect = QRect(0, 0, width(), top);
        if (top > 0)
            style()->drawControl(QStyle::CE_Header, &option, &painter, this);
        const QAbstractItemModel* model = m_grid->model();
        if (!model)
            return;
        painter.setClipRect(0, top, width(), height() - top);
        option.position = QStyleOptionHeader::Middle;
        const int height = m_grid->RowHeight();
        const int first = m_grid->TopRow();
        const int last = int(qMin<qint64>(m_grid->RowCount() - 1, qint64(first) + m_grid->FullRows()));
        for (int row = first; row <= last; ++row) {
            option.section = row;
            option.rect = QRect(0, top + m_grid->RowY(row), width(), height);
            option.text = model->headerData(row, Qt::Vertical, Qt::DisplayRole).toString();
            style()->drawControl(QStyle::CE_Header, &option, &painter, this);
        }
    }

    void mousePressEvent(QMouseEvent* event) override {
        const int y = event->position().toPoint().y() - HeaderHeight();
        if (event->button() != Qt::LeftButton || !m_grid->model())
            return;
        if (y < 0) {
            // The corner above the indicator selects everything, as one range.
            m_grid->selectAll();
            m_grid->setFocus(Qt::MouseFocusReason);
            return;
        }
        const qint64 row = m_grid->RowAtY(y);
        if (row >= m_grid->RowCount())
            return;
        m_grid->SelectLines(Qt::Vertical, int(row), event->modifiers());
        m_grid->setFocus(Qt::MouseFocusReason);
    }

    // Dragging along the indicator selects the rows passed.
    void mouseMoveEvent(QMouseEvent* event) override {
        const int y = event->position().toPoint().y() - HeaderHeight();
        if (!(event->buttons() & Qt::LeftButton) || y < 0 || !m_grid->model())
            return;
        const qint64 row = qMin<qint64>(m_grid->RowAtY(y), m_grid->RowCount() - 1);
        if (row >= 0 && row != m_grid->currentIndex().row())
            m_grid->SelectLines(Qt::Vertical, int(row), Qt::ShiftModifier);
    }

    void mouseReleaseEvent(QMouseEvent* event) override { event->accept(); }

    // The wheel over the indicator scrolls the rows, as over the cells.
    void wheelEvent(QWheelEvent* event) override { QApplication::sendEvent(m_grid->viewport(), event); }

private:
    int HeaderHeight() const {
        return m_grid->horizontalHeader()->isHidden() ? 0 : m_grid->horizontalHeader()->height();
    }

    TResultGrid* m_grid;
};

TResultGrid::TResultGrid(QWidget* parent)
    : QAbstractItemView(parent)
    , m_header(new TResultHeader(this))
    , m_indicator(new TRowIndicator(this))
    , m_rowHeight(fontMetrics().height() + 4) {
    // Before anything asks for the grid's interface: Qt keeps the first one made.
    static const bool accessible = (QAccessible::installFactory(&ResultGridAccessible::Factory), true);
    Q_UNUSED(accessible);
    setObjectName(QStringLiteral("GrdResults"));
    setAccessibleName(QStringLiteral("Ergebnis"));
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    setSelectionBehavior(QAbstractItemView::SelectItems);
    setEditTriggers(QAbstractItemView::DoubleClicked | QAbstractItemView::EditKeyPressed |
                    QAbstractItemView::AnyKeyPressed);
    setTabKeyNavigation(true);
    setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
    setItemDelegate(new TResultCellDelegate(this));
    m_header->setSectionResizeMode(QHeaderView::Interactive);
    m_header->setSectionsClickable(true);
    m_header->setHighlightSections(false);
    m_header->setFocusPolicy(Qt::NoFocus);
    QFont bold = m_header->font();
    bold.setBold(true);
    m_header->setFont(bold);
    connect(m_header, &QHeaderView::sectionResized, this, [this] {
        updateGeometries();
        viewport()->update();
    });
    connect(m_header, &QHeaderView::sectionMoved, viewport(), qOverload<>(&QWidget::update));
    connect(m_header, &QHeaderView::sectionCountChanged, this, &TResultGrid::updateGeometries);
    connect(m_header, &QHeaderView::geometriesChanged, this, &TResultGrid::updateGeometries);
    connect(m_header, &QHeaderView::sectionPressed, this,
            [this](int column) { SelectLines(Qt::Horizontal, column, QApplication::keyboardModifiers()); });
    connect(m_header, &QHeaderView::sectionEntered, this, [this](int column) {
        if (QApplication::mouseButtons() & Qt::LeftButton)
            SelectLines(Qt::Horizontal, column, Qt::ShiftModifier);
    });
    connect(m_header, &QHeaderView::sectionHandleDoubleClicked, this, &TResultGrid::FitColumn);
}

TResultGrid::~TResultGrid() {
    // The header goes with the widgets below; its last signals must not reach a grid that is
    // no longer one.
    m_header->disconnect(this);
}

void TResultGrid::setModel(QAbstractItemModel* newModel) {
    if (newModel == model())
        return;
    if (model())
        disconnect(model(), nullptr, this, nullptr);
    QAbstractItemView::setModel(newModel);
    m_header->setModel(newModel);
    if (newModel) {
        connect(newModel, &QAbstractItemModel::rowsInserted, this, &TResultGrid::RowsChanged);
        connect(newModel, &QAbstractItemModel::rowsRemoved, this, &TResultGrid::RowsChanged);
        connect(newModel, &QAbstractItemModel::modelReset, this, &TResultGrid::RowsChanged);
        connect(newModel, &QAbstractItemModel::layoutChanged, this, &TResultGrid::RowsChanged);
        connect(newModel, &QAbstractItemModel::headerDataChanged, this, [this](Qt::Orientation orientation) {
            if (orientation == Qt::Vertical)
                m_indicator->update();
        });
    }
    RowsChanged();
}

TResultModel* TResultGrid::ResultModel() const {
    return qobject_cast<TResultModel*>(model());
}

int TResultGrid::columnWidth(int column) const {
    return m_header->sectionSize(column);
}

void TResultGrid::setColumnWidth(int column, int width) {
    m_header->resizeSection(column, width);
}

int TResultGrid::PixelsOf(int characters) const {
    return characters * fontMetrics().averageCharWidth() + 8;
}

int TResultGrid::CharactersOf(int pixels) const {
    return qMax(1, (pixels - 8 + fontMetrics().averageCharWidth() / 2) /
                       qMax(1, fontMetrics().averageCharWidth()));
}

int TResultGrid::TopRow() const {
    return verticalScrollBar()->value();
}

int TResultGrid::RowCount() const {
    return model() ? model()->rowCount() : 0;
}

int TResultGrid::FullRows() const {
    return qMax(1, viewport()->height() / m_rowHeight);
}

int TResultGrid::RowsToPixels(qint64 rows) const {
    const qint64 near = NearPixels / m_rowHeight;
    qint64 pixels = rows * m_rowHeight;
    if (rows > near)
        pixels = (near + 1) * m_rowHeight + (rows - near - 1);
    else if (rows < -near)
        pixels = -near * m_rowHeight + (rows + near);
    constexpr qint64 limit = std::numeric_limits<int>::max() / 2;
    return int(qBound(-limit, pixels, limit));
}

qint64 TResultGrid::PixelsToRows(int pixels) const {
    const qint64 near = NearPixels / m_rowHeight;
    const qint64 y = pixels;
    if (y >= (near + 1) * m_rowHeight)
        return near + 1 + (y - (near + 1) * m_rowHeight);
    if (y < -near * m_rowHeight)
        return y + near * m_rowHeight - near;
    return y >= 0 ? y / m_rowHeight : -((-y + m_rowHeight - 1) / m_rowHeight);
}

bool TResultGrid::IsNear(qint64 rows) const {
    return qAbs(rows) <= NearPixels / m_rowHeight;
}

qint64 TResultGrid::RowAtY(int y) const {
    return TopRow() + PixelsToRows(y);
}

int TResultGrid::RowY(qint64 row) const {
    return RowsToPixels(row - TopRow());
}

// The nearest column shown from visual position `visual` on in direction `step`, -1 if none.
int TResultGrid::VisibleColumn(int visual, int step) const {
    for (; visual >= 0 && visual < m_header->count(); visual += step)
        if (!m_header->isSectionHidden(m_header->logicalIndex(visual)))
            return visual;
    return -1;
}

void TResultGrid::RowsChanged() {
    updateGeometries();
    viewport()->update();
    m_indicator->update();
}

void TResultGrid::SelectLines(Qt::Orientation orientation, int line, Qt::KeyboardModifiers modifiers) {
    const int rows = RowCount();
    const int columns = model() ? model()->columnCount() : 0;
    if (rows == 0 || columns == 0)
        return;
    const bool ofRows = orientation == Qt::Vertical;
    TLineAnchor& anchor = ofRows ? m_rowAnchor : m_columnAnchor;
    const QModelIndex current = currentIndex();
    const int currentLine = !current.isValid() ? -1 : ofRows ? current.row() : current.column();
    // Once the current cell has moved elsewhere, Shift starts from there.
    if (currentLine != anchor.last || anchor.from >= (ofRows ? rows : columns))
        anchor.from = currentLine;
    if (!(modifiers & Qt::ShiftModifier) || anchor.from < 0)
        anchor.from = line;
    anchor.last = line;
    const int first = qMin(anchor.from, line);
    const int last = qMax(anchor.from, line);
    // Whole rows or columns are a single range, however many rows they span.
    const QItemSelection lines =
        ofRows ? QItemSelection(model()->index(first, 0), model()->index(last, columns - 1))
               : QItemSelection(model()->index(0, first), model()->index(rows - 1, last));
    QItemSelectionModel::SelectionFlags command = QItemSelectionModel::ClearAndSelect;
    if ((modifiers & Qt::ControlModifier) && !(modifiers & Qt::ShiftModifier)) {
        // Qt's isColumnSelected asks every row; a line taken whole lies in one range.
        const QItemSelection ranges = selectionModel()->selection();
        const bool selected =
            std::any_of(ranges.begin(), ranges.end(), [&](const QItemSelectionRange& range) {
                return ofRows ? range.top() <= line && range.bottom() >= line && range.left() == 0 &&
                                    range.right() == columns - 1
                              : range.left() <= line && range.right() >= line && range.top() == 0 &&
                                    range.bottom() == rows - 1;
            });
        command = selected ? QItemSelectionModel::Deselect : QItemSelectionModel::Select;
    }
    // A column keeps the current record: choosing one must not post or leave it.
    const int row = ofRows ? line : current.isValid() ? current.row() : TopRow();
    const int column = ofRows ? qMax(0, current.column()) : line;
    // The line clicked is on screen: the view stays where the user scrolled to, even when the
    // current record lies elsewhere.
    const bool autoScroll = hasAutoScroll();
    setAutoScroll(false);
    selectionModel()->setCurrentIndex(model()->index(row, column), QItemSelectionModel::NoUpdate);
    setAutoScroll(autoScroll);
    selectionModel()->select(lines, command);
}

QRect TResultGrid::visualRect(const QModelIndex& index) const {
    if (!index.isValid() || index.model() != model() || m_header->isSectionHidden(index.column()))
        return {};
    // The last pixel of each side belongs to the grid lines. A far row is one pixel high, as
    // far rows lie one pixel apart.
    const bool near = IsNear(qint64(index.row()) - TopRow());
    return QRect(m_header->sectionViewportPosition(index.column()), RowY(index.row()),
                 m_header->sectionSize(index.column()) - 1, near ? m_rowHeight - 1 : 1);
}

QModelIndex TResultGrid::indexAt(const QPoint& point) const {
    if (!model())
        return {};
    const qint64 row = RowAtY(point.y());
    const int column = m_header->logicalIndexAt(point.x());
    if (point.y() < 0 || row >= RowCount() || column < 0)
        return {};
    return model()->index(int(row), column);
}

void TResultGrid::scrollTo(const QModelIndex& index, ScrollHint hint) {
    if (!index.isValid() || index.model() != model())
        return;
    const int row = index.row();
    const int rows = FullRows();
    int top = TopRow();
    switch (hint) {
    case EnsureVisible:
        if (row < top)
            top = row;
        else if (row >= top + rows)
            top = row - rows + 1;
        break;
    case PositionAtTop:
        top = row;
        break;
    case PositionAtBottom:
        top = row - rows + 1;
        break;
    case PositionAtCenter:
        top = row - rows / 2;
        break;
    }
    verticalScrollBar()->setValue(top);

    const int column = index.column();
    if (m_header->isSectionHidden(column))
        return;
    const int left = m_header->sectionPosition(column);
    const int right = left + m_header->sectionSize(column);
    const int width = viewport()->width();
    int offset = horizontalScrollBar()->value();
    if (left < offset)
        offset = left;
    else if (right > offset + width)
        offset = qMin(left, right - width);
    horizontalScrollBar()->setValue(offset);
}

QModelIndex TResultGrid::moveCursor(CursorAction cursorAction, Qt::KeyboardModifiers modifiers) {
    const int rows = RowCount();
    const int first = VisibleColumn(0, 1);
    const int last = VisibleColumn(m_header->count() - 1, -1);
    if (!model() || rows == 0 || first < 0)
        return {};
    const QModelIndex current = currentIndex();
    if (!current.isValid())
        return model()->index(0, m_header->logicalIndex(first));
    int row = current.row();
    int visual = m_header->visualIndex(current.column());
    const auto to = [&visual](int found) {
        if (found >= 0)
            visual = found;
        return found >= 0;
    };
    switch (cursorAction) {
    case MoveUp:
        row = qMax(0, row - 1);
        break;
    case MoveDown:
        row = qMin(rows - 1, row + 1);
        break;
    case MoveLeft:
        to(VisibleColumn(visual - 1, -1));
        break;
    case MoveRight:
        to(VisibleColumn(visual + 1, 1));
        break;
    case MovePageUp:
        row = qMax(0, row - FullRows());
        break;
    case MovePageDown:
        row = int(qMin<qint64>(rows - 1, qint64(row) + FullRows()));
        break;
    case MoveHome:
        visual = first;
        if (modifiers & Qt::ControlModifier)
            row = 0;
        break;
    case MoveEnd:
        visual = last;
        if (modifiers & Qt::ControlModifier)
            row = rows - 1;
        break;
    case MoveNext:
        if (!to(VisibleColumn(visual + 1, 1)) && row < rows - 1) {
            ++row;
            visual = first;
        }
        break;
    case MovePrevious:
        if (!to(VisibleColumn(visual - 1, -1)) && row > 0) {
            --row;
            visual = last;
        }
        break;
    }
    return model()->index(row, m_header->logicalIndex(visual));
}

int TResultGrid::horizontalOffset() const {
    return horizontalScrollBar()->value();
}

int TResultGrid::verticalOffset() const {
    // Counted from the top row at the last mouse press: Qt keeps the pressed point as position
    // plus offset, and a drag from there must stay in int range however far down it happens.
    return RowsToPixels(qint64(TopRow()) - m_pressTop);
}

void TResultGrid::mousePressEvent(QMouseEvent* event) {
    m_pressTop = TopRow();
    QAbstractItemView::mousePressEvent(event);
}

void TResultGrid::mouseMoveEvent(QMouseEvent* event) {
    QAbstractItemView::mouseMoveEvent(event);
    // A drag held past an edge goes on scrolling. Qt's own view only starts that over a cell
    // that is already current, which a point beyond the edge never is: every row has a cell
    // there. The moves Qt makes up while scrolling leave the running timer alone.
    const int margin = autoScrollMargin();
    if (state() == DragSelectingState && (event->buttons() & Qt::LeftButton) &&
        event->source() != Qt::MouseEventSynthesizedByQt &&
        !viewport()->rect().adjusted(margin, margin, -margin, -margin).contains(event->position().toPoint()))
        startAutoScroll();
}

void TResultGrid::FitColumn(int column) {
    const int fit = qMax(sizeHintForColumn(column), m_header->sectionSizeHint(column));
    m_header->resizeSection(column, qMax(m_header->minimumSectionSize(), qMin(fit, viewport()->width())));
}

void TResultGrid::wheelEvent(QWheelEvent* event) {
    // Shift turns the wheel sideways, as a mouse without a tilt wheel has no other way.
    if ((event->modifiers() & Qt::ShiftModifier) && event->angleDelta().x() == 0) {
        QWheelEvent sideways(event->position(), event->globalPosition(), event->pixelDelta().transposed(),
                             event->angleDelta().transposed(), event->buttons(),
                             event->modifiers() & ~Qt::ShiftModifier, event->phase(), event->inverted(),
                             event->source());
        QApplication::sendEvent(horizontalScrollBar(), &sideways);
        event->setAccepted(sideways.isAccepted());
        return;
    }
    QAbstractItemView::wheelEvent(event);
}

int TResultGrid::sizeHintForColumn(int column) const {
    // Only the rows on screen are measured: a column fits what the user sees, in no time.
    if (!model() || column < 0 || column >= model()->columnCount())
        return -1;
    QStyleOptionViewItem option;
    initViewItemOption(&option);
    int width = -1;
    const int last = int(qMin<qint64>(RowCount() - 1, qint64(TopRow()) + FullRows()));
    for (int row = TopRow(); row <= last; ++row) {
        const QModelIndex index = model()->index(row, column);
        width = qMax(width, itemDelegateForIndex(index)->sizeHint(option, index).width() + 1);
    }
    return width;
}

bool TResultGrid::isIndexHidden(const QModelIndex& index) const {
    return m_header->isSectionHidden(index.column());
}

void TResultGrid::setSelection(const QRect& rect, QItemSelectionModel::SelectionFlags command) {
    const int rows = RowCount();
    if (!model() || rows == 0 || VisibleColumn(0, 1) < 0)
        return;
    const QRect area = rect.normalized();
    const int top = int(qBound(qint64(0), RowAtY(area.top()), qint64(rows) - 1));
    const int bottom = int(qBound(qint64(0), RowAtY(area.bottom()), qint64(rows) - 1));
    const auto visualAt = [this](int x) {
        const int visual = m_header->visualIndexAt(x);
        if (visual >= 0)
            return visual;
        return x + m_header->offset() < 0 ? VisibleColumn(0, 1) : VisibleColumn(m_header->count() - 1, -1);
    };
    const int left = qMin(visualAt(area.left()), visualAt(area.right()));
    const int right = qMax(visualAt(area.left()), visualAt(area.right()));
    QItemSelection selection;
    if (!m_header->sectionsMoved()) {
        selection.append(QItemSelectionRange(model()->index(top, left), model()->index(bottom, right)));
    } else {
        for (int visual = left; visual <= right; ++visual) {
            const int column = m_header->logicalIndex(visual);
            selection.append(
                QItemSelectionRange(model()->index(top, column), model()->index(bottom, column)));
        }
    }
    selectionModel()->select(selection, command);
}

QRegion TResultGrid::visualRegionForSelection(const QItemSelection& selection) const {
    QRegion region;
    const int first = TopRow();
    const int last = first + FullRows();
    for (const QItemSelectionRange& range : selection) {
        if (!range.isValid() || range.bottom() < first || range.top() > last)
            continue;
        const int top = RowY(qMax(range.top(), first));
        const int bottom = RowY(qMin(range.bottom(), last)) + m_rowHeight;
        if (!m_header->sectionsMoved()) {
            // Columns in their own order lie side by side: one rectangle covers them.
            const int left = m_header->sectionViewportPosition(range.left());
            const int right =
                m_header->sectionViewportPosition(range.right()) + m_header->sectionSize(range.right());
            region += QRect(left, top, right - left, bottom - top);
            continue;
        }
        for (int column = range.left(); column <= range.right(); ++column)
            if (!m_header->isSectionHidden(column))
                region += QRect(m_header->sectionViewportPosition(column), top, m_header->sectionSize(column),
                                bottom - top);
    }
    return region;
}

void TResultGrid::updateGeometries() {
    // No result, no indicator: an empty panel shows no stray bar.
    const int indicatorWidth = m_header->count() == 0
                                   ? 0
                                   : qMax(fontMetrics().horizontalAdvance(QLatin1Char('M')),
                                          fontMetrics().horizontalAdvance(QChar(0x25B8))) +
                                         2 * style()->pixelMetric(QStyle::PM_HeaderMargin, nullptr, this) + 2;
    const int headerHeight = m_header->isHidden() ? 0 : m_header->sizeHint().height();
    setViewportMargins(indicatorWidth, headerHeight, 0, 0);
    const QRect area = viewport()->geometry();
    m_header->setGeometry(area.left(), area.top() - headerHeight, area.width(), headerHeight);
    m_indicator->setGeometry(area.left() - indicatorWidth, area.top() - headerHeight, indicatorWidth,
                             area.height() + headerHeight);

    const int rows = FullRows();
    verticalScrollBar()->setSingleStep(1);
    verticalScrollBar()->setPageStep(rows);
    verticalScrollBar()->setRange(0, qMax(0, RowCount() - rows));
    horizontalScrollBar()->setSingleStep(qMax(1, 2 * fontMetrics().averageCharWidth()));
    horizontalScrollBar()->setPageStep(qMax(1, area.width()));
    horizontalScrollBar()->setRange(0, qMax(0, m_header->length() - area.width()));
    m_header->setOffset(horizontalScrollBar()->value());
    QAbstractItemView::updateGeometries();
}

void TResultGrid::scrollContentsBy(int dx, int) {
    if (dx != 0)
        m_header->setOffset(horizontalScrollBar()->value());
    updateEditorGeometries();
    viewport()->update();
    m_indicator->update();
}

void TResultGrid::paintEvent(QPaintEvent* event) {
    const QAbstractItemModel* itemModel = model();
    const int rows = RowCount();
    if (!itemModel || rows == 0 || m_header->count() == 0)
        return;
    QPainter painter(viewport());
    QStyleOptionViewItem option;
    initViewItemOption(&option);
    const QRect dirty = event->rect();
    const int firstRow = int(qMax<qint64>(TopRow(), RowAtY(dirty.top())));
    const int lastRow = int(qMin<qint64>(rows - 1, RowAtY(dirty.bottom())));
    int firstVisual = m_header->visualIndexAt(dirty.left());
    int lastVisual = m_header->visualIndexAt(dirty.right());
    if (firstVisual < 0)
        firstVisual = 0;
    if (lastVisual < 0)
        lastVisual = m_header->count() - 1;
    const QModelIndex current = currentIndex();
    const bool focus = (hasFocus() || viewport()->hasFocus()) && current.isValid();
    const QItemSelectionModel* selection = selectionModel();

    for (int row = firstRow; row <= lastRow; ++row) {
        const int y = RowY(row);
        for (int visual = firstVisual; visual <= lastVisual; ++visual) {
            const int column = m_header->logicalIndex(visual);
            if (m_header->isSectionHidden(column))
                continue;
            const QModelIndex index = itemModel->index(row, column);
            QStyleOptionViewItem cell = option;
            // The last pixel of each side belongs to the grid lines.
            cell.rect = QRect(m_header->sectionViewportPosition(column), y, m_header->sectionSize(column) - 1,
                              m_rowHeight - 1);
            if (selection->isSelected(index))
                cell.state |= QStyle::State_Selected;
            if (focus && index == current)
                cell.state |= QStyle::State_HasFocus;
            style()->drawPrimitive(QStyle::PE_PanelItemViewRow, &cell, &painter, this);
            itemDelegateForIndex(index)->paint(&painter, cell, index);
        }
    }

    const QColor lines =
        QColor::fromRgba(uint(style()->styleHint(QStyle::SH_Table_GridLineColor, &option, this)));
    painter.setPen(lines);
    // Lines end where the rows and columns end, as the cells do.
    const int bottom = qMin(dirty.bottom(), RowY(lastRow) + m_rowHeight - 1);
    const int right = qMin(dirty.right(), m_header->length() - m_header->offset() - 1);
    for (int row = firstRow; row <= lastRow; ++row) {
        const int y = RowY(row) + m_rowHeight - 1;
        painter.drawLine(dirty.left(), y, right, y);
    }
    for (int visual = firstVisual; visual <= lastVisual; ++visual) {
        const int column = m_header->logicalIndex(visual);
        if (m_header->isSectionHidden(column))
            continue;
        const int x = m_header->sectionViewportPosition(column) + m_header->sectionSize(column) - 1;
        painter.drawLine(x, dirty.top(), x, bottom);
    }
}

void TResultGrid::changeEvent(QEvent* event) {
    if (event->type() == QEvent::FontChange || event->type() == QEvent::StyleChange) {
        m_rowHeight = fontMetrics().height() + 4;
        updateGeometries();
    }
    QAbstractItemView::changeEvent(event);
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

void TResultGrid::currentChanged(const QModelIndex& current, const QModelIndex& previous) {
    QAbstractItemView::currentChanged(current, previous);
    ResultGridAccessible::NotifyCurrentCell(this, current);
    TResultModel* model = ResultModel();
    if (m_returning || !model || !previous.isValid() || current.row() == previous.row() ||
        model->EditRow() != previous.row())
        return;
    // Leaving a record posts it. When that fails the user is taken back to it, with the
    // values typed, once the view has finished the move.
    try {
        model->PostRecord();
    } catch (const TError& e) {
        const QString message = e.Message();
        const int column = previous.column();
        QTimer::singleShot(0, this, [this, message, column] {
            if (TResultModel* m = ResultModel(); m && m->EditRow() >= 0) {
                m_returning = true;
                setCurrentIndex(m->index(m->EditRow(), column));
                m_returning = false;
            }
            ShowException(TError(message));
        });
    }
}

void TResultGrid::closeEditor(QWidget* editor, QAbstractItemDelegate::EndEditHint hint) {
    QAbstractItemView::closeEditor(editor, hint);
    // Escape in the cell editor puts the whole record back, as the navigator's cancel does.
    if (hint == QAbstractItemDelegate::RevertModelCache)
        if (TResultModel* model = ResultModel())
            model->CancelRecord();
}

void TResultGrid::keyPressEvent(QKeyEvent* event) {
    if (state() != QAbstractItemView::EditingState) {
        if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier && ResultModel() &&
            ResultModel()->EditRow() >= 0) {
            ResultModel()->CancelRecord();
            return;
        }
        if (event->key() == Qt::Key_Insert && event->modifiers() == Qt::NoModifier) {
            emit InsertRequested();
            return;
        }
        if (event->key() == Qt::Key_Delete && event->modifiers() == Qt::ControlModifier) {
            emit DeleteRequested();
            return;
        }
    }
    QAbstractItemView::keyPressEvent(event);
}

bool TResultGrid::event(QEvent* event) {
    // The grid's own keys win over the main window's shortcuts while it has the focus.
    if (event->type() == QEvent::ShortcutOverride) {
        auto* key = static_cast<QKeyEvent*>(event);
        if ((key->key() == Qt::Key_F2 || key->key() == Qt::Key_Insert || key->key() == Qt::Key_Escape) &&
            key->modifiers() == Qt::NoModifier) {
            event->accept();
            return true;
        }
    }
    return QAbstractItemView::event(event);
}
