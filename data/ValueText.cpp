#include "data/ValueText.h"

#include "data/DataError.h"
#include "data/Recordset.h"
#include "data/RowStore.h"

#include <QDateTime>
#include <QLocale>
#include <QRegularExpression>
#include <algorithm>
#include <charconv>
#include <cmath>
#include <limits>

namespace {

const QString kNaN = QStringLiteral("NaN");
const QString kInfinity = QStringLiteral("∞");
const QString kMinusInfinity = QStringLiteral("-∞");

QString DateFormat() {
    static const QString format = [] {
        QString f = TValueText::Locale().dateFormat(QLocale::ShortFormat);
        if (!f.contains(QLatin1String("yyyy")))
            f.replace(QLatin1String("yy"), QLatin1String("yyyy"));
        return f;
    }();
    return format;
}

QString TimeFormat() {
    static const QString format = [] {
        QString f = TValueText::Locale().timeFormat(QLocale::ShortFormat);
        if (!f.contains(QLatin1String("ss")))
            f.replace(QLatin1String("mm"), QLatin1String("mm:ss"));
        return f;
    }();
    return format;
}

// A date, time or timestamp in the ISO form databases write, taken apart without ever
// passing through a local time (which has gaps and doubled hours).
struct TCalendar {
    bool HasDate = false;
    bool HasTime = false;
    int Year = 0, Month = 0, Day = 0;
    int Hour = 0, Minute = 0, Second = 0;
    QString Fraction; // the digits after the point, as written
    QString Offset;   // "+02", "-05:30", "Z", as written
};

bool ReadDigits(QStringView text, qsizetype& at, int count, int& value) {
    if (at + count > text.size())
        return false;
    value = 0;
    for (int i = 0; i < count; ++i) {
        const QChar c = text[at + i];
        if (c < u'0' || c > u'9')
            return false;
        value = value * 10 + (c.unicode() - u'0');
    }
    at += count;
    return true;
}

bool ReadTime(QStringView text, qsizetype& at, TCalendar& c) {
    if (!ReadDigits(text, at, 2, c.Hour) || at >= text.size() || text[at] != u':')
        return false;
    ++at;
    if (!ReadDigits(text, at, 2, c.Minute))
        return false;
    if (at < text.size() && text[at] == u':') {
        ++at;
        if (!ReadDigits(text, at, 2, c.Second))
            return false;
        if (at < text.size() && text[at] == u'.') {
            const qsizetype start = ++at;
            while (at < text.size() && text[at] >= u'0' && text[at] <= u'9')
                ++at;
            if (at == start)
                return false;
            c.Fraction = text.mid(start, at - start).toString();
        }
    }
    c.HasTime = true;
    return c.Hour <= 23 && c.Minute <= 59 && c.Second <= 59;
}

// "Z", "+HH", "+HH:MM", "+HH:MM:SS", "+HHMM"; spaces before it are allowed.
bool ReadOffset(QStringView text, qsizetype at, TCalendar& c) {
    while (at < text.size() && text[at] == u' ')
        ++at;
    const QStringView rest = text.mid(at);
    if (rest.isEmpty())
        return true;
    static const QRegularExpression shape(QStringLiteral("^(Z|[+-]\\d\\d(:\\d\\d(:\\d\\d)?|\\d\\d)?)$"));
    if (!shape.match(rest.toString()).hasMatch())
        return false;
    c.Offset = rest.toString();
    return true;
}

bool ReadCalendar(QStringView text, TCalendar& c) {
    c = TCalendar();
    qsizetype at = 0;
    if (text.size() >= 10 && text[4] == u'-') {
        if (!ReadDigits(text, at, 4, c.Year) || text[at++] != u'-' || !ReadDigits(text, at, 2, c.Month) ||
            at >= text.size() || text[at++] != u'-' || !ReadDigits(text, at, 2, c.Day) ||
            !QDate::isValid(c.Year, c.Month, c.Day) || c.Year < 1)
            return false;
        c.HasDate = true;
        if (at == text.size())
            return true;
        if (text[at] != u' ' && text[at] != u'T')
            return false;
        ++at;
    }
    if (!ReadTime(text, at, c))
        return false;
    return ReadOffset(text, at, c);
}

QString FractionText(QString fraction) {
    while (fraction.endsWith(u'0'))
        fraction.chop(1);
    return fraction.isEmpty() ? fraction : TValueText::Locale().decimalPoint() + fraction;
}

QString CalendarText(const TCalendar& c) {
    QString out;
    if (c.HasDate)
        out = TValueText::Locale().toString(QDate(c.Year, c.Month, c.Day), DateFormat());
    const QString fraction = FractionText(c.Fraction);
    const bool midnight = c.Hour == 0 && c.Minute == 0 && c.Second == 0 && fraction.isEmpty();
    // A timestamp at midnight reads as its day, as a date-time value of the platform does.
    if (c.HasTime && (!c.HasDate || !midnight || !c.Offset.isEmpty())) {
        if (!out.isEmpty())
            out += u' ';
        out += TValueText::Locale().toString(QTime(c.Hour, c.Minute, c.Second), TimeFormat()) + fraction;
    }
    if (!c.Offset.isEmpty())
        out += u' ' + c.Offset;
    return out;
}

TCalendar WallClock(qint64 days, qint64 msecsOfDay) {
    TCalendar c;
    const QDate d = QDate(1970, 1, 1).addDays(days);
    c.HasDate = true;
    d.getDate(&c.Year, &c.Month, &c.Day);
    c.HasTime = true;
    c.Hour = int(msecsOfDay / 3600000);
    c.Minute = int(msecsOfDay / 60000 % 60);
    c.Second = int(msecsOfDay / 1000 % 60);
    c.Fraction = QStringLiteral("%1").arg(msecsOfDay % 1000, 3, 10, QLatin1Char('0'));
    return c;
}

} // namespace

