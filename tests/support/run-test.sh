#!/usr/bin/env bash
# Runs one test executable with a private runtime directory and settings store, so that no
# test ever touches the user's own settings and tests do not see each other's files.
set -u
dir=$(mktemp -d "${TMPDIR:-/tmp}/tabulo-test.XXXXXX")
chmod 700 "$dir"
trap 'rm -rf "$dir"' EXIT
export XDG_RUNTIME_DIR="$dir/runtime" XDG_CONFIG_HOME="$dir/config" XDG_DATA_HOME="$dir/data"
export XDG_CACHE_HOME="$dir/cache"
mkdir -p "$XDG_RUNTIME_DIR" && chmod 700 "$XDG_RUNTIME_DIR"
export TABULO_SETTINGS="$dir/settings.sqlite" TABULO_TEST_TMP="$dir"
export QT_QPA_PLATFORM="${QT_QPA_PLATFORM:-offscreen}"
"$@"
