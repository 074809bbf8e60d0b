#include "data/RowUpdater.h"

#include "data/Connection.h"
#include "data/DataError.h"
#include "data/Provider.h"
#include "data/RowStore.h"

namespace {

int IndexOf(const QStringList& names, const QString& name) {
    for (int i = 0; i < names.size(); ++i)
        if (names[i].compare(name, Qt::CaseInsensitive) == 0)
            return i;
    return -1;
}

} // namespace

std::unique_ptr<TRowUpdater> TRowUpdater::Create(TConnection& connection, const QList<TColumnInfo>& columns) {
    if (columns.isEmpty())
        return nullptr;
    const TColumnInfo& first = columns.first();
    QStringList baseColumns;
    for (const TColumnInfo& c : columns) {
        if (c.BaseTable.isEmpty() || c.BaseColumn.isEmpty() || c.BaseTable != first.BaseTable ||
            c.BaseSchema != first.BaseSchema || c.BaseCatalog != first.BaseCatalog)
            return nullptr;
        if (baseColumns.contains(c.BaseColumn, Qt::CaseInsensitive))
            return nullptr; // one column twice: an edit could not say which value wins
        baseColumns.append(c.BaseColumn);
    }
    TProviderSession& session = connection.SessionForStatement();
    for (const TTableKey& key : session.TableKeys(first.BaseCatalog, first.BaseSchema, first.BaseTable)) {
        QList<int> fields;
        QString rowId;
        if (key.IsRowId) {
            for (const QString& name : key.Columns) {
                const int i = IndexOf(baseColumns, name);
                if (i >= 0) {
                    fields = {i};
                    rowId = name;
                    break;
                }
            }
        } else {
            for (const QString& name : key.Columns) {
                const int i = IndexOf(baseColumns, name);
                if (i < 0) {
                    fields.clear();
                    break;
                }
                fields.append(i);
            }
        }
        if (fields.isEmpty())
            continue;
        std::unique_ptr<TRowUpdater> updater(new TRowUpdater);
        updater->m_connection = &connection;
        updater->m_columns = columns;
        updater->m_keyFields = fields;
        updater->m_rowIdColumn = rowId;
        return updater;
    }
    return nullptr;
}

QString TRowUpdater::Marker(int n) const {
    return m_connection->SessionForStatement().ParameterMarker(n);
}

QString TRowUpdater::TableName() const {
    TProviderSession& session = m_connection->SessionForStatement();
    const TColumnInfo& c = m_columns.first();
    QString name = session.QuoteIdentifier(c.BaseTable);
    if (!c.BaseSchema.isEmpty())
        name = session.QuoteIdentifier(c.BaseSchema) + u'.' + name;
    return name;
}

void TRowUpdater::AddCondition(QStringList& conditions, QVariantList& values, const QString& column,
                               const QVariant& value) const {
    if (value.isNull()) {
        conditions << column + QLatin1String(" IS NULL");
    } else {
        values << value;
        conditions << column + QLatin1String(" = ") + Marker(int(values.size()));
    }
}

void TRowUpdater::AddKeyCondition(QStringList& conditions, QVariantList& values,
                                  const QVariantList& oldValues) const {
    TProviderSession& session = m_connection->SessionForStatement();
    for (int i : m_keyFields) {
        AddCondition(conditions, values, session.QuoteIdentifier(m_columns[i].BaseColumn), oldValues[i]);
    }
}

qint64 TRowUpdater::Run(const QString& sql, const QVariantList& values) {
    if (!m_connection)
        throw TDataError(QStringLiteral("Die Verbindung der Datenmenge ist nicht mehr vorhanden"));
    return Change({sql, values});
}

qint64 TRowUpdater::Change(const TStatement& statement, TRowStore* returned) {
    TConnection& connection = *m_connection;
    TProviderSession& session = connection.SessionForStatement();
    // Where the provider has no lock wait limit of its own (ODBC), the statement's time-out is one.
    const int timeout = connection.CommandTimeout();
    session.SetCommandTimeout(timeout > 0 && timeout < RowLockWaitSeconds ? timeout : RowLockWaitSeconds);
    const QString kept = QStringLiteral(" Es wurde nichts gespeichert; die eingegebenen Werte bleiben erhalten.");
    qint64 count = 0;
    try {
        connection.RunWaiting([&] { count = session.ExecuteRowChange(statement, returned); });
    } catch (const TCancelledError&) {
        session.SetCommandTimeout(timeout);
        throw TDataError(QStringLiteral("Das Speichern des Datensatzes wurde abgebrochen.") + kept,
                         QStringLiteral("57014"), 0, statement.Sql);
    } catch (const TDataError& e) {
        session.SetCommandTimeout(timeout);
        // 55P03: PostgreSQL's lock_timeout; 57014 without a cancel and HYT00: the time-out.
        if (e.SqlState() == QLatin1String("55P03") || e.SqlState() == QLatin1String("57014") ||
            e.SqlState() == QLatin1String("HYT00"))
            throw TDataError(QStringLiteral("Der Datensatz ist von einer anderen Sitzung gesperrt und wurde "
                                            "nach %1 Sekunden Wartezeit nicht freigegeben.")
                                     .arg(RowLockWaitSeconds) +
                                 kept,
                             e.SqlState(), e.NativeCode(), statement.Sql);
        throw;
    }
    session.SetCommandTimeout(timeout);
    return count;
}

