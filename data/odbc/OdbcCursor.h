#pragma once

#include "data/Provider.h"
#include "data/odbc/OdbcApi.h"

#include <QStringEncoder>
#include <atomic>
#include <functional>
#include <mutex>
#include <vector>

// The rows of an executed ODBC statement, read with SQLFetch and SQLGetData into the row
// store in binary form (text as UTF-16 from the driver). Used by one thread at a time;
// Cancel from any thread. SQLCancel on a statement that is fetching is ignored by some
// drivers and frees it under the fetch in others, so Cancel sets the cursor's flag, checked
// between rows, and interrupts only through the session where that is safe.
class TOdbcCursor : public TProviderCursor {
public:
    // How date and time columns are read: as the driver's structures; as text (dates that
    // live in text columns and may not parse); or as text that becomes a date only when it
    // is a plain day of the calendar (PostgreSQL's "0044-03-15 BC" and "infinity" would
    // otherwise arrive as other real dates).
    enum class TDates { Typed, Text, CheckedText };
    // firstRow: SQLFetch has already placed the cursor on the first row.
    // interrupt: stops a fetch call that is running (may be empty).
    // calls: the session's lock of the connection, held for each row.
    TOdbcCursor(std::unique_ptr<TOdbcStatement> statement, TDates dates, bool firstRow,
                std::function<void(const bool& cursorOpen)> interrupt, std::shared_ptr<TOdbcCalls> calls);
    ~TOdbcCursor() override;

    QList<TColumnInfo> Columns() const override { return m_columns; }
    bool FetchRow(TRowStore& store) override;
    void Cancel() override;
    // For a result whose columns cannot be traced to one row of one table.
    void ForgetBaseTables();

private:
    enum class TRead {
        Integer,
        Real,
        Single,
        Text,
        Bytes,
        Date,
        Timestamp,
        DateText,
        TimestampText,
        TimeText
    };
    void Describe();
    void Close();
    void ReadText(SQLUSMALLINT column, TRowStore& store);
    void ReadNarrowText(SQLUSMALLINT column, TRowStore& store);
    void AddNarrow(TRowStore& store, const char* text, qsizetype length);
    void ReadBytes(SQLUSMALLINT column, TRowStore& store);
    void ReadCalendarText(SQLUSMALLINT column, TRowStore& store, bool timestamp);
    void ReadTimeText(SQLUSMALLINT column, TRowStore& store);
    void AddUtf16(TRowStore& store, QStringView text);
    // SQLGetData that throws on failure; false for a null value.
    bool Get(SQLUSMALLINT column, SQLSMALLINT cType, void* buffer, SQLLEN size, SQLLEN* indicator);

    std::unique_ptr<TOdbcStatement> m_statement;
    TDates m_dates;
    std::function<void(const bool& cursorOpen)> m_interrupt;
    std::shared_ptr<TOdbcCalls> m_calls;
    QList<TColumnInfo> m_columns;
    std::vector<TRead> m_reads;
    std::vector<SQLWCHAR> m_wide;
    std::vector<char> m_bytes;
    std::vector<char> m_utf8;
    QStringEncoder m_encoder{QStringEncoder::Utf8};
    bool m_open = true;
    bool m_onFirstRow = false;
    std::atomic<bool> m_cancelled{false};
};
