#pragma once

#include "data/Provider.h"
#include "data/postgres/PostgresCancel.h"

#include <atomic>
#include <libpq-fe.h>
#include <map>
#include <memory>

struct TPgStatement;

// Owns a PGresult.
struct TPgResultDeleter {
    void operator()(PGresult* r) const { PQclear(r); }
};
using TPgResult = std::unique_ptr<PGresult, TPgResultDeleter>;

// One libpq connection. The core calls it from the GUI thread and from one fetch worker at a
// time, never both at once (ConcurrentStatements() is false: libpq cannot run a second
// statement while a result is being streamed); Cancel comes from any thread. A streaming
// cursor keeps the session marked busy until it is closed, so a call that slips past the core
// fails with a message instead of corrupting the stream.
//
// A connection found lost is opened again by the next statement, unless a transaction was
// open: then the statements of that transaction are gone, and the user must hear so before
// anything runs on a new connection. A COMMIT or END afterwards fails with the same message
// until another statement has run, so a retried commit never reports success.
class TPostgresSession : public TProviderSession {
public:
    explicit TPostgresSession(PGconn* connection);
    ~TPostgresSession() override;

    bool ConcurrentStatements() const override { return false; }
    bool SupportsReturning() const override { return true; }
    QString ParameterMarker(int n) const override { return u'$' + QString::number(n); }
    QString QuoteIdentifier(const QString& name) const override;
    bool NeedsQuotes(const QString& name) const override;
    void SetCommandTimeout(int seconds) override { m_commandTimeout.store(seconds); }

    qint64 Execute(const TStatement& statement) override;
    std::unique_ptr<TProviderCursor> OpenCursor(const TStatement& statement) override;
    qint64 ExecuteRowChange(const TStatement& statement, TRowStore* returned) override;
    void Cancel() override;
    void Abandon() override;

    void ReadSchema(TSchemaKind kind, const QVariantList& restrictions, TSchemaRows& rows) override;
    QList<TTableKey> TableKeys(const QString& catalog, const QString& schema, const QString& table) override;

    // For the cursor: marks the session in use (or fails) and releases it.
    void Acquire();
    void Release();
    PGconn* Connection() const { return m_conn; }
    bool CancelRequested() const { return m_cancelRequested.load(); }
    // Asks the server to cancel what runs; never waits for its answer.
    void SendCancel();
    // Reads the remaining results of the command that was sent, so the connection is ready
    // for the next one.
    void Drain();
    // The error of a failed result (or of the connection) as the exception the core expects.
    // A lost connection is said as such, with the open transaction it took along.
    [[noreturn]] void ThrowError(const PGresult* result, const QString& statement);
    [[noreturn]] void ThrowLost(const QString& reason, bool serverSaidWhy, const QString& statement);

    // Runs one statement with its values to completion; the last result (rows or command).
    TPgResult Query(const QString& sql, const QVariantList& values = {});

    // Holds the session for one call.
    class TBusy {
    public:
        explicit TBusy(TPostgresSession& session)
            : m_session(session) {
            session.Acquire();
        }
        ~TBusy() { m_session.Release(); }
        TBusy(const TBusy&) = delete;
        TBusy& operator=(const TBusy&) = delete;

    private:
        TPostgresSession& m_session;
    };

private:
    struct TRelation {
        QString Schema;
        QString Table;
        std::map<int, std::pair<QString, bool>> Columns; // attnum: name, not null
    };

    // userStatement: a statement of the user (or of a row change), whose error reaches the
    // user; the provider's own lookups (schema, keys) are not.
    void BeginCommand(bool userStatement = false);
    // Lowers lock_timeout to RowLockWaitSeconds for the transaction; the value it had.
    QString LimitLockWait();
    void SetLocalSetting(const QString& name, const QString& value);
    // Refuses a COMMIT or END while the transaction it would end was lost, and notes whether
    // the text opens a transaction.
    void CheckTransactionText(const QString& sql);
    void StatementSucceeded();
    void ThrowIfCancelled(const QString& statement) const;
    // Reads every result of the command that was sent: the sum of the affected rows (or -1)
    // and the last result; the first error is thrown after the rest was read.
    qint64 FinishCommand(const QString& statement, TPgResult* last = nullptr);
    qint64 RunStatement(const TPgStatement& part, const QVariantList& values, TPgResult* last = nullptr);
    // Names the tables and columns a result comes from; true when it had to ask the server.
    bool ResolveRelations(const PGresult* description);
    void Setup();
    QList<TColumnInfo> DescribeColumns(const PGresult* description) const;
    bool ReadsTableTwice(const QList<TColumnInfo>& columns, const QVariantList& values,
                         const TPgStatement& statement);

    void ReadTables(TSchemaRows& rows);
    void ReadColumns(const QVariantList& restrictions, TSchemaRows& rows);
    void ReadProviderTypes(TSchemaRows& rows);
    void ReadProcedureColumns(const QVariantList& restrictions, TSchemaRows& rows);
    void ReadRows(TSchemaKind kind, const QString& sql, const QVariantList& restrictions, TSchemaRows& rows);

    PGconn* m_conn;
    TPgCancelWatch m_cancelWatch;
    std::atomic<bool> m_cancelRequested{false};
    std::atomic<bool> m_busy{false};
    std::atomic<int> m_commandTimeout{0};
    int m_appliedTimeout = -1; // unknown: the server's or role's default
    bool m_userStatement = false;   // the running call is a user's statement
    bool m_transactionOpen = false; // a transaction was open when the running call began
    bool m_knownTransaction = false; // a transaction was open when the last call ended
    bool m_lostTransaction = false; // a transaction went with the lost connection ...
    bool m_lossTold = false;        // ... and the user has read so
    QString m_lossMessage;
    QString m_database;
    // Table oids of results, resolved once; forgotten after any statement that may change them.
    std::map<Oid, TRelation> m_relations;
};
