#include "workspace/ResultGrid.h"

#include <QAbstractTableModel>
#include <QApplication>
#include <QHeaderView>
#include <QScrollBar>
#include <QTest>
#include <QWheelEvent>

#include <malloc.h>

namespace {

// Far more rows than any result store here could hold in a test run, so the view itself is
// what is measured: a row costs the model nothing but its number.
class TManyRows : public QAbstractTableModel {
public:
    explicit TManyRows(int rows)
        : m_rows(rows) {}
    int rowCount(const QModelIndex& parent = {}) const override { return parent.isValid() ? 0 : m_rows; }
    int columnCount(const QModelIndex& parent = {}) const override { return parent.isValid() ? 0 : 4; }
    QVariant data(const QModelIndex& index, int role) const override {
        if (role != Qt::DisplayRole)
            return {};
        // The last column holds a long text, wider than any screen.
        if (index.column() == 3)
            return QStringLiteral("%1/3 ").arg(index.row()) + QString(2000, u'm');
        return QStringLiteral("%1/%2").arg(index.row()).arg(index.column());
    }
    Qt::ItemFlags flags(const QModelIndex& index) const override {
        return QAbstractTableModel::flags(index) | Qt::ItemIsEditable;
    }
    void RemoveLast(int count) {
        beginRemoveRows({}, m_rows - count, m_rows - 1);
        m_rows -= count;
        endRemoveRows();
    }
    void Reset(int rows) {
        beginResetModel();
        m_rows = rows;
        endResetModel();
    }

private:
    int m_rows;
};

qint64 HeapInUse() {
    return qint64(mallinfo2().uordblks);
}

} // namespace

// The grid view on its own: memory per row, the row arithmetic and the keys, on a model of
// 50,000,000 rows.
class TstResultGrid : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void attachingManyRowsKeepsNothingPerRow();
    void keysMoveTheCurrentCell_data();
    void keysMoveTheCurrentCell();
    void positionsMatchCellsAnywhere();
    void shiftClickSelectsAcrossScrolledRows();
    void indicatorClickChoosesTheRow();
    void editorFollowsScrolling();
    void farRowsKeepTheirPlaceInSelections();
    void wheelAndCornerOverTheIndicator();
    void handleDoubleClickFitsTheRowsOnScreen();
    void shiftWheelScrollsSideways();
    void gridLinesEndWithTheColumns();
    void dragHeldBelowTheEdgeGoesOnScrolling();
    void fontChangeResizesRowsTitlesAndIndicator();
    void shiftAndCtrlOnTitlesAndIndicator();
    void fewerRowsKeepAValidPosition();

private:
    static constexpr int Rows = 50'000'000;
    TManyRows* m_model = nullptr;
    TResultGrid* m_grid = nullptr;
};

void TstResultGrid::init() {
    m_model = new TManyRows(Rows);
    m_grid = new TResultGrid(nullptr);
    m_grid->resize(600, 400);
    m_grid->setModel(m_model);
    m_grid->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_grid));
    m_grid->setFocus();
    m_grid->setCurrentIndex(m_model->index(0, 0));
}

void TstResultGrid::cleanup() {
    delete m_grid;
    delete m_model;
}

void TstResultGrid::attachingManyRowsKeepsNothingPerRow() {
    TManyRows other(Rows);
    // Two warm-up rounds so lazily made caches of style and fonts are not counted.
    for (int round = 0; round < 2; ++round) {
        m_grid->setModel(nullptr);
        QApplication::processEvents();
        const qint64 before = HeapInUse();
        m_grid->setModel(&other);
        m_grid->setCurrentIndex(other.index(0, 0));
        QTest::keyClick(m_grid, Qt::Key_End, Qt::ControlModifier);
        m_grid->viewport()->repaint();
        QApplication::processEvents();
        QCOMPARE(m_grid->currentIndex().row(), Rows - 1);
        // A view that kept even one byte per row would have taken 50 MB here.
        QVERIFY2(HeapInUse() - before < 4 << 20,
                 qPrintable(QStringLiteral("%1 bytes").arg(HeapInUse() - before)));
    }
}

