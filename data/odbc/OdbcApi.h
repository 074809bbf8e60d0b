#pragma once

#include "data/DataTypes.h"

#include <QString>
#include <QVariant>
#include <atomic>
#include <deque>
#include <mutex>
#include <optional>
#include <sql.h>
#include <sqlext.h>
#include <thread>

// Small helpers over the ODBC call interface for the ODBC provider: the process-wide
// environment, wide-string conversion, statement handles and diagnostics as TDataError.
// Thread-safe as far as the driver manager is.

// The process-wide ODBC 3 environment, allocated on first use and kept until the end.
// Throws TDataError when the driver manager cannot provide one.
SQLHENV OdbcEnvironment();

static_assert(sizeof(SQLWCHAR) == sizeof(char16_t), "unixODBC is expected with 2-byte SQLWCHAR");

inline SQLWCHAR* OdbcWide(const QString& text) {
    return reinterpret_cast<SQLWCHAR*>(const_cast<QChar*>(text.constData()));
}
// A string argument of a catalog function: null for a null QString (no restriction).
inline SQLWCHAR* OdbcWideOrNull(const QString& text) {
    return text.isNull() ? nullptr : OdbcWide(text);
}
inline QString OdbcString(const SQLWCHAR* text, qsizetype length) {
    return QString::fromUtf16(reinterpret_cast<const char16_t*>(text), length);
}

// How text crosses a driver's interface. The driver manager narrows UTF-16 for a driver
// without wide entry points by the process's locale, which loses what the locale cannot
// hold: such drivers get the narrow entry points with bytes of their own encoding. The
// MariaDB driver miscounts some characters when it converts values to or from UTF-16, and
// converts narrow statement texts by the locale: it gets values as UTF-8, statements wide.
enum class TOdbcText {
    Wide,       // UTF-16 through the W entry points
    Utf8Values, // W entry points; parameter values and result texts as UTF-8
    Utf8,       // UTF-8 through the narrow entry points
    Ascii,      // narrow ones of a driver whose encoding is unknown: only ASCII is sent
};
// Whether statements, restrictions and names go through the narrow entry points.
inline bool OdbcNarrowCalls(TOdbcText mode) {
    return mode == TOdbcText::Utf8 || mode == TOdbcText::Ascii;
}

// Text for a narrow entry point; throws TDataError for text the driver could not take unchanged.
QByteArray OdbcNarrow(TOdbcText mode, QStringView text);
QString OdbcFromNarrow(TOdbcText mode, const char* text, qsizetype length);

// The characters a driver wrote into a buffer of `capacity` characters (terminator not
// counted) for a value it reported as `indicator` bytes. A driver may report fewer bytes than
// it wrote (the MariaDB driver, for some characters): the terminator it wrote counts, never
// a length beyond the buffer.
template <typename Char>
qsizetype OdbcWrittenLength(const Char* buffer, qsizetype capacity, SQLLEN indicator) {
    if (indicator == SQL_NO_TOTAL || indicator < 0 || indicator / qsizetype(sizeof(Char)) > capacity)
        return capacity;
    const qsizetype reported = indicator / qsizetype(sizeof(Char));
    if (buffer[reported] == 0)
        return reported;
    for (qsizetype i = reported + 1; i <= capacity; ++i)
        if (buffer[i] == 0)
            return i;
    return reported;
}

// The entry points of one width, for calls written once for both (OdbcTextCall).
struct TOdbcWideApi {
    static constexpr auto ExecDirect = &SQLExecDirectW;
    static constexpr auto Tables = &SQLTablesW;
    static constexpr auto Columns = &SQLColumnsW;
    static constexpr auto PrimaryKeys = &SQLPrimaryKeysW;
    static constexpr auto Statistics = &SQLStatisticsW;
    static constexpr auto ForeignKeys = &SQLForeignKeysW;
    static constexpr auto Procedures = &SQLProceduresW;
    static constexpr auto ProcedureColumns = &SQLProcedureColumnsW;
    static constexpr auto TablePrivileges = &SQLTablePrivilegesW;
    static constexpr auto ColumnPrivileges = &SQLColumnPrivilegesW;
    static constexpr auto SpecialColumns = &SQLSpecialColumnsW;
};
struct TOdbcNarrowApi {
    static constexpr auto ExecDirect = &SQLExecDirect;
    static constexpr auto Tables = &SQLTables;
    static constexpr auto Columns = &SQLColumns;
    static constexpr auto PrimaryKeys = &SQLPrimaryKeys;
    static constexpr auto Statistics = &SQLStatistics;
    static constexpr auto ForeignKeys = &SQLForeignKeys;
    static constexpr auto Procedures = &SQLProcedures;
    static constexpr auto ProcedureColumns = &SQLProcedureColumns;
    static constexpr auto TablePrivileges = &SQLTablePrivileges;
    static constexpr auto ColumnPrivileges = &SQLColumnPrivileges;
    static constexpr auto SpecialColumns = &SQLSpecialColumns;
};

