#!/usr/bin/env bash
# Builds Tabulo with AddressSanitizer and UndefinedBehaviorSanitizer into build-asan/ and runs
# every test there; then builds the tests of the data layer and of the workspace's threads
# with ThreadSanitizer into build-tsan/ and runs those. Any report fails the run. Slow (two
# builds of their own): CI runs it through scripts/ci-sanitize.sh after the plain run; by hand,
# run it before merging work on threads, memory or the drivers.
#   scripts/sanitize.sh [asan] [tsan]      (both when none is named; JOBS=n for the build)
# Servers already started by the caller (TABULO_TEST_PG, TABULO_TEST_MARIADB) are used as
# they are; otherwise a PostgreSQL and, where it can, a MariaDB server are started and stopped.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
jobs=${JOBS:-2}
kinds=("$@")
[ ${#kinds[@]} -gt 0 ] || kinds=(asan tsan)
supp="$root/scripts/sanitize"

launcher=()
command -v ccache >/dev/null && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache)

configure() { # folder flags
    cmake -S . -B "$1" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo "${launcher[@]}" \
        -DCMAKE_C_FLAGS="$2" -DCMAKE_CXX_FLAGS="$2" \
        -DCMAKE_EXE_LINKER_FLAGS="$2" -DCMAKE_SHARED_LINKER_FLAGS="$2" >/dev/null
}

if [ -z "${TABULO_TEST_PG:-}" ]; then
    TABULO_PG_ROOT=""
    TABULO_MARIADB_ROOT=""
    trap '"$root/scripts/pg-test-server.sh" stop "$TABULO_PG_ROOT"; [ -z "$TABULO_MARIADB_ROOT" ] || "$root/scripts/mariadb-test-server.sh" stop "$TABULO_MARIADB_ROOT"' EXIT
    eval "$(scripts/pg-test-server.sh start)"
    [ -n "${TABULO_TEST_MARIADB:-}" ] || eval "$(scripts/mariadb-test-server.sh start || true)"
fi

for kind in "${kinds[@]}"; do
    case "$kind" in
    asan)
        configure build-asan "-fsanitize=address,undefined -fno-sanitize-recover=undefined -fno-omit-frame-pointer"
        cmake --build build-asan -j"$jobs"
        # The SQLite3 ODBC driver loads unixODBC's setup library itself and unloads it again,
        # which leaves its leaks without a name; kept loaded, they are named and suppressed.
        # Only that library is preloaded (the sanitizer then need not come first): the clients
        # the tests start (psql, sqlite3, python3) inherit the preload and must not get the
        # sanitizer with it (their own leaks failed the tests, and psql could hang).
        (cd build-asan &&
            LD_PRELOAD="libodbcinst.so.2" \
            ASAN_OPTIONS="detect_leaks=1:abort_on_error=0:detect_stack_use_after_return=0:verify_asan_link_order=0" \
            LSAN_OPTIONS="suppressions=$supp/lsan.supp:print_suppressions=0" \
            UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1" \
            ctest --output-on-failure -j"$jobs")
        ;;
    tsan)
        configure build-tsan "-fsanitize=thread -fno-omit-frame-pointer"
        targets=(tst_datacore tst_rowspill tst_sqlite tst_conformance tst_odbc tst_postgres tst_cqry tst_providertypes
                 tst_work tst_workgrid tst_workschema tst_workstream tst_editorrecovery)
        cmake --build build-tsan -j"$jobs" --target "${targets[@]}"
        # die_after_fork=0: the recovery test starts a copy of itself (QProcess forks a
        # process whose threads are running; the child only executes the program).
        (cd build-tsan &&
            TSAN_OPTIONS="halt_on_error=1:second_deadlock_stack=1:die_after_fork=0:suppressions=$supp/tsan.supp" \
            ctest --output-on-failure -j"$jobs" -R "^($(IFS='|'; echo "${targets[*]}"))\$")
        ;;
    *)
        echo "unknown sanitizer: $kind (asan or tsan)" >&2
        exit 2
        ;;
    esac
done
