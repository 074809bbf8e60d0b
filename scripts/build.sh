#!/usr/bin/env bash
# Configures (once) and builds Tabulo into build/: everything, or what the arguments of
# `cmake --build` name (scripts/start.sh: --target tabulo tabulo-reg -j2).
set -euo pipefail
cd "$(dirname "$0")/.."
[ -f build/build.ninja ] || cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build "$@"
