#include "data/odbc/OdbcSession.h"

#include "data/DataError.h"

#include <QHash>

// Whole-catalog reads of the kinds that ODBC answers one table at a time, for a PostgreSQL
// server: psqlODBC takes no table pattern there and needs 20 to 100 ms per table, minutes on
// a database of some thousand tables. One statement on the system catalogs gives the same
// rows as the driver's calls; they are kept for the tables the driver lists, in its order.

namespace {

// The rows of each kind, in the column order of the driver's call they stand in for, grouped
// by the table they belong to (its schema and name in the first two columns).
QString CatalogSql(TSchemaKind kind) {
    switch (kind) {
    case TSchemaKind::PrimaryKeys:
        return QStringLiteral(
            "SELECT n.nspname, t.relname, current_database(), a.attname, k.o::int, con.conname "
            "FROM pg_catalog.pg_constraint con "
            "JOIN pg_catalog.pg_class t ON t.oid = con.conrelid "
            "JOIN pg_catalog.pg_namespace n ON n.oid = t.relnamespace "
            "CROSS JOIN LATERAL unnest(con.conkey) WITH ORDINALITY AS k(attnum, o) "
            "JOIN pg_catalog.pg_attribute a ON a.attrelid = t.oid AND a.attnum = k.attnum "
            "WHERE con.contype = 'p' ORDER BY 1, 2, 5");
    case TSchemaKind::Indexes:
        // As psqlODBC reports them: a column by its name, an expression by its text, the
        // order only for btree indexes, no statistics in the quick mode.
        return QStringLiteral(
            "SELECT n.nspname, t.relname, current_database(), ic.relname, i.indisprimary::int, "
            "i.indisunique::int, CASE WHEN i.indisclustered THEN 1 WHEN am.amname = 'hash' THEN 2 ELSE 3 "
            "END, "
            "k.o::int, COALESCE(a.attname, pg_catalog.pg_get_indexdef(i.indexrelid, k.o::int, true)), "
            "CASE WHEN am.amname <> 'btree' THEN NULL WHEN (i.indoption[k.o - 1] & 1) = 1 THEN 2 ELSE 1 END "
            "FROM pg_catalog.pg_index i "
            "JOIN pg_catalog.pg_class ic ON ic.oid = i.indexrelid "
            "JOIN pg_catalog.pg_am am ON am.oid = ic.relam "
            "JOIN pg_catalog.pg_class t ON t.oid = i.indrelid "
            "JOIN pg_catalog.pg_namespace n ON n.oid = t.relnamespace "
            "CROSS JOIN LATERAL generate_series(1, i.indnkeyatts) AS k(o) "
            "LEFT JOIN pg_catalog.pg_attribute a ON a.attrelid = t.oid AND a.attnum = i.indkey[k.o - 1] "
            "AND i.indkey[k.o - 1] <> 0 "
            "ORDER BY 1, 2, 4, 8");
    case TSchemaKind::ForeignKeys:
        // Grouped by the foreign table; rules and deferrability in ODBC's numbers.
        return QStringLiteral(
            "SELECT fn.nspname, ft.relname, current_database(), pn.nspname, pt.relname, pa.attname, "
            "fa.attname, k.o::int, "
            "CASE con.confupdtype WHEN 'c' THEN 0 WHEN 'r' THEN 1 WHEN 'n' THEN 2 WHEN 'd' THEN 4 ELSE 3 "
            "END, "
            "CASE con.confdeltype WHEN 'c' THEN 0 WHEN 'r' THEN 1 WHEN 'n' THEN 2 WHEN 'd' THEN 4 ELSE 3 "
            "END, "
            "con.conname, ic.relname, "
            "CASE WHEN NOT con.condeferrable THEN 7 WHEN con.condeferred THEN 5 ELSE 6 END "
            "FROM pg_catalog.pg_constraint con "
            "JOIN pg_catalog.pg_class ft ON ft.oid = con.conrelid "
            "JOIN pg_catalog.pg_namespace fn ON fn.oid = ft.relnamespace "
            "JOIN pg_catalog.pg_class pt ON pt.oid = con.confrelid "
            "JOIN pg_catalog.pg_namespace pn ON pn.oid = pt.relnamespace "
            "LEFT JOIN pg_catalog.pg_class ic ON ic.oid = con.conindid "
            "CROSS JOIN LATERAL unnest(con.conkey, con.confkey) WITH ORDINALITY AS k(fk, pk, o) "
            "JOIN pg_catalog.pg_attribute fa ON fa.attrelid = ft.oid AND fa.attnum = k.fk "
            "JOIN pg_catalog.pg_attribute pa ON pa.attrelid = pt.oid AND pa.attnum = k.pk "
            "WHERE con.contype = 'f' ORDER BY 1, 2, 4, 5, 11, 8");
    case TSchemaKind::ColumnPrivileges:
        return QStringLiteral(
            "SELECT table_schema, table_name, grantor, grantee, column_name, privilege_type, is_grantable "
            "FROM information_schema.column_privileges ORDER BY 1, 2, 5, 4, 6");
    default:
        return {};
    }
}

QString TableKey(const QString& schema, const QString& table) {
    return schema + QChar(u'\x1f') + table;
}

} // namespace

