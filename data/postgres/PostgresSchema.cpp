#include "data/DataError.h"
#include "data/postgres/PostgresSession.h"
#include "data/postgres/PostgresTypes.h"

#include <QDateTime>
#include <algorithm>

// Schema rowsets from pg_catalog and information_schema, in the OLE DB columns of each kind.
// Restriction values arrive as text parameters $1, $2, ... in the order of the kind's
// restriction columns (null when unrestricted).

namespace {

const char* const kRule =
    "CASE %1 WHEN 'a' THEN 'NO ACTION' WHEN 'r' THEN 'RESTRICT' WHEN 'c' THEN 'CASCADE' "
    "WHEN 'n' THEN 'SET NULL' WHEN 'd' THEN 'SET DEFAULT' END";

// The type indicator of a type given by its oid in a cell.
int DbTypeOfOid(const PGresult* r, int row, int column) {
    return DbTypeOf(TPgTypes::TypeInfo(Oid(QByteArray(PQgetvalue(r, row, column)).toUInt())).Type);
}

QVariant Cell(const PGresult* r, int row, int column, TDataType type) {
    if (column >= PQnfields(r) || PQgetisnull(r, row, column))
        return {};
    const char* text = PQgetvalue(r, row, column);
    switch (type) {
    case TDataType::Integer:
        return QByteArray(text).toInt();
    case TDataType::BigInt:
        return QByteArray(text).toLongLong();
    case TDataType::Boolean:
        return text[0] == 't';
    case TDataType::DBTimeStamp:
        return QDateTime::fromString(QString::fromLatin1(text).left(19),
                                     QStringLiteral("yyyy-MM-dd HH:mm:ss"));
    default:
        return QString::fromUtf8(text);
    }
}

QVariantList RestrictionValues(const QVariantList& restrictions) {
    QVariantList values;
    for (const QVariant& r : restrictions)
        values.append(r.isNull() || r.toString().isEmpty() ? QVariant() : QVariant(r.toString()));
    return values;
}

// Statements of the kinds whose columns come straight from SQL.
QString KindSql(TSchemaKind kind) {
    using K = TSchemaKind;
    switch (kind) {
    case K::Catalogs:
        return QStringLiteral(
            "SELECT datname, shobj_description(oid, 'pg_database') FROM pg_catalog.pg_database "
            "WHERE datallowconn AND NOT datistemplate AND ($1 IS NULL OR datname = $1) "
            "ORDER BY datname");
    case K::Schemata:
        return QStringLiteral(
            "SELECT current_database(), n.nspname, pg_get_userbyid(n.nspowner), NULL, NULL, "
            "pg_encoding_to_char(d.encoding) FROM pg_catalog.pg_namespace n "
            "JOIN pg_catalog.pg_database d ON d.datname = current_database() "
            "WHERE n.nspname !~ '^pg_(toast|temp_)' AND ($2 IS NULL OR n.nspname = $2) "
            "ORDER BY n.nspname");
    case K::Tables:
        return QStringLiteral(
            "SELECT * FROM (SELECT current_database(), n.nspname, c.relname, "
            "CASE WHEN n.nspname IN ('pg_catalog', 'information_schema') "
            "THEN CASE WHEN c.relkind IN ('v', 'm') THEN 'SYSTEM VIEW' ELSE 'SYSTEM TABLE' END "
            "WHEN c.relpersistence = 't' THEN 'LOCAL TEMPORARY' "
            "WHEN c.relkind IN ('v', 'm') THEN 'VIEW' ELSE 'TABLE' END AS table_type, "
            "NULL, obj_description(c.oid, 'pg_class'), NULL, NULL, NULL, pg_table_is_visible(c.oid) "
            "FROM pg_catalog.pg_class c JOIN pg_catalog.pg_namespace n ON n.oid = c.relnamespace "
            "WHERE c.relkind IN ('r', 'p', 'v', 'm', 'f') AND n.nspname !~ '^pg_toast' "
            "AND (c.relpersistence <> 't' OR n.oid = pg_my_temp_schema()) "
            "AND ($2 IS NULL OR n.nspname = $2) AND ($3 IS NULL OR c.relname = $3)) t "
            "WHERE $4 IS NULL OR table_type = $4 ORDER BY 4, 2, 3");
    case K::Indexes:
        return QStringLiteral(
            "SELECT current_database(), n.nspname, t.relname, current_database(), n.nspname, ic.relname, "
            "i.indisprimary, i.indisunique, i.indisclustered, "
            "CASE am.amname WHEN 'btree' THEN 1 WHEN 'hash' THEN 2 ELSE 4 END, NULL, NULL, 0, false, true, "
            "CASE WHEN i.indoption[(k.o - 1)::int] & 2 = 2 THEN 8 ELSE 1 END, k.o, "
            "COALESCE(a.attname, pg_get_indexdef(i.indexrelid, k.o::int, true)), NULL, NULL, "
            "CASE WHEN i.indoption[(k.o - 1)::int] & 1 = 1 THEN 2 ELSE 1 END, "
            "NULLIF(t.reltuples, -1)::bigint, ic.relpages, pg_get_expr(i.indpred, i.indrelid), false "
            "FROM pg_catalog.pg_index i JOIN pg_catalog.pg_class ic ON ic.oid = i.indexrelid "
            "JOIN pg_catalog.pg_class t ON t.oid = i.indrelid "
            "JOIN pg_catalog.pg_namespace n ON n.oid = t.relnamespace "
            "JOIN pg_catalog.pg_am am ON am.oid = ic.relam "
            "CROSS JOIN LATERAL unnest(i.indkey::int2[]) WITH ORDINALITY AS k(attnum, o) "
            "LEFT JOIN pg_catalog.pg_attribute a ON a.attrelid = i.indrelid AND a.attnum = k.attnum "
            "AND k.attnum > 0 "
            "WHERE k.o <= i.indnkeyatts AND n.nspname !~ '^pg_toast' AND ($2 IS NULL OR n.nspname = $2) "
            "AND ($3 IS NULL OR ic.relname = $3) AND ($5 IS NULL OR t.relname = $5) "
            "ORDER BY n.nspname, t.relname, ic.relname, k.o");
    case K::PrimaryKeys:
        return QStringLiteral(
            "SELECT current_database(), n.nspname, t.relname, a.attname, NULL, NULL, k.o, con.conname "
            "FROM pg_catalog.pg_constraint con JOIN pg_catalog.pg_class t ON t.oid = con.conrelid "
            "JOIN pg_catalog.pg_namespace n ON n.oid = t.relnamespace "
            "CROSS JOIN LATERAL unnest(con.conkey) WITH ORDINALITY AS k(attnum, o) "
            "JOIN pg_catalog.pg_attribute a ON a.attrelid = con.conrelid AND a.attnum = k.attnum "
            "WHERE con.contype = 'p' AND ($2 IS NULL OR n.nspname = $2) AND ($3 IS NULL OR t.relname = $3) "
            "ORDER BY 2, 3, 7");
    case K::ForeignKeys:
        return QStringLiteral(
                   "SELECT current_database(), pn.nspname, pt.relname, pa.attname, NULL, NULL, "
                   "current_database(), fn.nspname, ft.relname, fa.attname, NULL, NULL, k.o, %1, %2, "
                   "(SELECT ic.relname FROM pg_catalog.pg_class ic WHERE ic.oid = con.conindid), "
                   "con.conname, "
                   "CASE WHEN con.condeferrable THEN CASE WHEN con.condeferred THEN 1 ELSE 2 END ELSE 3 END "
                   "FROM pg_catalog.pg_constraint con "
                   "JOIN pg_catalog.pg_class ft ON ft.oid = con.conrelid "
                   "JOIN pg_catalog.pg_namespace fn ON fn.oid = ft.relnamespace "
                   "JOIN pg_catalog.pg_class pt ON pt.oid = con.confrelid "
                   "JOIN pg_catalog.pg_namespace pn ON pn.oid = pt.relnamespace "
                   "CROSS JOIN LATERAL unnest(con.conkey, con.confkey) WITH ORDINALITY AS k(fk, pk, o) "
                   "JOIN pg_catalog.pg_attribute fa ON fa.attrelid = con.conrelid AND fa.attnum = k.fk "
                   "JOIN pg_catalog.pg_attribute pa ON pa.attrelid = con.confrelid AND pa.attnum = k.pk "
                   "WHERE con.contype = 'f' AND ($2 IS NULL OR pn.nspname = $2) AND ($3 IS NULL OR "
                   "pt.relname = $3) "
                   "AND ($5 IS NULL OR fn.nspname = $5) AND ($6 IS NULL OR ft.relname = $6) "
                   "ORDER BY 8, 9, 17, 13")
            .arg(QString::fromLatin1(kRule).arg(QLatin1String("con.confupdtype")),
                 QString::fromLatin1(kRule).arg(QLatin1String("con.confdeltype")));
    case K::Views:
        return QStringLiteral(
            "SELECT current_database(), n.nspname, c.relname, pg_get_viewdef(c.oid, true), "
            "COALESCE(array_to_string(c.reloptions, ',') LIKE '%check_option%', false), "
            "c.relkind = 'v' AND (pg_relation_is_updatable(c.oid::regclass, false) & 4) = 4, "
            "obj_description(c.oid, 'pg_class'), NULL, NULL "
            "FROM pg_catalog.pg_class c JOIN pg_catalog.pg_namespace n ON n.oid = c.relnamespace "
            "WHERE c.relkind IN ('v', 'm') AND ($2 IS NULL OR n.nspname = $2) AND ($3 IS NULL OR c.relname = "
            "$3) "
            "ORDER BY 2, 3");
    case K::Procedures:
        return QStringLiteral(
            "SELECT current_database(), n.nspname, p.proname, CASE p.prokind WHEN 'p' THEN 2 ELSE 3 END, "
            "CASE WHEN p.prokind <> 'a' THEN p.prosrc END, obj_description(p.oid, 'pg_proc'), NULL, NULL "
            "FROM pg_catalog.pg_proc p JOIN pg_catalog.pg_namespace n ON n.oid = p.pronamespace "
            "WHERE ($2 IS NULL OR n.nspname = $2) AND ($3 IS NULL OR p.proname = $3) ORDER BY 2, 3");
    case K::ProcedureParameters:
        // From pg_proc: information_schema.parameters joined with routines takes seconds.
        return QStringLiteral(
            "SELECT current_database(), n.nspname, p.proname, a.name, a.o::int, "
            "CASE a.mode WHEN 'b' THEN 2 WHEN 'o' THEN 3 WHEN 't' THEN 3 ELSE 1 END, false, NULL, true, "
            "a.type, "
            "NULL, NULL, NULL, NULL, NULL, format_type(a.type, NULL), format_type(a.type, NULL) "
            "FROM pg_catalog.pg_proc p JOIN pg_catalog.pg_namespace n ON n.oid = p.pronamespace "
            "CROSS JOIN LATERAL unnest(COALESCE(p.proallargtypes, p.proargtypes::oid[]), p.proargmodes, "
            "p.proargnames) WITH ORDINALITY AS a(type, mode, name, o) "
            "WHERE a.type IS NOT NULL AND ($2 IS NULL OR n.nspname = $2) AND ($3 IS NULL OR p.proname = $3) "
            "ORDER BY 2, 3, p.oid, 5");
    case K::CheckConstraints:
        return QStringLiteral(
            "SELECT constraint_catalog, constraint_schema, constraint_name, check_clause, NULL "
            "FROM information_schema.check_constraints ORDER BY 2, 3");
    case K::ConstraintColumnUsage:
        return QStringLiteral("SELECT table_catalog, table_schema, table_name, column_name, NULL, NULL, "
                              "constraint_catalog, constraint_schema, constraint_name "
                              "FROM information_schema.constraint_column_usage ORDER BY 2, 3, 4");
    case K::ConstraintTableUsage:
        return QStringLiteral("SELECT table_catalog, table_schema, table_name, constraint_catalog, "
                              "constraint_schema, constraint_name "
                              "FROM information_schema.constraint_table_usage ORDER BY 2, 3");
    case K::KeyColumnUsage:
        return QStringLiteral("SELECT constraint_catalog, constraint_schema, constraint_name, table_catalog, "
                              "table_schema, table_name, column_name, NULL, NULL, ordinal_position "
                              "FROM information_schema.key_column_usage ORDER BY 5, 6, 3, 10");
    case K::ReferentialConstraints:
        return QStringLiteral("SELECT constraint_catalog, constraint_schema, constraint_name, "
                              "unique_constraint_catalog, unique_constraint_schema, unique_constraint_name, "
                              "match_option, update_rule, delete_rule, NULL "
                              "FROM information_schema.referential_constraints ORDER BY 2, 3");
    case K::TableConstraints:
        return QStringLiteral("SELECT constraint_catalog, constraint_schema, constraint_name, table_catalog, "
                              "table_schema, table_name, constraint_type, is_deferrable = 'YES', "
                              "initially_deferred = 'YES', NULL "
                              "FROM information_schema.table_constraints ORDER BY 5, 6, 3");
    case K::ColumnsDomainUsage:
        return QStringLiteral(
            "SELECT domain_catalog, domain_schema, domain_name, table_catalog, table_schema, "
            "table_name, column_name, NULL, NULL "
            "FROM information_schema.column_domain_usage ORDER BY 2, 3, 5, 6, 7");
    case K::ColumnPrivileges:
        return QStringLiteral(
            "SELECT grantor, grantee, table_catalog, table_schema, table_name, column_name, "
            "NULL, NULL, privilege_type, is_grantable = 'YES' "
            "FROM information_schema.column_privileges ORDER BY 4, 5, 6, 9");
    case K::TablePrivileges:
        return QStringLiteral(
            "SELECT grantor, grantee, table_catalog, table_schema, table_name, privilege_type, "
            "is_grantable = 'YES' FROM information_schema.table_privileges ORDER BY 4, 5, 6");
    case K::UsagePrivileges:
        return QStringLiteral(
            "SELECT grantor, grantee, object_catalog, object_schema, object_name, object_type, "
            "privilege_type, is_grantable = 'YES' "
            "FROM information_schema.usage_privileges ORDER BY 4, 5");
    case K::CharacterSets:
        return QStringLiteral("SELECT character_set_catalog, character_set_schema, character_set_name, "
                              "form_of_use, NULL, default_collate_catalog, default_collate_schema, "
                              "default_collate_name FROM information_schema.character_sets");
    case K::Collations:
        return QStringLiteral("SELECT collation_catalog, collation_schema, collation_name, NULL, NULL, NULL, "
                              "pad_attribute FROM information_schema.collations ORDER BY 2, 3");
    case K::ViewColumnUsage:
        return QStringLiteral("SELECT view_catalog, view_schema, view_name, table_catalog, table_schema, "
                              "table_name, column_name, NULL, NULL "
                              "FROM information_schema.view_column_usage ORDER BY 2, 3");
    case K::ViewTableUsage:
        return QStringLiteral("SELECT view_catalog, view_schema, view_name, table_catalog, table_schema, "
                              "table_name FROM information_schema.view_table_usage ORDER BY 2, 3");
    case K::Statistics:
        return QStringLiteral(
            "SELECT current_database(), n.nspname, c.relname, NULLIF(c.reltuples, -1)::bigint "
            "FROM pg_catalog.pg_class c JOIN pg_catalog.pg_namespace n ON n.oid = c.relnamespace "
            "WHERE c.relkind IN ('r', 'p', 'm') AND n.nspname !~ '^pg_toast' "
            "AND ($2 IS NULL OR n.nspname = $2) AND ($3 IS NULL OR c.relname = $3) ORDER BY 2, 3");
    case K::SQLLanguages:
        return QStringLiteral("SELECT 'ISO 9075', '2016', 'CORE', NULL, NULL, 'DIRECT', NULL");
    case K::DBInfoKeywords:
        return QStringLiteral("SELECT upper(word) FROM pg_get_keywords() ORDER BY 1");
    default:
        return {};
    }
}

// The types a column is named after, best first within each OLE DB type: a column's type
// text takes the first entry with its DATA_TYPE and its long and fixed-length flags.
struct TBuiltinType {
    Oid Type;
    int Typmod; // picks the flags: -1 unconstrained
    qint64 ColumnSize;
    const char* CreateParams;
    const char* Literal;
};

const TBuiltinType kBuiltinTypes[] = {
    {TPgTypes::BoolOid, -1, 1, "", ""},
    {TPgTypes::Int2Oid, -1, 5, "", ""},
    {TPgTypes::Int4Oid, -1, 10, "", ""},
    {TPgTypes::Int8Oid, -1, 19, "", ""},
    {TPgTypes::OidOid, -1, 10, "", ""},
    {TPgTypes::Float4Oid, -1, 7, "", ""},
    {TPgTypes::Float8Oid, -1, 15, "", ""},
    {TPgTypes::NumericOid, 4, 1000, "precision,scale", ""},
    {TPgTypes::NumericOid, -1, 1000, "", ""},
    {TPgTypes::MoneyOid, -1, 19, "", "'"},
    {TPgTypes::VarcharOid, -1, 10485760, "max length", "'"},
    {TPgTypes::BpcharOid, -1, 10485760, "length", "'"},
    {TPgTypes::TextOid, -1, 1073741823, "", "'"},
    {TPgTypes::NameOid, -1, 63, "", "'"},
    {TPgTypes::CharOid, -1, 1, "", "'"},
    {TPgTypes::ByteaOid, -1, 1073741823, "", "'"},
    {TPgTypes::DateOid, -1, 10, "", "'"},
    {TPgTypes::TimeOid, -1, 15, "", "'"},
    {TPgTypes::TimeTzOid, -1, 21, "", "'"},
    {TPgTypes::TimestampOid, -1, 26, "", "'"},
    {TPgTypes::TimestampTzOid, -1, 32, "", "'"},
    {TPgTypes::UuidOid, -1, 36, "", "'"},
    {TPgTypes::IntervalOid, -1, 49, "", "'"},
    {TPgTypes::JsonOid, -1, 1073741823, "", "'"},
    {TPgTypes::JsonbOid, -1, 1073741823, "", "'"},
    {TPgTypes::XmlOid, -1, 1073741823, "", "'"},
    {TPgTypes::BitOid, -1, 83886080, "length", "B'"},
    {TPgTypes::VarbitOid, -1, 83886080, "max length", "B'"},
};

} // namespace

