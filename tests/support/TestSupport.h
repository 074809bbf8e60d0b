#pragma once

#include <QString>

// Shared fixtures of the test executables.
namespace TestSupport {

// The connection string of the PostgreSQL server of the test run (TABULO_TEST_PG), or empty.
// RequirePostgres() skips the calling test when it is missing, and fails it under CI.
QString PostgresConnectionString();

// Whether the test run is under CI (CI=true): missing servers are failures there.
bool UnderCi();

// Makes a file or folder unwritable (mode, and for root the immutable flag), or writable again.
// Returns false when this system lets the caller write it all the same.
bool SetUnwritable(const QString& path, bool unwritable);

// A loopback server that takes connections into its backlog and never answers: a connect to
// it ends only by a time-out. Closed with the object; Port() is 0 when it could not be set up.
class TSilentServer {
public:
    TSilentServer();
    ~TSilentServer();
    TSilentServer(const TSilentServer&) = delete;
    TSilentServer& operator=(const TSilentServer&) = delete;
    int Port() const { return m_port; }

private:
    int m_socket = -1;
    int m_port = 0;
};

} // namespace TestSupport

// Use inside a test function: binds `var` to TABULO_TEST_PG or skips (fails under CI).
#define REQUIRE_POSTGRES(var)                                                                      \
    const QString var = TestSupport::PostgresConnectionString();                                    \
    if (var.isEmpty()) {                                                                           \
        if (TestSupport::UnderCi())                                                                \
            QFAIL("TABULO_TEST_PG is not set, but CI needs the PostgreSQL tests");                 \
        QSKIP("TABULO_TEST_PG is not set (start a server with scripts/pg-test-server.sh)");         \
    }
