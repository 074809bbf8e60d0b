#include "data/DataTypes.h"

#include <array>

int DbTypeOf(TDataType type) {
    switch (type) {
    case TDataType::VarChar:
    case TDataType::LongVarChar:
        return int(TDataType::Char);
    case TDataType::VarWChar:
    case TDataType::LongVarWChar:
        return int(TDataType::WChar);
    case TDataType::VarBinary:
    case TDataType::LongVarBinary:
        return int(TDataType::Binary);
    default:
        return int(type);
    }
}

QString SchemaKindName(TSchemaKind kind) {
    static const std::array<const char*, 39> names = {"Asserts",
                                                      "Catalogs",
                                                      "CharacterSets",
                                                      "Collations",
                                                      "Columns",
                                                      "CheckConstraints",
                                                      "ConstraintColumnUsage",
                                                      "ConstraintTableUsage",
                                                      "KeyColumnUsage",
                                                      "ReferentialConstraints",
                                                      "TableConstraints",
                                                      "ColumnsDomainUsage",
                                                      "Indexes",
                                                      "ColumnPrivileges",
                                                      "TablePrivileges",
                                                      "UsagePrivileges",
                                                      "Procedures",
                                                      "Schemata",
                                                      "SQLLanguages",
                                                      "Statistics",
                                                      "Tables",
                                                      "Translations",
                                                      "ProviderTypes",
                                                      "Views",
                                                      "ViewColumnUsage",
                                                      "ViewTableUsage",
                                                      "ProcedureParameters",
                                                      "ForeignKeys",
                                                      "PrimaryKeys",
                                                      "ProcedureColumns",
                                                      "DBInfoKeywords",
                                                      "DBInfoLiterals",
                                                      "Cubes",
                                                      "Dimensions",
                                                      "Hierarchies",
                                                      "Levels",
                                                      "Measures",
                                                      "Properties",
                                                      "Members"};
    const int index = int(kind);
    if (index >= 0 && index < int(names.size()))
        return QString::fromLatin1(names[index]);
    if (kind == TSchemaKind::ProviderSpecific)
        return QStringLiteral("ProviderSpecific");
    return QString::number(index);
}
