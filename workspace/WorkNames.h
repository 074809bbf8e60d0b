#pragma once

#include <QObject>
#include <QString>
#include <QStringList>

#include <memory>
#include <thread>

// Reads the columns of tables for the editor's names list on a thread of its own, over a
// connection of its own (opened there at the first request), so that typing never waits for
// the database and a running fetch is never disturbed. Requests come from the GUI thread; each
// is answered once through ColumnsRead, with no columns when they cannot be read.
class TNameReader : public QObject {
    Q_OBJECT
public:
    TNameReader(const QString& connectionString, int connectTimeout, int commandTimeout, QObject* parent);
    ~TNameReader() override;

    void ReadColumns(const QString& schema, const QString& table);

signals:
    void ColumnsRead(const QString& schema, const QString& table, const QStringList& columns);

private:
    struct TShared;
    // Takes the answers the thread left (queued call by name: it carries nothing made there).
    Q_INVOKABLE void DeliverColumns();

    std::shared_ptr<TShared> m_shared;
    std::thread m_thread;
};