namespace TValueText {

const QLocale& Locale() {
    // The system locale's formats under its name: the system locale object itself takes a
    // lock on every use, which a copy of a million rows feels.
    static const QLocale locale = [] {
        QLocale l(QLocale::system().name());
        l.setNumberOptions(QLocale::OmitGroupSeparator);
        return l;
    }();
    return locale;
}

bool IsCalendarType(TDataType type) {
    return type == TDataType::Date || type == TDataType::DBDate || type == TDataType::DBTimeStamp ||
           type == TDataType::DBTime;
}

bool IsDecimalType(TDataType type) {
    return type == TDataType::Numeric || type == TDataType::Decimal || type == TDataType::Currency ||
           type == TDataType::Double || type == TDataType::Single;
}

QString Number(double value, bool single) {
    if (std::isnan(value))
        return kNaN;
    if (std::isinf(value))
        return value > 0 ? kInfinity : kMinusInfinity;
    // A value beyond the float's range in a single-precision column is no float: its own digits.
    if (single && std::abs(value) > double(std::numeric_limits<float>::max()))
        single = false;
    char buffer[64];
    const std::to_chars_result r =
        single ? std::to_chars(buffer, buffer + sizeof buffer, float(value), std::chars_format::scientific)
               : std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::scientific);
    // "-1.2345e+07": sign, digits, exponent.
    const char* p = buffer;
    const bool negative = *p == '-';
    if (negative)
        ++p;
    QString digits;
    for (; p < r.ptr && *p != 'e'; ++p)
        if (*p != '.')
            digits += QLatin1Char(*p);
    // The exponent ends where to_chars stopped: the buffer holds no terminator, and the bytes
    // after it are whatever the stack held (atoi read them as more digits).
    int exponent = 0;
    if (p < r.ptr) {
        const char* e = p + 1;
        const bool negativeExponent = e < r.ptr && *e == '-';
        if (e < r.ptr && (*e == '+' || *e == '-'))
            ++e;
        std::from_chars(e, r.ptr, exponent);
        if (negativeExponent)
            exponent = -exponent;
    }
    const QString point = Locale().decimalPoint();
    QString out = negative ? QStringLiteral("-") : QString();
    if (exponent < -4 || exponent >= 15) {
        out += digits.left(1);
        if (digits.size() > 1)
            out += point + digits.mid(1);
        out += (exponent < 0 ? QStringLiteral("E-") : QStringLiteral("E+")) +
               QStringLiteral("%1").arg(std::abs(exponent), 2, 10, QLatin1Char('0'));
    } else if (exponent < 0) {
        out += u'0' + point + QString(-exponent - 1, u'0') + digits;
    } else if (digits.size() <= exponent + 1) {
        out += digits + QString(exponent + 1 - digits.size(), u'0');
    } else {
        out += digits.left(exponent + 1) + point + digits.mid(exponent + 1);
    }
    return out;
}

