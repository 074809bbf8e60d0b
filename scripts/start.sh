#!/usr/bin/env bash
# Installs what building and running needs, builds the program and tabulo-reg, starts Tabulo.
# On its first start the program gives the catalogue the entry "Beispiel" itself.
set -euo pipefail
cd "$(dirname "$0")/.."

echo "Pakete installieren…"
scripts/setup-debian.sh

[ -t 1 ] && printf 'Tabulo bauen…'
mkdir -p build
# Ninja's progress becomes one line that counts up (on a terminal; in a log, a line every
# tenth); everything the build prints is kept, and shown when it fails.
log=build/start-build.log
progress() {
  local shown="" last=-1 line n m
  while IFS= read -r line; do
    # Ninja's look at the source folders before each build is no step of the build.
    [[ $line =~ ^@@([0-9]+)/([0-9]+)@@\ (.*) ]] && [[ ${BASH_REMATCH[3]} != Re-checking* ]] || continue
    n=${BASH_REMATCH[1]} m=${BASH_REMATCH[2]} shown=1
    if [ -t 1 ]; then
      printf '\rTabulo bauen (%s von %s)…' "$n" "$m"
    elif [ $((n * 10 / m)) -gt "$last" ]; then
      last=$((n * 10 / m)); echo "Tabulo bauen ($n von $m)…"
    fi
  done
  if [ -t 1 ]; then
    [ -n "$shown" ] && echo || printf '\rTabulo bauen: ist aktuell\n'
  elif [ -z "$shown" ]; then
    echo "Tabulo bauen: ist aktuell"
  fi
}
set +e
NINJA_STATUS='@@%f/%t@@ ' scripts/build.sh --target tabulo tabulo-reg -j2 2>&1 | tee "$log" | progress
status=${PIPESTATUS[0]}
set -e
if [ "$status" -ne 0 ]; then
  sed 's/^@@[0-9]*\/[0-9]*@@ //' "$log" | tail -n 60 >&2
  echo "Der Bau ist fehlgeschlagen; die ganze Ausgabe steht in $log." >&2
  exit "$status"
fi

# The program's own first-start test, seen from outside: a store without a catalogue and
# without a window placement.
if ! build/bin/tabulo-reg export - |
     grep -qi '^\[HKEY_CURRENT_USER\\SOFTWARE\\ZANDRIX\\Dorvan\\\(TFrameDBLst\.TreeDB\|FrmMain\)\]'; then
  echo "Beispieldatenbank anlegen…"
fi
echo "Tabulo starten…"
exec build/bin/tabulo "$@"
