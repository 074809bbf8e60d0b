#include "data/odbc/OdbcCursor.h"

#include "data/DataError.h"
#include "data/RowStore.h"

#include <QDate>
#include <QDateTime>
#include <algorithm>

namespace {

constexpr qint64 kMsecsPerDay = 86400000;
const qint64 kEpochJulianDay = QDate(1970, 1, 1).toJulianDay();

qint64 DaysSinceEpoch(int year, int month, int day) {
    return QDate(year, month, day).toJulianDay() - kEpochJulianDay;
}

QString AttributeText(SQLHSTMT handle, TOdbcText mode, SQLUSMALLINT column, SQLUSMALLINT field) {
    SQLWCHAR buffer[256] = {};
    SQLSMALLINT length = 0;
    if (OdbcNarrowCalls(mode)) {
        char* const narrow = reinterpret_cast<char*>(buffer);
        if (!SQL_SUCCEEDED(SQLColAttribute(handle, column, field, narrow, sizeof buffer, &length, nullptr)))
            return {};
        return OdbcFromNarrow(mode, narrow, OdbcWrittenLength(narrow, sizeof buffer - 1, length));
    }
    if (!SQL_SUCCEEDED(SQLColAttributeW(handle, column, field, buffer, sizeof buffer, &length, nullptr)))
        return {};
    return OdbcString(buffer, OdbcWrittenLength(buffer, qsizetype(std::size(buffer)) - 1, length));
}

} // namespace

TOdbcCursor::TOdbcCursor(std::unique_ptr<TOdbcStatement> statement, TDates dates, bool firstRow,
                         std::function<void(const bool& cursorOpen)> interrupt, std::shared_ptr<TOdbcCalls> calls)
    : m_statement(std::move(statement))
    , m_dates(dates)
    , m_interrupt(std::move(interrupt))
    , m_calls(std::move(calls))
    , m_wide(4096)
    , m_bytes(16384) {
    Describe();
    {
        std::lock_guard count(m_calls->CountMutex);
        ++m_calls->OpenCursors;
    }
    m_onFirstRow = firstRow;
    if (!firstRow)
        Close();
}

void TOdbcCursor::ForgetBaseTables() {
    for (TColumnInfo& c : m_columns) {
        c.BaseCatalog.clear();
        c.BaseSchema.clear();
        c.BaseTable.clear();
        c.BaseColumn.clear();
    }
}

TOdbcCursor::~TOdbcCursor() {
    TOdbcRowLock calls(*m_calls);
    Close();
    m_statement.reset();
}