QString Decimal(QStringView text) {
    if (text.compare(QLatin1String("NaN"), Qt::CaseInsensitive) == 0)
        return kNaN;
    if (text.compare(QLatin1String("Infinity"), Qt::CaseInsensitive) == 0)
        return kInfinity;
    if (text.compare(QLatin1String("-Infinity"), Qt::CaseInsensitive) == 0)
        return kMinusInfinity;
    // Digits with at most one point, a sign before them: "-12.50", ".5".
    qsizetype i = !text.isEmpty() && (text[0] == u'-' || text[0] == u'+') ? 1 : 0;
    int digits = 0, points = 0;
    for (; i < text.size(); ++i) {
        if (text[i] >= u'0' && text[i] <= u'9')
            ++digits;
        else if (text[i] == u'.' && ++points == 1)
            continue;
        else
            return text.toString();
    }
    if (digits == 0)
        return text.toString();
    QString out = text.toString();
    out.replace(u'.', Locale().decimalPoint());
    return out;
}

QString Calendar(QStringView text) {
    TCalendar c;
    return ReadCalendar(text, c) ? CalendarText(c) : text.toString();
}

QString Date(qint64 daysSinceEpoch) {
    return Locale().toString(QDate(1970, 1, 1).addDays(daysSinceEpoch), DateFormat());
}

QString TimeOfDay(qint64 msecsOfDay) {
    TCalendar c = WallClock(0, msecsOfDay);
    c.HasDate = false;
    return CalendarText(c);
}

QString Timestamp(qint64 msecsSinceEpoch) {
    constexpr qint64 day = 86400000;
    const qint64 days = msecsSinceEpoch >= 0 ? msecsSinceEpoch / day : -((-msecsSinceEpoch + day - 1) / day);
    return CalendarText(WallClock(days, msecsSinceEpoch - days * day));
}

} // namespace TValueText

QString TRecordset::CellText(const TCell& cell, TDataType type) {
    switch (cell.Kind) {
    case TCell::Null:
        return {};
    case TCell::Integer:
        if (type == TDataType::Boolean)
            return cell.Int ? QStringLiteral("True") : QStringLiteral("False");
        return TValueText::Locale().toString(cell.Int);
    case TCell::Float:
        return TValueText::Number(cell.Real, type == TDataType::Single);
    case TCell::Text: {
        const QString text = QString::fromUtf8(cell.Data, cell.Size);
        if (TValueText::IsCalendarType(type))
            return TValueText::Calendar(text);
        if (TValueText::IsDecimalType(type))
            return TValueText::Decimal(text);
        return text;
    }
    case TCell::Bytes:
        return QStringLiteral("0x") + QString::fromLatin1(QByteArray(cell.Data, cell.Size).toHex().toUpper());
    case TCell::Date:
        return TValueText::Date(cell.Int);
    case TCell::Time:
        return TValueText::TimeOfDay(cell.Int);
    case TCell::Timestamp:
        return TValueText::Timestamp(cell.Int);
    }
    return {};
}

