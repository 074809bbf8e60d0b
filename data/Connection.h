#pragma once

#include "data/DataTypes.h"

#include <QList>
#include <QObject>
#include <QPointer>
#include <QVariantList>
#include <functional>
#include <exception>
#include <memory>

class TProviderSession;
class TQuery;
class TRecordset;

// A connection to one database, chosen by the connection string's "Provider" key
// (SQLite, PostgreSQL, ODBC/MSDASQL). Open is synchronous and never prompts. GUI thread;
// queries on the connection may fetch in worker threads of the data layer.
class TConnection : public QObject {
    Q_OBJECT
public:
    explicit TConnection(QObject* parent = nullptr);
    ~TConnection() override;

    QString ConnectionString() const { return m_connectionString; }
    void SetConnectionString(const QString& text);
    // Seconds a statement may run; 0 means no limit. Queries take it over when attached.
    int CommandTimeout() const { return m_commandTimeout; }
    void SetCommandTimeout(int seconds);
    // Seconds Open may take before it gives up.
    int ConnectionTimeout() const { return m_connectionTimeout; }
    void SetConnectionTimeout(int seconds) { m_connectionTimeout = seconds; }

    void Open();
    void Open(const QString& connectionString);
    // Opening in two halves, so that the waiting can happen off the GUI thread: Connect makes
    // a session on any thread and touches no connection; Adopt, on the connection's thread,
    // makes it this connection's session, as Open would have.
    static std::shared_ptr<TProviderSession> Connect(const QString& connectionString, int connectTimeout,
                                                     int commandTimeout);
    void Adopt(const QString& connectionString, std::shared_ptr<TProviderSession> session);
    // Stops the fetches of its queries and closes the session.
    void Close();
    bool Connected() const { return m_session != nullptr; }
    // The provider's name as given in the connection string.
    QString ProviderName() const { return m_providerName; }

    // Interrupts the statements that are running on the connection, including a fetch of one
    // of its queries; the connection stays usable.
    void Cancel();
    // How a call that may wait for the server long (a row change waiting for a lock) is waited
    // for: by default right here; a window lets it run on a worker while it repaints, and
    // calls cancel when the user gives up.
    using TWaiter = std::function<void(const std::function<void()>& work, const std::function<void()>& cancel)>;
    void SetWaiter(TWaiter waiter) { m_waiter = std::move(waiter); }
    // Runs work through the waiter; its exceptions are rethrown here.
    void RunWaiting(const std::function<void()>& work);
    // Runs a text of one or more statements; the records affected, or -1 when none reported.
    qint64 Execute(const QString& sql);
    // A name read from the database as SQL: unchanged when it reads as itself unquoted, else
    // quoted as the provider's identifier. A name the driver cannot quote raises.
    QString SqlName(const QString& name);
    // A schema rowset of the kind's OLE DB columns; a kind the provider does not know raises.
    std::unique_ptr<TRecordset> OpenSchema(TSchemaKind kind, const QVariantList& restrictions = {});
    // As OpenSchema; where the provider fails after some rows, those rows are returned and
    // the error is left in `error` (null otherwise).
    std::unique_ptr<TRecordset> OpenSchemaPartly(TSchemaKind kind, std::exception_ptr& error,
                                                 const QVariantList& restrictions = {});

    // For TQuery: the session a new statement should use now (a second one while the main
    // session is busy with a fetch and its driver cannot interleave statements).
    TProviderSession& SessionForStatement();
    TProviderSession& MainSession();
    // The session an asynchronous fetch runs on, until EndFetch: the main session, or a session
    // of its own while another fetch keeps a main session busy that cannot interleave.
    std::shared_ptr<TProviderSession> BeginFetch();
    void EndFetch(const std::shared_ptr<TProviderSession>& session);
    void AddQuery(TQuery* query);
    void RemoveQuery(TQuery* query);

private:
    void RequireOpen() const;

    QString m_connectionString;
    QString m_providerName;
    int m_commandTimeout = 30;
    int m_connectionTimeout = 15;
    std::shared_ptr<TProviderSession> m_session;
    std::shared_ptr<TProviderSession> m_sideSession;
    int m_fetches = 0;
    QList<QPointer<TQuery>> m_queries;
    TWaiter m_waiter;
};