void TstResultGrid::keysMoveTheCurrentCell_data() {
    QTest::addColumn<int>("startRow");
    QTest::addColumn<int>("startColumn");
    QTest::addColumn<int>("key");
    QTest::addColumn<int>("modifiers");
    QTest::addColumn<int>("row");
    QTest::addColumn<int>("column");
    const int none = Qt::NoModifier;
    const int ctrl = Qt::ControlModifier;
    QTest::newRow("down") << 5 << 1 << int(Qt::Key_Down) << none << 6 << 1;
    QTest::newRow("up at the top") << 0 << 1 << int(Qt::Key_Up) << none << 0 << 1;
    QTest::newRow("down at the end") << Rows - 1 << 1 << int(Qt::Key_Down) << none << Rows - 1 << 1;
    QTest::newRow("tab wraps to the next row") << 7 << 3 << int(Qt::Key_Tab) << none << 8 << 0;
    QTest::newRow("backtab wraps back") << 8 << 0 << int(Qt::Key_Backtab) << int(Qt::ShiftModifier) << 7 << 3;
    QTest::newRow("home keeps the row") << 9 << 2 << int(Qt::Key_Home) << none << 9 << 0;
    QTest::newRow("ctrl+home") << 9 << 2 << int(Qt::Key_Home) << ctrl << 0 << 0;
    QTest::newRow("ctrl+end") << 9 << 1 << int(Qt::Key_End) << ctrl << Rows - 1 << 3;
    QTest::newRow("page up near the top") << 3 << 0 << int(Qt::Key_PageUp) << none << 0 << 0;
    QTest::newRow("page down at the end") << Rows - 2 << 0 << int(Qt::Key_PageDown) << none << Rows - 1 << 0;
}

void TstResultGrid::keysMoveTheCurrentCell() {
    QFETCH(int, startRow);
    QFETCH(int, startColumn);
    QFETCH(int, key);
    QFETCH(int, modifiers);
    QFETCH(int, row);
    QFETCH(int, column);
    m_grid->setCurrentIndex(m_model->index(startRow, startColumn));
    QTest::keyClick(m_grid, Qt::Key(key), Qt::KeyboardModifiers(modifiers));
    QCOMPARE(m_grid->currentIndex(), m_model->index(row, column));
    // The new current cell is on screen, whole.
    QVERIFY(m_grid->viewport()->rect().contains(m_grid->visualRect(m_grid->currentIndex())));
}

void TstResultGrid::positionsMatchCellsAnywhere() {
    QTest::keyClick(m_grid, Qt::Key_PageDown);
    const int page = m_grid->currentIndex().row();
    QVERIFY(page > 5);
    for (const int row : {0, 1234, Rows / 2, Rows - 1}) {
        const QModelIndex index = m_model->index(row, 2);
        m_grid->scrollTo(index, QAbstractItemView::PositionAtCenter);
        const QRect rect = m_grid->visualRect(index);
        QVERIFY(m_grid->viewport()->rect().contains(rect));
        QCOMPARE(m_grid->indexAt(rect.center()), index);
        QCOMPARE(m_grid->indexAt(rect.center() + QPoint(0, rect.height())),
                 row + 1 < Rows ? m_model->index(row + 1, 2) : QModelIndex());
    }
    // The scroll bar counts rows: its end shows the last row at the bottom.
    m_grid->verticalScrollBar()->setValue(m_grid->verticalScrollBar()->maximum());
    const QRect last = m_grid->visualRect(m_model->index(Rows - 1, 0));
    QVERIFY(m_grid->viewport()->rect().contains(last));
    QVERIFY(last.bottom() + last.height() > m_grid->viewport()->height());
}

void TstResultGrid::shiftClickSelectsAcrossScrolledRows() {
    m_grid->setCurrentIndex(m_model->index(10, 1));
    QTest::mouseClick(m_grid->viewport(), Qt::LeftButton, {},
                      m_grid->visualRect(m_model->index(10, 1)).center());
    m_grid->scrollTo(m_model->index(5000, 2), QAbstractItemView::PositionAtCenter);
    QTest::mouseClick(m_grid->viewport(), Qt::LeftButton, Qt::ShiftModifier,
                      m_grid->visualRect(m_model->index(5000, 2)).center());
    const QItemSelection selection = m_grid->selectionModel()->selection();
    QCOMPARE(selection.size(), 1);
    QCOMPARE(selection.first().topLeft(), m_model->index(10, 1));
    QCOMPARE(selection.first().bottomRight(), m_model->index(5000, 2));
}

void TstResultGrid::indicatorClickChoosesTheRow() {
    m_grid->setCurrentIndex(m_model->index(1000, 2));
    m_grid->scrollTo(m_model->index(1000, 2), QAbstractItemView::PositionAtTop);
    auto* indicator = m_grid->findChild<QWidget*>(QStringLiteral("RowIndicator"));
    QVERIFY(indicator);
    const int y = m_grid->horizontalHeader()->height() + 3 * m_grid->RowHeight() + m_grid->RowHeight() / 2;
    QTest::mouseClick(indicator, Qt::LeftButton, {}, QPoint(indicator->width() / 2, y));
    QCOMPARE(m_grid->currentIndex(), m_model->index(1003, 2));
    QVERIFY(m_grid->selectionModel()->isRowSelected(1003));
}

