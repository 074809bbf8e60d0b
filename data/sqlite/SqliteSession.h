#pragma once

#include "data/Provider.h"

#include <atomic>
#include <chrono>

struct sqlite3;
struct sqlite3_stmt;

// A type as SQLite declares it, read the way the program shows it.
struct TSqliteType {
    TDataType Type = TDataType::Variant;
    qint64 Length = 0; // "(n)" of character types
    int Precision = 0;
    int Scale = 0;
    bool IsLong = false;
    bool IsFixedLength = false;
};
TSqliteType MapSqliteType(const QString& declared);

// What a running step may be stopped by; set for the thread that steps.
struct TSqliteStep {
    quint64 Generation = 0;
    const std::atomic<bool>* Stop = nullptr;
    std::chrono::steady_clock::time_point Deadline = std::chrono::steady_clock::time_point::max();
    bool TimedOut = false;
};

// One SQLite database handle, opened serialized: the fetch worker and the GUI thread step
// their statements on it in turn. Stops come through a progress handler that looks at the
// session's cancel generation, the cursor's stop flag and the command time-out.
class TSqliteSession : public TProviderSession {
public:
    TSqliteSession(const TConnectionString& cs, const TConnectOptions& options);
    ~TSqliteSession() override;

    bool ConcurrentStatements() const override { return true; }
    bool SupportsReturning() const override { return true; }
    QString ParameterMarker(int n) const override { return u'?' + QString::number(n); }
    QString QuoteIdentifier(const QString& name) const override;
    bool NeedsQuotes(const QString& name) const override;
    void SetCommandTimeout(int seconds) override { m_commandTimeout.store(seconds); }
    qint64 Execute(const TStatement& statement) override;
    std::unique_ptr<TProviderCursor> OpenCursor(const TStatement& statement) override;
    void Cancel() override { m_generation.fetch_add(1); }
    // Nothing to interrupt from outside: the progress handler of the statement's own steps
    // sees its Stop flag, and sqlite3_interrupt would hit every statement of the handle.
    void CancelStatement(const TStatement&) override {} // stops through TStatement::Stop
    void ReadSchema(TSchemaKind kind, const QVariantList& restrictions, TSchemaRows& rows) override;
    QList<TTableKey> TableKeys(const QString& catalog, const QString& schema, const QString& table) override;

    // Driver-level helpers shared with the cursor and the schema reader.
    sqlite3* Handle() const { return m_db; }
    TSqliteStep NewStep(bool withDeadline) const;
    // Prepares the next statement of the text at *tail; null when only blanks/comments remain.
    sqlite3_stmt* Prepare(const char*& tail, const char* end, const QString& wholeText);
    void Bind(sqlite3_stmt* statement, const QVariantList& values);
    // Steps once; returns true for a row, false when done; throws on errors.
    bool Step(sqlite3_stmt* statement, TSqliteStep& step);
    // All rows of a statement as variants (schema reads).
    QList<QVariantList> Rows(const QString& sql, const QVariantList& values = {});
    [[noreturn]] void Fail(int rc, const QString& statement, const TSqliteStep* step = nullptr,
                          qsizetype position = -1);

private:
    static int Progress(void* session);

    sqlite3* m_db = nullptr;
    QString m_path;
    std::atomic<quint64> m_generation{0};
    std::atomic<int> m_commandTimeout{0};
};
