#include "data/odbc/OdbcApi.h"

#include "data/DataError.h"

#include <QRegularExpression>
#include <QStringDecoder>
#include <dlfcn.h>
#include <mutex>

SQLHENV OdbcEnvironment() {
    static std::once_flag once;
    static SQLHENV env = SQL_NULL_HENV;
    std::call_once(once, [] {
        SQLHENV h = SQL_NULL_HENV;
        if (!SQL_SUCCEEDED(SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &h)))
            return;
        if (!SQL_SUCCEEDED(
                SQLSetEnvAttr(h, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0))) {
            SQLFreeHandle(SQL_HANDLE_ENV, h);
            return;
        }
        env = h;
    });
    if (env == SQL_NULL_HENV)
        throw TDataError(QStringLiteral("Die ODBC-Umgebung konnte nicht angelegt werden"));
    return env;
}

QByteArray OdbcNarrow(TOdbcText mode, QStringView text) {
    if (mode == TOdbcText::Ascii) {
        for (const QChar c : text)
            if (c.unicode() >= 0x80)
                throw TDataError(
                    QStringLiteral("Der ODBC-Treiber nimmt Text nur in einer unbekannten Zeichenkodierung "
                                   "an: ein Text mit "
                                   "dem Zeichen „%1“ würde verfälscht und wird daher nicht gesendet")
                        .arg(c));
        return text.toLatin1();
    }
    return text.toUtf8();
}

QString OdbcFromNarrow(TOdbcText mode, const char* text, qsizetype length) {
    // A driver of unknown encoding writes in the locale's, as the driver manager assumes.
    return mode == TOdbcText::Ascii ? QString::fromLocal8Bit(text, length) : QString::fromUtf8(text, length);
}

std::optional<bool> OdbcDriverHasWideCalls(SQLHDBC connection) {
    // unixODBC hands out its libltdl handle of the driver's library; the exports of the
    // library itself count, not those of a library it links.
    SQLLEN library = 0;
    if (!SQL_SUCCEEDED(SQLGetInfo(connection, SQL_DRIVER_HLIB, &library, sizeof library, nullptr)) ||
        library == 0)
        return std::nullopt;
    using TSymbol = void* (*)(void*, const char*);
    const auto symbol = reinterpret_cast<TSymbol>(dlsym(RTLD_DEFAULT, "lt_dlsym"));
    if (!symbol)
        return std::nullopt;
    void* const handle = reinterpret_cast<void*>(library);
    void* const narrow = symbol(handle, "SQLExecDirect");
    Dl_info narrowInfo{};
    if (!narrow || !dladdr(narrow, &narrowInfo))
        return std::nullopt;
    void* const wide = symbol(handle, "SQLExecDirectW");
    Dl_info wideInfo{};
    return wide && dladdr(wide, &wideInfo) && wideInfo.dli_fbase == narrowInfo.dli_fbase;
}

