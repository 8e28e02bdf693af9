#!/bin/sh
# A throwaway PostgreSQL cluster for the tests: pgcluster.sh start|stop|kill|restart|remove DIR [PORT]
# Runs the server as an unprivileged user (the package's "postgres" when called as root), on a
# Unix socket in DIR only (no TCP; with PORT also on 127.0.0.1:PORT, for benchmarks over a
# link), superuser "postgres" with password "postgres".
set -eu
action=$1
dir=$2
port=${3:-}
hostauth=reject listen=
if [ -n "$port" ]; then hostauth=scram-sha-256 listen=127.0.0.1; fi
bin=$(ls -d /usr/lib/postgresql/*/bin 2>/dev/null | sort -V | tail -n 1)
[ -x "$bin/initdb" ] || { echo "pgcluster: no PostgreSQL server programs (package postgresql)" >&2; exit 1; }

as_owner() {
    if [ "$(id -u)" = 0 ]; then runuser -u postgres -- "$@"; else "$@"; fi
}

pgctl() {
    as_owner "$bin/pg_ctl" -D "$dir/data" -l "$dir/server.log" "$@"
}

case $action in
start)
    if [ -f "$dir/data/postmaster.pid" ]; then pgctl stop -m immediate >/dev/null 2>&1 || true; fi
    rm -rf "$dir"
    mkdir -p "$dir"
    chmod 755 "$dir"
    [ "$(id -u)" = 0 ] && chown postgres "$dir"
    printf 'postgres\n' > "$dir/pw" && chmod 644 "$dir/pw"
    as_owner "$bin/initdb" -D "$dir/data" -U postgres --pwfile="$dir/pw" \
        --auth-local=scram-sha-256 --auth-host=$hostauth -E UTF8 --locale=C.UTF-8 >"$dir/initdb.log" 2>&1 ||
        { cat "$dir/initdb.log" >&2; exit 1; }
    cat >>"$dir/data/postgresql.conf" <<CONF
listen_addresses = '$listen'
port = ${port:-5432}
unix_socket_directories = '$dir'
fsync = off
max_connections = 100
CONF
    pgctl -w start >/dev/null || { cat "$dir/server.log" >&2; exit 1; }
    ;;
restart)
    pgctl -w start >/dev/null || { cat "$dir/server.log" >&2; exit 1; }
    ;;
kill)
    pgctl -w stop -m immediate >/dev/null
    ;;
stop)
    pgctl -w stop -m fast >/dev/null 2>&1 || true
    rm -rf "$dir"
    ;;
esac
