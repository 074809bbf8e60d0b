#pragma once

#include <QAbstractTableModel>
#include <QFont>

class TRecordset;

// The rows of a recordset as a table for GrdResults. It reads the row store cell by cell
// when the view asks (no item per cell), so a million rows cost the view nothing beyond
// its row count. Editing posts each changed cell through the recordset when the result is
// updatable and editing is switched on. GUI thread.
class TResultModel : public QAbstractTableModel {
    Q_OBJECT
public:
    explicit TResultModel(QObject* parent = nullptr);

    // Shows the rows the recordset holds now; null shows nothing.
    void SetRecordset(TRecordset* recordset, bool editable);
    TRecordset* Recordset() const { return m_recordset; }
    void SetHeaderFont(const QFont& font) { m_headerFont = font; }
    // The row the row indicator marks.
    void SetCurrentRow(int row);
    // Rereads the row count after rows were added or removed.
    void Reload();

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    bool setData(const QModelIndex& index, const QVariant& value, int role) override;

signals:
    // A change could not be written; the cell shows the old value again.
    void PostFailed(const QString& message);

private:
    TRecordset* m_recordset = nullptr;
    int m_rows = 0;
    int m_columns = 0;
    int m_currentRow = -1;
    bool m_editable = false;
    QFont m_headerFont;
};
