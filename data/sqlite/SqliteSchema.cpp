// Schema rowsets and table keys of SQLite, read from sqlite_master and the pragmas. The
// database names (main, temp, attached ones) stand in TABLE_SCHEMA; catalogs stay empty.

#include "data/DataError.h"
#include "data/SqlScan.h"
#include "data/sqlite/SqliteSession.h"

#include <QHash>
#include <QMap>
#include <QRegularExpression>
#include <algorithm>
#include <sqlite3.h>

namespace {

struct TTable {
    QString Schema;
    QString Name;
    QString Type; // "TABLE", "VIEW", "SYSTEM TABLE"
    QString Sql;
};

QString Restriction(const QVariantList& restrictions, int index) {
    return index < restrictions.size() ? restrictions[index].toString() : QString();
}

QString Quote(const QString& name) {
    QString q = name;
    q.replace(u'"', QLatin1String("\"\""));
    return u'"' + q + u'"';
}

QStringList Databases(TSqliteSession& s) {
    QStringList names;
    for (const QVariantList& row : s.Rows(QStringLiteral("PRAGMA database_list")))
        names << row.value(1).toString();
    return names;
}

// Tables and views, optionally of one schema and one name.
QList<TTable> Tables(TSqliteSession& s, const QString& schema = {}, const QString& name = {}) {
    QList<TTable> tables;
    for (const QString& db : Databases(s)) {
        if (!schema.isEmpty() && db != schema)
            continue;
        const QString master = db == QLatin1String("temp") ? QStringLiteral("sqlite_temp_master")
                                                           : QStringLiteral("sqlite_master");
        tables.append({db, master, QStringLiteral("SYSTEM TABLE"), {}});
        for (const QVariantList& row : s.Rows(
                 QStringLiteral("SELECT type, name, sql FROM %1.sqlite_master WHERE type IN ('table','view') "
                                "ORDER BY name")
                     .arg(Quote(db)))) {
            const QString n = row[1].toString();
            const QString type = row[0].toString() == QLatin1String("view") ? QStringLiteral("VIEW")
                                 : n.startsWith(QLatin1String("sqlite_"), Qt::CaseInsensitive)
                                     ? QStringLiteral("SYSTEM TABLE")
                                     : QStringLiteral("TABLE");
            tables.append({db, n, type, row[2].toString()});
        }
    }
    if (!name.isEmpty())
        tables.removeIf([&name](const TTable& t) { return t.Name != name; });
    return tables;
}

// SQLite compares names folding ASCII letters only.
QString FoldName(const QString& name) {
    QString folded = name;
    for (QChar& c : folded)
        if (c >= u'A' && c <= u'Z')
            c = QChar(c.unicode() + (u'a' - u'A'));
    return folded;
}

// The database whose table or view a bare name finds: temp first, then main, then the
// attached ones in the order they were attached (PRAGMA database_list lists main first).
QHash<QString, QString> UnqualifiedOwners(const QList<TTable>& tables) {
    QHash<QString, QString> owners;
    const auto rank = [](const QString& db) {
        return db == QLatin1String("temp") ? 0 : db == QLatin1String("main") ? 1 : 2;
    };
    for (const TTable& t : tables) {
        const QString key = FoldName(t.Name);
        const auto it = owners.constFind(key);
        if (it == owners.constEnd() || rank(t.Schema) < rank(*it))
            owners.insert(key, t.Schema);
    }
    return owners;
}

bool WithoutRowId(const TTable& t) {
    static const QRegularExpression re(QStringLiteral("\\bWITHOUT\\s+ROWID\\b"),
                                       QRegularExpression::CaseInsensitiveOption);
    return re.match(t.Sql).hasMatch();
}

struct TColumn {
    QString Name;
    QString Declared;
    bool NotNull = false;
    QVariant Default;
    int PrimaryKey = 0; // position in the primary key, from 1
};

QList<TColumn> ColumnsOf(TSqliteSession& s, const TTable& t) {
    QList<TColumn> columns;
    for (const QVariantList& row :
         s.Rows(QStringLiteral("PRAGMA %1.table_xinfo(%2)").arg(Quote(t.Schema), Quote(t.Name)))) {
        if (row.value(6).toInt() == 1)
            continue; // hidden column of a virtual table
        columns.append({row[1].toString(), row[2].toString(), row[3].toInt() != 0, row[4], row[5].toInt()});
    }
    return columns;
}

struct TIndex {
    QString Name;
    bool Unique = false;
    bool Primary = false;
    bool Partial = false;
    QStringList Columns;
    bool FromConstraint = false; // made by a UNIQUE constraint, not by CREATE INDEX
    QString Filter = {};         // the condition of a partial index, without WHERE
};

// What the pragmas do not tell of a CREATE INDEX statement: each indexed column as written
// (an expression's text) and the condition of a partial index.
struct TIndexSql {
    QStringList Columns;
    QString Filter;
};

// The position after a quoted name or text that starts at pos, or pos when none does.
qsizetype SkipQuoted(const QString& s, qsizetype pos) {
    const QChar c = s.at(pos);
    if (c == u'\'' || c == u'"' || c == u'`')
        return SqlSkipQuoted(s, pos, c);
    if (c == u'[')
        return SqlSkipQuoted(s, pos, u']');
    return pos;
}

// An indexed column without its collation and sort order, which the index's other columns
// of the rowset carry.
QString IndexedExpression(QString text) {
    static const QRegularExpression order(QStringLiteral("\\s+(ASC|DESC)\\s*$"),
                                          QRegularExpression::CaseInsensitiveOption);
    static const QRegularExpression collate(QStringLiteral("\\s+COLLATE\\s+(\"[^\"]*\"|\\w+)\\s*$"),
                                            QRegularExpression::CaseInsensitiveOption);
    text = text.trimmed();
    text.remove(order);
    text.remove(collate);
    return text.trimmed();
}

TIndexSql ParseIndexSql(const QString& sql) {
    TIndexSql result;
    int depth = 0;
    qsizetype itemStart = -1;
    bool columnsRead = false;
    qsizetype pos = 0;
    const auto wordAt = [&sql](qsizetype at, QLatin1String word) {
        const qsizetype end = at + word.size();
        return sql.mid(at, word.size()).compare(word, Qt::CaseInsensitive) == 0 &&
               (at == 0 || !(sql.at(at - 1).isLetterOrNumber() || sql.at(at - 1) == u'_')) &&
               (end == sql.size() || !(sql.at(end).isLetterOrNumber() || sql.at(end) == u'_'));
    };
    while (pos < sql.size()) {
        if (const qsizetype after = SqlSkipComment(sql, pos); after != pos) {
            pos = after;
            continue;
        }
        if (const qsizetype after = SkipQuoted(sql, pos); after != pos) {
            pos = after;
            continue;
        }
        const QChar c = sql.at(pos);
        if (columnsRead) {
            if (depth == 0 && wordAt(pos, QLatin1String("WHERE"))) {
                result.Filter = sql.mid(pos + 5).trimmed();
                break;
            }
        } else if (c == u'(' && ++depth == 1) {
            itemStart = pos + 1;
        } else if ((c == u',' && depth == 1) || (c == u')' && --depth == 0)) {
            result.Columns << IndexedExpression(sql.mid(itemStart, pos - itemStart));
            itemStart = pos + 1;
            columnsRead = depth == 0;
        }
        ++pos;
    }
    return result;
}

QList<TIndex> IndexesOf(TSqliteSession& s, const TTable& t) {
    QList<TIndex> indexes;
    if (t.Type == QLatin1String("VIEW"))
        return indexes;
    const QList<TColumn> columns = ColumnsOf(s, t);
    bool primaryIndex = false;
    for (const QVariantList& row :
         s.Rows(QStringLiteral("PRAGMA %1.index_list(%2)").arg(Quote(t.Schema), Quote(t.Name)))) {
        TIndex index{row[1].toString(),
                     row[2].toInt() != 0,
                     row[3].toString() == QLatin1String("pk"),
                     row.value(4).toInt() != 0,
                     {},
                     row[3].toString() == QLatin1String("u")};
        QList<int> expressions; // positions in the index's key
        for (const QVariantList& c :
             s.Rows(QStringLiteral("PRAGMA %1.index_xinfo(%2)").arg(Quote(t.Schema), Quote(index.Name)))) {
            if (c.value(5).toInt() != 1)
                continue;
            // cid -1 is the rowid, -2 an expression.
            if (c[1].toInt() == -2)
                expressions << int(index.Columns.size());
            index.Columns << (c[1].toInt() == -1 ? QStringLiteral("rowid") : c[2].toString());
        }
        // Expressions and the condition of a partial index are only in the statement.
        if (index.Partial || !expressions.isEmpty()) {
            const QList<QVariantList> sql =
                s.Rows(QStringLiteral("SELECT sql FROM %1.sqlite_master WHERE type = 'index' AND name = ?")
                           .arg(Quote(t.Schema)),
                       {index.Name});
            const TIndexSql written =
                ParseIndexSql(sql.isEmpty() ? QString() : sql.first().value(0).toString());
            for (const int position : std::as_const(expressions))
                index.Columns[position] = written.Columns.value(position);
            index.Filter = written.Filter;
        }
        primaryIndex = primaryIndex || index.Primary;
        indexes.append(index);
    }
    // An INTEGER PRIMARY KEY is the rowid itself and has no index of its own: list it anyway.
    if (!primaryIndex) {
        QStringList keyColumns;
        for (const TColumn& c : columns)
            if (c.PrimaryKey > 0)
                keyColumns << c.Name;
        if (!keyColumns.isEmpty())
            indexes.prepend({QStringLiteral("pk_") + t.Name, true, true, false, keyColumns});
    }
    return indexes;
}

int ColumnFlags(const TSqliteType& type, bool nullable) {
    int flags = 0;
    if (nullable)
        flags |= TColumnFlags::IsNullable | TColumnFlags::MaybeNull;
    if (type.IsFixedLength)
        flags |= TColumnFlags::IsFixedLength;
    if (type.IsLong)
        flags |= TColumnFlags::IsLong;
    return flags;
}

QVariant OrNull(int value) {
    return value > 0 ? QVariant(value) : QVariant();
}

void ReadColumns(TSqliteSession& s, const QVariantList& r, TSchemaRows& rows) {
    for (const TTable& t : Tables(s, Restriction(r, 1), Restriction(r, 2))) {
        int ordinal = 0;
        const QList<TColumn> columns = ColumnsOf(s, t);
        const bool withoutRowId = WithoutRowId(t);
        const auto keyColumns = std::count_if(columns.cbegin(), columns.cend(),
                                              [](const TColumn& c) { return c.PrimaryKey > 0; });
        for (const TColumn& c : columns) {
            ++ordinal;
            const TSqliteType type = MapSqliteType(c.Declared);
            // The rowid's own column and the key of a table without rowid never hold null,
            // whatever the column's declaration says.
            const bool rowIdAlias = !withoutRowId && keyColumns == 1 && c.PrimaryKey == 1 &&
                                    c.Declared.compare(QLatin1String("INTEGER"), Qt::CaseInsensitive) == 0;
            const bool nullable = !c.NotNull && !rowIdAlias && !(withoutRowId && c.PrimaryKey > 0);
            const bool characters = type.Type == TDataType::VarWChar || type.Type == TDataType::WChar ||
                                    type.Type == TDataType::LongVarWChar;
            QVariant maxLength =
                characters && type.Length > 0 ? QVariant(qlonglong(type.Length)) : QVariant();
            rows.Add(
                {QVariant(),
                 t.Schema,
                 t.Name,
                 c.Name,
                 QVariant(),
                 QVariant(),
                 ordinal,
                 !c.Default.isNull(),
                 c.Default,
                 ColumnFlags(type, nullable),
                 nullable,
                 DbTypeOf(type.Type),
                 QVariant(),
                 maxLength,
                 maxLength,
                 characters ? QVariant() : OrNull(type.Precision),
                 type.Type == TDataType::Numeric && type.IsFixedLength ? QVariant(type.Scale) : QVariant(),
                 QVariant(),
                 QVariant(),
                 QVariant(),
                 QVariant(),
                 QVariant(),
                 QVariant(),
                 QVariant(),
                 QVariant(),
                 QVariant(),
                 QVariant(),
                 QVariant(),
                 c.Declared.isEmpty() ? QVariant() : QVariant(c.Declared)});
        }
    }
}

void ReadIndexes(TSqliteSession& s, const QVariantList& r, TSchemaRows& rows) {
    for (const TTable& t : Tables(s, Restriction(r, 1), Restriction(r, 4))) {
        if (t.Type != QLatin1String("TABLE"))
            continue;
        const bool withoutRowId = WithoutRowId(t);
        for (const TIndex& index : IndexesOf(s, t)) {
            // The table's rows are kept in the order of its rowid or WITHOUT ROWID primary key.
            const bool clustered =
                index.Primary && (withoutRowId || index.Name.startsWith(QLatin1String("pk_")));
            int ordinal = 0;
            for (const QString& column : index.Columns)
                rows.Add({QVariant(),
                          t.Schema,
                          t.Name,
                          QVariant(),
                          t.Schema,
                          index.Name,
                          index.Primary,
                          index.Unique,
                          clustered,
                          1,
                          QVariant(),
                          QVariant(),
                          QVariant(),
                          QVariant(),
                          QVariant(),
                          QVariant(),
                          ++ordinal,
                          column,
                          QVariant(),
                          QVariant(),
                          1,
                          QVariant(),
                          QVariant(),
                          index.Filter.isEmpty() ? QVariant() : QVariant(index.Filter),
                          QVariant()});
        }
    }
}

void ReadPrimaryKeys(TSqliteSession& s, const QVariantList& r, TSchemaRows& rows) {
    for (const TTable& t : Tables(s, Restriction(r, 1), Restriction(r, 2))) {
        if (t.Type != QLatin1String("TABLE"))
            continue;
        QList<TColumn> key;
        for (const TColumn& c : ColumnsOf(s, t))
            if (c.PrimaryKey > 0)
                key << c;
        std::sort(key.begin(), key.end(),
                  [](const TColumn& a, const TColumn& b) { return a.PrimaryKey < b.PrimaryKey; });
        for (const TColumn& c : key)
            rows.Add(
                {QVariant(), t.Schema, t.Name, c.Name, QVariant(), QVariant(), c.PrimaryKey, QVariant()});
    }
}

void ReadForeignKeys(TSqliteSession& s, const QVariantList& r, TSchemaRows& rows) {
    const QString pkSchema = Restriction(r, 1), pkTable = Restriction(r, 2);
    for (const TTable& t : Tables(s, Restriction(r, 4), Restriction(r, 5))) {
        if (t.Type != QLatin1String("TABLE"))
            continue;
        for (const QVariantList& fk :
             s.Rows(QStringLiteral("PRAGMA %1.foreign_key_list(%2)").arg(Quote(t.Schema), Quote(t.Name)))) {
            const QString target = fk[2].toString();
            if ((!pkTable.isEmpty() && target != pkTable) || (!pkSchema.isEmpty() && t.Schema != pkSchema))
                continue;
            QString targetColumn = fk[4].toString();
            if (fk[4].isNull()) {
                // "REFERENCES t" without columns means t's primary key, column by column.
                const int seq = fk[1].toInt();
                QList<TColumn> key;
                for (const TColumn& c : ColumnsOf(s, {t.Schema, target, {}, {}}))
                    if (c.PrimaryKey == seq + 1)
                        targetColumn = c.Name;
            }
            rows.Add({QVariant(), t.Schema, target, targetColumn, QVariant(), QVariant(), QVariant(),
                      t.Schema, t.Name, fk[3], QVariant(), QVariant(), fk[1].toInt() + 1, fk[5], fk[6],
                      QVariant(), QVariant(), QVariant()});
        }
    }
}

struct TConstraint {
    QString Name;
    QString Type; // "PRIMARY KEY", "UNIQUE", "FOREIGN KEY"
    QStringList Columns;
};

// SQLite names only some constraints; the others get "fk_<table>_<n>" and the index names.
QList<TConstraint> ConstraintsOf(TSqliteSession& s, const TTable& t) {
    QList<TConstraint> constraints;
    for (const TIndex& index : IndexesOf(s, t))
        if (index.Primary || index.FromConstraint)
            constraints.append({index.Name,
                                index.Primary ? QStringLiteral("PRIMARY KEY") : QStringLiteral("UNIQUE"),
                                index.Columns});
    QMap<int, TConstraint> foreign;
    for (const QVariantList& fk :
         s.Rows(QStringLiteral("PRAGMA %1.foreign_key_list(%2)").arg(Quote(t.Schema), Quote(t.Name)))) {
        TConstraint& c = foreign[fk[0].toInt()];
        c.Name = QStringLiteral("fk_%1_%2").arg(t.Name).arg(fk[0].toInt());
        c.Type = QStringLiteral("FOREIGN KEY");
        c.Columns << fk[3].toString();
    }
    constraints.append(foreign.values());
    return constraints;
}

void ReadConstraints(TSqliteSession& s, TSchemaKind kind, const QVariantList& r, TSchemaRows& rows) {
    for (const TTable& t : Tables(s, Restriction(r, 4), Restriction(r, 5))) {
        if (t.Type != QLatin1String("TABLE"))
            continue;
        for (const TConstraint& c : ConstraintsOf(s, t)) {
            if (kind == TSchemaKind::TableConstraints) {
                rows.Add({QVariant(), t.Schema, c.Name, QVariant(), t.Schema, t.Name, c.Type, false, false});
                continue;
            }
            int ordinal = 0;
            for (const QString& column : c.Columns)
                rows.Add({QVariant(), t.Schema, c.Name, QVariant(), t.Schema, t.Name, column, QVariant(),
                          QVariant(), ++ordinal});
        }
    }
}

void ReadProviderTypes(TSchemaRows& rows) {
    struct TType {
        const char* Name;
        TDataType Type;
        qint64 Size;
        const char* Prefix;
        const char* Suffix;
        const char* Params;
        bool IsLong;
        bool Fixed;
    };
    // The names SQLite's own documentation uses, in the order a lookup should find them.
    static const TType types[] = {
        {"integer", TDataType::BigInt, 19, nullptr, nullptr, nullptr, false, true},
        {"int", TDataType::Integer, 10, nullptr, nullptr, nullptr, false, true},
        {"smallint", TDataType::SmallInt, 5, nullptr, nullptr, nullptr, false, true},
        {"tinyint", TDataType::TinyInt, 3, nullptr, nullptr, nullptr, false, true},
        {"real", TDataType::Double, 15, nullptr, nullptr, nullptr, false, true},
        {"numeric", TDataType::Numeric, 0, nullptr, nullptr, nullptr, false, false},
        {"numeric", TDataType::Numeric, 0, nullptr, nullptr, "precision,scale", false, true},
        {"boolean", TDataType::Boolean, 1, nullptr, nullptr, nullptr, false, true},
        {"date", TDataType::DBDate, 10, "'", "'", nullptr, false, true},
        {"time", TDataType::DBTime, 8, "'", "'", nullptr, false, true},
        {"datetime", TDataType::DBTimeStamp, 19, "'", "'", nullptr, false, true},
        {"varchar", TDataType::VarWChar, 1000000000, "'", "'", "max length", false, false},
        {"char", TDataType::WChar, 1000000000, "'", "'", "length", false, true},
        {"text", TDataType::LongVarWChar, 1000000000, "'", "'", nullptr, true, false},
        {"blob", TDataType::LongVarBinary, 1000000000, "x'", "'", nullptr, true, false},
    };
    for (const TType& t : types) {
        const auto text = [](const char* s) {
            return s ? QVariant(QString::fromLatin1(s)) : QVariant();
        };
        const bool characters = t.Prefix && QByteArray(t.Prefix) == "'" && t.Type != TDataType::DBDate &&
                                t.Type != TDataType::DBTime && t.Type != TDataType::DBTimeStamp;
        rows.Add({QString::fromLatin1(t.Name),
                  DbTypeOf(t.Type),
                  t.Size,
                  text(t.Prefix),
                  text(t.Suffix),
                  text(t.Params),
                  true,
                  characters,
                  3,
                  QVariant(),
                  false,
                  t.Type == TDataType::BigInt,
                  QString::fromLatin1(t.Name),
                  QVariant(),
                  QVariant(),
                  QVariant(),
                  QVariant(),
                  QVariant(),
                  t.IsLong,
                  true,
                  t.Fixed});
    }
}

} // namespace

