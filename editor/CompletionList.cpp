#include "editor/CompletionList.h"

#include "editor/SqlCompletion.h"

#include <QGuiApplication>
#include <QScreen>

TCompletionList::TCompletionList(QWidget* editor, const QStringList& entries)
    : QListWidget(editor) {
    setObjectName(QStringLiteral("CompletionList"));
    // A tool tip window: shown without activation and never given the focus.
    setWindowFlags(Qt::ToolTip | Qt::FramelessWindowHint);
    setAttribute(Qt::WA_ShowWithoutActivating);
    setFocusPolicy(Qt::NoFocus);
    setFont(editor->font());
    setUniformItemSizes(true);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    for (const QString& entry : entries) {
        auto* item = new QListWidgetItem(entry, this);
        item->setSizeHint(QSize(ListWidth - 30, RowHeight));
    }
    setFrameShape(QFrame::Box);
    setLineWidth(1);
    setFixedSize(ListWidth, VisibleRows * RowHeight + 2 * frameWidth());
    connect(this, &QListWidget::itemClicked, this, [this](QListWidgetItem* item) {
        setCurrentItem(item);
        emit EntryClicked();
    });
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

void TCompletionList::SetEntries(const QStringList& entries) {
    setUpdatesEnabled(false);
    clear();
    // Rows are all alike: the first row's size stands for every row.
    addItems(entries);
    if (count() > 0) {
        item(0)->setSizeHint(QSize(ListWidth - 30, RowHeight));
        setCurrentRow(0);
        scrollToItem(item(0));
    }
    setUpdatesEnabled(true);
}

void TCompletionList::SelectFor(QStringView word) {
    const int match = TSqlCompletion::FirstMatch(word);
    if (match < 0) {
        setCurrentRow(-1);
        clearSelection();
        return;
    }
    setCurrentRow(match);
    scrollToItem(item(match));
}

QString TCompletionList::Selected() const {
    const QList<QListWidgetItem*> items = selectedItems();
    return items.isEmpty() ? QString() : items.first()->text();
}

bool TCompletionList::Navigate(int key) {
    const int last = count() - 1;
    const int row = selectedItems().isEmpty() ? -1 : currentRow();
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
    setCurrentRow(target);
    scrollToItem(item(target));
    return true;
}
