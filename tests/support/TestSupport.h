#pragma once

#include <QString>

#include <atomic>
#include <thread>
#include <utility>
#include <vector>

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

// A loopback proxy in front of the PostgreSQL server of a connection string: forwards until
// told to stall, then keeps every connection (also those made later) open and passes nothing
// more, as a network that went silent does.
class TStallingProxy {
public:
    explicit TStallingProxy(const QString& postgresConnectionString);
    ~TStallingProxy();
    TStallingProxy(const TStallingProxy&) = delete;
    TStallingProxy& operator=(const TStallingProxy&) = delete;
    int Port() const { return m_port; }
    // The connection string with the proxy in place of the server.
    QString ConnectionString() const;
    void Stall(bool stalled = true) { m_stalled = stalled; }

private:
    void Run();

    QString m_connectionString;
    int m_target = 0;
    int m_listen = -1;
    int m_port = 0;
    std::atomic<bool> m_stop{false};
    std::atomic<bool> m_stalled{false};
    std::vector<std::pair<int, int>> m_pairs; // the proxy thread's own
    std::thread m_thread;
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