void TPostgresSession::ReadRows(TSchemaKind kind, const QString& sql, const QVariantList& restrictions,
                                TSchemaRows& rows) {
    QVariantList values = RestrictionValues(restrictions);
    const QStringList names = SchemaRestrictions(kind);
    while (values.size() < names.size())
        values.append(QVariant());
    // Only as many values as the statement has markers.
    int markers = 0;
    for (int i = 1; i <= values.size(); ++i)
        if (sql.contains(u'$' + QString::number(i)))
            markers = i;
    values = values.mid(0, markers);
    const TPgResult r = Query(sql, values);
    const QList<TColumnInfo> columns = SchemaColumns(kind);
    // A parameter's DATA_TYPE arrives as its type's oid: the type indicator follows from it.
    const int typeOidColumn = kind == TSchemaKind::ProcedureParameters ? 9 : -1;
    for (int row = 0; row < PQntuples(r.get()); ++row) {
        QVariantList cells;
        for (int c = 0; c < columns.size(); ++c)
            cells.append(c == typeOidColumn ? QVariant(DbTypeOfOid(r.get(), row, c))
                                            : Cell(r.get(), row, c, columns[c].Type));
        rows.Add(cells);
    }
}

void TPostgresSession::ReadSchema(TSchemaKind kind, const QVariantList& restrictions, TSchemaRows& rows) {
    TBusy busy(*this);
    BeginCommand();
    if (kind == TSchemaKind::Columns)
        return ReadColumns(restrictions, rows);
    if (kind == TSchemaKind::ProviderTypes)
        return ReadProviderTypes(rows);
    if (kind == TSchemaKind::ProcedureColumns)
        return ReadProcedureColumns(restrictions, rows);
    const QString sql = KindSql(kind);
    if (sql.isEmpty())
        SchemaNotSupported(kind);
    ReadRows(kind, sql, restrictions, rows);
}

