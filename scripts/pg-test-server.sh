#!/usr/bin/env bash
# A private PostgreSQL server for the tests, independent of any cluster the machine runs.
#
#   pg-test-server.sh start [--soft]  creates a cluster in a new temporary folder, starts it on
#                                     127.0.0.1 at a free port (its socket in the same folder),
#                                     creates the test database and writes the connection string
#                                     to the conninfo file (readable by its owner only)
#   pg-test-server.sh stop            stops that server and removes its folder and the file
#   pg-test-server.sh env             prints shell lines that point psql and the tests at it:
#                                     eval "$(scripts/pg-test-server.sh env)"
#
# The conninfo file is $BRELIX_PG_CONNINFO_FILE, by default build/pg-test.conninfo; the folder of
# the running server is remembered beside it (<file>.dir). When run as root, the cluster belongs
# to the "postgres" system user that the Debian package creates. The binaries are the newest of
# /usr/lib/postgresql/*/bin unless PG_BINDIR names others.
#
# --soft: when no server can be started, say why and exit 0, so that the tests needing it skip;
# when CI is set ("true") a failure stays a failure.
set -euo pipefail

root_dir="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
conninfo_file="${BRELIX_PG_CONNINFO_FILE:-$root_dir/build/pg-test.conninfo}"
state_file="$conninfo_file.dir"
db_name=brelix_test
db_user=brelix

say() { echo "pg-test-server: $*" >&2; }

soft=0
is_ci() { [ -n "${CI:-}" ] && [ "${CI:-}" != "false" ] && [ "${CI:-}" != "0" ]; }

fail() {
  say "$*"
  if [ "$soft" -eq 1 ] && ! is_ci; then
    say "the PostgreSQL tests will be skipped"
    exit 0
  fi
  exit 1
}

find_bindir() {
  if [ -n "${PG_BINDIR:-}" ]; then
    [ -x "$PG_BINDIR/initdb" ] || return 1
    echo "$PG_BINDIR"
    return 0
  fi
  local dir
  dir="$(ls -d /usr/lib/postgresql/*/bin 2>/dev/null | sort -V | tail -n 1)"
  [ -n "$dir" ] && [ -x "$dir/initdb" ] && [ -x "$dir/pg_ctl" ] || return 1
  echo "$dir"
}

# Runs a command as the owner of the cluster: this user, or "postgres" when we are root.
as_owner() {
  if [ "$(id -u)" -eq 0 ]; then
    runuser -u postgres -- "$@"
  else
    "$@"
  fi
}

port_in_use() { (exec 3<>"/dev/tcp/127.0.0.1/$1") 2>/dev/null; }

stop_server() {
  [ -f "$state_file" ] || { rm -f "$conninfo_file"; return 0; }
  local dir bindir
  dir="$(sed -n 's/^dir=//p' "$state_file")"
  bindir="$(sed -n 's/^bindir=//p' "$state_file")"
  if [ -n "$dir" ] && [ -d "$dir/data" ] && [ -x "$bindir/pg_ctl" ]; then
    as_owner "$bindir/pg_ctl" -D "$dir/data" -m fast -w -t 30 stop >/dev/null 2>&1 ||
      as_owner "$bindir/pg_ctl" -D "$dir/data" -m immediate -w -t 30 stop >/dev/null 2>&1 || true
  fi
  # Only remove a folder this script made.
  case "$dir" in
    */brelix-pg.*) rm -rf -- "$dir" ;;
  esac
  rm -f "$state_file" "$conninfo_file"
}

