#!/usr/bin/env bash
# A throwaway MariaDB server on loopback for the ODBC tests, like pg-test-server.sh.
#   eval "$(scripts/mariadb-test-server.sh start)"   sets TABULO_TEST_MARIADB and TABULO_MARIADB_ROOT
#   scripts/mariadb-test-server.sh stop "$TABULO_MARIADB_ROOT"
# Where no server can be started (packages missing), start prints nothing to eval and says
# why on standard error; the MariaDB tests then skip.
set -uo pipefail

case "${1:-}" in
start)
  for tool in mariadb-install-db mariadbd mariadb-admin mariadb; do
    if ! command -v "$tool" >/dev/null 2>&1 && [ ! -x "/usr/sbin/$tool" ]; then
      echo "mariadb-test-server: $tool is not installed; MariaDB tests will be skipped" >&2
      exit 0
    fi
  done
  PATH="$PATH:/usr/sbin"
  port=${TABULO_MARIADB_PORT:-33071}
  while (echo >/dev/tcp/127.0.0.1/$port) 2>/dev/null; do port=$((port + 1)); done
  root=$(mktemp -d /tmp/tabulo-mariadb.XXXXXX)
  chmod 755 "$root"
  user=$(id -un)
  if ! mariadb-install-db --no-defaults --datadir="$root/data" --user="$user" --skip-test-db \
      --auth-root-authentication-method=normal >"$root/install.log" 2>&1; then
    echo "mariadb-test-server: mariadb-install-db failed (see $root/install.log); MariaDB tests will be skipped" >&2
    exit 0
  fi
  mariadbd --no-defaults --datadir="$root/data" --socket="$root/s" --port="$port" --bind-address=127.0.0.1 \
    --user="$user" --skip-grant-tables --pid-file="$root/pid" --log-error="$root/err.log" \
    --innodb-buffer-pool-size=16M --skip-log-bin >/dev/null 2>&1 &
  for _ in $(seq 1 150); do
    mariadb-admin --no-defaults --socket="$root/s" -u root ping >/dev/null 2>&1 && break
    sleep 0.2
  done
  if ! mariadb --no-defaults --socket="$root/s" -u root -e "CREATE DATABASE tabulo" >/dev/null 2>&1; then
    echo "mariadb-test-server: the server did not start (see $root/err.log); MariaDB tests will be skipped" >&2
    [ -f "$root/pid" ] && kill "$(cat "$root/pid")" 2>/dev/null
    exit 0
  fi
  echo "export TABULO_MARIADB_ROOT='$root'"
  echo "export TABULO_TEST_MARIADB='Provider=ODBC;Driver={MariaDB Unicode};Server=127.0.0.1;Port=$port;Database=tabulo;UID=root'"
  ;;
stop)
  root=${2:-}
  [ -n "$root" ] || exit 0
  if [ -f "$root/pid" ]; then
    pid=$(cat "$root/pid")
    kill "$pid" 2>/dev/null
    for _ in $(seq 1 100); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
  fi
  rm -rf "$root"
  ;;
*)
  echo "usage: $0 start | stop ROOT" >&2
  exit 2
  ;;
esac
