#include "data/postgres/PostgresTypes.h"

#include "data/RowStore.h"

#include <QDateTime>
#include <charconv>
#include <cmath>
#include <vector>

namespace TPgTypes {

TTypeInfo TypeInfo(Oid type, int typmod) {
    using S = TStoreAs;
    using T = TDataType;
    switch (type) {
    case BoolOid:
        return {T::Boolean, S::Bool, true, false};
    case Int2Oid:
        return {T::SmallInt, S::Int, true, false};
    case Int4Oid:
        return {T::Integer, S::Int, true, false};
    case Int8Oid:
        return {T::BigInt, S::Int, true, false};
    case OidOid:
        return {T::UnsignedInt, S::Int, true, false};
    case Float4Oid:
        return {T::Single, S::Real, true, false};
    case Float8Oid:
        return {T::Double, S::Real, true, false};
    case NumericOid:
        // Kept as text: a double would lose digits. Unconstrained numeric is variable-length
        // and named without precision and scale.
        return {T::Numeric, S::Text, typmod >= 0, false};
    case MoneyOid:
        return {T::Currency, S::Text, true, false};
    case BpcharOid:
    case CharOid:
        return {T::WChar, S::Text, true, false};
    case VarcharOid:
    case NameOid:
        return {T::VarWChar, S::Text, false, false};
    case ByteaOid:
        return {T::LongVarBinary, S::Bytes, false, true};
    case DateOid:
        return {T::DBDate, S::Date, true, false};
    case TimeOid:
        return {T::DBTime, S::Time, true, false};
    case TimeTzOid:
        return {T::DBTime, S::Text, false, false};
    case TimestampOid:
        return {T::DBTimeStamp, S::Timestamp, true, false};
    case TimestampTzOid:
        // Kept as the server writes it, with its offset: the wall clock alone would name
        // another instant wherever the offset differs, and a copied value would be ambiguous.
        return {T::DBTimeStamp, S::Text, false, false};
    case UuidOid:
        return {T::Guid, S::Text, true, false};
    default:
        return {T::LongVarWChar, S::Text, false, true};
    }
}

TColumnInfo ColumnInfo(const QString& name, Oid type, int typmod) {
    TColumnInfo c;
    c.Name = name;
    c.Type = TypeInfo(type, typmod).Type;
    const QVariant length = CharacterMaximumLength(type, typmod);
    if (!length.isNull())
        c.DefinedSize = length.toLongLong();
    else if (type == UuidOid)
        c.DefinedSize = 36;
    c.Precision = NumericPrecision(type, typmod).toInt();
    c.Scale = NumericScale(type, typmod).toInt();
    return c;
}

int ColumnFlags(Oid type, int typmod, bool nullable) {
    const TTypeInfo info = TypeInfo(type, typmod);
    int flags = 0;
    if (info.FixedLength)
        flags |= TColumnFlags::IsFixedLength;
    if (info.Long)
        flags |= TColumnFlags::IsLong;
    if (nullable)
        flags |= TColumnFlags::IsNullable | TColumnFlags::MaybeNull;
    return flags;
}

QVariant NumericPrecision(Oid type, int typmod) {
    switch (type) {
    case Int2Oid:
        return 5;
    case Int4Oid:
    case OidOid:
        return 10;
    case Int8Oid:
        return 19;
    case Float4Oid:
        return 7;
    case Float8Oid:
        return 15;
    case MoneyOid:
        return 19;
    case NumericOid:
        if (typmod >= 4)
            return ((typmod - 4) >> 16) & 0xffff;
        return {};
    default:
        return {};
    }
}

QVariant NumericScale(Oid type, int typmod) {
    if (type == NumericOid && typmod >= 4)
        return qint16((typmod - 4) & 0xffff); // negative scales exist since PostgreSQL 15
    if (type == MoneyOid)
        return 2;
    return {};
}

QVariant CharacterMaximumLength(Oid type, int typmod) {
    switch (type) {
    case BpcharOid:
    case VarcharOid:
        if (typmod >= 4)
            return typmod - 4;
        return type == BpcharOid ? QVariant(1) : QVariant();
    case CharOid:
        return 1;
    case BitOid:
    case VarbitOid:
        // In bits; the type modifier is the length itself.
        return typmod >= 0 ? QVariant(typmod) : QVariant();
    case NameOid:
        return 63;
    default:
        return {};
    }
}

QVariant DatetimePrecision(Oid type, int typmod) {
    switch (type) {
    case DateOid:
        return 0;
    case TimeOid:
    case TimeTzOid:
    case TimestampOid:
    case TimestampTzOid:
    case IntervalOid:
        return typmod >= 0 ? (typmod & 0xffff) : 6;
    default:
        return {};
    }
}

namespace {

// Days since 1970-01-01 of a proleptic Gregorian date.
qint64 DaysFromCivil(int y, int m, int d) {
    y -= m <= 2;
    const int era = (y >= 0 ? y : y - 399) / 400;
    const int yoe = y - era * 400;
    const int doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const int doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return qint64(era) * 146097 + doe - 719468;
}

bool Digits(const char* p, int count, int& value) {
    value = 0;
    for (int i = 0; i < count; ++i) {
        if (p[i] < '0' || p[i] > '9')
            return false;
        value = value * 10 + (p[i] - '0');
    }
    return true;
}

// "YYYY-MM-DD"
bool ParseDate(const char* p, int length, qint64& days) {
    int y, m, d;
    if (length < 10 || p[4] != '-' || p[7] != '-' || !Digits(p, 4, y) || !Digits(p + 5, 2, m) ||
        !Digits(p + 8, 2, d) || m < 1 || m > 12 || d < 1 || d > 31)
        return false;
    days = DaysFromCivil(y, m, d);
    return true;
}

// "HH:MM:SS[.ffffff]"; false when the value needs more than milliseconds or is the 24:00:00
// that QTime cannot hold.
bool ParseTime(const char* p, int length, qint64& msecs, int& used) {
    int h, mi, s;
    if (length < 8 || p[2] != ':' || p[5] != ':' || !Digits(p, 2, h) || !Digits(p + 3, 2, mi) ||
        !Digits(p + 6, 2, s) || h > 23 || mi > 59 || s > 59)
        return false;
    int i = 8;
    int ms = 0;
    if (i < length && p[i] == '.') {
        ++i;
        int digits = 0;
        while (i < length && p[i] >= '0' && p[i] <= '9') {
            if (digits < 3)
                ms = ms * 10 + (p[i] - '0');
            else if (p[i] != '0')
                return false;
            ++digits;
            ++i;
        }
        for (; digits < 3; ++digits)
            ms *= 10;
    }
    used = i;
    msecs = ((h * 60 + mi) * 60 + s) * 1000LL + ms;
    return true;
}

int HexValue(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

bool AppendHexBytes(TRowStore& store, const char* p, int length) {
    if (length < 2 || p[0] != '\\' || p[1] != 'x' || (length % 2) != 0)
        return false;
    thread_local std::vector<char> buffer;
    buffer.resize(size_t(length - 2) / 2);
    for (int i = 2, o = 0; i < length; i += 2, ++o) {
        const int hi = HexValue(p[i]);
        const int lo = HexValue(p[i + 1]);
        if (hi < 0 || lo < 0)
            return false;
        buffer[size_t(o)] = char(hi << 4 | lo);
    }
    store.AddBytes(buffer.data(), qsizetype(buffer.size()));
    return true;
}

// Plain decimal text ("12500.01", "-3") of at most 15 significant digits: digits and power
// of ten are then exact doubles and one division rounds once, to the same double from_chars
// reads, at a fraction of its cost. Anything else is left to from_chars.
bool ParsePlainDecimal(const char* p, int length, double& value) {
    static constexpr double kPowersOfTen[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                              1e8,  1e9,  1e10, 1e11, 1e12, 1e13, 1e14, 1e15,
                                              1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};
    const char* end = p + length;
    const bool negative = p < end && *p == '-';
    if (negative)
        ++p;
    if (p == end || *p < '0' || *p > '9')
        return false;
    quint64 digits = 0;
    int significant = 0, fraction = 0;
    bool point = false;
    for (; p < end; ++p) {
        if (*p >= '0' && *p <= '9') {
            if (digits != 0 || *p != '0')
                ++significant;
            digits = digits * 10 + quint64(*p - '0');
            fraction += point;
        } else if (*p == '.' && !point) {
            point = true;
        } else {
            return false;
        }
    }
    if (significant > 15 || fraction > 22 || (point && fraction == 0))
        return false;
    value = double(digits) / kPowersOfTen[fraction];
    if (negative)
        value = -value;
    return true;
}

} // namespace

void AppendValue(TRowStore& store, TStoreAs storeAs, const char* p, int length) {
    switch (storeAs) {
    case TStoreAs::Text:
        break;
    case TStoreAs::Bool:
        if (length == 1 && (p[0] == 't' || p[0] == 'f')) {
            store.AddInt(p[0] == 't' ? 1 : 0);
            return;
        }
        break;
    case TStoreAs::Int: {
        qint64 value = 0;
        const auto r = std::from_chars(p, p + length, value);
        if (r.ec == std::errc() && r.ptr == p + length) {
            store.AddInt(value);
            return;
        }
        break;
    }
    case TStoreAs::Real: {
        double value = 0;
        if (ParsePlainDecimal(p, length, value)) {
            store.AddReal(value);
            return;
        }
        const auto r = std::from_chars(p, p + length, value);
        if (r.ec == std::errc() && r.ptr == p + length) {
            store.AddReal(value);
            return;
        }
        break;
    }
    case TStoreAs::Date: {
        qint64 days = 0;
        if (length == 10 && ParseDate(p, length, days)) {
            store.AddDate(days);
            return;
        }
        break;
    }
    case TStoreAs::Time: {
        qint64 msecs = 0;
        int used = 0;
        if (ParseTime(p, length, msecs, used) && used == length) {
            store.AddTime(msecs);
            return;
        }
        break;
    }
    case TStoreAs::Timestamp: {
        qint64 days = 0, msecs = 0;
        int used = 0;
        if (length >= 19 && p[10] == ' ' && ParseDate(p, 10, days) &&
            ParseTime(p + 11, length - 11, msecs, used) && 11 + used == length) {
            store.AddTimestamp(days * 86400000LL + msecs);
            return;
        }
        break;
    }
    case TStoreAs::Bytes:
        if (AppendHexBytes(store, p, length))
            return;
        break;
    }
    store.AddText(p, length);
}

QByteArray ParameterText(const QVariant& value) {
    if (value.isNull())
        return {};
    switch (value.typeId()) {
    case QMetaType::Bool:
        return value.toBool() ? QByteArrayLiteral("true") : QByteArrayLiteral("false");
    case QMetaType::Double:
    case QMetaType::Float: {
        const double d = value.toDouble();
        if (std::isnan(d))
            return QByteArrayLiteral("NaN");
        if (std::isinf(d))
            return d > 0 ? QByteArrayLiteral("Infinity") : QByteArrayLiteral("-Infinity");
        return QByteArray::number(d, 'g', 17);
    }
    case QMetaType::QByteArray:
        // Hex input of bytea; as an untyped parameter it also fits a text column.
        return QByteArrayLiteral("\\x") + value.toByteArray().toHex();
    case QMetaType::QDate:
        return value.toDate().toString(Qt::ISODate).toLatin1();
    case QMetaType::QTime:
        return value.toTime().toString(QStringLiteral("HH:mm:ss.zzz")).toLatin1();
    case QMetaType::QDateTime: {
        const QDateTime dt = value.toDateTime();
        return (dt.date().toString(Qt::ISODate) + u' ' + dt.time().toString(QStringLiteral("HH:mm:ss.zzz")))
            .toLatin1();
    }
    default: {
        QByteArray text = value.toString().toUtf8();
        if (text.isNull())
            text = QByteArray(""); // an empty text is not null
        return text;
    }
    }
}

} // namespace TPgTypes
