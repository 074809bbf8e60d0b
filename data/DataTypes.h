#pragma once

#include <QString>

// The numbers of the data-access world the program talks in: ADO field types, OLE DB type
// indicators and column flags, schema kinds, lock types and execute options.

// ADO DataTypeEnum: the type of a field of a recordset.
enum class TDataType : int {
    Empty = 0,
    TinyInt = 16,
    SmallInt = 2,
    Integer = 3,
    BigInt = 20,
    UnsignedTinyInt = 17,
    UnsignedSmallInt = 18,
    UnsignedInt = 19,
    UnsignedBigInt = 21,
    Single = 4,
    Double = 5,
    Currency = 6,
    Decimal = 14,
    Numeric = 131,
    Boolean = 11,
    Error = 10,
    UserDefined = 132,
    Variant = 12,
    IDispatch = 9,
    IUnknown = 13,
    Guid = 72,
    Date = 7,
    DBDate = 133,
    DBTime = 134,
    DBTimeStamp = 135,
    BSTR = 8,
    Char = 129,
    VarChar = 200,
    LongVarChar = 201,
    WChar = 130,
    VarWChar = 202,
    LongVarWChar = 203,
    Binary = 128,
    VarBinary = 204,
    LongVarBinary = 205,
};

// BLOB-type fields: never searched, shown as "<BLOB>" in reports. adLongVarWChar is not one.
inline bool IsBlobType(TDataType type) {
    return type == TDataType::Binary || type == TDataType::VarBinary || type == TDataType::LongVarBinary ||
           type == TDataType::LongVarChar;
}

// Signed and unsigned integers of every width (Boolean is not one).
inline bool IsIntegerType(TDataType type) {
    switch (type) {
    case TDataType::TinyInt:
    case TDataType::SmallInt:
    case TDataType::Integer:
    case TDataType::BigInt:
    case TDataType::UnsignedTinyInt:
    case TDataType::UnsignedSmallInt:
    case TDataType::UnsignedInt:
    case TDataType::UnsignedBigInt:
        return true;
    default:
        return false;
    }
}

// The OLE DB type indicator (DBTYPE) of an ADO field type; the numbers coincide except for
// the variable-length kinds, which OLE DB reports as their base type.
int DbTypeOf(TDataType type);

// OLE DB column flags of the COLUMNS schema rowset.
namespace TColumnFlags {
constexpr int IsFixedLength = 0x10;
constexpr int IsNullable = 0x20;
constexpr int MaybeNull = 0x40;
constexpr int IsLong = 0x80;
} // namespace TColumnFlags

// ADO SchemaEnum: the kinds of schema rowsets OpenSchema knows.
enum class TSchemaKind : int {
    ProviderSpecific = -1,
    Asserts = 0,
    Catalogs = 1,
    CharacterSets = 2,
    Collations = 3,
    Columns = 4,
    CheckConstraints = 5,
    ConstraintColumnUsage = 6,
    ConstraintTableUsage = 7,
    KeyColumnUsage = 8,
    ReferentialConstraints = 9,
    TableConstraints = 10,
    ColumnsDomainUsage = 11,
    Indexes = 12,
    ColumnPrivileges = 13,
    TablePrivileges = 14,
    UsagePrivileges = 15,
    Procedures = 16,
    Schemata = 17,
    SQLLanguages = 18,
    Statistics = 19,
    Tables = 20,
    Translations = 21,
    ProviderTypes = 22,
    Views = 23,
    ViewColumnUsage = 24,
    ViewTableUsage = 25,
    ProcedureParameters = 26,
    ForeignKeys = 27,
    PrimaryKeys = 28,
    ProcedureColumns = 29,
    DBInfoKeywords = 30,
    DBInfoLiterals = 31,
    Cubes = 32,
    Dimensions = 33,
    Hierarchies = 34,
    Levels = 35,
    Measures = 36,
    Properties = 37,
    Members = 38,
};

// "Columns", "ProviderSpecific", ...: the SchemaEnum name without its prefix.
QString SchemaKindName(TSchemaKind kind);

enum class TLockType { ReadOnly, Optimistic };

// Synchronous: Open reads every row before it returns. AsyncFetch: Open returns once the
// statement has run; the rows arrive in a worker thread with FetchProgress/FetchComplete.
enum class TExecuteOption { Synchronous, AsyncFetch };

// What a recordset can do (ADO CursorOptionEnum, as far as the program asks).
enum class TCursorOption { Update, Bookmark };