start_server() {
  stop_server  # a server left behind by an earlier run
  local bindir
  bindir="$(find_bindir)" || fail "no PostgreSQL server binaries found (looked in /usr/lib/postgresql/*/bin; install the postgresql package or set PG_BINDIR)"
  if [ "$(id -u)" -eq 0 ]; then
    id postgres >/dev/null 2>&1 || fail "running as root, but there is no \"postgres\" user to own the test cluster"
    command -v runuser >/dev/null || fail "running as root, but runuser is missing"
  fi
  mkdir -p "$(dirname "$conninfo_file")"

  local dir
  dir="$(mktemp -d "${TMPDIR:-/tmp}/brelix-pg.XXXXXX")"
  chmod 700 "$dir"
  if [ "$(id -u)" -eq 0 ]; then
    chown postgres: "$dir"
    # TMPDIR may lie below a folder only root can enter.
    if ! runuser -u postgres -- test -w "$dir"; then
      rm -rf -- "$dir"
      dir="$(mktemp -d /tmp/brelix-pg.XXXXXX)"
      chmod 700 "$dir"
      chown postgres: "$dir"
    fi
  fi
  # The socket path must stay short (about 100 bytes).
  [ ${#dir} -lt 80 ] || { rm -rf -- "$dir"; fail "temporary folder path too long for a socket: $dir"; }
  printf 'dir=%s\nbindir=%s\n' "$dir" "$bindir" >"$state_file"

  local password
  password="$(head -c 32 /dev/urandom | base64 | tr -dc 'A-Za-z0-9' | head -c 24)"
  printf '%s\n' "$password" >"$dir/pwfile"
  [ "$(id -u)" -eq 0 ] && chown postgres: "$dir/pwfile"
  chmod 600 "$dir/pwfile"

  if ! as_owner "$bindir/initdb" -D "$dir/data" -U "$db_user" --pwfile="$dir/pwfile" \
      --auth=scram-sha-256 --encoding=UTF8 --locale=C.UTF-8 --no-sync >"$dir/initdb.log" 2>&1; then
    cat "$dir/initdb.log" >&2
    stop_server
    fail "initdb failed"
  fi
  rm -f "$dir/pwfile"

  local port="" try
  for try in $(seq 1 20); do
    local candidate=$((20000 + RANDOM % 40000))
    port_in_use "$candidate" && continue
    if as_owner "$bindir/pg_ctl" -D "$dir/data" -l "$dir/server.log" -w -t 60 \
        -o "-p $candidate -k $dir -c listen_addresses=127.0.0.1 -c fsync=off -c max_connections=40" \
        start >/dev/null 2>&1; then
      port="$candidate"
      break
    fi
    # Most likely the port was taken meanwhile; try another one.
    grep -q "could not bind\|already in use" "$dir/server.log" 2>/dev/null || break
  done
  if [ -z "$port" ]; then
    [ -f "$dir/server.log" ] && tail -n 20 "$dir/server.log" >&2
    stop_server
    fail "the test server did not start"
  fi
  printf 'port=%s\n' "$port" >>"$state_file"

  if ! PGPASSWORD="$password" as_owner "$bindir/createdb" \
      -h 127.0.0.1 -p "$port" -U "$db_user" "$db_name" 2>"$dir/createdb.log"; then
    cat "$dir/createdb.log" >&2
    stop_server
    fail "creating the test database failed"
  fi

  (umask 077 && printf 'host=127.0.0.1 port=%s dbname=%s user=%s password=%s connect_timeout=10\n' \
    "$port" "$db_name" "$db_user" "$password" >"$conninfo_file")
  say "started on 127.0.0.1:$port (folder $dir); connection string in $conninfo_file"
}

print_env() {
  [ -f "$conninfo_file" ] || { say "no test server is running (no $conninfo_file)"; exit 1; }
  local conninfo
  conninfo="$(cat "$conninfo_file")"
  printf "export BRELIX_PG_CONNINFO_FILE='%s'\n" "$conninfo_file"
  printf "export BRELIX_PG_CONNINFO='%s'\n" "$conninfo"
}

command="${1:-}"
shift || true
for arg in "$@"; do
  case "$arg" in
    --soft) soft=1 ;;
    *) say "unknown option: $arg"; exit 2 ;;
  esac
done

case "$command" in
  start) start_server ;;
  stop) stop_server ;;
  env) print_env ;;
  *) echo "usage: $0 start [--soft] | stop | env" >&2; exit 2 ;;
esac
