#!/usr/bin/env bash
# A throwaway PostgreSQL server on loopback for tests and benchmarks.
#   eval "$(scripts/pg-test-server.sh start)"   sets TABULO_TEST_PG and TABULO_PG_ROOT
#   scripts/pg-test-server.sh stop "$TABULO_PG_ROOT"
set -euo pipefail
PGBIN=$(ls -d /usr/lib/postgresql/*/bin | sort -V | tail -n1)
as_pg() { if [ "$(id -u)" -eq 0 ]; then runuser -u postgres -- "$@"; else "$@"; fi; }

case "${1:-}" in
start)
  port=${TABULO_PG_PORT:-54329}
  while (echo >/dev/tcp/127.0.0.1/$port) 2>/dev/null; do port=$((port + 1)); done
  root=$(mktemp -d /tmp/tabulo-pg.XXXXXX)
  chmod 755 "$root"
  [ "$(id -u)" -eq 0 ] && chown postgres:postgres "$root"
  as_pg "$PGBIN/initdb" -D "$root/data" -U postgres -A trust -E UTF8 --locale=C.UTF-8 >/dev/null
  printf 'local all all trust\nhost all all 127.0.0.1/32 scram-sha-256\n' | as_pg tee "$root/data/pg_hba.conf" >/dev/null
  as_pg "$PGBIN/pg_ctl" -D "$root/data" -l "$root/server.log" -w -t 30 \
    -o "-p $port -k $root -c listen_addresses=127.0.0.1 -c fsync=off -c synchronous_commit=off -c max_connections=200" \
    start >/dev/null
  as_pg "$PGBIN/psql" -h "$root" -p "$port" -U postgres -d postgres -q -v ON_ERROR_STOP=1 \
    -c "CREATE ROLE tabulo LOGIN PASSWORD 'secret' CREATEDB" >/dev/null
  as_pg "$PGBIN/psql" -h "$root" -p "$port" -U postgres -d postgres -q -v ON_ERROR_STOP=1 \
    -c "CREATE DATABASE tabulo OWNER tabulo" >/dev/null
  echo "export TABULO_PG_ROOT='$root'"
  echo "export TABULO_TEST_PG='Provider=PostgreSQL;Data Source=127.0.0.1:$port;Initial Catalog=tabulo;User ID=tabulo;Password=secret'"
  ;;
stop)
  root=${2:?usage: $0 stop ROOT}
  as_pg "$PGBIN/pg_ctl" -D "$root/data" -m fast -w stop >/dev/null 2>&1 || true
  rm -rf "$root"
  ;;
*)
  echo "usage: $0 start | stop ROOT" >&2
  exit 2
  ;;
esac