// String arguments of one call: null for a null QString (no restriction), NUL-terminated.
struct TOdbcWideArgs {
    SQLWCHAR* operator()(const QString& text) const { return OdbcWideOrNull(text); }
};
class TOdbcNarrowArgs {
public:
    explicit TOdbcNarrowArgs(TOdbcText mode)
        : m_mode(mode) {}
    SQLCHAR* operator()(const QString& text) {
        if (text.isNull())
            return nullptr;
        m_kept.push_back(OdbcNarrow(m_mode, text));
        return reinterpret_cast<SQLCHAR*>(m_kept.back().data());
    }

private:
    TOdbcText m_mode;
    std::deque<QByteArray> m_kept;
};

// Runs call(api, args) with the entry points and string arguments of the mode's width:
// `[&](auto api, auto& s) { return api.Tables(h, s(catalog), SQL_NTS, ...); }`.
template <typename F> SQLRETURN OdbcTextCall(TOdbcText mode, F&& call) {
    if (!OdbcNarrowCalls(mode)) {
        TOdbcWideArgs args;
        return call(TOdbcWideApi{}, args);
    }
    TOdbcNarrowArgs args(mode);
    return call(TOdbcNarrowApi{}, args);
}

// Whether the connected driver exports wide entry points; empty where the driver manager
// does not tell.
std::optional<bool> OdbcDriverHasWideCalls(SQLHDBC connection);

// The diagnostic records of a handle after a failed call.
struct TOdbcDiagnostic {
    QString SqlState; // of the first record
    qint64 NativeCode = 0;
    QString Message; // all records, one per line, without the driver manager's prefixes
};
TOdbcDiagnostic OdbcDiagnostic(SQLSMALLINT handleType, SQLHANDLE handle, TOdbcText mode = TOdbcText::Wide);

// Throws TDataError (TCancelledError for a cancelled statement) unless the call succeeded.
void OdbcCheck(SQLRETURN rc, SQLSMALLINT handleType, SQLHANDLE handle, const QString& statement = {},
               TOdbcText mode = TOdbcText::Wide);
// True for the states that say the driver lacks a function or a feature (IM001, HYC00).
bool OdbcNotSupportedState(const QString& sqlState);

// ODBC SQL types as the program's ADO field types.
TDataType OdbcFieldType(SQLSMALLINT sqlType, bool isUnsigned);
bool OdbcIsLongType(SQLSMALLINT sqlType);
bool OdbcIsFixedLengthType(SQLSMALLINT sqlType);
// An update or delete rule of SQLForeignKeys in OLE DB's words.
QVariant OdbcRuleText(const QVariant& rule);
// An index type of SQLStatistics as OLE DB's index TYPE.
inline int OdbcIndexType(int type) {
    return type == SQL_INDEX_CLUSTERED ? 1 : type == SQL_INDEX_HASHED ? 2 : 4;
}

// Turns on one connection for the thread of the user's operations and a fetch worker: an
// operation holds the mutex throughout, the worker for one row at a time and lets a waiting
// operation in before its next row (a mutex alone would let the worker take it back at once).
struct TOdbcCalls {
    std::recursive_mutex Mutex;
    std::atomic<int> Waiting{0};
    std::atomic<int> OpenCursors{0}; // cursors of the connection whose rows are not yet all read
    // OpenCursors and each cursor's open state change under this lock (never held for long),
    // so that a cancel can tell "this cursor is the only one stepping" without a cursor
    // closing or opening in between.
    std::mutex CountMutex;
};

class TOdbcOperationLock {
public:
    explicit TOdbcOperationLock(TOdbcCalls& calls)
        : m_calls(calls) {
        ++m_calls.Waiting;
        m_calls.Mutex.lock();
        --m_calls.Waiting;
    }
    ~TOdbcOperationLock() { m_calls.Mutex.unlock(); }
    TOdbcOperationLock(const TOdbcOperationLock&) = delete;
    TOdbcOperationLock& operator=(const TOdbcOperationLock&) = delete;

private:
    TOdbcCalls& m_calls;
};

class TOdbcRowLock {
public:
    explicit TOdbcRowLock(TOdbcCalls& calls)
        : m_calls(calls) {
        while (m_calls.Waiting.load() > 0)
            std::this_thread::yield();
        m_calls.Mutex.lock();
    }
    ~TOdbcRowLock() { m_calls.Mutex.unlock(); }
    TOdbcRowLock(const TOdbcRowLock&) = delete;
    TOdbcRowLock& operator=(const TOdbcRowLock&) = delete;

private:
    TOdbcCalls& m_calls;
};

// An owned statement handle.
class TOdbcStatement {
public:
    explicit TOdbcStatement(SQLHDBC connection, TOdbcText text = TOdbcText::Wide);
    ~TOdbcStatement();
    TOdbcStatement(const TOdbcStatement&) = delete;
    TOdbcStatement& operator=(const TOdbcStatement&) = delete;

    SQLHSTMT Handle() const { return m_handle; }
    TOdbcText TextMode() const { return m_text; }
    void Check(SQLRETURN rc, const QString& statement = {}) const {
        OdbcCheck(rc, SQL_HANDLE_STMT, m_handle, statement, m_text);
    }

    // Column values of the current row of a result (catalog functions and the like).
    QVariant Text(SQLUSMALLINT column) const;
    QVariant Integer(SQLUSMALLINT column) const;
    bool Fetch() const;

private:
    SQLHSTMT m_handle = SQL_NULL_HSTMT;
    TOdbcText m_text = TOdbcText::Wide;
};