bool TOdbcSession::ReadWholeCatalog(TSchemaKind kind, const QList<TTableName>& tables, TSchemaRows& rows) {
    const QString sql = CatalogSql(kind);
    if (!m_traits.Postgres || sql.isEmpty())
        return false;
    // The first value of a statement's first row.
    auto scalar = [this](const QString& text) {
        std::unique_ptr<TOdbcStatement> st = NewStatement();
        const SQLHSTMT h = st->Handle();
        st->Check(Run(*st, [&] { return ExecDirect(h, text); }), text);
        return st->Fetch() ? st->Text(1).toString() : QString();
    };
    // The server would compile these statements on the system catalogs, which takes longer
    // than running them; the session's setting comes back afterwards.
    const bool jit = scalar(QStringLiteral("SELECT current_setting('jit', true)")) == QLatin1String("on");
    if (jit)
        scalar(QStringLiteral("SELECT set_config('jit', 'off', false)"));
    struct TJitBack {
        bool On;
        decltype(scalar)& Scalar;
        ~TJitBack() {
            if (On)
                try {
                    Scalar(QStringLiteral("SELECT set_config('jit', 'on', false)"));
                } catch (const TDataError&) {
                    // The connection failed meanwhile; the read's own error tells.
                }
        }
    } jitBack{jit, scalar};

    std::unique_ptr<TOdbcStatement> st = NewStatement();
    const SQLHSTMT h = st->Handle();
    st->Check(Run(*st, [&] { return ExecDirect(h, sql); }), sql);
    QHash<QString, QList<QVariantList>> byTable;
    SQLSMALLINT columns = 0;
    st->Check(SQLNumResultCols(h, &columns), sql);
    while (st->Fetch()) {
        const QString schema = st->Text(1).toString(), table = st->Text(2).toString();
        QVariantList values{schema, table};
        for (SQLUSMALLINT i = 3; i <= SQLUSMALLINT(columns); ++i)
            values << st->Text(i);
        byTable[TableKey(schema, table)].append(values);
    }
    auto integer = [](const QVariant& v) {
        return v.isNull() ? v : QVariant(v.toInt());
    };
    for (const TTableName& t : tables) {
        for (const QVariantList& v : byTable.value(TableKey(t.Schema, t.Name))) {
            switch (kind) {
            case TSchemaKind::PrimaryKeys:
                rows.Add({v[2], v[0], v[1], v[3], {}, {}, integer(v[4]), v[5]});
                break;
            case TSchemaKind::Indexes: {
                const int type = v[6].toInt();
                rows.Add({v[2],
                          v[0],
                          v[1],
                          v[2],
                          v[0],
                          v[3],
                          v[4].toInt() != 0,
                          v[5].toInt() != 0,
                          type == SQL_INDEX_CLUSTERED,
                          OdbcIndexType(type),
                          {},
                          {},
                          {},
                          {},
                          {},
                          {},
                          integer(v[7]),
                          v[8],
                          {},
                          {},
                          integer(v[9]),
                          {},
                          {},
                          {}});
                break;
            }
            case TSchemaKind::ForeignKeys:
                rows.Add({v[2],
                          v[3],
                          v[4],
                          v[5],
                          {},
                          {},
                          v[2],
                          v[0],
                          v[1],
                          v[6],
                          {},
                          {},
                          integer(v[7]),
                          OdbcRuleText(v[8]),
                          OdbcRuleText(v[9]),
                          v[11],
                          v[10],
                          v[12].toInt() - 4});
                break;
            case TSchemaKind::ColumnPrivileges:
                rows.Add({v[2],
                          v[3],
                          QString(),
                          v[0],
                          v[1],
                          v[4],
                          {},
                          {},
                          v[5],
                          v[6].toString() == QLatin1String("YES")});
                break;
            default:
                break;
            }
        }
    }
    return true;
}
