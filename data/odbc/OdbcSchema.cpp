#include "data/odbc/OdbcSession.h"

#include "data/DataError.h"

#include <QMap>

#include <optional>

// Schema rowsets of the ODBC provider, from the catalog functions, in the OLE DB columns of
// each kind (SchemaColumns). The core filters the rows by the restrictions again; patterns
// in the catalog calls only narrow what the driver sends.

namespace {

QString Restriction(const QVariantList& restrictions, int index) {
    if (index >= restrictions.size() || restrictions[index].isNull())
        return {};
    const QString text = restrictions[index].toString();
    return text.isEmpty() ? QString() : text;
}

// Text and integer values of the current row of a catalog result.
struct TRow {
    const TOdbcStatement& St;
    QVariant S(SQLUSMALLINT column) const { return St.Text(column); }
    QVariant I(SQLUSMALLINT column) const {
        const QVariant v = St.Integer(column);
        return v.isNull() ? v : QVariant(int(v.toLongLong()));
    }
    QVariant L(SQLUSMALLINT column) const { return St.Integer(column); }
};

QVariant Shifted(const QVariant& value, int by) {
    return value.isNull() ? value : QVariant(value.toInt() + by);
}

bool IsNumericSqlType(SQLSMALLINT t) {
    switch (t) {
    case SQL_DECIMAL:
    case SQL_NUMERIC:
    case SQL_TINYINT:
    case SQL_SMALLINT:
    case SQL_INTEGER:
    case SQL_BIGINT:
    case SQL_REAL:
    case SQL_FLOAT:
    case SQL_DOUBLE:
        return true;
    default:
        return false;
    }
}

bool IsCharacterSqlType(SQLSMALLINT t) {
    switch (t) {
    case SQL_CHAR:
    case SQL_VARCHAR:
    case SQL_LONGVARCHAR:
    case SQL_WCHAR:
    case SQL_WVARCHAR:
    case SQL_WLONGVARCHAR:
    case SQL_BINARY:
    case SQL_VARBINARY:
    case SQL_LONGVARBINARY:
        return true;
    default:
        return false;
    }
}

bool IsDateTimeSqlType(SQLSMALLINT t) {
    return t == SQL_TYPE_DATE || t == SQL_TYPE_TIME || t == SQL_TYPE_TIMESTAMP || t == SQL_DATE ||
           t == SQL_TIME || t == SQL_TIMESTAMP;
}

// The OLE DB COLUMN_FLAGS of a column of an ODBC type and nullability.
int ColumnFlags(SQLSMALLINT sqlType, const QVariant& nullable) {
    int flags = 0;
    if (OdbcIsFixedLengthType(sqlType))
        flags |= TColumnFlags::IsFixedLength;
    if (OdbcIsLongType(sqlType))
        flags |= TColumnFlags::IsLong;
    if (nullable.isNull() || nullable.toInt() != SQL_NO_NULLS)
        flags |= TColumnFlags::IsNullable | TColumnFlags::MaybeNull;
    return flags;
}

QVariant DefaultValue(const QVariant& columnDef) {
    return columnDef.toString().compare(QLatin1String("NULL"), Qt::CaseInsensitive) == 0 ? QVariant()
                                                                                         : columnDef;
}

QVariant Size(const QVariant& size) {
    return size.isNull() || size.toLongLong() < 0 ? QVariant() : size;
}

// psqlODBC writes "max. length" where ODBC's word is "max length".
QVariant CreateParams(const QVariant& params) {
    if (params.isNull())
        return params;
    QString text = params.toString();
    text.replace(QLatin1String("max. length"), QLatin1String("max length"));
    return text;
}

} // namespace

std::unique_ptr<TOdbcStatement>
TOdbcSession::CatalogStatement(const std::function<SQLRETURN(SQLHSTMT)>& call) {
    std::unique_ptr<TOdbcStatement> st = NewStatement();
    const SQLHSTMT h = st->Handle();
    const SQLRETURN rc = Run(*st, [&] { return call(h); });
    if (!SQL_SUCCEEDED(rc) && rc != SQL_NO_DATA) {
        // Drivers under-report what they have, so the call itself tells.
        const TOdbcDiagnostic d = OdbcDiagnostic(SQL_HANDLE_STMT, h, m_traits.Text);
        if (OdbcNotSupportedState(d.SqlState))
            return nullptr;
        st->Check(rc);
    }
    return st;
}