void TstResultGrid::editorFollowsScrolling() {
    const QModelIndex index = m_model->index(20, 1);
    m_grid->setCurrentIndex(index);
    m_grid->edit(index);
    auto* editor = m_grid->viewport()->findChild<QWidget*>();
    QVERIFY(editor && editor->isVisible());
    const int y = editor->y();
    m_grid->verticalScrollBar()->setValue(m_grid->verticalScrollBar()->value() + 3);
    QCOMPARE(editor->y(), y - 3 * m_grid->RowHeight());
    // Sideways too, and when a column to its left gets wider.
    m_grid->setColumnWidth(3, 2000);
    const int x = editor->x();
    m_grid->horizontalScrollBar()->setValue(30);
    QCOMPARE(editor->x(), x - 30);
    m_grid->setColumnWidth(0, m_grid->columnWidth(0) + 20);
    QCOMPARE(editor->x(), x - 10);
    QCOMPARE(editor->width(), m_grid->visualRect(index).width());
}

void TstResultGrid::farRowsKeepTheirPlaceInSelections() {
    // Rows so high that the whole result spans more pixels than an int counts.
    QFont font = m_grid->font();
    font.setPixelSize(48);
    m_grid->setFont(font);
    QVERIFY(qint64(Rows) * m_grid->RowHeight() > std::numeric_limits<int>::max());
    QTest::mouseClick(m_grid->viewport(), Qt::LeftButton, {},
                      m_grid->visualRect(m_model->index(0, 0)).center());
    const QModelIndex last = m_model->index(Rows - 1, 3);
    m_grid->scrollTo(last);
    QTest::mouseClick(m_grid->viewport(), Qt::LeftButton, Qt::ShiftModifier,
                      m_grid->visualRect(last).center());
    QItemSelection selection = m_grid->selectionModel()->selection();
    QCOMPARE(selection.size(), 1);
    QCOMPARE(selection.first().topLeft(), m_model->index(0, 0));
    QCOMPARE(selection.first().bottomRight(), m_model->index(Rows - 1, 3));

    // A drag near the end that scrolls on the way keeps its starting row.
    const QModelIndex start = m_model->index(Rows - 3, 1);
    m_grid->scrollTo(start, QAbstractItemView::PositionAtTop);
    QTest::mousePress(m_grid->viewport(), Qt::LeftButton, {}, m_grid->visualRect(start).center());
    m_grid->verticalScrollBar()->setValue(m_grid->verticalScrollBar()->maximum());
    const QModelIndex end = m_model->index(Rows - 1, 2);
    const QPoint to = m_grid->visualRect(end).center();
    QMouseEvent move(QEvent::MouseMove, to, m_grid->viewport()->mapToGlobal(to), Qt::NoButton, Qt::LeftButton,
                     Qt::NoModifier);
    QApplication::sendEvent(m_grid->viewport(), &move);
    QTest::mouseRelease(m_grid->viewport(), Qt::LeftButton, {}, to);
    selection = m_grid->selectionModel()->selection();
    QCOMPARE(selection.size(), 1);
    QCOMPARE(selection.first().topLeft(), start);
    QCOMPARE(selection.first().bottomRight(), end);
}

void TstResultGrid::wheelAndCornerOverTheIndicator() {
    auto* indicator = m_grid->findChild<QWidget*>(QStringLiteral("RowIndicator"));
    QVERIFY(indicator);
    const QPoint at(indicator->width() / 2, indicator->height() / 2);
    QWheelEvent wheel(at, indicator->mapToGlobal(at), {}, QPoint(0, -120), Qt::NoButton, Qt::NoModifier,
                      Qt::NoScrollPhase, false);
    QApplication::sendEvent(indicator, &wheel);
    QCOMPARE(m_grid->TopRow(), QApplication::wheelScrollLines());

    QTest::mouseClick(indicator, Qt::LeftButton, {}, QPoint(indicator->width() / 2, 2));
    const QItemSelection selection = m_grid->selectionModel()->selection();
    QCOMPARE(selection.size(), 1);
    QCOMPARE(selection.first().bottomRight(), m_model->index(Rows - 1, 3));
    QCOMPARE(selection.first().topLeft(), m_model->index(0, 0));
}

