#pragma once

#include "data/Identifiers.h"
#include "data/Provider.h"
#include "data/odbc/OdbcApi.h"
#include <atomic>
#include <functional>
#include <memory>
#include <mutex>

// One ODBC connection (unixODBC, SQLDriverConnect without prompting). Used by the GUI thread
// and at most one fetch worker at a time; Cancel comes from any thread and reaches the
// statement that is executing through SQLCancel. Drivers close a statement that SQLCancel
// meets outside of its execution, under the feet of a fetch in another thread; so a fetch is
// stopped by the flags of the core and the cursor, or, where the driver interrupts the whole
// connection, by SQLCancel on an idle statement of its own.
class TOdbcSession : public TProviderSession {
public:
    // What the connected driver can do and how its values are best read.
    struct TTraits {
        QString DbmsName;
        QString QuoteChar = QStringLiteral("\"");
        // How unquoted names read, and the words that must be quoted as names.
        TIdentifierCase IdentifierCase = TIdentifierCase::Upper;
        QSet<QString> Keywords;
        bool MultipleResults = false; // takes a text of several statements in one call
        bool DatesAsText = false;     // dates live in text columns and may not parse
        bool Postgres = false;        // the server is PostgreSQL
        // Dates and timestamps may lie outside the calendar (BC, infinity): read as text first.
        bool DatesBeyondCalendar = false;
        // SQLCancel interrupts every statement of the connection (the SQLite3 driver): it is
        // sent through an idle statement, which also reaches a running fetch safely.
        bool InterruptsConnection = false;
        // Statements of the connection may run while another one is being fetched, call by
        // call (the SQLite3 driver; one connection also spares the file lock of a second).
        bool Interleaves = false;
        // Objects live in catalogs (the databases of a server); schema reads keep to the current one.
        bool Catalogs = false;
        // Objects live in schemata. Without a schema, psqlODBC looks up a named table in the
        // current schema only; schema reads pass "%" to see every schema's objects.
        bool Schemas = false;
        // The escape character of search patterns (empty: the driver has none).
        QString SearchEscape;
        // The driver reads the names of a table-only catalog call (SQLPrimaryKeys, ...) as
        // patterns too, and refuses one that begins with "%" (the SQLite3 driver).
        bool IdentifiersArePatterns = false;
        // The driver reads wide parameter values with some characters too far (MariaDB; its
        // values go as UTF-8 unless the connection's character set is another).
        bool MiscountsWideValues = false;
        // How statements, restrictions, parameters and values cross the driver's interface.
        TOdbcText Text = TOdbcText::Wide;
    };

    TOdbcSession(const TConnectionString& connection, const TConnectOptions& options);
    ~TOdbcSession() override;

    const TTraits& Traits() const { return m_traits; }

    bool ConcurrentStatements() const override { return m_traits.Interleaves; }
    QString ParameterMarker(int) const override { return QStringLiteral("?"); }
    QString QuoteIdentifier(const QString& name) const override;
    bool NeedsQuotes(const QString& name) const override;
    void SetCommandTimeout(int seconds) override { m_commandTimeout.store(seconds); }

    qint64 Execute(const TStatement& statement) override;
    std::unique_ptr<TProviderCursor> OpenCursor(const TStatement& statement) override;
    // Without RETURNING: `returned` stays empty (SupportsReturning is false).
    qint64 ExecuteRowChange(const TStatement& statement, TRowStore* returned) override;
    void Cancel() override;
    void CancelStatement(const TStatement& statement) override;

    void ReadSchema(TSchemaKind kind, const QVariantList& restrictions, TSchemaRows& rows) override;
    QList<TTableKey> TableKeys(const QString& catalog, const QString& schema, const QString& table) override;

private:
    // A statement handle with the session's settings, registered for Cancel while it runs.
    std::unique_ptr<TOdbcStatement> NewStatement();
    // Runs SQLExecDirect (or a catalog call) on a statement while Cancel can reach it.
    // A fetch is left to the flags unless the driver interrupts the connection.
    SQLRETURN Run(TOdbcStatement& statement, const std::function<SQLRETURN()>& call, bool fetch = false);
    // Interrupts the connection through the idle statement (InterruptsConnection only), for
    // the fetch of a cursor: only while that cursor is still open, no call of the session
    // runs and no other cursor is open, since the driver would stop those too.
    void InterruptFetch(const bool& cursorOpen);
    qint64 ExecuteOne(const QString& sql, const QVariantList& values);
    SQLRETURN ExecDirect(SQLHSTMT statement, const QString& sql) const;
    TOdbcText TextMode();
    // A catalog function's result; a driver without the function gives null. The call gets
    // the statement, the entry points of the driver's width and the converter of its strings:
    // `[&](SQLHSTMT h, auto api, auto& s) { return api.Tables(h, s(catalog), SQL_NTS, ...); }`.
    template <typename F> std::unique_ptr<TOdbcStatement> Catalog(F&& call) {
        return CatalogStatement([&](SQLHSTMT h) {
            return OdbcTextCall(m_traits.Text, [&](auto api, auto& s) { return call(h, api, s); });
        });
    }
    std::unique_ptr<TOdbcStatement> CatalogStatement(const std::function<SQLRETURN(SQLHSTMT)>& call);
    // Catalog functions that take one table only are called for each table that matches.
    struct TTableName {
        QString Catalog, Schema, Name;
    };
    // The tables that match the schema and table patterns.
    QList<TTableName> BaseTables(const QString& catalog, const QString& schema, const QString& table);
    // A kind that the driver answers table by table, read for all the tables at once where
    // the server allows (PostgreSQL); false where it does not.
    bool ReadWholeCatalog(TSchemaKind kind, const QList<TTableName>& tables, TSchemaRows& rows);
    // A name for a pattern argument of a catalog call: "%" and "_" stand for themselves.
    QString Pattern(const QString& name) const;
    // A name for an identifier argument, as the driver reads it.
    QString Ident(const QString& name) const;
    // The connection's current catalog where the driver has catalogs, else empty.
    QString CurrentCatalog();
    void SetAutoCommit(bool on);

    SQLHDBC m_dbc = SQL_NULL_HDBC;
    bool m_connected = false;
    TTraits m_traits;
    std::atomic<int> m_commandTimeout{0};
    // Held by each operation and by a cursor for each row, so that the GUI thread and a fetch
    // worker take turns on the connection.
    std::shared_ptr<TOdbcCalls> m_calls = std::make_shared<TOdbcCalls>();
    std::mutex m_activeMutex;
    SQLHSTMT m_active = SQL_NULL_HSTMT;
    std::unique_ptr<TOdbcStatement> m_interrupter;
    bool m_cancelled = false;                     // Cancel reached the running call
    const std::atomic<bool>* m_opening = nullptr; // stop flag of the statement OpenCursor runs
    std::atomic<quint64> m_cancelCount{0};        // every Cancel, also between the calls of a batch
};
