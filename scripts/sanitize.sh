#!/usr/bin/env bash
# Builds Tabulo with AddressSanitizer and UndefinedBehaviorSanitizer into build-asan/ and runs
# every test there; then builds the data layer and its tests with ThreadSanitizer into
# build-tsan/ and runs those. Any report fails the run. Slow (two builds of their own), so it
# is not part of CI; run it before merging work on threads, memory or the drivers.
#   scripts/sanitize.sh [asan] [tsan]      (both when none is named; JOBS=n for the build)
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

eval "$(scripts/pg-test-server.sh start)"
trap '"$root/scripts/pg-test-server.sh" stop "$TABULO_PG_ROOT"' EXIT

for kind in "${kinds[@]}"; do
    case "$kind" in
    asan)
        configure build-asan "-fsanitize=address,undefined -fno-sanitize-recover=undefined -fno-omit-frame-pointer"
        cmake --build build-asan -j"$jobs"
        # The SQLite3 ODBC driver loads unixODBC's setup library itself and unloads it again,
        # which leaves its leaks without a name; kept loaded, they are named and suppressed.
        (cd build-asan &&
            LD_PRELOAD="$(${CC:-gcc} -print-file-name=libasan.so) libodbcinst.so.2" \
            ASAN_OPTIONS="detect_leaks=1:abort_on_error=0:detect_stack_use_after_return=0" \
            LSAN_OPTIONS="suppressions=$supp/lsan.supp:print_suppressions=0" \
            UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1" \
            ctest --output-on-failure -j"$jobs")
        ;;
    tsan)
        configure build-tsan "-fsanitize=thread -fno-omit-frame-pointer"
        targets=(tst_datacore tst_rowspill tst_sqlite tst_conformance tst_odbc tst_postgres tst_cqry tst_providertypes)
        cmake --build build-tsan -j"$jobs" --target "${targets[@]}"
        (cd build-tsan &&
            TSAN_OPTIONS="halt_on_error=1:second_deadlock_stack=1:suppressions=$supp/tsan.supp" \
            ctest --output-on-failure -j"$jobs" -R "^($(IFS='|'; echo "${targets[*]}"))\$")
        ;;
    *)
        echo "unknown sanitizer: $kind (asan or tsan)" >&2
        exit 2
        ;;
    esac
done