QString TOdbcSession::CurrentCatalog() {
    if (!m_traits.Catalogs)
        return {};
    SQLWCHAR name[512] = {};
    SQLINTEGER length = 0;
    if (OdbcNarrowCalls(m_traits.Text)) {
        char* const narrow = reinterpret_cast<char*>(name);
        if (!SQL_SUCCEEDED(
                SQLGetConnectAttr(m_dbc, SQL_ATTR_CURRENT_CATALOG, narrow, sizeof name, &length)) ||
            length <= 0)
            return {};
        return OdbcFromNarrow(m_traits.Text, narrow, OdbcWrittenLength(narrow, sizeof name - 1, length));
    }
    if (!SQL_SUCCEEDED(SQLGetConnectAttrW(m_dbc, SQL_ATTR_CURRENT_CATALOG, name, sizeof name, &length)) ||
        length <= 0)
        return {};
    return OdbcString(name, OdbcWrittenLength(name, qsizetype(std::size(name)) - 1, length));
}

QString TOdbcSession::Pattern(const QString& name) const {
    if (name.isEmpty() || m_traits.SearchEscape.isEmpty())
        return name;
    QString pattern;
    pattern.reserve(name.size() + 4);
    for (const QChar c : name) {
        if (c == u'%' || c == u'_' || QStringView(m_traits.SearchEscape) == QStringView(&c, 1))
            pattern += m_traits.SearchEscape;
        pattern += c;
    }
    return pattern;
}

QString TOdbcSession::Ident(const QString& name) const {
    return m_traits.IdentifiersArePatterns ? Pattern(name) : name;
}

QList<TOdbcSession::TTableName> TOdbcSession::BaseTables(const QString& catalog, const QString& schema,
                                                         const QString& table) {
    QList<TTableName> tables;
    const QString types = QStringLiteral("TABLE");
    auto st = Catalog([&](SQLHSTMT h, auto api, auto& s) {
        return api.Tables(h, s(catalog), SQL_NTS, s(schema), SQL_NTS, s(table), SQL_NTS, s(types), SQL_NTS);
    });
    if (!st)
        return tables;
    while (st->Fetch())
        tables.append({st->Text(1).toString(), st->Text(2).toString(), st->Text(3).toString()});
    return tables;
}

