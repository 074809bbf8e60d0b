#include "data/Provider.h"

#include "data/ConnectionKeys.h"
#include "data/DataError.h"
#include "data/Identifiers.h"
#include "data/Recordset.h"

void TSchemaRows::Add(const QVariantList& values) {
    m_target.AppendRow(values);
}

bool TProviderSession::NeedsQuotes(const QString& name) const {
    return IdentifierNeedsQuotes(name, TIdentifierCase::Insensitive, SqlReservedWords());
}

qint64 TProviderSession::RunRowChange(const TStatement& statement, TRowStore* returned) {
    if (!returned)
        return Execute(statement);
    const qint64 before = returned->RowCount();
    // Read to the end, so the statement is finished before its savepoint or transaction ends.
    std::unique_ptr<TProviderCursor> cursor = OpenCursor(statement);
    while (cursor->FetchRow(*returned)) {
    }
    return returned->RowCount() - before;
}

qint64 TProviderSession::ExecuteRowChange(const TStatement& statement, TRowStore* returned) {
    Execute({QStringLiteral("SAVEPOINT tabulo_row_change"), {}});
    qint64 count = 0;
    try {
        count = RunRowChange(statement, returned);
    } catch (...) {
        Execute({QStringLiteral("ROLLBACK TO SAVEPOINT tabulo_row_change"), {}});
        Execute({QStringLiteral("RELEASE SAVEPOINT tabulo_row_change"), {}});
        throw;
    }
    if (count != 1)
        Execute({QStringLiteral("ROLLBACK TO SAVEPOINT tabulo_row_change"), {}});
    Execute({QStringLiteral("RELEASE SAVEPOINT tabulo_row_change"), {}});
    return count;
}

void TProviderSession::CancelStatement(const TStatement&) {
    Cancel();
}

TSessionFactory FindProvider(const QString& name) {
    struct TEntry {
        const char* Name;
        TSessionFactory Factory;
    };
    static const TEntry providers[] = {
        {"SQLite", &CreateSqliteSession},
#ifdef TABULO_HAVE_POSTGRES
        {"PostgreSQL", &CreatePostgresSession},
#endif
#ifdef TABULO_HAVE_ODBC
        {"ODBC", &CreateOdbcSession},
        {"MSDASQL", &CreateOdbcSession},
#endif
    };
    for (const TEntry& p : providers)
        if (ProviderNameIs(name, p.Name))
            return p.Factory;
    return nullptr;
}
