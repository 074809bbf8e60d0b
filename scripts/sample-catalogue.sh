#!/usr/bin/env bash
# Gives a settings store without a catalogue the entry "Beispiel", pointing at a freshly
# generated sample database. A store that has a catalogue is left alone.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
reg="$here/../build/bin/tabulo-reg"
if "$reg" export - | grep -i '^\[HKEY_CURRENT_USER\\SOFTWARE\\ZANDRIX\\Dorvan\\TFrameDBLst\.TreeDB\]' >/dev/null; then
  exit 0
fi
dir="${XDG_DATA_HOME:-$HOME/.local/share}/Tabulo"
db="$dir/beispiel.sqlite"
mkdir -p "$dir"
rm -f "$db" "$db-wal" "$db-shm"
sqlite3 "$db" < "$here/beispiel.sql" >/dev/null
escaped=$(printf '%s' "$db" | sed -e 's/\\/\\\\/g' -e 's/"/\\"/g')
printf 'Windows Registry Editor Version 5.00\r\n\r\n[HKEY_CURRENT_USER\\SOFTWARE\\ZANDRIX\\Dorvan\\TFrameDBLst.TreeDB]\r\n"0"="Beispiel=Provider=SQLite;Data Source=%s"\r\n' "$escaped" \
  | "$reg" import -
echo "Catalogue entry \"Beispiel\" -> $db"
