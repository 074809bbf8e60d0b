#pragma once

#include "data/Field.h"

#include <QByteArray>
#include <QVariant>
#include <libpq-fe.h>

class TRowStore;

// What the PostgreSQL provider makes of the server's types: the ADO type of a column, its
// OLE DB column flags, and how a value in the server's text form goes into the row store.
// Pure functions, any thread.
namespace TPgTypes {

// Oids of the built-in types the provider knows by name (pg_type.oid, fixed since 7.x).
enum : Oid {
    BoolOid = 16,
    ByteaOid = 17,
    CharOid = 18,
    NameOid = 19,
    Int8Oid = 20,
    Int2Oid = 21,
    Int4Oid = 23,
    TextOid = 25,
    OidOid = 26,
    JsonOid = 114,
    XmlOid = 142,
    Float4Oid = 700,
    Float8Oid = 701,
    MoneyOid = 790,
    BpcharOid = 1042,
    VarcharOid = 1043,
    DateOid = 1082,
    TimeOid = 1083,
    TimestampOid = 1114,
    TimestampTzOid = 1184,
    IntervalOid = 1186,
    TimeTzOid = 1266,
    BitOid = 1560,
    VarbitOid = 1562,
    NumericOid = 1700,
    UuidOid = 2950,
    JsonbOid = 3802,
};

// How a value's text goes into the row store.
enum class TStoreAs : quint8 { Text, Bool, Int, Real, Date, Time, Timestamp, Bytes };

struct TTypeInfo {
    TDataType Type = TDataType::VarWChar;
    TStoreAs StoreAs = TStoreAs::Text;
    // OLE DB column flags; the flags also pick the provider type a column is named after, so
    // types that share an ADO type differ in them (timestamp with and without time zone).
    bool FixedLength = false;
    bool Long = false;
};

// A built-in type; any other type (arrays, enums, domains resolved by the caller, ranges,
// network and geometric types) is a long text in the server's own notation.
TTypeInfo TypeInfo(Oid type, int typmod = -1);

// The column of a result or of a table: name and type filled, sizes from the type modifier.
TColumnInfo ColumnInfo(const QString& name, Oid type, int typmod);
// OLE DB COLUMN_FLAGS of a table column.
int ColumnFlags(Oid type, int typmod, bool nullable);
// NUMERIC_PRECISION / NUMERIC_SCALE / CHARACTER_MAXIMUM_LENGTH of a column (null when none).
QVariant NumericPrecision(Oid type, int typmod);
QVariant NumericScale(Oid type, int typmod);
QVariant CharacterMaximumLength(Oid type, int typmod);
QVariant DatetimePrecision(Oid type, int typmod);

// Appends one value given in the server's text form (DateStyle ISO, bytea hex). A value
// the row store cannot keep exactly (dates BC or after 9999, sub-millisecond times) stays text.
void AppendValue(TRowStore& store, TStoreAs storeAs, const char* text, int length);

// The text form of a parameter value for the server; null QVariant gives a null pointer.
QByteArray ParameterText(const QVariant& value);

} // namespace TPgTypes