void TPostgresSession::ReadColumns(const QVariantList& restrictions, TSchemaRows& rows) {
    QVariantList values = RestrictionValues(restrictions);
    while (values.size() < 4)
        values.append(QVariant());
    // A domain column is described by its base type; the domain is named in DOMAIN_*.
    const TPgResult r = Query(
        QStringLiteral(
            "SELECT n.nspname, c.relname, a.attname, a.attnum, a.atthasdef, pg_get_expr(d.adbin, d.adrelid), "
            "a.attnotnull, CASE WHEN t.typtype = 'd' THEN t.typbasetype ELSE a.atttypid END, "
            "CASE WHEN t.typtype = 'd' THEN t.typtypmod ELSE a.atttypmod END, "
            "CASE WHEN t.typtype = 'd' THEN tn.nspname END, CASE WHEN t.typtype = 'd' THEN t.typname END, "
            "CASE WHEN a.attcollation <> 0 THEN co.collname END, col_description(c.oid, a.attnum), "
            "format_type(CASE WHEN t.typtype = 'd' THEN t.typbasetype ELSE a.atttypid END, "
            "CASE WHEN t.typtype = 'd' THEN t.typtypmod ELSE a.atttypmod END) "
            "FROM pg_catalog.pg_attribute a JOIN pg_catalog.pg_class c ON c.oid = a.attrelid "
            "JOIN pg_catalog.pg_namespace n ON n.oid = c.relnamespace "
            "JOIN pg_catalog.pg_type t ON t.oid = a.atttypid "
            "JOIN pg_catalog.pg_namespace tn ON tn.oid = t.typnamespace "
            "LEFT JOIN pg_catalog.pg_attrdef d ON d.adrelid = a.attrelid AND d.adnum = a.attnum "
            "LEFT JOIN pg_catalog.pg_collation co ON co.oid = a.attcollation "
            "WHERE c.relkind IN ('r', 'p', 'v', 'm', 'f') AND a.attnum > 0 AND NOT a.attisdropped "
            "AND n.nspname !~ '^pg_toast' AND (c.relpersistence <> 't' OR n.oid = pg_my_temp_schema()) "
            "AND ($2 IS NULL OR n.nspname = $2) AND ($3 IS NULL OR c.relname = $3) "
            "AND ($4 IS NULL OR a.attname = $4) ORDER BY 1, 2, 4"),
        values.mid(0, 4));
    const PGresult* res = r.get();
    auto text = [res](int row, int column) {
        return PQgetisnull(res, row, column) ? QVariant()
                                             : QVariant(QString::fromUtf8(PQgetvalue(res, row, column)));
    };
    for (int row = 0; row < PQntuples(res); ++row) {
        const Oid type = Oid(QByteArray(PQgetvalue(res, row, 7)).toUInt());
        const int typmod = QByteArray(PQgetvalue(res, row, 8)).toInt();
        const bool nullable = PQgetvalue(res, row, 6)[0] != 't';
        const TPgTypes::TTypeInfo info = TPgTypes::TypeInfo(type, typmod);
        const QVariant length = TPgTypes::CharacterMaximumLength(type, typmod);
        const QVariant domainName = text(row, 10);
        rows.Add({m_database,
                  text(row, 0),
                  text(row, 1),
                  text(row, 2),
                  QVariant(),
                  QVariant(),
                  QByteArray(PQgetvalue(res, row, 3)).toInt(),
                  PQgetvalue(res, row, 4)[0] == 't',
                  text(row, 5),
                  TPgTypes::ColumnFlags(type, typmod, nullable),
                  nullable,
                  DbTypeOf(info.Type),
                  QVariant(),
                  length,
                  length.isNull() ? QVariant() : QVariant(length.toInt() * 4),
                  TPgTypes::NumericPrecision(type, typmod),
                  TPgTypes::NumericScale(type, typmod),
                  TPgTypes::DatetimePrecision(type, typmod),
                  QVariant(),
                  QVariant(),
                  QVariant(),
                  QVariant(),
                  QVariant(),
                  text(row, 11),
                  domainName.isNull() ? QVariant() : QVariant(m_database),
                  text(row, 9),
                  domainName,
                  text(row, 12),
                  text(row, 13)});
    }
}

