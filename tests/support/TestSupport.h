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

} // namespace TestSupport

// Use inside a test function: binds `var` to TABULO_TEST_PG or skips (fails under CI).
#define REQUIRE_POSTGRES(var)                                                                      \
    const QString var = TestSupport::PostgresConnectionString();                                    \
    if (var.isEmpty()) {                                                                           \
        if (TestSupport::UnderCi())                                                                \
            QFAIL("TABULO_TEST_PG is not set, but CI needs the PostgreSQL tests");                 \
        QSKIP("TABULO_TEST_PG is not set (start a server with scripts/pg-test-server.sh)");         \
    }