void TstResultGrid::handleDoubleClickFitsTheRowsOnScreen() {
    QHeaderView* header = m_grid->horizontalHeader();
    header->resizeSection(1, 10);
    m_grid->scrollTo(m_model->index(Rows - 1, 0));
    QTest::mouseDClick(
        header->viewport(), Qt::LeftButton, {},
        QPoint(header->sectionViewportPosition(1) + header->sectionSize(1) - 1, header->height() / 2));
    const int text = m_grid->fontMetrics().horizontalAdvance(QStringLiteral("49999999/1"));
    QVERIFY2(header->sectionSize(1) > text, qPrintable(QString::number(header->sectionSize(1))));
    // A column of long texts is fitted to the viewport, no wider.
    header->resizeSection(3, 10);
    QTest::mouseDClick(
        header->viewport(), Qt::LeftButton, {},
        QPoint(header->sectionViewportPosition(3) + header->sectionSize(3) - 1, header->height() / 2));
    QCOMPARE(header->sectionSize(3), m_grid->viewport()->width());
}

void TstResultGrid::shiftWheelScrollsSideways() {
    m_grid->setColumnWidth(3, 2000);
    m_grid->scrollTo(m_model->index(100, 0), QAbstractItemView::PositionAtTop);
    const QPoint at = m_grid->viewport()->rect().center();
    const auto wheel = [this, at](Qt::KeyboardModifiers modifiers) {
        QWheelEvent event(at, m_grid->viewport()->mapToGlobal(at), {}, QPoint(0, -120), Qt::NoButton, modifiers,
                          Qt::NoScrollPhase, false);
        QApplication::sendEvent(m_grid->viewport(), &event);
    };
    wheel(Qt::ShiftModifier);
    QCOMPARE(m_grid->TopRow(), 100);
    const int right = m_grid->horizontalScrollBar()->value();
    QVERIFY(right > 0);
    QCOMPARE(m_grid->horizontalHeader()->offset(), right);
    wheel(Qt::NoModifier);
    QCOMPARE(m_grid->TopRow(), 100 + QApplication::wheelScrollLines());
    QCOMPARE(m_grid->horizontalScrollBar()->value(), right);
}

void TstResultGrid::gridLinesEndWithTheColumns() {
    QHeaderView* header = m_grid->horizontalHeader();
    for (int column = 0; column < 4; ++column)
        header->resizeSection(column, 60);
    const QImage image = m_grid->viewport()->grab().toImage();
    const int y = m_grid->RowHeight() - 1;
    const QColor line = image.pixelColor(60 - 1, y + 3);
    QCOMPARE(image.pixelColor(30, y), line);
    QVERIFY(image.pixelColor(header->length() + 10, y) != line);
}