void TOdbcCursor::Describe() {
    const SQLHSTMT h = m_statement->Handle();
    const TOdbcText mode = m_statement->TextMode();
    SQLSMALLINT count = 0;
    m_statement->Check(SQLNumResultCols(h, &count));
    for (SQLUSMALLINT i = 1; i <= count; ++i) {
        SQLWCHAR name[512] = {};
        SQLSMALLINT nameLength = 0;
        SQLSMALLINT sqlType = 0;
        SQLULEN size = 0;
        SQLSMALLINT digits = 0;
        SQLSMALLINT nullable = SQL_NULLABLE_UNKNOWN;
        char* const narrowName = reinterpret_cast<char*>(name);
        if (!OdbcNarrowCalls(mode))
            m_statement->Check(SQLDescribeColW(h, i, name, SQLSMALLINT(std::size(name)), &nameLength,
                                               &sqlType, &size, &digits, &nullable));
        else
            m_statement->Check(SQLDescribeCol(h, i, reinterpret_cast<SQLCHAR*>(narrowName),
                                              SQLSMALLINT(sizeof name), &nameLength, &sqlType, &size, &digits,
                                              &nullable));
        SQLLEN isUnsigned = SQL_FALSE;
        SQLColAttributeW(h, i, SQL_DESC_UNSIGNED, nullptr, 0, nullptr, &isUnsigned);

        TColumnInfo c;
        // The name's length is in characters here, not in bytes.
        c.Name = !OdbcNarrowCalls(mode)
                     ? OdbcString(name, OdbcWrittenLength(name, qsizetype(std::size(name)) - 1,
                                                          SQLLEN(nameLength) * SQLLEN(sizeof(SQLWCHAR))))
                     : OdbcFromNarrow(mode, narrowName,
                                      OdbcWrittenLength(narrowName, sizeof name - 1, nameLength));
        c.Type = OdbcFieldType(sqlType, isUnsigned == SQL_TRUE);
        switch (c.Type) {
        case TDataType::Numeric:
            c.Precision = int(size);
            c.Scale = digits;
            break;
        case TDataType::Single:
        case TDataType::Double:
            c.Precision = int(size);
            break;
        default:
            c.DefinedSize = qint64(size);
            break;
        }
        // psqlODBC hands money out as a double, which loses cents: it stays the text the
        // server sends, as the PostgreSQL provider keeps it.
        if ((c.Type == TDataType::Double || c.Type == TDataType::Single) &&
            AttributeText(h, mode, i, SQL_DESC_TYPE_NAME)
                    .compare(QLatin1String("money"), Qt::CaseInsensitive) == 0) {
            c.Type = TDataType::Currency;
            c.Precision = 19;
            c.Scale = 2;
        }
        c.Nullable = nullable != SQL_NO_NULLS;
        c.BaseTable = AttributeText(h, mode, i, SQL_DESC_BASE_TABLE_NAME);
        if (!c.BaseTable.isEmpty()) {
            c.BaseColumn = AttributeText(h, mode, i, SQL_DESC_BASE_COLUMN_NAME);
            c.BaseSchema = AttributeText(h, mode, i, SQL_DESC_SCHEMA_NAME);
            c.BaseCatalog = AttributeText(h, mode, i, SQL_DESC_CATALOG_NAME);
        }
        m_columns.append(c);

        TRead read = TRead::Text;
        switch (c.Type) {
        case TDataType::TinyInt:
        case TDataType::SmallInt:
        case TDataType::Integer:
        case TDataType::BigInt:
        case TDataType::UnsignedTinyInt:
        case TDataType::UnsignedSmallInt:
        case TDataType::UnsignedInt:
        case TDataType::Boolean:
            read = TRead::Integer;
            break;
        case TDataType::Single:
            // The driver's float as it is: a double read would carry the widening's digits.
            read = TRead::Single;
            break;
        case TDataType::Double:
            read = TRead::Real;
            break;
        case TDataType::Binary:
        case TDataType::VarBinary:
        case TDataType::LongVarBinary:
            read = TRead::Bytes;
            break;
        case TDataType::DBDate:
            read = m_dates == TDates::Typed  ? TRead::Date
                   : m_dates == TDates::Text ? TRead::Text
                                             : TRead::DateText;
            break;
        case TDataType::DBTime:
            // Durations beyond a day or below zero (MariaDB), 24:00:00 (PostgreSQL) are no time of day.
            read = m_dates == TDates::Text ? TRead::Text : TRead::TimeText;
            break;
        case TDataType::DBTimeStamp:
            read = m_dates == TDates::Typed  ? TRead::Timestamp
                   : m_dates == TDates::Text ? TRead::Text
                                             : TRead::TimestampText;
            break;
        default:
            // Numbers of exact precision, unsigned 64-bit values, GUIDs and text.
            read = TRead::Text;
            break;
        }
        m_reads.push_back(read);
    }
}

void TOdbcCursor::Close() {
    // Also called while FetchRow holds the row lock: no waiting for others here.
    std::lock_guard calls(m_calls->Mutex);
    {
        std::lock_guard count(m_calls->CountMutex);
        if (!m_open)
            return;
        m_open = false;
        --m_calls->OpenCursors;
    }
    SQLFreeStmt(m_statement->Handle(), SQL_CLOSE);
}

