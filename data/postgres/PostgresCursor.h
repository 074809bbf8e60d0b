#pragma once

#include "data/Provider.h"
#include "data/postgres/PostgresSession.h"
#include "data/postgres/PostgresTypes.h"

#include <atomic>
#include <vector>

class TPostgresSession;

// The rows of a statement sent in libpq's single-row mode, one PGresult per row, appended to
// the row store in binary form. Used by one thread at a time (the fetch worker); Cancel from
// any thread. Holds its session busy until it is destroyed; a cursor given up before its end
// cancels the rest on the server instead of reading it.
class TPostgresCursor : public TProviderCursor {
public:
    TPostgresCursor(TPostgresSession& session, QList<TColumnInfo> columns,
                    std::vector<TPgTypes::TStoreAs> storeAs, QString statement);
    ~TPostgresCursor() override;

    // Waits for the first result: the statement's execution errors are thrown here.
    void Start();

    QList<TColumnInfo> Columns() const override { return m_columns; }
    bool FetchRow(TRowStore& store) override;
    void Cancel() override;
    void Close() override;

private:
    TPgResult Next();
    void Finish();

    TPostgresSession& m_session;
    QList<TColumnInfo> m_columns;
    std::vector<TPgTypes::TStoreAs> m_storeAs;
    QString m_statement;
    TPgResult m_pending;
    bool m_done = false;
    std::atomic<bool> m_cancelled{false};
};