void TOdbcSession::ReadSchema(TSchemaKind kind, const QVariantList& restrictions, TSchemaRows& rows) {
    TOdbcOperationLock calls(*m_calls);
    using K = TSchemaKind;
    // A driver with catalogs (MariaDB: the databases of the server) lists every catalog's
    // objects unless one is named, and only the current one's can be queried by bare names.
    const bool allCatalogs = kind == K::Catalogs || kind == K::Schemata || kind == K::ProviderTypes;
    std::optional<QString> current; // asked of the driver once, when needed
    auto catalog = [&](int position) {
        const QString given = Restriction(restrictions, position);
        if (!given.isEmpty() || allCatalogs)
            return given;
        if (!current)
            current = CurrentCatalog();
        return *current;
    };
    const QString r0 = catalog(0);
    const QString r1 = Restriction(restrictions, 1);
    // A schema pattern for the calls that take one: every schema where none is named.
    const QString s1 = r1.isEmpty() && m_traits.Schemas ? QStringLiteral("%") : Pattern(r1);
    const QString r2 = Restriction(restrictions, 2);
    const QString r3 = kind == K::ForeignKeys ? catalog(3) : Restriction(restrictions, 3);
    const QString r4 = Restriction(restrictions, 4);
    const QString r5 = Restriction(restrictions, 5);
    auto require = [kind](std::unique_ptr<TOdbcStatement> st) {
        if (!st)
            SchemaNotSupported(kind);
        return st;
    };
    auto tables = [&](const QString& catalog, const QString& schema, const QString& table,
                      const QString& types) {
        return Catalog([&](SQLHSTMT h, auto api, auto& s) {
            return api.Tables(h, s(catalog), SQL_NTS, s(schema), SQL_NTS, s(table), SQL_NTS, s(types),
                              SQL_NTS);
        });
    };

    switch (kind) {
    case K::Tables:
    case K::Views: {
        const QString types = kind == K::Views ? QStringLiteral("VIEW") : r3;
        const auto owned = require(tables(r0, s1, Pattern(r2), types));
        const TOdbcStatement& st = *owned;
        const TRow row{st};
        while (st.Fetch()) {
            if (kind == K::Tables)
                rows.Add({row.S(1), row.S(2), row.S(3), row.S(4), {}, row.S(5)});
            else
                rows.Add({row.S(1), row.S(2), row.S(3), {}, {}, {}, row.S(5)});
        }
        return;
    }
    case K::Catalogs: {
        const QString all = QStringLiteral(SQL_ALL_CATALOGS);
        const auto owned = require(tables(all, QStringLiteral(""), QStringLiteral(""), {}));
        const TOdbcStatement& st = *owned;
        const TRow row{st};
        while (st.Fetch()) {
            const QVariant name = row.S(1);
            row.S(2);
            row.S(3);
            row.S(4);
            const QVariant remarks = row.S(5);
            if (!name.toString().isEmpty())
                rows.Add({name, remarks});
        }
        return;
    }
    case K::Schemata: {
        const QString all = QStringLiteral(SQL_ALL_SCHEMAS);
        const auto owned = require(tables(QStringLiteral(""), all, QStringLiteral(""), {}));
        const TOdbcStatement& st = *owned;
        const TRow row{st};
        while (st.Fetch()) {
            const QVariant catalog = row.S(1), name = row.S(2);
            if (!name.toString().isEmpty())
                rows.Add({catalog, name});
        }
        return;
    }
    case K::Columns: {
        auto columns = [&](const QString& schema, const QString& table) {
            return require(Catalog([&](SQLHSTMT h, auto api, auto& s) {
                return api.Columns(h, s(r0), SQL_NTS, s(schema), SQL_NTS, s(table), SQL_NTS, s(Pattern(r3)),
                                   SQL_NTS);
            }));
        };
        auto add = [&](const TOdbcStatement& st) {
            const TRow row{st};
            while (st.Fetch()) {
                // Read in column order: some drivers only allow ascending SQLGetData.
                const QVariant catalog = row.S(1), schema = row.S(2), table = row.S(3), column = row.S(4);
                const SQLSMALLINT sqlType = SQLSMALLINT(row.I(5).toInt());
                QVariant typeName = row.S(6);
                // psqlODBC names an array by its element type's internal name ("_int4").
                // Its "bpchar" is the type declared as char.
                if (m_traits.Postgres) {
                    QString name = typeName.toString();
                    const bool array = name.startsWith(u'_');
                    if (array)
                        name = name.mid(1);
                    if (name == QLatin1String("bpchar"))
                        name = QStringLiteral("char");
                    typeName = array ? name + QStringLiteral("[]") : name;
                }
                const QVariant rawSize = row.I(7);
                row.I(8); // BUFFER_LENGTH
                const QVariant digits = row.I(9);
                row.I(10); // NUM_PREC_RADIX
                const QVariant nullable = row.I(11);
                const QVariant remarks = row.S(12);
                const QVariant rawDefault = row.S(13);
                row.I(14);
                row.I(15);
                const QVariant rawOctets = row.I(16);
                const QVariant ordinal = row.I(17);

                const TDataType type = OdbcFieldType(sqlType, false);
                const bool character = IsCharacterSqlType(sqlType);
                // Drivers say "NULL" where a column has no default, and a size below 0 for "unknown".
                const QVariant defaultValue = DefaultValue(rawDefault);
                // The SQLite3 driver gives a length of 0 to a text column declared without one.
                const QVariant size = m_traits.DatesAsText && character && rawSize.toLongLong() == 0
                                          ? QVariant()
                                          : Size(rawSize);
                const QVariant octets = Size(rawOctets);
                const bool numeric = IsNumericSqlType(sqlType);
                rows.Add({catalog,
                          schema,
                          table,
                          column,
                          {},
                          {},
                          ordinal,
                          !defaultValue.isNull(),
                          defaultValue,
                          ColumnFlags(sqlType, nullable),
                          nullable.isNull() || nullable.toInt() != SQL_NO_NULLS,
                          DbTypeOf(type),
                          {},
                          character ? size : QVariant(),
                          character ? octets : QVariant(),
                          numeric ? size : QVariant(),
                          type == TDataType::Numeric ? digits : QVariant(),
                          IsDateTimeSqlType(sqlType) ? digits : QVariant(),
                          {},
                          {},
                          {},
                          {},
                          {},
                          {},
                          {},
                          {},
                          {},
                          remarks,
                          typeName});
            }
        };
        std::unique_ptr<TOdbcStatement> all;
        try {
            all = columns(s1, Pattern(r2));
        } catch (const TDataError&) {
            // The SQLite3 driver fails the whole call for one broken table (a view whose table
            // is gone): the tables are read one by one then, those before it stay.
            if (!r2.isEmpty())
                throw;
            QList<TTableName> names;
            if (const auto listed = tables(r0, s1, QStringLiteral("%"), {}))
                while (listed->Fetch())
                    names.append(
                        {listed->Text(1).toString(), listed->Text(2).toString(), listed->Text(3).toString()});
            if (names.isEmpty())
                throw;
            for (const TTableName& t : names)
                add(*columns(Pattern(t.Schema), Pattern(t.Name)));
            return;
        }
        add(*all);
        return;
    }
    case K::ProviderTypes: {
        const auto owned =
            require(Catalog([](SQLHSTMT h, auto, auto&) { return SQLGetTypeInfoW(h, SQL_ALL_TYPES); }));
        const TOdbcStatement& st = *owned;
        const TRow row{st};
        QList<int> seen;
        while (st.Fetch()) {
            const QVariant name = row.S(1);
            const SQLSMALLINT sqlType = SQLSMALLINT(row.I(2).toInt());
            const QVariant size = row.L(3), prefix = row.S(4), suffix = row.S(5), params = row.S(6);
            const QVariant nullable = row.I(7), caseSensitive = row.I(8), searchable = row.I(9);
            const QVariant isUnsigned = row.I(10), fixedPrecScale = row.I(11), autoUnique = row.I(12);
            const QVariant localName = row.S(13), minScale = row.I(14), maxScale = row.I(15);
            // The driver lists the closest match of each SQL type first.
            const int dbType = DbTypeOf(OdbcFieldType(sqlType, isUnsigned.toInt() != 0));
            const int key =
                dbType * 4 + (OdbcIsLongType(sqlType) ? 2 : 0) + (OdbcIsFixedLengthType(sqlType) ? 1 : 0);
            const bool best = !seen.contains(key);
            seen.append(key);
            auto flag = [](const QVariant& v) {
                return v.isNull() ? QVariant() : QVariant(v.toInt() != 0);
            };
            rows.Add({name,
                      dbType,
                      Size(size),
                      prefix,
                      suffix,
                      CreateParams(params),
                      nullable.isNull() ? QVariant() : QVariant(nullable.toInt() == SQL_NULLABLE),
                      flag(caseSensitive),
                      Shifted(searchable, 1),
                      flag(isUnsigned),
                      flag(fixedPrecScale),
                      flag(autoUnique),
                      localName,
                      minScale,
                      maxScale,
                      {},
                      {},
                      {},
                      OdbcIsLongType(sqlType),
                      best,
                      OdbcIsFixedLengthType(sqlType)});
        }
        return;
    }
    case K::Indexes:
    case K::Statistics: {
        const QString table = kind == K::Indexes ? r4 : r2;
        // A driver that never sends a table's statistics row (psqlODBC) cannot answer the kind:
        // an empty rowset would read as "no tables".
        bool tables = false, tableStatistics = false;
        const QList<TTableName> all = BaseTables(r0, s1, Pattern(table));
        if (kind == K::Indexes && table.isEmpty() && ReadWholeCatalog(kind, all, rows))
            return;
        for (const TTableName& t : all) {
            // Known after the first table: the other tables' calls would tell no more.
            if (kind == K::Statistics && tables && !tableStatistics)
                break;
            tables = true;
            QStringList primary;
            if (kind == K::Indexes)
                if (auto pk = Catalog([&](SQLHSTMT h, auto api, auto& s) {
                        return api.PrimaryKeys(h, s(t.Catalog), SQL_NTS, s(Ident(t.Schema)), SQL_NTS,
                                               s(Ident(t.Name)), SQL_NTS);
                    }))
                    while (pk->Fetch()) {
                        // Columns in ascending order: not every driver reads them otherwise.
                        const QString column = pk->Text(4).toString();
                        primary << pk->Text(6).toString() << column;
                    }
            auto st = Catalog([&](SQLHSTMT h, auto api, auto& s) {
                return api.Statistics(h, s(t.Catalog), SQL_NTS, s(Ident(t.Schema)), SQL_NTS, s(Ident(t.Name)),
                                      SQL_NTS, SQL_INDEX_ALL, SQL_QUICK);
            });
            st = require(std::move(st));
            const TRow row{*st};
            // One index's rows arrive together; primary-key indexes are told by name or columns.
            struct TIndexRow {
                QVariantList Values;
                QString Name;
                QString Column;
            };
            QList<TIndexRow> indexRows;
            while (st->Fetch()) {
                const QVariant catalog = row.S(1), schema = row.S(2), name = row.S(3);
                const QVariant nonUnique = row.I(4);
                row.S(5);
                const QVariant indexName = row.S(6);
                const int type = row.I(7).toInt();
                const QVariant ordinal = row.I(8), column = row.S(9), order = row.S(10);
                const QVariant cardinality = row.L(11), pages = row.I(12), filter = row.S(13);
                if (type == SQL_TABLE_STAT) {
                    tableStatistics = true;
                    if (kind == K::Statistics)
                        rows.Add({catalog, schema, name, cardinality});
                    continue;
                }
                if (kind != K::Indexes)
                    continue;
                const QVariant collation = order.toString() == QLatin1String("D")   ? QVariant(2)
                                           : order.toString() == QLatin1String("A") ? QVariant(1)
                                                                                    : QVariant();
                const int oledbType = OdbcIndexType(type);
                indexRows.append({{catalog,
                                   schema,
                                   name,
                                   catalog,
                                   schema,
                                   indexName,
                                   false,
                                   nonUnique.isNull() ? QVariant() : QVariant(nonUnique.toInt() == 0),
                                   type == SQL_INDEX_CLUSTERED,
                                   oledbType,
                                   {},
                                   {},
                                   {},
                                   {},
                                   {},
                                   {},
                                   ordinal,
                                   column,
                                   {},
                                   {},
                                   collation,
                                   cardinality,
                                   pages,
                                   filter},
                                  indexName.toString(),
                                  column.toString()});
            }
            if (kind == K::Statistics)
                continue;
            // primary: pairs of (key name, column).
            QString pkName;
            QStringList pkColumns;
            for (int i = 0; i + 1 < primary.size(); i += 2) {
                pkName = primary[i];
                pkColumns << primary[i + 1];
            }
            QMap<QString, QStringList> columnsOf;
            for (const TIndexRow& r : std::as_const(indexRows))
                columnsOf[r.Name] << r.Column;
            for (TIndexRow& r : indexRows) {
                const bool isPrimary =
                    !pkColumns.isEmpty() && ((!pkName.isEmpty() && r.Name == pkName) ||
                                             (r.Values[7].toBool() && columnsOf[r.Name] == pkColumns));
                r.Values[6] = isPrimary;
                rows.Add(r.Values);
            }
        }
        if (kind == K::Statistics && tables && !tableStatistics)
            SchemaNotSupported(kind);
        return;
    }
    case K::PrimaryKeys: {
        const QList<TTableName> all = BaseTables(r0, s1, Pattern(r2));
        if (r2.isEmpty() && ReadWholeCatalog(kind, all, rows))
            return;
        for (const TTableName& t : all) {
            auto st = Catalog([&](SQLHSTMT h, auto api, auto& s) {
                return api.PrimaryKeys(h, s(t.Catalog), SQL_NTS, s(Ident(t.Schema)), SQL_NTS,
                                       s(Ident(t.Name)), SQL_NTS);
            });
            st = require(std::move(st));
            const TRow row{*st};
            while (st->Fetch()) {
                const QVariant catalog = row.S(1), schema = row.S(2), name = row.S(3), column = row.S(4);
                const QVariant seq = row.I(5), pkName = row.S(6);
                rows.Add({catalog, schema, name, column, {}, {}, seq, pkName});
            }
        }
        return;
    }
    case K::ForeignKeys: {
        // Restrictions: PK catalog, schema, table, FK catalog, schema, table.
        auto read = [&](const QString& pkc, const QString& pks, const QString& pkt, const QString& fkc,
                        const QString& fks, const QString& fkt) {
            auto st = Catalog([&](SQLHSTMT h, auto api, auto& s) {
                return api.ForeignKeys(h, s(pkc), SQL_NTS, s(Ident(pks)), SQL_NTS, s(Ident(pkt)), SQL_NTS,
                                       s(fkc), SQL_NTS, s(Ident(fks)), SQL_NTS, s(Ident(fkt)), SQL_NTS);
            });
            st = require(std::move(st));
            const TRow row{*st};
            while (st->Fetch()) {
                const QVariant pkCatalog = row.S(1), pkSchema = row.S(2), pkTable = row.S(3),
                               pkColumn = row.S(4);
                const QVariant fkCatalog = row.S(5), fkSchema = row.S(6), fkTable = row.S(7),
                               fkColumn = row.S(8);
                const QVariant seq = row.I(9), update = row.I(10), del = row.I(11);
                const QVariant fkName = row.S(12), pkName = row.S(13), deferrability = row.I(14);
                rows.Add({pkCatalog,
                          pkSchema,
                          pkTable,
                          pkColumn,
                          {},
                          {},
                          fkCatalog,
                          fkSchema,
                          fkTable,
                          fkColumn,
                          {},
                          {},
                          seq,
                          OdbcRuleText(update),
                          OdbcRuleText(del),
                          pkName,
                          fkName,
                          Shifted(deferrability, -4)});
            }
        };
        // The SQLite3 driver finds no key by a primary table whose name holds "%" or "_": it
        // reads the keys of each foreign table then, and the core keeps the primary table's.
        if (!r5.isEmpty() || (!r2.isEmpty() && !m_traits.IdentifiersArePatterns)) {
            read(r0, r1, r2, r3, r4, r5);
        } else {
            const QList<TTableName> all = BaseTables(r3, Pattern(r4), {});
            if (!r2.isEmpty() || !ReadWholeCatalog(kind, all, rows))
                for (const TTableName& t : all)
                    read({}, {}, {}, t.Catalog, t.Schema, t.Name);
        }
        return;
    }
    case K::Procedures: {
        const auto owned = require(Catalog([&](SQLHSTMT h, auto api, auto& s) {
            return api.Procedures(h, s(r0), SQL_NTS, s(s1), SQL_NTS, s(Pattern(r2)), SQL_NTS);
        }));
        const TOdbcStatement& st = *owned;
        const TRow row{st};
        while (st.Fetch()) {
            const QVariant catalog = row.S(1), schema = row.S(2), name = row.S(3);
            row.I(4);
            row.I(5);
            row.I(6);
            const QVariant remarks = row.S(7), type = row.I(8);
            rows.Add({catalog, schema, name, Shifted(type, 1), {}, remarks});
        }
        return;
    }
    case K::ProcedureParameters:
    case K::ProcedureColumns: {
        const QString column = r3;
        const auto owned = require(Catalog([&](SQLHSTMT h, auto api, auto& s) {
            return api.ProcedureColumns(h, s(r0), SQL_NTS, s(s1), SQL_NTS, s(Pattern(r2)), SQL_NTS,
                                        s(Pattern(column)), SQL_NTS);
        }));
        const TOdbcStatement& st = *owned;
        const TRow row{st};
        while (st.Fetch()) {
            const QVariant catalog = row.S(1), schema = row.S(2), procedure = row.S(3), name = row.S(4);
            const int columnType = row.I(5).toInt();
            const SQLSMALLINT sqlType = SQLSMALLINT(row.I(6).toInt());
            const QVariant typeName = row.S(7), size = row.I(8), length = row.I(9), digits = row.I(10);
            row.I(11);
            const QVariant nullable = row.I(12), remarks = row.S(13), defaultValue = row.S(14);
            const bool resultColumn = columnType == SQL_RESULT_COL;
            if (resultColumn != (kind == K::ProcedureColumns))
                continue;
            const int dataType = DbTypeOf(OdbcFieldType(sqlType, false));
            const bool character = IsCharacterSqlType(sqlType);
            const bool numeric = IsNumericSqlType(sqlType);
            const QVariant isNullable =
                nullable.isNull() ? QVariant() : QVariant(nullable.toInt() != SQL_NO_NULLS);
            const QVariant ordinal = st.Integer(18);
            if (kind == K::ProcedureColumns) {
                rows.Add({catalog,
                          schema,
                          procedure,
                          name,
                          {},
                          {},
                          1,
                          ordinal,
                          isNullable,
                          dataType,
                          {},
                          character ? size : QVariant(),
                          character ? length : QVariant(),
                          numeric ? size : QVariant(),
                          numeric ? digits : QVariant(),
                          remarks});
            } else {
                // ODBC: input 1, input/output 2, output 4, return value 5; OLE DB: 1, 2, 3, 4.
                const int parameterType = columnType == SQL_PARAM_OUTPUT         ? 3
                                          : columnType == SQL_RETURN_VALUE       ? 4
                                          : columnType == SQL_PARAM_INPUT_OUTPUT ? 2
                                                                                 : 1;
                rows.Add({catalog, schema, procedure, name, ordinal, parameterType, !defaultValue.isNull(),
                          defaultValue, isNullable, dataType, character ? size : QVariant(),
                          character ? length : QVariant(), numeric ? size : QVariant(),
                          numeric ? digits : QVariant(), remarks, typeName, typeName});
            }
        }
        return;
    }
    case K::TablePrivileges: {
        const auto owned = require(Catalog([&](SQLHSTMT h, auto api, auto& s) {
            return api.TablePrivileges(h, s(r0), SQL_NTS, s(Pattern(r1)), SQL_NTS, s(Pattern(r2)), SQL_NTS);
        }));
        const TOdbcStatement& st = *owned;
        const TRow row{st};
        while (st.Fetch()) {
            const QVariant catalog = row.S(1), schema = row.S(2), table = row.S(3), grantor = row.S(4);
            const QVariant grantee = row.S(5), privilege = row.S(6), grantable = row.S(7);
            rows.Add(
                {grantor, grantee, catalog, schema, table, privilege,
                 grantable.isNull() ? QVariant() : QVariant(grantable.toString() == QLatin1String("YES"))});
        }
        return;
    }
    case K::ColumnPrivileges: {
        // psqlODBC writes invalid SQL for a schema argument and fails on a null column pattern:
        // the schema is compared here instead.
        const QString columns = r3.isNull() ? QStringLiteral("%") : Pattern(r3);
        const QList<TTableName> all = BaseTables(r0, Pattern(r1), Pattern(r2));
        if (r2.isEmpty() && r3.isNull() && ReadWholeCatalog(kind, all, rows))
            return;
        for (const TTableName& t : all) {
            auto st = Catalog([&](SQLHSTMT h, auto api, auto& s) {
                return api.ColumnPrivileges(h, s(t.Catalog), SQL_NTS, nullptr, 0, s(Ident(t.Name)), SQL_NTS,
                                            s(columns), SQL_NTS);
            });
            st = require(std::move(st));
            const TRow row{*st};
            while (st->Fetch()) {
                const QVariant catalog = row.S(1), schema = row.S(2), table = row.S(3), column = row.S(4);
                const QVariant grantor = row.S(5), grantee = row.S(6), privilege = row.S(7),
                               grantable = row.S(8);
                if (!t.Schema.isEmpty() && schema.toString() != t.Schema)
                    continue;
                rows.Add({grantor,
                          grantee,
                          catalog,
                          schema,
                          table,
                          column,
                          {},
                          {},
                          privilege,
                          grantable.isNull() ? QVariant()
                                             : QVariant(grantable.toString() == QLatin1String("YES"))});
            }
        }
        return;
    }
    case K::DBInfoKeywords: {
        SQLWCHAR buffer[8192];
        SQLSMALLINT length = 0;
        if (!SQL_SUCCEEDED(SQLGetInfoW(m_dbc, SQL_KEYWORDS, buffer, sizeof buffer, &length)))
            SchemaNotSupported(kind);
        const QString list = OdbcString(buffer, std::min<qsizetype>(length / 2, std::size(buffer) - 1));
        for (const QString& word : list.split(u',', Qt::SkipEmptyParts))
            rows.Add({word.trimmed()});
        return;
    }
    default:
        SchemaNotSupported(kind);
    }
}