qint64 TRowUpdater::Update(const QVariantList& oldValues, const QVariantList& newValues,
                           const QList<bool>& changed) {
    TProviderSession& session = m_connection->SessionForStatement();
    QStringList assignments, conditions;
    QVariantList values;
    for (int i = 0; i < m_columns.size(); ++i)
        if (changed[i]) {
            values << newValues[i];
            assignments << session.QuoteIdentifier(m_columns[i].BaseColumn) + QLatin1String(" = ") +
                               Marker(int(values.size()));
        }
    AddKeyCondition(conditions, values, oldValues);
    // The old values of the changed columns: a row someone else changed meanwhile is not found.
    for (int i = 0; i < m_columns.size(); ++i) {
        if (!changed[i] || m_keyFields.contains(i) || IsBlobType(m_columns[i].Type))
            continue;
        AddCondition(conditions, values, session.QuoteIdentifier(m_columns[i].BaseColumn), oldValues[i]);
    }
    return Run(
        QStringLiteral("UPDATE %1 SET %2 WHERE %3")
            .arg(TableName(), assignments.join(QLatin1String(", ")), conditions.join(QLatin1String(" AND "))),
        values);
}

QByteArray TRowUpdater::Insert(const QVariantList& newValues, const QList<bool>& changed) {
    TProviderSession& session = m_connection->SessionForStatement();
    QStringList columns, markers, all;
    QVariantList values;
    for (int i = 0; i < m_columns.size(); ++i) {
        all << session.QuoteIdentifier(m_columns[i].BaseColumn);
        if (changed[i]) {
            values << newValues[i];
            columns << all.last();
            markers << Marker(int(values.size()));
        }
    }
    const QString insert =
        columns.isEmpty()
            ? QStringLiteral("INSERT INTO %1 DEFAULT VALUES").arg(TableName())
            : QStringLiteral("INSERT INTO %1 (%2) VALUES (%3)")
                  .arg(TableName(), columns.join(QLatin1String(", ")), markers.join(QLatin1String(", ")));
    // RETURNING gives the row with the values the database filled in (a generated key, a
    // default), so the new row can be edited again at once, found by its real key.
    // It runs protected as every row change does: an insert that writes no row (a trigger, a
    // rule) or several is undone and fails.
    if (session.SupportsReturning()) {
        TRowStore row(int(m_columns.size()));
        if (Change({insert + QStringLiteral(" RETURNING ") + all.join(QLatin1String(", ")), values}, &row) != 1)
            throw TDataError(QStringLiteral("Der Datensatz konnte nicht eingefügt werden"));
        return row.RowBytes(0);
    }
    if (Run(insert, values) != 1)
        throw TDataError(QStringLiteral("Der Datensatz konnte nicht eingefügt werden"));
    return ReadBack(newValues, changed);
}

QByteArray TRowUpdater::ReadBack(const QVariantList& newValues, const QList<bool>& changed) {
    // Found by its key when the user gave all of it, otherwise by the values written; a row
    // that is not found exactly once keeps the values as typed.
    TProviderSession& session = m_connection->SessionForStatement();
    bool keyGiven = true;
    for (int i : m_keyFields)
        keyGiven = keyGiven && changed[i] && !newValues[i].isNull();
    QStringList all, conditions;
    QVariantList values;
    for (int i = 0; i < m_columns.size(); ++i) {
        all << session.QuoteIdentifier(m_columns[i].BaseColumn);
        if (keyGiven ? !m_keyFields.contains(i) : (!changed[i] || IsBlobType(m_columns[i].Type)))
            continue;
        AddCondition(conditions, values, all.last(), newValues[i]);
    }
    if (conditions.isEmpty())
        return {};
    try {
        std::unique_ptr<TProviderCursor> cursor = session.OpenCursor(
            {QStringLiteral("SELECT %1 FROM %2 WHERE %3")
                 .arg(all.join(QLatin1String(", ")), TableName(), conditions.join(QLatin1String(" AND "))),
             values});
        TRowStore rows(int(m_columns.size()));
        while (rows.RowCount() < 2 && cursor->FetchRow(rows)) {
        }
        return rows.RowCount() == 1 ? rows.RowBytes(0) : QByteArray();
    } catch (const TDataError&) {
        // The row is written; only showing what the database made of it failed.
        return {};
    }
}

qint64 TRowUpdater::Delete(const QVariantList& oldValues) {
    QStringList conditions;
    QVariantList values;
    AddKeyCondition(conditions, values, oldValues);
    return Run(
        QStringLiteral("DELETE FROM %1 WHERE %2").arg(TableName(), conditions.join(QLatin1String(" AND "))),
        values);
}