void TstResultGrid::dragHeldBelowTheEdgeGoesOnScrolling() {
    const QModelIndex start = m_model->index(2, 1);
    QTest::mousePress(m_grid->viewport(), Qt::LeftButton, {}, m_grid->visualRect(start).center());
    const QPoint below(m_grid->visualRect(start).center().x(), m_grid->viewport()->height() + 20);
    QCursor::setPos(m_grid->viewport()->mapToGlobal(below));
    QMouseEvent move(QEvent::MouseMove, below, m_grid->viewport()->mapToGlobal(below), Qt::NoButton,
                     Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(m_grid->viewport(), &move);
    // The mouse holds still; the rows keep coming.
    QTRY_VERIFY(m_grid->TopRow() > 10);
    QTest::mouseRelease(m_grid->viewport(), Qt::LeftButton, {}, below);
    const QItemSelection selection = m_grid->selectionModel()->selection();
    QCOMPARE(selection.size(), 1);
    QCOMPARE(selection.first().topLeft(), start);
    QVERIFY(selection.first().bottom() > 10 + m_grid->viewport()->height() / m_grid->RowHeight() - 2);
}

void TstResultGrid::fontChangeResizesRowsTitlesAndIndicator() {
    auto* indicator = m_grid->findChild<QWidget*>(QStringLiteral("RowIndicator"));
    QHeaderView* header = m_grid->horizontalHeader();
    const int rowHeight = m_grid->RowHeight();
    QFont font = m_grid->font();
    font.setPixelSize(3 * QFontInfo(font).pixelSize());
    m_grid->setFont(font);
    QApplication::processEvents();
    QVERIFY(m_grid->RowHeight() > 2 * rowHeight);
    QCOMPARE(header->height(), header->sizeHint().height());
    QVERIFY(header->height() > m_grid->fontMetrics().height());
    QVERIFY(indicator->width() > m_grid->fontMetrics().horizontalAdvance(QChar(0x25B8)));
    QCOMPARE(m_grid->viewport()->y(), header->geometry().bottom() + 1);
    QCOMPARE(m_grid->verticalScrollBar()->pageStep(), m_grid->viewport()->height() / m_grid->RowHeight());
}

void TstResultGrid::shiftAndCtrlOnTitlesAndIndicator() {
    QHeaderView* header = m_grid->horizontalHeader();
    const auto title = [header](int column) {
        return QPoint(header->sectionViewportPosition(column) + header->sectionSize(column) / 2,
                      header->height() / 2);
    };
    QItemSelectionModel* selection = m_grid->selectionModel();
    m_grid->setCurrentIndex(m_model->index(40, 0));
    // The view stays where it was scrolled to, away from the current record.
    m_grid->verticalScrollBar()->setValue(5000);
    QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, title(1));
    QCOMPARE(m_grid->TopRow(), 5000);
    QTest::mouseClick(header->viewport(), Qt::LeftButton, Qt::ShiftModifier, title(3));
    QCOMPARE(selection->selection().size(), 1);
    QCOMPARE(selection->selection().first().topLeft(), m_model->index(0, 1));
    QCOMPARE(selection->selection().first().bottomRight(), m_model->index(Rows - 1, 3));
    QCOMPARE(m_grid->currentIndex(), m_model->index(40, 3));
    QTest::mouseClick(header->viewport(), Qt::LeftButton, Qt::ControlModifier, title(2));
    // Qt's isColumnSelected would ask all rows.
    QCOMPARE(selection->selection(),
             QItemSelection(m_model->index(0, 1), m_model->index(Rows - 1, 1))
                 << QItemSelectionRange(m_model->index(0, 3), m_model->index(Rows - 1, 3)));
    QTest::mouseClick(header->viewport(), Qt::LeftButton, Qt::ControlModifier, title(2));
    QCOMPARE(selection->selection().size(), 3);

    auto* indicator = m_grid->findChild<QWidget*>(QStringLiteral("RowIndicator"));
    const auto row = [this, header, indicator](int onScreen) {
        return QPoint(indicator->width() / 2, header->height() + onScreen * m_grid->RowHeight() + 2);
    };
    const int top = m_grid->TopRow();
    QTest::mouseClick(indicator, Qt::LeftButton, {}, row(2));
    QTest::mouseClick(indicator, Qt::LeftButton, Qt::ShiftModifier, row(5));
    QCOMPARE(selection->selection().size(), 1);
    QCOMPARE(selection->selection().first().topLeft(), m_model->index(top + 2, 0));
    QCOMPARE(selection->selection().first().bottomRight(), m_model->index(top + 5, 3));
    QTest::mouseClick(indicator, Qt::LeftButton, Qt::ControlModifier, row(8));
    QVERIFY(selection->isRowSelected(top + 8) && selection->isRowSelected(top + 3));
    QVERIFY(!selection->isRowSelected(top + 7));
    // Shift after a click on a cell starts from that cell's row.
    QTest::mouseClick(m_grid->viewport(), Qt::LeftButton, {},
                      m_grid->visualRect(m_model->index(top + 10, 1)).center());
    QTest::mouseClick(indicator, Qt::LeftButton, Qt::ShiftModifier, row(12));
    QCOMPARE(selection->selection(),
             QItemSelection(m_model->index(top + 10, 0), m_model->index(top + 12, 3)));
}

void TstResultGrid::fewerRowsKeepAValidPosition() {
    QScrollBar* bar = m_grid->verticalScrollBar();
    bar->setValue(bar->maximum());
    m_model->RemoveLast(5);
    QCOMPARE(bar->maximum(), Rows - 5 - bar->pageStep());
    QCOMPARE(m_grid->TopRow(), bar->maximum());
    QVERIFY(m_grid->viewport()->rect().contains(m_grid->visualRect(m_model->index(Rows - 6, 0))));
    // A short result in place of a long one starts at its top, with nothing to scroll.
    m_model->Reset(10);
    QCOMPARE(bar->maximum(), 0);
    QCOMPARE(m_grid->TopRow(), 0);
    QCOMPARE(m_grid->indexAt(m_grid->visualRect(m_model->index(9, 0)).center()), m_model->index(9, 0));
}

QTEST_MAIN(TstResultGrid)
#include "tst_resultgrid.moc"
