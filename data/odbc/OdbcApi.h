#pragma once

#include "data/DataTypes.h"

#include <QString>
#include <QVariant>
#include <atomic>
#include <mutex>
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

// The diagnostic records of a handle after a failed call.
struct TOdbcDiagnostic {
    QString SqlState; // of the first record
    qint64 NativeCode = 0;
    QString Message; // all records, one per line, without the driver manager's prefixes
};
TOdbcDiagnostic OdbcDiagnostic(SQLSMALLINT handleType, SQLHANDLE handle);

// Throws TDataError (TCancelledError for a cancelled statement) unless the call succeeded.
void OdbcCheck(SQLRETURN rc, SQLSMALLINT handleType, SQLHANDLE handle, const QString& statement = {});
// True for the states that say the driver lacks a function or a feature (IM001, HYC00).
bool OdbcNotSupportedState(const QString& sqlState);

// ODBC SQL types as the program's ADO field types.
TDataType OdbcFieldType(SQLSMALLINT sqlType, bool isUnsigned);
bool OdbcIsLongType(SQLSMALLINT sqlType);
bool OdbcIsFixedLengthType(SQLSMALLINT sqlType);

// Turns on one connection for the thread of the user's operations and a fetch worker: an
// operation holds the mutex throughout, the worker for one row at a time and lets a waiting
// operation in before its next row (a mutex alone would let the worker take it back at once).
struct TOdbcCalls {
    std::recursive_mutex Mutex;
    std::atomic<int> Waiting{0};
    std::atomic<int> OpenCursors{0}; // cursors of the connection whose rows are not yet all read
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
    explicit TOdbcStatement(SQLHDBC connection);
    ~TOdbcStatement();
    TOdbcStatement(const TOdbcStatement&) = delete;
    TOdbcStatement& operator=(const TOdbcStatement&) = delete;

    SQLHSTMT Handle() const { return m_handle; }
    void Check(SQLRETURN rc, const QString& statement = {}) const {
        OdbcCheck(rc, SQL_HANDLE_STMT, m_handle, statement);
    }

    // Column values of the current row of a result (catalog functions and the like).
    QVariant Text(SQLUSMALLINT column) const;
    QVariant Integer(SQLUSMALLINT column) const;
    bool Fetch() const;

private:
    SQLHSTMT m_handle = SQL_NULL_HSTMT;
};