void TOdbcCursor::Cancel() {
    m_cancelled.store(true);
    // The session reads whether this cursor is still open under the count lock.
    if (m_interrupt)
        m_interrupt(m_open);
}

bool TOdbcCursor::Get(SQLUSMALLINT column, SQLSMALLINT cType, void* buffer, SQLLEN size, SQLLEN* indicator) {
    const SQLRETURN rc = SQLGetData(m_statement->Handle(), column, cType, buffer, size, indicator);
    if (!SQL_SUCCEEDED(rc)) {
        if (m_cancelled.load())
            throw TCancelledError();
        m_statement->Check(rc);
    }
    return *indicator != SQL_NULL_DATA;
}

bool TOdbcCursor::FetchRow(TRowStore& store) {
    TOdbcRowLock calls(*m_calls);
    if (m_columns.isEmpty() || !m_open)
        return false;
    if (m_cancelled.load()) {
        Close();
        throw TCancelledError();
    }
    const SQLRETURN rc = m_onFirstRow ? SQL_SUCCESS : SQLFetch(m_statement->Handle());
    m_onFirstRow = false;
    if (rc == SQL_NO_DATA || !SQL_SUCCEEDED(rc)) {
        // A cancelled fetch may look like a normal end.
        if (m_cancelled.load()) {
            Close();
            throw TCancelledError();
        }
        if (rc != SQL_NO_DATA)
            m_statement->Check(rc);
        Close();
        return false;
    }

    store.BeginRow();
    for (int i = 0; i < int(m_reads.size()); ++i) {
        const SQLUSMALLINT column = SQLUSMALLINT(i + 1);
        SQLLEN indicator = 0;
        switch (m_reads[i]) {
        case TRead::Integer: {
            SQLBIGINT value = 0;
            if (Get(column, SQL_C_SBIGINT, &value, sizeof value, &indicator))
                store.AddInt(value);
            else
                store.AddNull();
            break;
        }
        case TRead::Real: {
            SQLDOUBLE value = 0;
            if (Get(column, SQL_C_DOUBLE, &value, sizeof value, &indicator))
                store.AddReal(value);
            else
                store.AddNull();
            break;
        }
        case TRead::Single: {
            SQLREAL value = 0;
            if (Get(column, SQL_C_FLOAT, &value, sizeof value, &indicator))
                store.AddReal(value);
            else
                store.AddNull();
            break;
        }
        case TRead::TimeText:
            ReadTimeText(column, store);
            break;
        case TRead::Date: {
            SQL_DATE_STRUCT value{};
            if (Get(column, SQL_C_TYPE_DATE, &value, sizeof value, &indicator))
                store.AddDate(DaysSinceEpoch(value.year, value.month, value.day));
            else
                store.AddNull();
            break;
        }
        case TRead::Timestamp: {
            SQL_TIMESTAMP_STRUCT value{};
            if (Get(column, SQL_C_TYPE_TIMESTAMP, &value, sizeof value, &indicator)) {
                const qint64 msecs = DaysSinceEpoch(value.year, value.month, value.day) * kMsecsPerDay +
                                     (value.hour * 3600 + value.minute * 60 + value.second) * 1000 +
                                     value.fraction / 1000000;
                store.AddTimestamp(msecs);
            } else {
                store.AddNull();
            }
            break;
        }
        case TRead::Bytes:
            ReadBytes(column, store);
            break;
        case TRead::DateText:
        case TRead::TimestampText:
            ReadCalendarText(column, store, m_reads[i] == TRead::TimestampText);
            break;
        case TRead::Text:
            ReadText(column, store);
            break;
        }
    }
    store.EndRow();
    return true;
}