void TSqliteSession::ReadSchema(TSchemaKind kind, const QVariantList& r, TSchemaRows& rows) {
    switch (kind) {
    case TSchemaKind::Catalogs:
        for (const QVariantList& row : Rows(QStringLiteral("PRAGMA database_list")))
            rows.Add({row[1], row[2]});
        return;
    case TSchemaKind::Schemata:
        for (const QString& db : Databases(*this))
            rows.Add({QVariant(), db, QVariant(), QVariant(), QVariant(), QStringLiteral("UTF-8")});
        return;
    case TSchemaKind::Tables: {
        const QList<TTable> all = Tables(*this);
        const QHash<QString, QString> owners = UnqualifiedOwners(all);
        const QString schema = Restriction(r, 1), name = Restriction(r, 2);
        for (const TTable& t : all)
            if ((schema.isEmpty() || t.Schema == schema) && (name.isEmpty() || t.Name == name))
                rows.Add({QVariant(), t.Schema, t.Name, t.Type, QVariant(), QVariant(), QVariant(),
                          QVariant(), QVariant(), owners.value(FoldName(t.Name)) == t.Schema});
        return;
    }
    case TSchemaKind::Views:
        for (const TTable& t : Tables(*this, Restriction(r, 1), Restriction(r, 2)))
            if (t.Type == QLatin1String("VIEW"))
                rows.Add({QVariant(), t.Schema, t.Name, t.Sql, false, false});
        return;
    case TSchemaKind::Columns:
        ReadColumns(*this, r, rows);
        return;
    case TSchemaKind::Indexes:
        ReadIndexes(*this, r, rows);
        return;
    case TSchemaKind::PrimaryKeys:
        ReadPrimaryKeys(*this, r, rows);
        return;
    case TSchemaKind::TableConstraints:
    case TSchemaKind::KeyColumnUsage:
        ReadConstraints(*this, kind, r, rows);
        return;
    case TSchemaKind::ForeignKeys:
        ReadForeignKeys(*this, r, rows);
        return;
    case TSchemaKind::Statistics: {
        // Row counts only where ANALYZE left them: counting every table could take minutes.
        QHash<QString, QVariant> counts;
        try {
            for (const QVariantList& row :
                 Rows(QStringLiteral("SELECT tbl, stat FROM sqlite_stat1 WHERE idx IS NULL "
                                     "OR idx = tbl")))
                counts.insert(row[0].toString(), row[1].toString().section(u' ', 0, 0).toLongLong());
        } catch (const TDataError&) {
            // no sqlite_stat1: ANALYZE never ran
        }
        for (const TTable& t : Tables(*this, Restriction(r, 1), Restriction(r, 2)))
            if (t.Type == QLatin1String("TABLE"))
                rows.Add({QVariant(), t.Schema, t.Name, counts.value(t.Name)});
        return;
    }
    case TSchemaKind::Collations:
        for (const QVariantList& row : Rows(QStringLiteral("PRAGMA collation_list")))
            rows.Add({QVariant(), QVariant(), row[1], QVariant(), QVariant(), QStringLiteral("UTF-8")});
        return;
    case TSchemaKind::ProviderTypes:
        ReadProviderTypes(rows);
        return;
    case TSchemaKind::DBInfoKeywords:
        for (int i = 0; i < sqlite3_keyword_count(); ++i) {
            const char* name = nullptr;
            int length = 0;
            if (sqlite3_keyword_name(i, &name, &length) == SQLITE_OK)
                rows.Add({QString::fromLatin1(name, length)});
        }
        return;
    default:
        SchemaNotSupported(kind);
    }
}

