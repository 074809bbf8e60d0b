#include "workspace/ResultGrid.h"

#include "settings/Error.h"
#include "ui/ErrorHandler.h"
#include "workspace/ResultModel.h"

#include <QApplication>
#include <QHeaderView>
#include <QKeyEvent>
#include <QTimer>

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
    rows->setMinimumWidth(fontMetrics().horizontalAdvance(QLatin1Char('M')) + 6);
    rows->setDefaultAlignment(Qt::AlignCenter);
    QHeaderView* columns = horizontalHeader();
    columns->setSectionResizeMode(QHeaderView::Interactive);
    columns->setHighlightSections(false);
    QFont bold = columns->font();
    bold.setBold(true);
    columns->setFont(bold);
}

TResultModel* TResultGrid::ResultModel() const {
    return qobject_cast<TResultModel*>(model());
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

void TResultGrid::currentChanged(const QModelIndex& current, const QModelIndex& previous) {
    QTableView::currentChanged(current, previous);
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
    QTableView::closeEditor(editor, hint);
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
    QTableView::keyPressEvent(event);
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
    return QTableView::event(event);
}