TOdbcDiagnostic OdbcDiagnostic(SQLSMALLINT handleType, SQLHANDLE handle, TOdbcText mode) {
    // "[unixODBC][Driver]..." prefixes say nothing to the user; the driver's own text stays.
    static const QRegularExpression prefixes(QStringLiteral("^(\\[[^\\]]*\\])+\\s*"));
    TOdbcDiagnostic d;
    QStringList lines;
    const bool narrow = OdbcNarrowCalls(mode);
    for (SQLSMALLINT i = 1;; ++i) {
        SQLWCHAR state[6] = {};
        SQLINTEGER native = 0;
        SQLWCHAR text[2048] = {};
        SQLSMALLINT length = 0;
        // Lengths are in characters here. A narrow driver's message names tables in its own
        // encoding, which the driver manager would narrow by the locale.
        char* const narrowState = reinterpret_cast<char*>(state);
        char* const narrowText = reinterpret_cast<char*>(text);
        const SQLRETURN rc =
            narrow ? SQLGetDiagRec(handleType, handle, i, reinterpret_cast<SQLCHAR*>(narrowState), &native,
                                   reinterpret_cast<SQLCHAR*>(narrowText), SQLSMALLINT(sizeof text), &length)
                   : SQLGetDiagRecW(handleType, handle, i, state, &native, text, SQLSMALLINT(std::size(text)),
                                    &length);
        if (!SQL_SUCCEEDED(rc))
            break;
        if (i == 1) {
            d.SqlState = narrow ? QString::fromLatin1(narrowState, 5) : OdbcString(state, 5);
            d.NativeCode = native;
        }
        QString line =
            narrow ? OdbcFromNarrow(mode, narrowText, OdbcWrittenLength(narrowText, sizeof text - 1, length))
                   : OdbcString(text,
                                OdbcWrittenLength(text, qsizetype(std::size(text)) - 1, SQLLEN(length) * 2));
        line = line.trimmed();
        line.remove(prefixes);
        // psqlODBC adds its own summary after the server's message.
        line.remove(QRegularExpression(QStringLiteral(";?\\s*\\n?Error while executing the query$")));
        line = line.trimmed();
        if (!line.isEmpty() && !lines.contains(line))
            lines.append(line);
    }
    d.Message = lines.join(u'\n');
    return d;
}

bool OdbcNotSupportedState(const QString& sqlState) {
    return sqlState == QLatin1String("IM001") || sqlState == QLatin1String("HYC00");
}

void OdbcCheck(SQLRETURN rc, SQLSMALLINT handleType, SQLHANDLE handle, const QString& statement,
               TOdbcText mode) {
    if (SQL_SUCCEEDED(rc) || rc == SQL_NO_DATA)
        return;
    if (rc == SQL_INVALID_HANDLE)
        throw TDataError(QStringLiteral("Ungültiges ODBC-Handle"), {}, 0, statement);
    TOdbcDiagnostic d = OdbcDiagnostic(handleType, handle, mode);
    // HY008: cancelled through SQLCancel; 57014: the server's "canceling statement".
    if (d.SqlState == QLatin1String("HY008") || d.SqlState == QLatin1String("57014"))
        throw TCancelledError(statement);
    if (OdbcNotSupportedState(d.SqlState))
        d.Message = QStringLiteral("Diese Funktion wird vom ODBC-Treiber nicht unterstützt") +
                    (d.Message.isEmpty() ? QString() : QStringLiteral(" (%1)").arg(d.Message));
    if (d.Message.isEmpty())
        d.Message = QStringLiteral("Unbekannter ODBC-Fehler (Rückgabewert %1)").arg(rc);
    throw TDataError(d.Message, d.SqlState, d.NativeCode, statement);
}

TDataType OdbcFieldType(SQLSMALLINT sqlType, bool isUnsigned) {
    switch (sqlType) {
    case SQL_CHAR:
        return TDataType::Char;
    case SQL_VARCHAR:
        return TDataType::VarChar;
    case SQL_LONGVARCHAR:
        return TDataType::LongVarChar;
    case SQL_WCHAR:
        return TDataType::WChar;
    case SQL_WVARCHAR:
        return TDataType::VarWChar;
    case SQL_WLONGVARCHAR:
        return TDataType::LongVarWChar;
    case SQL_DECIMAL:
    case SQL_NUMERIC:
        return TDataType::Numeric;
    case SQL_TINYINT:
        return isUnsigned ? TDataType::UnsignedTinyInt : TDataType::TinyInt;
    case SQL_SMALLINT:
        return isUnsigned ? TDataType::UnsignedSmallInt : TDataType::SmallInt;
    case SQL_INTEGER:
        return isUnsigned ? TDataType::UnsignedInt : TDataType::Integer;
    case SQL_BIGINT:
        return isUnsigned ? TDataType::UnsignedBigInt : TDataType::BigInt;
    case SQL_REAL:
        return TDataType::Single;
    case SQL_FLOAT:
    case SQL_DOUBLE:
        return TDataType::Double;
    case SQL_BIT:
        return TDataType::Boolean;
    case SQL_TYPE_DATE:
    case SQL_DATE:
        return TDataType::DBDate;
    case SQL_TYPE_TIME:
    case SQL_TIME:
        return TDataType::DBTime;
    case SQL_TYPE_TIMESTAMP:
    case SQL_TIMESTAMP:
        return TDataType::DBTimeStamp;
    case SQL_BINARY:
        return TDataType::Binary;
    case SQL_VARBINARY:
        return TDataType::VarBinary;
    case SQL_LONGVARBINARY:
        return TDataType::LongVarBinary;
    case SQL_GUID:
        return TDataType::Guid;
    default:
        // Intervals and driver-specific types arrive as text.
        return TDataType::VarWChar;
    }
}

