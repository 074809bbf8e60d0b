#!/usr/bin/env bash
# Installs the Debian packages Tabulo needs to build and run (debian-packages.txt), with
# --test also those the tests need (debian-packages-test.txt), if any is missing.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
lists=("$here/debian-packages.txt")
[ "${1:-}" = "--test" ] && lists+=("$here/debian-packages-test.txt")
mapfile -t packages < <(cat "${lists[@]}" | grep -v '^\s*#' | sed '/^\s*$/d')
# One dpkg-query for all: a second start should not spend a second here.
mapfile -t installed < <(dpkg-query -W -f='${db:Status-Status} ${Package}\n' "${packages[@]}" 2>/dev/null |
                         sed -n 's/^installed //p')
missing=()
for p in "${packages[@]}"; do
  [[ " ${installed[*]} " == *" $p "* ]] || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0
sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
echo "  ${missing[*]}"
$sudo apt-get update -qq
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
