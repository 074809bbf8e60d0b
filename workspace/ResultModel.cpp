#include "workspace/ResultModel.h"

#include "data/Recordset.h"
#include "settings/Error.h"

#include <limits>

TResultModel::TResultModel(QObject* parent)
    : QAbstractTableModel(parent) {}

void TResultModel::SetRecordset(TRecordset* recordset, bool editable) {
    beginResetModel();
    m_recordset = recordset;
    m_editable = recordset && editable;
    m_currentRow = -1;
    m_rows = recordset ? int(qMin<qint64>(recordset->RecordCount(), std::numeric_limits<int>::max())) : 0;
    m_columns = recordset ? recordset->Fields().Count() : 0;
    endResetModel();
}

void TResultModel::Reload() {
    SetRecordset(m_recordset, m_editable);
}

void TResultModel::SetCurrentRow(int row) {
    if (row == m_currentRow)
        return;
    const int old = m_currentRow;
    m_currentRow = row;
    if (old >= 0 && old < m_rows)
        emit headerDataChanged(Qt::Vertical, old, old);
    if (row >= 0 && row < m_rows)
        emit headerDataChanged(Qt::Vertical, row, row);
}

int TResultModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : m_rows;
}

int TResultModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : m_columns;
}

QVariant TResultModel::data(const QModelIndex& index, int role) const {
    if (!m_recordset || !index.isValid())
        return {};
    if (role == Qt::DisplayRole || role == Qt::EditRole)
        return m_recordset->Text(index.row(), index.column());
    return {};
}

QVariant TResultModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (!m_recordset)
        return {};
    if (orientation == Qt::Horizontal) {
        if (role == Qt::DisplayRole && section < m_columns)
            return m_recordset->Fields()[section].Name();
        if (role == Qt::FontRole)
            return m_headerFont;
        return {};
    }
    if (role == Qt::DisplayRole)
        return section == m_currentRow ? QStringLiteral("\u25B8") : QString();
    return {};
}

Qt::ItemFlags TResultModel::flags(const QModelIndex& index) const {
    Qt::ItemFlags flags = QAbstractTableModel::flags(index);
    if (m_editable && index.isValid())
        flags |= Qt::ItemIsEditable;
    return flags;
}

bool TResultModel::setData(const QModelIndex& index, const QVariant& value, int role) {
    if (!m_editable || role != Qt::EditRole || !index.isValid())
        return false;
    if (m_recordset->Text(index.row(), index.column()) == value.toString())
        return false;
    // An error must not unwind through the view's editor code; the cell keeps its old value
    // and the message goes to whoever shows it.
    try {
        m_recordset->MoveTo(index.row());
        m_recordset->Edit();
        const QString text = value.toString();
        m_recordset->Fields()[index.column()].SetValue(text.isEmpty() ? QVariant() : QVariant(text));
        m_recordset->Post();
    } catch (const TError& e) {
        if (m_recordset->State() != TRecordset::TEditState::Browse)
            m_recordset->CancelUpdate();
        emit PostFailed(e.Message());
        return false;
    }
    emit dataChanged(index.siblingAtColumn(0), index.siblingAtColumn(m_columns - 1));
    return true;
}
