#pragma once

#include "data/DataTypes.h"

#include <QString>

class QLocale;

// How a value read from a database reads as text, the same for every provider (the rules are
// listed in data/README.md). The reverse way, a typed text back to a value, is
// TRecordset::ParseText. Pure functions, any thread.
namespace TValueText {

// The user's locale, without group separators.
const QLocale& Locale();

bool IsCalendarType(TDataType type);
bool IsDecimalType(TDataType type);

// A binary floating-point number: the shortest digits that read back as the same double (as
// the same float when single), in plain notation unless the exponent is below -4 or 15 and
// above; "NaN", "∞", "-∞".
QString Number(double value, bool single);

// A number in SQL text form ("-12.50", "NaN", "Infinity") in the user's locale; any other
// text (a currency amount, "1.5E+3") stays as it is.
QString Decimal(QStringView text);

// A date, time of day or timestamp as databases write it ("2024-03-01", "23:59:59.999999",
// "2024-03-01 12:00:00+02", SQLite's "2024-03-01T12:00Z"): in the user's date and time
// format, every fraction digit kept, a zone offset kept as written. A text that is no day of
// the calendar or time of day ("0000-00-00", "838:59:59", "-01:30:00", "0044-03-15 BC",
// "infinity") stays as it is.
QString Calendar(QStringView text);

// Dates and times kept in binary form (wall clock, never a local time).
QString Date(qint64 daysSinceEpoch);
QString TimeOfDay(qint64 msecsOfDay);
QString Timestamp(qint64 msecsSinceEpoch);

} // namespace TValueText
