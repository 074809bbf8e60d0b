#pragma once

#include "data/Field.h"

#include <QPointer>
#include <QVariantList>
#include <memory>

class TConnection;
class TRowStore;
struct TStatement;

// Writes the changes of an updatable result back to its one base table: UPDATE and DELETE
// find the row by its key and, for UPDATE, by the old values of the changed columns, so a
// row changed by someone else meanwhile is not overwritten. GUI thread; each change runs
// through the connection's waiter (TConnection::RunWaiting), so a window can keep repainting
// and cancel it, and waits at most RowLockWaitSeconds for a row another session holds.
class TRowUpdater {
public:
    // An updater when every column comes from one base table and the result holds one of
    // the table's keys; null otherwise.
    static std::unique_ptr<TRowUpdater> Create(TConnection& connection, const QList<TColumnInfo>& columns);

    // Each returns the rows the statement would change; anything but 1 means nothing was written.
    qint64 Update(const QVariantList& oldValues, const QVariantList& newValues, const QList<bool>& changed);
    qint64 Delete(const QVariantList& oldValues);
    // Inserts a row of the changed values and returns it as the database stored it (keys it
    // generated, defaults), encoded like a row-store row; empty when the database cannot
    // give the row back, then the row holds what was written.
    QByteArray Insert(const QVariantList& values, const QList<bool>& changed);

private:
    TRowUpdater() = default;
    QString TableName() const;
    // "column IS NULL", or "column = marker" with the value appended.
    void AddCondition(QStringList& conditions, QVariantList& values, const QString& column,
                      const QVariant& value) const;
    void AddKeyCondition(QStringList& conditions, QVariantList& values, const QVariantList& oldValues) const;
    qint64 Run(const QString& sql, const QVariantList& values);
    // One row change through the waiter, with the lock wait limited; a cancel or a lock
    // that was not freed in time fails with a message that says the typed values stay.
    qint64 Change(const TStatement& statement, TRowStore* returned = nullptr);
    QByteArray ReadBack(const QVariantList& newValues, const QList<bool>& changed);
    QString Marker(int n) const;

    QPointer<TConnection> m_connection;
    QList<TColumnInfo> m_columns;
    QList<int> m_keyFields;
    QString m_rowIdColumn; // the key when the table is found by an implicit row id
};