void TPostgresSession::ReadProcedureColumns(const QVariantList& restrictions, TSchemaRows& rows) {
    QVariantList values = RestrictionValues(restrictions);
    while (values.size() < 4)
        values.append(QVariant());
    // The rows a function returns: its OUT, INOUT and TABLE parameters, or else the columns
    // of the composite type it returns (also with a VARIADIC parameter, which has a mode too).
    const TPgResult r = Query(
        QStringLiteral(
            "SELECT nspname, proname, name, row_number() OVER (PARTITION BY oid ORDER BY o)::int, type FROM ("
            "SELECT p.oid, n.nspname, p.proname, a.name, a.o::int AS o, a.type "
            "FROM pg_catalog.pg_proc p JOIN pg_catalog.pg_namespace n ON n.oid = p.pronamespace "
            "CROSS JOIN LATERAL unnest(p.proallargtypes, p.proargmodes, p.proargnames) "
            "WITH ORDINALITY AS a(type, mode, name, o) "
            "WHERE a.mode IN ('o', 'b', 't') AND ($2 IS NULL OR n.nspname = $2) AND ($3 IS NULL OR p.proname "
            "= $3) "
            "UNION ALL "
            "SELECT p.oid, n.nspname, p.proname, att.attname, att.attnum::int, att.atttypid "
            "FROM pg_catalog.pg_proc p JOIN pg_catalog.pg_namespace n ON n.oid = p.pronamespace "
            "JOIN pg_catalog.pg_type t ON t.oid = p.prorettype "
            "JOIN pg_catalog.pg_attribute att ON att.attrelid = t.typrelid AND att.attnum > 0 "
            "AND NOT att.attisdropped "
            "WHERE NOT EXISTS (SELECT 1 FROM unnest(p.proargmodes) m WHERE m IN ('o', 'b', 't')) "
            "AND t.typrelid <> 0 AND ($2 IS NULL OR n.nspname = $2) "
            "AND ($3 IS NULL OR p.proname = $3)) c "
            "WHERE $4 IS NULL OR name = $4 ORDER BY 1, 2, oid, 4"),
        values.mid(0, 4));
    const PGresult* res = r.get();
    for (int row = 0; row < PQntuples(res); ++row) {
        rows.Add({m_database, Cell(res, row, 0, TDataType::WChar), Cell(res, row, 1, TDataType::WChar),
                  Cell(res, row, 2, TDataType::WChar), QVariant(), QVariant(), 0,
                  Cell(res, row, 3, TDataType::Integer), true, DbTypeOfOid(res, row, 4)});
    }
}

