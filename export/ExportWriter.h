#pragma once

#include "data/DataTypes.h"
#include "export/ExportFormat.h"

#include <QList>
#include <atomic>
#include <vector>

class TExportFile;
class TRecordset;
struct TCell;

// Writes the rows of a recordset in one of the export formats. Built on the GUI thread (it
// reads the fields there); Write then runs on a worker while nothing changes the recordset,
// reading the cells as they are stored, so values never pass through the user's locale
// (except in the spreadsheet CSV, which shows them as the grid does).
class TExportWriter {
public:
    TExportWriter(const TRecordset& recordset, TExportOptions options);

    qint64 RowCount() const { return m_rows; }
    // Writes everything into the file (not committed); stops between rows once `stop` is
    // set, returning false. `written` counts the rows done so far.
    bool Write(TExportFile& file, const std::atomic<bool>& stop, std::atomic<qint64>& written) const;

    // One value as the format writes it, appended to out (for tests and the header line).
    void AppendValue(std::vector<char>& out, const TCell& cell, int column) const;

private:
    void AppendHeader(std::vector<char>& out) const;
    void AppendRow(std::vector<char>& out, qint64 row) const;

    const TRecordset& m_recordset;
    TExportOptions m_options;
    QList<TDataType> m_types;
    QStringList m_names;
    QList<QByteArray> m_jsonKeys; // "name":
    QByteArray m_sqlPrefix;       // INSERT INTO t (a, b) VALUES (
    qint64 m_rows = 0;
};