QVariant OdbcRuleText(const QVariant& rule) {
    if (rule.isNull())
        return {};
    switch (rule.toInt()) {
    case SQL_CASCADE:
        return QStringLiteral("CASCADE");
    case SQL_SET_NULL:
        return QStringLiteral("SET NULL");
    case SQL_SET_DEFAULT:
        return QStringLiteral("SET DEFAULT");
    default:
        return QStringLiteral("NO ACTION");
    }
}

bool OdbcIsLongType(SQLSMALLINT sqlType) {
    return sqlType == SQL_LONGVARCHAR || sqlType == SQL_WLONGVARCHAR || sqlType == SQL_LONGVARBINARY;
}

bool OdbcIsFixedLengthType(SQLSMALLINT sqlType) {
    switch (sqlType) {
    case SQL_VARCHAR:
    case SQL_LONGVARCHAR:
    case SQL_WVARCHAR:
    case SQL_WLONGVARCHAR:
    case SQL_VARBINARY:
    case SQL_LONGVARBINARY:
        return false;
    default:
        return true;
    }
}

TOdbcStatement::TOdbcStatement(SQLHDBC connection, TOdbcText text)
    : m_text(text) {
    OdbcCheck(SQLAllocHandle(SQL_HANDLE_STMT, connection, &m_handle), SQL_HANDLE_DBC, connection);
}

TOdbcStatement::~TOdbcStatement() {
    if (m_handle != SQL_NULL_HSTMT)
        SQLFreeHandle(SQL_HANDLE_STMT, m_handle);
}

bool TOdbcStatement::Fetch() const {
    const SQLRETURN rc = SQLFetch(m_handle);
    if (rc == SQL_NO_DATA)
        return false;
    Check(rc);
    return true;
}

QVariant TOdbcStatement::Text(SQLUSMALLINT column) const {
    const bool wide = !OdbcNarrowCalls(m_text);
    QString result;
    QByteArray bytes;
    union {
        SQLWCHAR Wide[1024];
        char Narrow[2048];
    } buffer;
    const qsizetype capacity = wide ? qsizetype(std::size(buffer.Wide)) - 1 : qsizetype(sizeof buffer) - 1;
    for (;;) {
        SQLLEN indicator = 0;
        const SQLRETURN rc =
            SQLGetData(m_handle, column, wide ? SQL_C_WCHAR : SQL_C_CHAR, &buffer, sizeof buffer, &indicator);
        if (rc == SQL_NO_DATA)
            break;
        Check(rc);
        if (indicator == SQL_NULL_DATA)
            return {};
        if (wide)
            result += OdbcString(buffer.Wide, OdbcWrittenLength(buffer.Wide, capacity, indicator));
        else
            bytes.append(buffer.Narrow, OdbcWrittenLength(buffer.Narrow, capacity, indicator));
        if (rc == SQL_SUCCESS)
            break;
    }
    return wide ? result : OdbcFromNarrow(m_text, bytes.constData(), bytes.size());
}

QVariant TOdbcStatement::Integer(SQLUSMALLINT column) const {
    SQLBIGINT value = 0;
    SQLLEN indicator = 0;
    Check(SQLGetData(m_handle, column, SQL_C_SBIGINT, &value, sizeof value, &indicator));
    if (indicator == SQL_NULL_DATA)
        return {};
    return qint64(value);
}
