#pragma once

#include "data/DataTypes.h"
#include "data/Recordset.h"

#include <QObject>
#include <QPointer>
#include <QVariant>
#include <functional>
#include <memory>

class QEventLoop;
class TConnection;
class TFetchJob;
struct TJobMailbox;
class TProviderSession;
struct TStatement;

// One ":name" parameter of a query's text.
struct TParameter {
    QString Name;
    QVariant Value; // null QVariant: SQL NULL
};

// The parameters of a query, by position and by name (without regard to case). Each name
// is one parameter however often it occurs in the text.
class TParameters {
public:
    int Count() const { return int(m_items.size()); }
    TParameter& operator[](int index) { return m_items[index]; }
    const TParameter& operator[](int index) const { return m_items[index]; }
    TParameter& ParamByName(const QString& name);
    TParameter* FindParam(const QString& name);
    void Clear() { m_items.clear(); }
    void Add(const QString& name) { m_items.push_back({name, {}}); }

private:
    QList<TParameter> m_items;
};

// Why a fetch ended before the last row although nobody cancelled it.
enum class TFetchShortage { None, Memory, Disk };

// A statement on a connection and its result. Open reads the rows synchronously or, with
// AsyncFetch, returns once the statement has run while a worker thread of the data layer
// fills the row store; FetchProgress and exactly one FetchComplete then arrive on the GUI
// thread. GUI thread; no signal is delivered after the query is destroyed.
class TQuery : public QObject, public TRecordset {
    Q_OBJECT
public:
    explicit TQuery(QObject* parent = nullptr);
    ~TQuery() override;

    TConnection* Connection() const;
    void SetConnection(TConnection* connection);
    int CommandTimeout() const { return m_commandTimeout; }
    void SetCommandTimeout(int seconds) { m_commandTimeout = seconds; }

    // The command text. A new text closes an open result and rebuilds the parameters.
    void SetSql(const QString& text);
    QString Sql() const { return m_sql; }
    // The text as stored: its lines, each followed by CR LF.
    QString SqlText() const;
    TParameters& Parameters() { return m_parameters; }

    TLockType LockType() const { return m_lockType; }
    void SetLockType(TLockType type) { m_lockType = type; }
    TExecuteOption ExecuteOptions() const { return m_executeOption; }
    void SetExecuteOptions(TExecuteOption option) { m_executeOption = option; }

    // Runs the statement and opens its result; errors of the statement are raised here.
    void Open();
    void Close();
    bool Active() const { return m_active; }
    // Runs the text without a result: records affected, or -1 when none reported.
    qint64 ExecSQL();
    // ExecSQL in two steps, for running the statement on another thread: this call (GUI
    // thread) closes the query and binds the statement; the returned call runs it on any
    // thread while nothing else uses the connection. TConnection::Cancel interrupts it.
    std::function<qint64()> PrepareExecSQL();
    // Whether rows are still arriving.
    bool Fetching() const override;
    // Stops the fetch (also from inside a FetchProgress handler); FetchComplete follows.
    void Cancel();
    // After FetchComplete: memory or the temporary file's folder ran out, so the rows end
    // early (the error of FetchComplete names the cause).
    TFetchShortage FetchShortage() const { return m_shortage; }
    // After FetchComplete: the fetch ended because the connection was lost (also when that
    // happened while it was being cancelled: a server that does not answer a cancel in time
    // has its connection closed). The error of FetchComplete says so.
    bool FetchConnectionLost() const { return m_connectionLost; }

    bool Supports(TCursorOption option) const override;

signals:
    // Rows fetched so far; coalesced, at most every few dozen milliseconds.
    void FetchProgress(qint64 progress, qint64 maxProgress);
    // Exactly once per asynchronous open: empty text, or the message of the error that ended it.
    void FetchComplete(const QString& error);
    // The record count grew (coalesced like FetchProgress); for the grid model.
    void RowsAppended(qint64 count);

private:
    friend class TFetchJob;
    // Takes the next event a fetch worker left for this query (queued call by name).
    Q_INVOKABLE void DeliverJobEvent();
    friend class TConnection;
    // The connection closes: the fetch stops and the result goes, also during Open.
    void ConnectionClosing();
    // closing: the session goes too, so a fetch is ended without waiting for the server.
    void StopFetch(bool closing = false);
    TConnection& RequireConnection() const;
    TStatement BoundStatement(TProviderSession& session) const;
    void SetUpResult(const QList<TColumnInfo>& columns, std::shared_ptr<TRowStore> store);
    void HandleExecuted(const std::shared_ptr<TFetchJob>& job);
    void HandleProgress(const std::shared_ptr<TFetchJob>& job);
    void HandleFinished(const std::shared_ptr<TFetchJob>& job);

    QPointer<TConnection> m_connection;
    QString m_sql;
    TParameters m_parameters;
    TLockType m_lockType = TLockType::ReadOnly;
    TExecuteOption m_executeOption = TExecuteOption::Synchronous;
    int m_commandTimeout = 30;
    bool m_active = false;
    bool m_opening = false;
    int m_inProgress = 0;
    qint64 m_reportedRows = 0;
    TFetchShortage m_shortage = TFetchShortage::None;
    bool m_connectionLost = false;
    std::shared_ptr<TFetchJob> m_job;
    std::shared_ptr<TJobMailbox> m_mailbox;
    QEventLoop* m_openLoop = nullptr;
};