namespace {

// Reads numbers in the user's locale first, then in their SQL form ("1.5"); a group
// separator is refused, so that "1.5" in a locale with a decimal comma is not fifteen.
const QLocale& ParseLocale() {
    static const QLocale locale = [] {
        QLocale l = TValueText::Locale();
        l.setNumberOptions(QLocale::RejectGroupSeparator);
        return l;
    }();
    return locale;
}

bool ParseNumberText(const QString& text, QString& sqlForm) {
    bool ok = false;
    const QLocale locale = ParseLocale();
    locale.toDouble(text, &ok);
    if (ok) {
        sqlForm = text;
        sqlForm.replace(locale.decimalPoint(), QLatin1String("."));
        return true;
    }
    QLocale::c().toDouble(text, &ok);
    sqlForm = text;
    return ok;
}

// The displayed texts of NaN and the infinities, and the database spellings of them.
bool ParseSpecialNumber(const QString& text, double& value, QString& sqlForm) {
    if (text == kNaN || text.compare(QLatin1String("nan"), Qt::CaseInsensitive) == 0) {
        value = std::nan("");
        sqlForm = QStringLiteral("NaN");
        return true;
    }
    for (const bool negative : {false, true}) {
        const QString sign = negative ? QStringLiteral("-") : QString();
        if (text == (negative ? kMinusInfinity : kInfinity) ||
            text.compare(sign + QLatin1String("Infinity"), Qt::CaseInsensitive) == 0 ||
            text.compare(sign + QLatin1String("inf"), Qt::CaseInsensitive) == 0) {
            value = negative ? -HUGE_VAL : HUGE_VAL;
            sqlForm = sign + QStringLiteral("Infinity");
            return true;
        }
    }
    return false;
}

// A typed date, time or timestamp: the user's own date and time format (with the locale's
// decimal point in the seconds and an offset after a blank) or the ISO form the database
// writes.
bool ReadTypedCalendar(const QString& text, TCalendar& c) {
    if (ReadCalendar(text, c))
        return true;
    const QStringList parts = text.split(u' ', Qt::SkipEmptyParts);
    if (parts.isEmpty())
        return false;
    const QDate d = TValueText::Locale().toDate(parts.first(), DateFormat());
    const qsizetype timeAt = d.isValid() ? 1 : 0;
    QString iso = d.isValid() ? d.toString(Qt::ISODate) : QString();
    for (qsizetype i = timeAt; i < parts.size(); ++i) {
        QString part = parts[i];
        if (i > timeAt) {
            iso += part; // the offset
            continue;
        }
        const QString point = TValueText::Locale().decimalPoint();
        if (part.contains(point)) {
            part.replace(point, QLatin1String("."));
        } else {
            // The locale's own time format ("1:05:00 PM" would be two parts) or a short hour.
            for (const QString& format : {TimeFormat(), QStringLiteral("H:mm:ss"), QStringLiteral("H:mm")}) {
                const QTime t = QTime::fromString(part, format);
                if (t.isValid()) {
                    part = t.toString(QStringLiteral("HH:mm:ss"));
                    break;
                }
            }
        }
        if (part.size() > 1 && part[1] == u':')
            part.prepend(u'0');
        iso += (iso.isEmpty() ? QString() : QStringLiteral(" ")) + part;
    }
    return ReadCalendar(iso, c);
}

QString SqlCalendarText(const TCalendar& c) {
    QString out;
    if (c.HasDate)
        out = QStringLiteral("%1-%2-%3")
                  .arg(c.Year, 4, 10, QLatin1Char('0'))
                  .arg(c.Month, 2, 10, QLatin1Char('0'))
                  .arg(c.Day, 2, 10, QLatin1Char('0'));
    if (c.HasTime) {
        if (!out.isEmpty())
            out += u' ';
        out += QStringLiteral("%1:%2:%3")
                   .arg(c.Hour, 2, 10, QLatin1Char('0'))
                   .arg(c.Minute, 2, 10, QLatin1Char('0'))
                   .arg(c.Second, 2, 10, QLatin1Char('0'));
        if (!c.Fraction.isEmpty())
            out += u'.' + c.Fraction;
    }
    return out + c.Offset;
}

// A value of a date type the database sent as it is ("0000-00-00", "838:59:59", "-01:30:00",
// "0044-03-15 BC", "infinity"): typed back, it goes to the database as text.
bool IsDatabaseCalendarText(const QString& text) {
    static const QRegularExpression shape(
        QStringLiteral("^([+-]?infinity|[+-]?\\d+[-:][\\d:.\\- ]*( BC)?[+-]?[\\d:]*)$"),
        QRegularExpression::CaseInsensitiveOption);
    return shape.match(text).hasMatch();
}

QVariant CalendarValue(const QString& text, TDataType type) {
    TCalendar c;
    if (!ReadTypedCalendar(text, c))
        return IsDatabaseCalendarText(text) ? QVariant(text) : QVariant();
    if ((type == TDataType::DBTime && c.HasDate) || (type != TDataType::DBTime && !c.HasDate))
        return {};
    // Exactly what was typed goes to the database as text where the binary forms would drop
    // something: fractions below a millisecond, the offset, the time of a date column, and any
    // fraction of a time of day (ODBC's time structure has no place for one).
    if (c.Fraction.size() > 3 || !c.Offset.isEmpty() || (type == TDataType::DBDate && c.HasTime) ||
        (!c.HasDate && !c.Fraction.isEmpty()))
        return QVariant(SqlCalendarText(c));
    const QTime time(c.Hour, c.Minute, c.Second,
                     QStringView(c.Fraction + QStringLiteral("000")).left(3).toInt());
    if (!c.HasDate)
        return QVariant(time);
    const QDate date(c.Year, c.Month, c.Day);
    if (type == TDataType::DBDate)
        return QVariant(date);
    return QVariant(QDateTime(date, time, Qt::UTC));
}

} // namespace