void TPostgresSession::ReadProviderTypes(TSchemaRows& rows) {
    // Names in the server's own words; the types the provider has no mapping for follow as
    // long texts, the way their values arrive.
    const TPgResult r = Query(
        QStringLiteral("SELECT t.oid, format_type(t.oid, NULL) FROM pg_catalog.pg_type t "
                       "JOIN pg_catalog.pg_namespace n ON n.oid = t.typnamespace "
                       "WHERE t.typtype IN ('b', 'e', 'r', 'm') AND t.typcategory <> 'A' AND t.typisdefined "
                       "AND n.nspname !~ '^pg_toast' ORDER BY n.nspname <> 'pg_catalog', 2"));
    struct TEntry {
        int DataType;
        QVariantList Values;
    };
    std::vector<TEntry> entries;
    QList<Oid> builtin;
    auto add = [&entries](Oid type, int typmod, const QString& name, qint64 size, const QString& params,
                          const QString& literal, bool bestMatch) {
        const TPgTypes::TTypeInfo info = TPgTypes::TypeInfo(type, typmod);
        const int dataType = DbTypeOf(info.Type);
        const bool isText = info.StoreAs == TPgTypes::TStoreAs::Text && info.Type != TDataType::Numeric &&
                            info.Type != TDataType::Currency;
        const bool isNumber = info.StoreAs == TPgTypes::TStoreAs::Int ||
                              info.StoreAs == TPgTypes::TStoreAs::Real || info.Type == TDataType::Numeric ||
                              info.Type == TDataType::Currency;
        entries.push_back({dataType,
                           {name,
                            dataType,
                            size,
                            literal.isEmpty() ? QVariant() : QVariant(literal),
                            literal.isEmpty() ? QVariant() : QVariant(literal),
                            params.isEmpty() ? QVariant() : QVariant(params),
                            true,
                            isText,
                            isText ? 4 : 3,
                            isNumber ? QVariant(false) : QVariant(),
                            type == TPgTypes::MoneyOid,
                            false,
                            name,
                            type == TPgTypes::NumericOid ? QVariant(0) : QVariant(),
                            type == TPgTypes::NumericOid ? QVariant(1000) : QVariant(),
                            QVariant(),
                            QVariant(),
                            QVariant(),
                            info.Long,
                            bestMatch,
                            info.FixedLength}});
    };
    auto nameOf = [&r](Oid type) {
        for (int row = 0; row < PQntuples(r.get()); ++row)
            if (Oid(QByteArray(PQgetvalue(r.get(), row, 0)).toUInt()) == type)
                return QString::fromUtf8(PQgetvalue(r.get(), row, 1));
        return QString();
    };
    for (const TBuiltinType& b : kBuiltinTypes) {
        const QString name = nameOf(b.Type);
        if (name.isEmpty())
            continue;
        add(b.Type, b.Typmod, name, b.ColumnSize, QString::fromLatin1(b.CreateParams),
            QString::fromLatin1(b.Literal), !builtin.contains(b.Type));
        builtin.append(b.Type);
    }
    for (int row = 0; row < PQntuples(r.get()); ++row) {
        const Oid type = Oid(QByteArray(PQgetvalue(r.get(), row, 0)).toUInt());
        if (!builtin.contains(type))
            add(type, -1, QString::fromUtf8(PQgetvalue(r.get(), row, 1)), 1073741823, {}, QStringLiteral("'"),
                false);
    }
    // Sorted by DATA_TYPE; within one type the order above decides which name a column gets.
    std::stable_sort(entries.begin(), entries.end(),
                     [](const TEntry& a, const TEntry& b) { return a.DataType < b.DataType; });
    for (const TEntry& e : entries)
        rows.Add(e.Values);
}

