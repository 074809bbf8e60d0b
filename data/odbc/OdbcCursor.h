#pragma once

#include "data/Provider.h"
#include "data/odbc/OdbcApi.h"

#include <QStringEncoder>
#include <atomic>
#include <mutex>
#include <vector>

// The rows of an executed ODBC statement, read with SQLFetch and SQLGetData into the row
// store in binary form (text as UTF-16 from the driver). Used by one thread at a time;
// Cancel from any thread. Drivers do not reliably stop a fetch on SQLCancel (some ignore it,
// some report a normal end), so the cursor keeps its own flag and reports the cancel itself.
class TOdbcCursor : public TProviderCursor {
public:
    // firstRow: SQLFetch has already placed the cursor on the first row.
    TOdbcCursor(std::unique_ptr<TOdbcStatement> statement, bool datesAsText, bool firstRow);
    ~TOdbcCursor() override;

    QList<TColumnInfo> Columns() const override { return m_columns; }
    bool FetchRow(TRowStore& store) override;
    void Cancel() override;
    // For a result whose columns cannot be traced to one row of one table.
    void ForgetBaseTables();

private:
    enum class TRead { Integer, Real, Text, Bytes, Date, Time, Timestamp };
    void Describe();
    void Close();
    void ReadText(SQLUSMALLINT column, TRowStore& store);
    void ReadBytes(SQLUSMALLINT column, TRowStore& store);
    void AddUtf16(TRowStore& store, QStringView text);
    // SQLGetData that throws on failure; false for a null value.
    bool Get(SQLUSMALLINT column, SQLSMALLINT cType, void* buffer, SQLLEN size, SQLLEN* indicator);

    std::unique_ptr<TOdbcStatement> m_statement;
    bool m_datesAsText;
    QList<TColumnInfo> m_columns;
    std::vector<TRead> m_reads;
    std::vector<SQLWCHAR> m_wide;
    std::vector<char> m_bytes;
    std::vector<char> m_utf8;
    QStringEncoder m_encoder{QStringEncoder::Utf8};
    std::mutex m_mutex; // guards m_open against a Cancel from another thread
    bool m_open = true;
    bool m_onFirstRow = false;
    std::atomic<bool> m_cancelled{false};
};