QList<TTableKey> TOdbcSession::TableKeys(const QString& catalog, const QString& schema,
                                         const QString& table) {
    TOdbcOperationLock calls(*m_calls);
    const QString c = catalog.isEmpty() ? CurrentCatalog() : catalog;
    const QString sch = schema.isEmpty() ? QString() : schema;
    QList<TTableKey> keys;

    if (auto st = Catalog([&](SQLHSTMT h, auto api, auto& s) {
            return api.PrimaryKeys(h, s(c), SQL_NTS, s(Ident(sch)), SQL_NTS, s(Ident(table)), SQL_NTS);
        })) {
        QMap<int, QString> columns;
        while (st->Fetch()) {
            const QString column = st->Text(4).toString();
            columns.insert(st->Integer(5).toInt(), column);
        }
        if (!columns.isEmpty())
            keys.append({columns.values(), false});
    }

    // Unique indexes count when none of their columns takes nulls.
    QStringList notNull;
    if (auto st = Catalog([&](SQLHSTMT h, auto api, auto& s) {
            return api.Columns(h, s(c), SQL_NTS, s(Pattern(sch)), SQL_NTS, s(Pattern(table)), SQL_NTS,
                               nullptr, 0);
        })) {
        while (st->Fetch()) {
            const QString name = st->Text(4).toString();
            for (SQLUSMALLINT i = 5; i < 11; ++i)
                st->Text(i);
            if (st->Integer(11).toInt() == SQL_NO_NULLS)
                notNull << name;
        }
    }
    if (auto st = Catalog([&](SQLHSTMT h, auto api, auto& s) {
            return api.Statistics(h, s(c), SQL_NTS, s(Ident(sch)), SQL_NTS, s(Ident(table)), SQL_NTS,
                                  SQL_INDEX_UNIQUE, SQL_QUICK);
        })) {
        QList<QPair<QString, QStringList>> indexes;
        while (st->Fetch()) {
            st->Text(1);
            st->Text(2);
            st->Text(3);
            const QVariant nonUnique = st->Integer(4);
            st->Text(5);
            const QString name = st->Text(6).toString();
            const int type = st->Integer(7).toInt();
            st->Integer(8);
            const QString column = st->Text(9).toString();
            if (type == SQL_TABLE_STAT || nonUnique.toInt() != 0 || column.isEmpty())
                continue;
            if (indexes.isEmpty() || indexes.last().first != name)
                indexes.append({name, {}});
            indexes.last().second << column;
        }
        for (const auto& index : std::as_const(indexes)) {
            bool usable = true;
            for (const QString& column : index.second)
                usable = usable && notNull.contains(column, Qt::CaseInsensitive);
            const bool known = std::any_of(keys.cbegin(), keys.cend(),
                                           [&](const TTableKey& k) { return k.Columns == index.second; });
            if (usable && !known)
                keys.append({index.second, false});
        }
    }

    if (auto st = Catalog([&](SQLHSTMT h, auto api, auto& s) {
            return api.SpecialColumns(h, SQL_BEST_ROWID, s(c), SQL_NTS, s(Ident(sch)), SQL_NTS,
                                      s(Ident(table)), SQL_NTS, SQL_SCOPE_CURROW, SQL_NO_NULLS);
        })) {
        QStringList columns;
        bool pseudo = false;
        while (st->Fetch()) {
            st->Integer(1);
            columns << st->Text(2).toString();
            for (SQLUSMALLINT i = 3; i < 8; ++i)
                st->Text(i);
            pseudo = pseudo || st->Integer(8).toInt() == SQL_PC_PSEUDO;
        }
        const bool known =
            std::any_of(keys.cbegin(), keys.cend(), [&](const TTableKey& k) { return k.Columns == columns; });
        if (!columns.isEmpty() && !known)
            keys.append({columns, pseudo});
    }
    return keys;
}