QList<TTableKey> TPostgresSession::TableKeys(const QString&, const QString& schema, const QString& table) {
    TBusy busy(*this);
    BeginCommand();
    const QString name =
        schema.isEmpty() ? QuoteIdentifier(table) : QuoteIdentifier(schema) + u'.' + QuoteIdentifier(table);
    // Unique indexes on plain columns without a predicate: the primary key first, then those
    // whose columns are all not null (a null would match no row and a unique key allows many).
    const TPgResult r =
        Query(QStringLiteral(
                  "SELECT i.indexrelid, i.indisprimary, a.attname, a.attnotnull, "
                  "i.indpred IS NULL AND i.indexprs IS NULL "
                  "FROM pg_catalog.pg_index i JOIN pg_catalog.pg_class c ON c.oid = i.indrelid "
                  "CROSS JOIN LATERAL unnest(i.indkey::int2[]) WITH ORDINALITY AS k(attnum, o) "
                  "LEFT JOIN pg_catalog.pg_attribute a ON a.attrelid = i.indrelid AND a.attnum = k.attnum "
                  "WHERE i.indrelid = to_regclass($1) AND i.indisunique AND i.indisvalid "
                  "AND c.relkind IN ('r', 'p') AND k.o <= i.indnkeyatts "
                  "ORDER BY i.indisprimary DESC, i.indexrelid, k.o"),
              {name});
    QList<TTableKey> keys;
    QByteArray index;
    bool usable = false;
    TTableKey key;
    auto flush = [&] {
        if (usable && !key.Columns.isEmpty())
            keys.append(key);
        key = TTableKey();
    };
    for (int row = 0; row < PQntuples(r.get()); ++row) {
        const QByteArray id(PQgetvalue(r.get(), row, 0));
        if (id != index) {
            flush();
            index = id;
            usable = PQgetvalue(r.get(), row, 4)[0] == 't';
        }
        const bool primary = PQgetvalue(r.get(), row, 1)[0] == 't';
        if (PQgetisnull(r.get(), row, 2) || (!primary && PQgetvalue(r.get(), row, 3)[0] != 't'))
            usable = false;
        else
            key.Columns.append(QString::fromUtf8(PQgetvalue(r.get(), row, 2)));
    }
    flush();
    return keys;
}