void TOdbcCursor::ReadText(SQLUSMALLINT column, TRowStore& store) {
    if (m_statement->TextMode() != TOdbcText::Wide) {
        ReadNarrowText(column, store);
        return;
    }
    const qsizetype capacity = qsizetype(m_wide.size()) - 1; // characters besides the terminator
    QString text;
    for (bool first = true;; first = false) {
        SQLLEN indicator = 0;
        const SQLRETURN rc = SQLGetData(m_statement->Handle(), column, SQL_C_WCHAR, m_wide.data(),
                                        SQLLEN(m_wide.size() * sizeof(SQLWCHAR)), &indicator);
        if (rc == SQL_NO_DATA)
            break;
        if (!SQL_SUCCEEDED(rc)) {
            if (m_cancelled.load())
                throw TCancelledError();
            m_statement->Check(rc);
        }
        if (first && indicator == SQL_NULL_DATA) {
            store.AddNull();
            return;
        }
        // The last part is the one whose length the driver knows and that fits.
        const bool last = indicator != SQL_NO_TOTAL && indicator / 2 <= capacity;
        const QStringView part(reinterpret_cast<const char16_t*>(m_wide.data()),
                               OdbcWrittenLength(m_wide.data(), capacity, indicator));
        if (first && last) {
            AddUtf16(store, part);
            return;
        }
        text += part;
        if (last)
            break;
    }
    AddUtf16(store, text);
}

void TOdbcCursor::ReadNarrowText(SQLUSMALLINT column, TRowStore& store) {
    const qsizetype capacity = qsizetype(m_bytes.size()) - 1; // bytes besides the terminator
    QByteArray text;
    for (bool first = true;; first = false) {
        SQLLEN indicator = 0;
        const SQLRETURN rc = SQLGetData(m_statement->Handle(), column, SQL_C_CHAR, m_bytes.data(),
                                        SQLLEN(m_bytes.size()), &indicator);
        if (rc == SQL_NO_DATA)
            break;
        if (!SQL_SUCCEEDED(rc)) {
            if (m_cancelled.load())
                throw TCancelledError();
            m_statement->Check(rc);
        }
        if (first && indicator == SQL_NULL_DATA) {
            store.AddNull();
            return;
        }
        const bool last = indicator != SQL_NO_TOTAL && indicator <= capacity;
        const qsizetype got = OdbcWrittenLength(m_bytes.data(), capacity, indicator);
        if (first && last) {
            AddNarrow(store, m_bytes.data(), got);
            return;
        }
        text.append(m_bytes.data(), got);
        if (last)
            break;
    }
    AddNarrow(store, text.constData(), text.size());
}

void TOdbcCursor::AddNarrow(TRowStore& store, const char* text, qsizetype length) {
    if (m_statement->TextMode() != TOdbcText::Ascii)
        store.AddText(text, length);
    else
        AddUtf16(store, OdbcFromNarrow(m_statement->TextMode(), text, length));
}

void TOdbcCursor::AddUtf16(TRowStore& store, QStringView text) {
    // Straight into a buffer of the cursor's: no string objects per value.
    const size_t needed = size_t(text.size()) * 3;
    if (m_utf8.size() < needed)
        m_utf8.resize(needed);
    char* end = m_encoder.appendToBuffer(m_utf8.data(), text);
    store.AddText(m_utf8.data(), end - m_utf8.data());
}

void TOdbcCursor::ReadBytes(SQLUSMALLINT column, TRowStore& store) {
    const qsizetype capacity = qsizetype(m_bytes.size());
    QByteArray data;
    for (bool first = true;; first = false) {
        SQLLEN indicator = 0;
        const SQLRETURN rc =
            SQLGetData(m_statement->Handle(), column, SQL_C_BINARY, m_bytes.data(), capacity, &indicator);
        if (rc == SQL_NO_DATA)
            break;
        if (!SQL_SUCCEEDED(rc)) {
            if (m_cancelled.load())
                throw TCancelledError();
            m_statement->Check(rc);
        }
        if (first && indicator == SQL_NULL_DATA) {
            store.AddNull();
            return;
        }
        const bool last = indicator != SQL_NO_TOTAL && indicator <= capacity;
        const qsizetype got = last ? qsizetype(indicator) : capacity;
        if (first && last) {
            store.AddBytes(m_bytes.data(), got);
            return;
        }
        data.append(m_bytes.data(), got);
        if (last)
            break;
    }
    store.AddBytes(data.constData(), data.size());
}

