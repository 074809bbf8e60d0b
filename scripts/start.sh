#!/usr/bin/env bash
# Installs what is missing, builds, gives a new user the sample catalogue entry, starts Tabulo.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup-debian.sh
scripts/build.sh
scripts/sample-catalogue.sh
exec build/bin/tabulo "$@"
