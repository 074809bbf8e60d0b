#include "data/postgres/PostgresCursor.h"

#include "data/DataError.h"
#include "data/RowStore.h"

TPostgresCursor::TPostgresCursor(TPostgresSession& session, QList<TColumnInfo> columns,
                                 std::vector<TPgTypes::TStoreAs> storeAs, QString statement)
    : m_session(session)
    , m_columns(std::move(columns))
    , m_storeAs(std::move(storeAs))
    , m_statement(std::move(statement)) {}

TPostgresCursor::~TPostgresCursor() {
    if (!m_done) {
        // Rows nobody will read: stop the server rather than stream them all.
        m_session.SendCancel();
        m_pending.reset();
        m_session.Drain();
    }
    m_session.Release();
}

TPgResult TPostgresCursor::Next() {
    if (m_pending)
        return std::move(m_pending);
    return TPgResult(PQgetResult(m_session.Connection()));
}

void TPostgresCursor::Finish() {
    m_done = true;
    m_pending.reset();
    m_session.Drain();
}

void TPostgresCursor::Start() {
    TPgResult first = Next();
    if (!first) {
        m_done = true;
        return;
    }
    switch (PQresultStatus(first.get())) {
    case PGRES_SINGLE_TUPLE:
        m_pending = std::move(first);
        return;
    case PGRES_TUPLES_OK:
    case PGRES_COMMAND_OK:
    case PGRES_EMPTY_QUERY:
        Finish();
        return;
    default:
        Finish();
        m_session.ThrowError(first.get(), m_statement);
    }
}

bool TPostgresCursor::FetchRow(TRowStore& store) {
    if (m_done)
        return false;
    TPgResult row = Next();
    if (!row) {
        m_done = true;
        return false;
    }
    const PGresult* r = row.get();
    switch (PQresultStatus(r)) {
    case PGRES_SINGLE_TUPLE: {
        const int columns = int(m_storeAs.size());
        store.BeginRow();
        for (int c = 0; c < columns; ++c) {
            // Only an empty value can be NULL.
            const int length = PQgetlength(r, 0, c);
            if (length == 0 && PQgetisnull(r, 0, c))
                store.AddNull();
            else
                TPgTypes::AppendValue(store, m_storeAs[size_t(c)], PQgetvalue(r, 0, c), length);
        }
        store.EndRow();
        return true;
    }
    case PGRES_TUPLES_OK:
    case PGRES_COMMAND_OK:
        Finish();
        return false;
    default: {
        Finish();
        // A connection given up while cancelling is a loss, not a cancel.
        if (m_cancelled.load() && PQstatus(m_session.Connection()) != CONNECTION_BAD)
            throw TCancelledError(m_statement);
        m_session.ThrowError(r, m_statement);
    }
    }
}

void TPostgresCursor::Close() {
    if (m_done)
        return;
    m_session.SendCancel();
    Finish();
    if (PQstatus(m_session.Connection()) == CONNECTION_BAD)
        m_session.ThrowError(nullptr, m_statement);
}

void TPostgresCursor::Cancel() {
    m_cancelled.store(true);
    m_session.Cancel();
}
