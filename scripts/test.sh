#!/usr/bin/env bash
# Installs what is missing, builds, starts a throwaway PostgreSQL server and runs every test.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
scripts/setup-debian.sh
scripts/build.sh
eval "$(scripts/pg-test-server.sh start)"
trap '"$root/scripts/pg-test-server.sh" stop "$TABULO_PG_ROOT"' EXIT
cd build
ctest --output-on-failure -j2
