#!/usr/bin/env bash
# Installs what is missing, builds, starts throwaway PostgreSQL and MariaDB servers and runs
# every test. Without a MariaDB server its tests skip; nothing else depends on it.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
scripts/setup-debian.sh --test
scripts/build.sh
eval "$(scripts/pg-test-server.sh start)"
TABULO_MARIADB_ROOT=""
trap '"$root/scripts/pg-test-server.sh" stop "$TABULO_PG_ROOT"; "$root/scripts/mariadb-test-server.sh" stop "$TABULO_MARIADB_ROOT"' EXIT
eval "$(scripts/mariadb-test-server.sh start || true)"
cd build
ctest --output-on-failure -j2
