#pragma once

#include "data/ConnectionString.h"
#include "data/DataTypes.h"
#include "data/Field.h"

#include <QStringList>
#include <QVariantList>
#include <atomic>
#include <memory>

class TRowStore;
class TRecordset;

// The interface between the data-access core (TConnection, TQuery) and one database driver.
// A provider implements TProviderSession and TProviderCursor in data/<provider>/ and is the
// only code that includes its driver's header. See data/README.md.

// A statement as the provider receives it: the text with every ":name" parameter replaced
// by the provider's marker (ParameterMarker(n), n counting occurrences from 1) and one
// value per marker. Values are QVariant (null QVariant = SQL NULL).
struct TStatement {
    QString Sql;
    QVariantList Values;
    // A fetch's own stop flag (may be null): once set, the statement's execution ends with
    // TCancelledError at the provider's next chance, without touching other statements.
    const std::atomic<bool>* Stop = nullptr;
};

// Seconds a row change of an updatable result waits for a row that another session holds.
constexpr int RowLockWaitSeconds = 10;

struct TConnectOptions {
    int ConnectTimeout = 15; // seconds; nothing may hang longer while connecting
};

// An executed statement whose rows are being read. Created and used by one thread at a
// time (the fetch worker, or the GUI thread for a synchronous open); Cancel from any thread.
class TProviderCursor {
public:
    virtual ~TProviderCursor() = default;
    virtual QList<TColumnInfo> Columns() const = 0;
    // Appends the next row to the store (BeginRow, one Add per column, EndRow) and returns
    // true, or returns false at the end. Errors throw TDataError.
    virtual bool FetchRow(TRowStore& store) = 0;
    // Interrupts a FetchRow that is running (any thread). The cursor is then closed.
    virtual void Cancel() = 0;
    // Ends the statement before its last row (the reading thread). Throws when the session's
    // connection was lost on the way, so that a stopped fetch still tells of it.
    virtual void Close() {}
};

// A key of a table by which one row can be found again: primary key, a unique key whose
// columns are all not null, or an implicit row id.
struct TTableKey {
    QStringList Columns;
    bool IsRowId = false;
};

// Rows of a schema rowset; the columns are those of the OLE DB kind (SchemaColumns).
class TSchemaRows {
public:
    explicit TSchemaRows(TRecordset& target, int columnCount)
        : m_target(target)
        , m_columnCount(columnCount) {}
    int ColumnCount() const { return m_columnCount; }
    // Values in the kind's column order; missing trailing values are null.
    void Add(const QVariantList& values);

private:
    TRecordset& m_target;
    int m_columnCount;
};

// One open session with a database.
//
// Threading: the core calls a session from the GUI thread and from at most one fetch worker
// at a time. A provider whose driver cannot run a second statement while a cursor of the same
// session is being fetched (in another thread) returns false from ConcurrentStatements();
// the core then runs other work during a fetch on a second session opened with the same
// connection string. Cancel may be called from any thread at any time.
class TProviderSession {
public:
    virtual ~TProviderSession() = default;

    virtual bool ConcurrentStatements() const = 0;
    // The marker of the n-th parameter occurrence (1-based): "?", "?n", "$n".
    virtual QString ParameterMarker(int n) const = 0;
    // Quotes a table or column name for SQL the core writes (updates of results).
    virtual QString QuoteIdentifier(const QString& name) const = 0;
    // Whether a name must be quoted to read as itself in SQL (its letters' case, characters
    // outside a plain name, reserved words). The default folds nothing and knows the
    // reserved words of standard SQL.
    virtual bool NeedsQuotes(const QString& name) const;
    // Seconds a statement may run; 0 means no limit.
    virtual void SetCommandTimeout(int seconds) = 0;

    // Runs every statement of the text; returns the sum of the affected rows, or -1 when
    // the database reports none. Errors throw TDataError (TCancelledError when cancelled).
    virtual qint64 Execute(const TStatement& statement) = 0;
    // Runs the text (statements before the last to completion) and returns a cursor on the
    // rows of its last statement, positioned before the first row.
    virtual std::unique_ptr<TProviderCursor> OpenCursor(const TStatement& statement) = 0;
    // Executes one INSERT/UPDATE/DELETE that must change exactly one row: when it changes
    // none or several, the change is undone and the count returned. The default runs it in
    // a savepoint. With `returned` the statement ends in RETURNING: its rows go there and
    // their number is the count.
    virtual qint64 ExecuteRowChange(const TStatement& statement, TRowStore* returned = nullptr);
    // The statement of a row change as such: executed, or its RETURNING rows read.
    qint64 RunRowChange(const TStatement& statement, TRowStore* returned);
    // Whether an INSERT may end in RETURNING with a list of columns and gives that row back.
    virtual bool SupportsReturning() const { return false; }
    // Interrupts whatever runs on the session (any thread); the session stays usable.
    virtual void Cancel() = 0;
    // Ends whatever runs on the session at once, without waiting for the server: the session is
    // about to be closed (any thread). By default a cancel.
    virtual void Abandon() { Cancel(); }
    // Interrupts the execution of one statement in OpenCursor (any thread; its Stop is set
    // by now) and nothing else that runs on the session, where the driver can tell them
    // apart; a statement it cannot reach alone runs on until the flag is seen.
    virtual void CancelStatement(const TStatement& statement);

    // Fills a schema rowset; unknown kinds throw SchemaNotSupported(kind). Restrictions are
    // those of the OLE DB kind, in order (null or empty = unrestricted); the core filters the
    // rows again, so a provider may ignore them.
    virtual void ReadSchema(TSchemaKind kind, const QVariantList& restrictions, TSchemaRows& rows) = 0;
    // The keys of a base table that identify a row, best first (empty: not updatable).
    virtual QList<TTableKey> TableKeys(const QString& catalog, const QString& schema,
                                       const QString& table) = 0;
};

// Throws the German "not supported" error for a schema kind.
[[noreturn]] void SchemaNotSupported(TSchemaKind kind);

// The OLE DB columns of a schema rowset kind, and the names of its restriction columns.
QList<TColumnInfo> SchemaColumns(TSchemaKind kind);
QStringList SchemaRestrictions(TSchemaKind kind);

// Provider factories; each opens a session or throws TDataError.
using TSessionFactory = std::unique_ptr<TProviderSession> (*)(const TConnectionString&,
                                                              const TConnectOptions&);
std::unique_ptr<TProviderSession> CreateSqliteSession(const TConnectionString&, const TConnectOptions&);
std::unique_ptr<TProviderSession> CreatePostgresSession(const TConnectionString&, const TConnectOptions&);
std::unique_ptr<TProviderSession> CreateOdbcSession(const TConnectionString&, const TConnectOptions&);
// The factory for a provider name ("SQLite", "PostgreSQL", "ODBC", "MSDASQL"), or null.
TSessionFactory FindProvider(const QString& name);
