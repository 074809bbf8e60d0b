#include "workspace/DbNavigator.h"

#include "ui/ErrorHandler.h"
#include "ui/MsgBox.h"
#include "data/Recordset.h"
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
    // Ten buttons in 200 pixels: small icons, no handle, no padding.
    setIconSize(QSize(12, 12));
    setMovable(false);
    setFloatable(false);
    setContentsMargins(0, 0, 0, 0);
    setStyleSheet(QStringLiteral("QToolBar { border: 0; padding: 0; spacing: 0; } "
                                 "QToolButton { padding: 1px; margin: 0; }"));
    setFixedWidth(200);
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
    const bool editable = m_model->Recordset() && (m_model->flags(m_model->index(0, 0)) & Qt::ItemIsEditable);
    for (const char* name : {"NavFirst", "NavPrior", "NavNext", "NavLast"})
        Button(QLatin1String(name))->setEnabled(rows);
    Button(QStringLiteral("NavRefresh"))->setEnabled(m_model->Recordset() != nullptr);
    // New rows need an insert row in the grid, which the grid does not offer yet.
    Button(QStringLiteral("NavInsert"))->setEnabled(false);
    for (const char* name : {"NavDelete", "NavEdit", "NavPost", "NavCancel"})
        Button(QLatin1String(name))->setEnabled(rows && editable);
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

void TDbNavigator::NavInsert() {}

void TDbNavigator::NavDelete() {
    const QModelIndex current = m_grid->currentIndex();
    if (!current.isValid() || !m_model->Recordset())
        return;
    if (!MsgBox::ConfirmOkCancel(QStringLiteral("Datensatz löschen?"), this))
        return;
    TRecordset* recordset = m_model->Recordset();
    recordset->MoveTo(current.row());
    recordset->Delete();
    m_model->Reload();
    MoveTo(current.row());
}

void TDbNavigator::NavEdit() {
    if (m_grid->currentIndex().isValid())
        m_grid->edit(m_grid->currentIndex());
}

void TDbNavigator::NavPost() {
    m_grid->PostEdit();
}

void TDbNavigator::NavCancel() {
    m_grid->CancelEdit();
}

void TDbNavigator::NavRefresh() {
    if (m_refresh)
        m_refresh();
}