QVariant TRecordset::ParseText(const QString& typed, TDataType type, const QString& fieldName) {
    const QString text = typed.trimmed();
    if (typed.isEmpty())
        return {};
    // Blanks alone are no number or date: the field is emptied, as when nothing is typed.
    // A text field keeps them as typed.
    static constexpr TDataType TextTypes[] = {
        TDataType::BSTR,     TDataType::Char,        TDataType::WChar,       TDataType::VarChar,
        TDataType::VarWChar, TDataType::LongVarChar, TDataType::LongVarWChar};
    if (text.isEmpty() && std::find(std::begin(TextTypes), std::end(TextTypes), type) == std::end(TextTypes))
        return {};
    const auto invalid = [&] {
        return TDataError(
            QStringLiteral("„%1“ ist kein gültiger Wert für das Feld „%2“").arg(typed, fieldName));
    };
    if (IsIntegerType(type)) {
        bool ok = false;
        qlonglong value = ParseLocale().toLongLong(text, &ok);
        if (!ok)
            value = QLocale::c().toLongLong(text, &ok);
        if (!ok)
            throw invalid();
        return QVariant(value);
    }
    switch (type) {
    case TDataType::Single:
    case TDataType::Double: {
        QString sql;
        double special = 0;
        if (ParseSpecialNumber(text, special, sql))
            return QVariant(special);
        if (!ParseNumberText(text, sql))
            throw invalid();
        return QVariant(QLocale::c().toDouble(sql));
    }
    case TDataType::Numeric:
    case TDataType::Decimal:
    case TDataType::Currency: {
        // Kept as text in SQL form, so no digit is lost on the way to an exact column.
        QString sql;
        double special = 0;
        if (!ParseSpecialNumber(text, special, sql) && !ParseNumberText(text, sql))
            throw invalid();
        return QVariant(sql);
    }
    case TDataType::Boolean: {
        for (const char* t : {"true", "wahr", "1", "t", "ja"})
            if (text.compare(QLatin1String(t), Qt::CaseInsensitive) == 0)
                return QVariant(true);
        for (const char* f : {"false", "falsch", "0", "f", "nein"})
            if (text.compare(QLatin1String(f), Qt::CaseInsensitive) == 0)
                return QVariant(false);
        throw invalid();
    }
    case TDataType::DBDate:
    case TDataType::DBTime:
    case TDataType::Date:
    case TDataType::DBTimeStamp: {
        const QVariant value = CalendarValue(text, type);
        if (value.isNull())
            throw invalid();
        return value;
    }
    case TDataType::Binary:
    case TDataType::VarBinary:
    case TDataType::LongVarBinary: {
        // Bytes are shown as "0x" and hex digits; that text is read back into the bytes.
        static const QRegularExpression hex(QStringLiteral("^0[xX]((?:[0-9A-Fa-f]{2})*)$"));
        const QRegularExpressionMatch match = hex.match(text);
        if (!match.hasMatch())
            throw TDataError(QStringLiteral("„%1“ ist kein gültiger Wert für das Feld „%2“: Binärdaten "
                                            "werden als 0x und eine gerade Anzahl Hexadezimalziffern "
                                            "geschrieben")
                                 .arg(typed, fieldName));
        return QVariant(QByteArray::fromHex(match.captured(1).toLatin1()));
    }
    default:
        return QVariant(typed);
    }
}
