#include "data/odbc/OdbcParameters.h"

#include "data/DataError.h"

#include <QDateTime>

namespace {

template <typename T> QByteArray Bytes(const T& value) {
    return QByteArray(reinterpret_cast<const char*>(&value), sizeof value);
}

SQL_TIMESTAMP_STRUCT TimestampOf(const QDate& date, const QTime& time) {
    SQL_TIMESTAMP_STRUCT ts{};
    ts.year = SQLSMALLINT(date.year());
    ts.month = SQLUSMALLINT(date.month());
    ts.day = SQLUSMALLINT(date.day());
    ts.hour = SQLUSMALLINT(time.hour());
    ts.minute = SQLUSMALLINT(time.minute());
    ts.second = SQLUSMALLINT(time.second());
    ts.fraction = SQLUINTEGER(time.msec()) * 1000000u;
    return ts;
}

} // namespace

TOdbcParameters::TOdbcParameters(const QVariantList& values, TOdbcText textMode, bool miscountingDriver) {
    m_values.reserve(values.size());
    for (const QVariant& v : values) {
        TValue p;
        if (v.isNull()) {
            p.Indicator = SQL_NULL_DATA;
            m_values.push_back(std::move(p));
            continue;
        }
        switch (v.metaType().id()) {
        case QMetaType::Bool:
            p.CType = SQL_C_BIT;
            p.SqlType = SQL_BIT;
            p.Buffer = Bytes(SQLCHAR(v.toBool() ? 1 : 0));
            break;
        case QMetaType::Int:
        case QMetaType::UInt:
        case QMetaType::Short:
        case QMetaType::UShort:
        case QMetaType::Char:
        case QMetaType::SChar:
        case QMetaType::UChar:
        case QMetaType::Long:
        case QMetaType::ULong:
        case QMetaType::LongLong:
        case QMetaType::ULongLong: {
            const qint64 n = v.toLongLong();
            // Drivers without 64-bit integers still take a value that fits into 32 bits.
            if (n >= std::numeric_limits<SQLINTEGER>::min() && n <= std::numeric_limits<SQLINTEGER>::max()) {
                p.CType = SQL_C_SLONG;
                p.SqlType = SQL_INTEGER;
                p.Buffer = Bytes(SQLINTEGER(n));
            } else {
                p.CType = SQL_C_SBIGINT;
                p.SqlType = SQL_BIGINT;
                p.Buffer = Bytes(SQLBIGINT(n));
            }
            p.ColumnSize = 0;
            break;
        }
        case QMetaType::Double:
        case QMetaType::Float:
            p.CType = SQL_C_DOUBLE;
            p.SqlType = SQL_DOUBLE;
            p.ColumnSize = 15;
            p.Buffer = Bytes(SQLDOUBLE(v.toDouble()));
            break;
        case QMetaType::QByteArray:
            p.CType = SQL_C_BINARY;
            p.Buffer = v.toByteArray();
            p.SqlType = p.Buffer.size() > 8000 ? SQL_LONGVARBINARY : SQL_VARBINARY;
            p.ColumnSize = SQLULEN(std::max<qsizetype>(p.Buffer.size(), 1));
            break;
        case QMetaType::QDate: {
            const QDate d = v.toDate();
            SQL_DATE_STRUCT ds{SQLSMALLINT(d.year()), SQLUSMALLINT(d.month()), SQLUSMALLINT(d.day())};
            p.CType = SQL_C_TYPE_DATE;
            p.SqlType = SQL_TYPE_DATE;
            p.ColumnSize = 10;
            p.Buffer = Bytes(ds);
            break;
        }
        case QMetaType::QTime: {
            const QTime t = v.toTime();
            SQL_TIME_STRUCT ts{SQLUSMALLINT(t.hour()), SQLUSMALLINT(t.minute()), SQLUSMALLINT(t.second())};
            p.CType = SQL_C_TYPE_TIME;
            p.SqlType = SQL_TYPE_TIME;
            p.ColumnSize = 8;
            p.Buffer = Bytes(ts);
            break;
        }
        case QMetaType::QDateTime: {
            const QDateTime dt = v.toDateTime();
            p.CType = SQL_C_TYPE_TIMESTAMP;
            p.SqlType = SQL_TYPE_TIMESTAMP;
            p.ColumnSize = 23;
            p.Digits = 3;
            p.Buffer = Bytes(TimestampOf(dt.date(), dt.time()));
            break;
        }
        default: {
            const QString text = v.toString();
            if (textMode == TOdbcText::Wide) {
                if (miscountingDriver)
                    for (const QChar c : text)
                        if ((c.unicode() & 0xFC) == 0xD8 && !c.isSurrogate())
                            throw TDataError(
                                QStringLiteral("Der ODBC-Treiber würde den Text mit dem Zeichen „%1“ "
                                               "verfälscht speichern; er wird daher nicht gesendet "
                                               "(Zeichensatz der Verbindung auf utf8mb4 stellen)")
                                    .arg(c));
                p.Buffer = QByteArray(reinterpret_cast<const char*>(text.utf16()), text.size() * 2);
                p.SqlType = text.size() > 4000 ? SQL_WLONGVARCHAR : SQL_WVARCHAR;
            } else {
                p.Buffer = OdbcNarrow(textMode, text);
                p.CType = SQL_C_CHAR;
                p.SqlType = p.Buffer.size() > 8000 ? SQL_LONGVARCHAR : SQL_VARCHAR;
            }
            // The size of what the buffer holds, never more: a driver reads that far.
            p.ColumnSize =
                SQLULEN(std::max<qsizetype>(p.CType == SQL_C_CHAR ? p.Buffer.size() : text.size(), 1));
            break;
        }
        }
        p.Indicator = p.Buffer.size();
        m_values.push_back(std::move(p));
    }
}

void TOdbcParameters::Bind(const TOdbcStatement& statement, const QString& sql) const {
    for (size_t i = 0; i < m_values.size(); ++i) {
        const TValue& p = m_values[i];
        // A null still needs a buffer address for some drivers.
        static char empty[2] = {};
        SQLPOINTER data = p.Buffer.isEmpty() ? empty : const_cast<char*>(p.Buffer.constData());
        statement.Check(SQLBindParameter(statement.Handle(), SQLUSMALLINT(i + 1), SQL_PARAM_INPUT, p.CType,
                                         p.SqlType, p.ColumnSize, p.Digits, data, SQLLEN(p.Buffer.size()),
                                         &p.Indicator),
                        sql);
    }
}
