#include "editor/CompletionList.h"

#include "editor/SqlCompletion.h"

#include <QGuiApplication>
#include <QScreen>
#include <QStringListModel>
#include <QStyledItemDelegate>

namespace {

// Every row is RowHeight pixels high, whatever the font would ask for.
class TRowDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override {
        return {QStyledItemDelegate::sizeHint(option, index).width(), TCompletionList::RowHeight};
    }
};

} // namespace

TCompletionList::TCompletionList(QWidget* editor, const QStringList& entries)
    : QListView(editor) {
    setObjectName(QStringLiteral("CompletionList"));
    // A tool tip window: shown without activation and never given the focus.
    setWindowFlags(Qt::ToolTip | Qt::FramelessWindowHint);
    setAttribute(Qt::WA_ShowWithoutActivating);
    setFocusPolicy(Qt::NoFocus);
    setFont(editor->font());
    setUniformItemSizes(true);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    setItemDelegate(new TRowDelegate(this));
    m_model = new QStringListModel(entries, this);
    setModel(m_model);
    setFrameShape(QFrame::Box);
    setLineWidth(1);
    setFixedSize(ListWidth, VisibleRows * RowHeight + 2 * frameWidth());
    connect(this, &QListView::clicked, this, [this](const QModelIndex& index) {
        SelectRow(index.row());
        emit EntryClicked();
    });
}

void TCompletionList::SetEntries(const QStringList& entries) {
    m_model->setStringList(entries);
    SelectRow(entries.isEmpty() ? -1 : 0);
}

int TCompletionList::count() const {
    return m_model->rowCount();
}

QString TCompletionList::EntryText(int row) const {
    return m_model->index(row).data().toString();
}

QRect TCompletionList::RowRect(int row) const {
    return visualRect(m_model->index(row));
}

void TCompletionList::Open(int caretX, int lineTop, int lineBottom) {
    QPoint pos(caretX, lineBottom);
    const QScreen* screen = QGuiApplication::screenAt(QPoint(caretX, lineTop));
    if (!screen)
        screen = parentWidget() ? parentWidget()->screen() : QGuiApplication::primaryScreen();
    if (screen) {
        const QRect area = screen->geometry();
        if (pos.y() + height() > area.bottom() + 1)
            pos.setY(lineTop - height());
    }
    move(pos);
    show();
    raise();
}

void TCompletionList::SelectRow(int row) {
    if (row < 0) {
        setCurrentIndex(QModelIndex());
        clearSelection();
        return;
    }
    const QModelIndex index = m_model->index(row);
    setCurrentIndex(index);
    scrollTo(index);
}

void TCompletionList::SelectFor(QStringView word) {
    SelectRow(TSqlCompletion::FirstMatch(word));
}

int TCompletionList::SelectedRow() const {
    const QModelIndexList rows = selectionModel()->selectedIndexes();
    return rows.isEmpty() ? -1 : rows.first().row();
}

QString TCompletionList::Selected() const {
    const int row = SelectedRow();
    return row < 0 ? QString() : EntryText(row);
}

bool TCompletionList::Navigate(int key) {
    const int last = count() - 1;
    if (last < 0)
        return key == Qt::Key_Up || key == Qt::Key_Down || key == Qt::Key_PageUp || key == Qt::Key_PageDown ||
               key == Qt::Key_Home || key == Qt::Key_End;
    const int row = SelectedRow();
    int target = row;
    switch (key) {
    case Qt::Key_Up:
        target = row < 0 ? 0 : qMax(0, row - 1);
        break;
    case Qt::Key_Down:
        target = qMin(last, row + 1);
        break;
    case Qt::Key_PageUp:
        target = qMax(0, row - (VisibleRows - 1));
        break;
    case Qt::Key_PageDown:
        target = qMin(last, qMax(0, row) + (VisibleRows - 1));
        break;
    case Qt::Key_Home:
        target = 0;
        break;
    case Qt::Key_End:
        target = last;
        break;
    default:
        return false;
    }
    SelectRow(target);
    return true;
}