namespace {

// Whether text begins with the shape: 'd' stands for a digit, every other character for itself.
bool HasShape(QStringView text, QStringView shape) {
    if (text.size() < shape.size())
        return false;
    for (qsizetype i = 0; i < shape.size(); ++i)
        if (shape[i] == u'd' ? !text[i].isDigit() : text[i] != shape[i])
            return false;
    return true;
}

} // namespace

void TOdbcCursor::ReadCalendarText(SQLUSMALLINT column, TRowStore& store, bool timestamp) {
    char buffer[128];
    SQLLEN indicator = 0;
    if (!Get(column, SQL_C_CHAR, buffer, sizeof buffer, &indicator)) {
        store.AddNull();
        return;
    }
    const QString text = QString::fromUtf8(buffer, OdbcWrittenLength(buffer, sizeof buffer - 1, indicator));
    // Only "YYYY-MM-DD" and "YYYY-MM-DD HH:MM:SS[.fff]" are days of the calendar; an era,
    // an infinity, a zone or more than milliseconds keep the text. Date and time are read
    // apart, never through local time, which has gaps.
    if (!timestamp && text.size() == 10 && HasShape(text, u"dddd-dd-dd")) {
        const QDate d = QDate::fromString(text, Qt::ISODate);
        if (d.isValid()) {
            store.AddDate(DaysSinceEpoch(d.year(), d.month(), d.day()));
            return;
        }
    }
    const QStringView rest = QStringView(text).mid(qMin<qsizetype>(19, text.size()));
    const bool upToMillis =
        rest.isEmpty() || (rest.size() >= 2 && rest.size() <= 4 && rest.front() == u'.' &&
                           std::all_of(rest.begin() + 1, rest.end(), [](QChar c) { return c.isDigit(); }));
    if (timestamp && upToMillis && HasShape(text, u"dddd-dd-dd dd:dd:dd")) {
        const QDate d = QDate::fromString(text.left(10), Qt::ISODate);
        const QTime t = QTime::fromString(text.mid(11), Qt::ISODateWithMs);
        if (d.isValid() && t.isValid()) {
            store.AddTimestamp(DaysSinceEpoch(d.year(), d.month(), d.day()) * kMsecsPerDay +
                               t.msecsSinceStartOfDay());
            return;
        }
    }
    AddUtf16(store, text);
}

void TOdbcCursor::ReadTimeText(SQLUSMALLINT column, TRowStore& store) {
    char buffer[64];
    SQLLEN indicator = 0;
    if (!Get(column, SQL_C_CHAR, buffer, sizeof buffer, &indicator)) {
        store.AddNull();
        return;
    }
    const QString text = QString::fromUtf8(buffer, OdbcWrittenLength(buffer, sizeof buffer - 1, indicator));
    // A time of day to the millisecond is a time; anything else stays the text the driver sends.
    const qsizetype digits = text.size() - 9;
    if (HasShape(text, u"dd:dd:dd") &&
        (text.size() == 8 ||
         (text[8] == u'.' && digits >= 1 && digits <= 3 &&
          std::all_of(text.begin() + 9, text.end(), [](QChar c) { return c.isDigit(); })))) {
        // Qt would take 24:00:00 for midnight.
        const QTime t = QTime::fromString(text, Qt::ISODateWithMs);
        if (t.isValid() && QStringView(text).left(2).toInt() < 24) {
            store.AddTime(t.msecsSinceStartOfDay());
            return;
        }
    }
    AddUtf16(store, text);
}