QList<TTableKey> TSqliteSession::TableKeys(const QString&, const QString& schema, const QString& table) {
    QList<TTableKey> keys;
    const QList<TTable> tables = Tables(*this, schema, table);
    if (tables.isEmpty() || tables.first().Type != QLatin1String("TABLE"))
        return keys;
    const TTable& t = tables.first();
    const QList<TColumn> columns = ColumnsOf(*this, t);
    QList<TColumn> primary;
    for (const TColumn& c : columns)
        if (c.PrimaryKey > 0)
            primary << c;
    std::sort(primary.begin(), primary.end(),
              [](const TColumn& a, const TColumn& b) { return a.PrimaryKey < b.PrimaryKey; });
    if (!primary.isEmpty()) {
        TTableKey key;
        for (const TColumn& c : primary)
            key.Columns << c.Name;
        keys << key;
    }
    for (const TIndex& index : IndexesOf(*this, t)) {
        if (!index.Unique || index.Primary || index.Partial)
            continue;
        bool notNull = true;
        for (const QString& name : index.Columns) {
            const auto it = std::find_if(columns.begin(), columns.end(),
                                         [&](const TColumn& c) { return c.Name == name; });
            notNull = notNull && it != columns.end() && it->NotNull;
        }
        if (notNull)
            keys << TTableKey{index.Columns, false};
    }
    if (!WithoutRowId(t))
        keys << TTableKey{{QStringLiteral("rowid"), QStringLiteral("_rowid_"), QStringLiteral("oid")}, true};
    return keys;
}
