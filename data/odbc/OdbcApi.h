#pragma once

#include "data/DataTypes.h"

#include <QString>
#include <QVariant>
#include <sql.h>
#include <sqlext.h>

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
