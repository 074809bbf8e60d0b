#include "workspace/DbNavigator.h"

#include "data/Recordset.h"
#include "ui/ErrorHandler.h"
#include "ui/MsgBox.h"
#include "workspace/HeaderBar.h"
#include "workspace/ResultGrid.h"
#include "workspace/ResultModel.h"

#include <QAbstractItemDelegate>
#include <QAction>
#include <QApplication>
#include <QStyle>

TDbNavigator::TDbNavigator(TResultGrid* grid, TResultModel* model, QWidget* parent)
    : QToolBar(parent)
    , m_grid(grid)
    , m_model(model) {
    setObjectName(QStringLiteral("Nav"));
    // Ten buttons in 200 pixels at the design's font: small icons, no handle, no padding; a
    // larger font makes them larger, so none is cut off.
    const double scale = FontScale(this);
    const int icon = int(12 * scale + 0.5);
    setIconSize(QSize(icon, icon));
    setMovable(false);
    setFloatable(false);
    setContentsMargins(0, 0, 0, 0);
    setStyleSheet(QStringLiteral("QToolBar { border: 0; padding: 0; spacing: 0; } "
                                 "QToolButton { padding: 1px; margin: 0; }"));
    setFixedWidth(int(200 * scale + 0.5));
    QStyle* style = QApplication::style();
    AddButton("NavFirst", "Erster Datensatz", style->standardIcon(QStyle::SP_MediaSkipBackward),
              &TDbNavigator::NavFirst);
    AddButton("NavPrior", "Vorheriger Datensatz", style->standardIcon(QStyle::SP_MediaSeekBackward),
              &TDbNavigator::NavPrior);
    AddButton("NavNext", "Nächster Datensatz", style->standardIcon(QStyle::SP_MediaSeekForward),
              &TDbNavigator::NavNext);
    AddButton("NavLast", "Letzter Datensatz", style->standardIcon(QStyle::SP_MediaSkipForward),
              &TDbNavigator::NavLast);
    AddButton("NavInsert", "Datensatz einfügen", style->standardIcon(QStyle::SP_FileDialogNewFolder),
              &TDbNavigator::NavInsert);
    AddButton("NavDelete", "Datensatz löschen", style->standardIcon(QStyle::SP_TrashIcon),
              &TDbNavigator::NavDelete);
    AddButton("NavEdit", "Datensatz bearbeiten", style->standardIcon(QStyle::SP_FileDialogDetailedView),
              &TDbNavigator::NavEdit);
    AddButton("NavPost", "Daten aktualisieren", style->standardIcon(QStyle::SP_DialogApplyButton),
              &TDbNavigator::NavPost);
    AddButton("NavCancel", "Bearbeitung abbrechen", style->standardIcon(QStyle::SP_DialogCancelButton),
              &TDbNavigator::NavCancel);
    AddButton("NavRefresh", "Daten aktualisieren", style->standardIcon(QStyle::SP_BrowserReload),
              &TDbNavigator::NavRefresh);
    connect(m_model, &QAbstractItemModel::modelReset, this, &TDbNavigator::UpdateButtons);
    connect(m_model, &TResultModel::StateChanged, this, &TDbNavigator::UpdateButtons);
    connect(m_grid, &TResultGrid::InsertRequested, this, [this] { RunGuarded([this] { NavInsert(); }); });
    connect(m_grid, &TResultGrid::DeleteRequested, this, [this] { RunGuarded([this] { NavDelete(); }); });
    UpdateButtons();
}

QAction* TDbNavigator::AddButton(const char* name, const char* hint, const QIcon& icon,
                                 void (TDbNavigator::*handler)()) {
    QAction* action = addAction(icon, QString::fromUtf8(hint));
    action->setObjectName(QLatin1String(name));
    connect(action, &QAction::triggered, this,
            [this, handler] { RunGuarded([this, handler] { (this->*handler)(); }); });
    return action;
}

QAction* TDbNavigator::Button(const QString& name) const {
    return findChild<QAction*>(name);
}

void TDbNavigator::UpdateButtons() {
    const bool rows = m_model->rowCount() > 0;
    const bool editable = m_model->Editable();
    const bool editing = m_model->EditRow() >= 0;
    for (const char* name : {"NavFirst", "NavPrior", "NavNext", "NavLast"})
        Button(QLatin1String(name))->setEnabled(rows);
    Button(QStringLiteral("NavRefresh"))->setEnabled(m_model->Recordset() != nullptr);
    Button(QStringLiteral("NavInsert"))->setEnabled(editable);
    Button(QStringLiteral("NavDelete"))->setEnabled(editable && rows);
    Button(QStringLiteral("NavEdit"))->setEnabled(editable && rows && !editing);
    Button(QStringLiteral("NavPost"))->setEnabled(editable && editing);
    Button(QStringLiteral("NavCancel"))->setEnabled(editable && editing);
}

void TDbNavigator::MoveTo(int row) {
    const int rows = m_model->rowCount();
    if (rows == 0)
        return;
    row = qBound(0, row, rows - 1);
    const int column = qMax(0, m_grid->currentIndex().column());
    m_grid->setCurrentIndex(m_model->index(row, column));
}

void TDbNavigator::NavFirst() {
    MoveTo(0);
}

void TDbNavigator::NavPrior() {
    MoveTo(m_grid->currentIndex().row() - 1);
}

void TDbNavigator::NavNext() {
    MoveTo(m_grid->currentIndex().row() + 1);
}

void TDbNavigator::NavLast() {
    MoveTo(m_model->rowCount() - 1);
}

void TDbNavigator::NavInsert() {
    if (!m_model->Editable())
        return;
    m_grid->PostEdit();
    const QModelIndex current = m_grid->currentIndex();
    const int row = current.isValid() ? current.row() : 0;
    m_model->InsertRecord(row);
    m_grid->setCurrentIndex(m_model->index(m_model->EditRow(), qMax(0, current.column())));
    m_grid->setFocus();
}

void TDbNavigator::NavDelete() {
    const QModelIndex current = m_grid->currentIndex();
    if (!current.isValid() || !m_model->Editable())
        return;
    if (!MsgBox::ConfirmOkCancel(QStringLiteral("Datensatz löschen?"), this))
        return;
    // The record is deleted before an open cell editor is closed: closing it first would drop a
    // new record and leave the row number on the record after it.
    m_model->DeleteRecord(current.row());
    m_grid->CancelEdit();
    MoveTo(qMin(current.row(), m_model->rowCount() - 1));
}

void TDbNavigator::NavEdit() {
    const QModelIndex current = m_grid->currentIndex();
    if (!current.isValid())
        return;
    m_model->EditRecord(current.row());
    m_grid->edit(current);
}

void TDbNavigator::NavPost() {
    m_grid->PostEdit();
    m_model->PostRecord();
}

void TDbNavigator::NavCancel() {
    m_grid->CancelEdit();
    m_model->CancelRecord();
}

void TDbNavigator::NavRefresh() {
    if (m_refresh)
        m_refresh();
}
