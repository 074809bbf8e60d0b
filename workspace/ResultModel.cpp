#include "workspace/ResultModel.h"

#include "data/DataTypes.h"
#include "data/Recordset.h"
#include "data/RowStore.h"
#include "settings/Error.h"
#include "ui/ErrorHandler.h"

#include <QTimer>
#include <limits>

namespace {

int ClampedCount(qint64 count) {
    return int(qMin<qint64>(count, std::numeric_limits<int>::max()));
}

} // namespace

TResultModel::TResultModel(QObject* parent)
    : QAbstractTableModel(parent) {}

void TResultModel::SetRecordset(TRecordset* recordset, bool editable) {
    beginResetModel();
    m_recordset = recordset;
    m_editable = recordset && editable;
    m_currentRow = -1;
    m_rows = recordset ? ClampedCount(recordset->RecordCount()) : 0;
    m_columns = recordset ? recordset->Fields().Count() : 0;
    endResetModel();
    emit StateChanged();
}

void TResultModel::Reload() {
    SetRecordset(m_recordset, m_editable);
}

void TResultModel::GrowTo(qint64 count) {
    const int rows = ClampedCount(count);
    if (!m_recordset || rows <= m_rows)
        return;
    beginInsertRows({}, m_rows, rows - 1);
    m_rows = rows;
    endInsertRows();
}

void TResultModel::SetEditable(bool editable) {
    if (m_editable == (m_recordset && editable))
        return;
    m_editable = m_recordset && editable;
    emit StateChanged();
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

int TResultModel::EditRow() const {
    if (!m_recordset || m_recordset->State() == TRecordset::TEditState::Browse)
        return -1;
    return int(m_recordset->CurrentRow());
}

bool TResultModel::Inserting() const {
    return m_recordset && m_recordset->State() == TRecordset::TEditState::Insert;
}

void TResultModel::RowChanged(int row) {
    if (row >= 0 && row < m_rows) {
        emit dataChanged(index(row, 0), index(row, m_columns - 1));
        emit headerDataChanged(Qt::Vertical, row, row);
    }
}

void TResultModel::SyncRows(int changedRow) {
    const int rows = ClampedCount(m_recordset->RecordCount());
    if (rows > m_rows) {
        beginInsertRows({}, changedRow, changedRow);
        m_rows = rows;
        endInsertRows();
    } else if (rows < m_rows) {
        beginRemoveRows({}, changedRow, changedRow);
        m_rows = rows;
        endRemoveRows();
    } else {
        RowChanged(changedRow);
    }
    emit StateChanged();
}

void TResultModel::EditRecord(int row) {
    if (!m_editable || EditRow() == row)
        return;
    m_recordset->MoveTo(row);
    m_recordset->Edit();
    RowChanged(row);
    emit StateChanged();
}

void TResultModel::PostRecord() {
    const int row = EditRow();
    if (row < 0)
        return;
    m_recordset->Post();
    SyncRows(row);
}

void TResultModel::CancelRecord() {
    const int row = EditRow();
    if (row < 0)
        return;
    m_recordset->CancelUpdate();
    SyncRows(row);
}

void TResultModel::InsertRecord(int row) {
    if (!m_editable)
        return;
    PostRecord();
    m_recordset->MoveTo(qBound(0, row, m_rows));
    m_recordset->Insert();
    SyncRows(int(m_recordset->CurrentRow()));
}

void TResultModel::DeleteRecord(int row) {
    if (!m_editable)
        return;
    if (const int editRow = EditRow(); editRow >= 0) {
        // Deleting the new record itself only drops it; a new record above moves the row up.
        const bool inserted = Inserting();
        CancelRecord();
        if (inserted && editRow == row)
            return;
        if (inserted && editRow < row)
            --row;
    }
    m_recordset->MoveTo(row);
    m_recordset->Delete();
    SyncRows(row);
}

int TResultModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : m_rows;
}

int TResultModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : m_columns;
}

bool TResultModel::IsNumericColumn(int column) const {
    const TDataType type = m_recordset->Fields()[column].Type();
    if (IsIntegerType(type))
        return true;
    switch (type) {
    case TDataType::Single:
    case TDataType::Double:
    case TDataType::Currency:
    case TDataType::Decimal:
    case TDataType::Numeric:
        return true;
    default:
        return false;
    }
}

QString TResultModel::ShownText(int row, int column) const {
    if (row == EditRow()) {
        const QString text = m_recordset->Fields()[column].AsText();
        return text.size() > ShownCharacters ? text.left(ShownCharacters) + QChar(0x2026) : text;
    }
    TCell cell = m_recordset->Cell(row, column);
    // Only the part shown is turned into text: a character takes at most four bytes of
    // UTF-8, a byte two hex digits.
    if (cell.Kind == TCell::Text && cell.Size > 4 * ShownCharacters) {
        QString text = QString::fromUtf8(cell.Data, 4 * ShownCharacters).left(ShownCharacters);
        if (text.back().isHighSurrogate())
            text.chop(1);
        return text + QChar(0x2026);
    }
    if (cell.Kind == TCell::Bytes && cell.Size > ShownCharacters / 2) {
        cell.Size = ShownCharacters / 2;
        return TRecordset::CellText(cell, m_recordset->Fields()[column].Type()) + QChar(0x2026);
    }
    return TRecordset::CellText(cell, m_recordset->Fields()[column].Type());
}

bool TResultModel::IsNullCell(int row, int column) const {
    return row == EditRow() ? m_recordset->Fields()[column].IsNull() : m_recordset->IsNull(row, column);
}

QVariant TResultModel::data(const QModelIndex& index, int role) const {
    if (!m_recordset || !index.isValid())
        return {};
    if (role == Qt::DisplayRole)
        return ShownText(index.row(), index.column());
    if (role == Qt::EditRole) {
        // The record being edited shows the values typed so far.
        if (index.row() == EditRow())
            return m_recordset->Fields()[index.column()].AsText();
        return m_recordset->Text(index.row(), index.column());
    }
    if (role == Qt::ToolTipRole) {
        // A null value and the empty text look alike in the cell; the tool tip tells them apart.
        if (IsNullCell(index.row(), index.column()))
            return QStringLiteral("NULL");
        const QString text = ShownText(index.row(), index.column());
        return text.isEmpty() ? QStringLiteral("(leerer Text)") : text;
    }
    if (role == Qt::TextAlignmentRole && IsNumericColumn(index.column()))
        return QVariant::fromValue(Qt::AlignRight | Qt::AlignVCenter);
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
    if (role == Qt::DisplayRole) {
        if (section == EditRow())
            return Inserting() ? QStringLiteral("*") : QStringLiteral("I");
        return section == m_currentRow ? QStringLiteral("\u25B8") : QString();
    }
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
    const QString text = value.toString();
    const int row = index.row();
    // An error must not unwind through the view's editor code: it is shown once the view
    // is done, and the record keeps what was typed before.
    try {
        if (EditRow() != row) {
            if (text == m_recordset->Text(row, index.column()))
                return false;
            PostRecord();
            m_recordset->MoveTo(row);
            m_recordset->Edit();
        } else if (text == m_recordset->Fields()[index.column()].AsText()) {
            return false;
        }
        m_recordset->Fields()[index.column()].SetValue(text.isEmpty() ? QVariant() : QVariant(text));
    } catch (const TError& e) {
        const QString message = e.Message();
        QTimer::singleShot(0, this, [message] { ShowException(TError(message)); });
        return false;
    }
    RowChanged(row);
    emit StateChanged();
    return true;
}
