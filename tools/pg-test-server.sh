#!/usr/bin/env bash
# A throw-away PostgreSQL server on 127.0.0.1 for the CD information cache tests and the
# cache benchmark, so that they run against PostgreSQL as well as SQLite.
#
#   eval "$(tools/pg-test-server.sh start)"   # starts it, prints the export line
#   tools/pg-test-server.sh stop              # stops it and removes its data
#   tools/pg-test-server.sh halt              # stops it, keeping its data and port
#   tools/pg-test-server.sh resume            # starts a halted server again
#
# The server keeps its data in $CLD_PG_DIR (default /tmp/cld-pg-test-<uid>), listens on
# the first free port from 54329 on, trusts loopback connections and has a role "cld"
# owning the database "cld_test". The tests find it through CLD_TEST_POSTGRES, a list of
# data source keys ("Servername=127.0.0.1;Port=54329;Database=cld_test;Username=cld").
# Run as root, the server runs as the "postgres" user.
set -euo pipefail

dir=${CLD_PG_DIR:-/tmp/cld-pg-test-$(id -u)}
bindir=$(ls -d /usr/lib/postgresql/*/bin 2>/dev/null | sort -V | tail -n 1 || true)
[ -n "$bindir" ] || bindir=$(dirname "$(command -v pg_ctl || echo /usr/bin/pg_ctl)")
for tool in initdb pg_ctl; do
    [ -x "$bindir/$tool" ] || { echo "pg-test-server: $tool not found (install postgresql)" >&2; exit 1; }
done

as_server() {
    if [ "$(id -u)" -eq 0 ]; then
        runuser -u postgres -- "$@"
    else
        "$@"
    fi
}

running() {
    [ -f "$dir/data/postmaster.pid" ] && as_server "$bindir/pg_ctl" -D "$dir/data" status >/dev/null 2>&1
}

stop() {
    if running; then
        as_server "$bindir/pg_ctl" -D "$dir/data" -m fast -w stop >/dev/null
    fi
    rm -rf "$dir"
}

start() {
    if running && [ -f "$dir/env" ]; then
        cat "$dir/env"
        return
    fi
    stop
    mkdir -p "$dir"
    [ "$(id -u)" -ne 0 ] || chown postgres: "$dir"
    chmod 700 "$dir"
    as_server "$bindir/initdb" -D "$dir/data" -U postgres -A trust -E UTF8 --no-locale \
        >"$dir/initdb.log" 2>&1 || { cat "$dir/initdb.log" >&2; exit 1; }
    local port=""
    for candidate in $(seq 54329 54429); do
        if ! (exec 3<>"/dev/tcp/127.0.0.1/$candidate") 2>/dev/null; then
            port=$candidate
            break
        fi
    done
    [ -n "$port" ] || { echo "pg-test-server: no free port" >&2; exit 1; }
    as_server "$bindir/pg_ctl" -D "$dir/data" -l "$dir/server.log" -w -t 60 \
        -o "-c listen_addresses=127.0.0.1 -c port=$port -c unix_socket_directories=$dir" \
        start >/dev/null || { cat "$dir/server.log" >&2; exit 1; }
    as_server psql -q -h 127.0.0.1 -p "$port" -U postgres -d postgres -v ON_ERROR_STOP=1 \
        -c "CREATE ROLE cld LOGIN" \
        -c "CREATE DATABASE cld_test OWNER cld ENCODING 'UTF8' TEMPLATE template0" >/dev/null
    echo "export CLD_TEST_POSTGRES='Servername=127.0.0.1;Port=$port;Database=cld_test;Username=cld'" \
        >"$dir/env"
    cat "$dir/env"
}

# The port the server was started on, from the export line it printed.
saved_port() {
    sed -n 's/.*Port=\([0-9]*\);.*/\1/p' "$dir/env"
}

# Stops the server the way a crash or an administrator would, keeping its data, so that
# the cache's reconnecting can be tried against it.
halt() {
    [ -f "$dir/env" ] || { echo "pg-test-server: not started" >&2; exit 1; }
    if running; then
        as_server "$bindir/pg_ctl" -D "$dir/data" -m fast -w stop >/dev/null
    fi
}

resume() {
    [ -f "$dir/env" ] || { echo "pg-test-server: not started" >&2; exit 1; }
    running && return
    local port
    port=$(saved_port)
    as_server "$bindir/pg_ctl" -D "$dir/data" -l "$dir/server.log" -w -t 60 \
        -o "-c listen_addresses=127.0.0.1 -c port=$port -c unix_socket_directories=$dir" \
        start >/dev/null || { cat "$dir/server.log" >&2; exit 1; }
}

case "${1:-}" in
start) start ;;
stop) stop ;;
halt) halt ;;
resume) resume ;;
*)
    echo "usage: $0 start|stop|halt|resume" >&2
    exit 2
    ;;
esac
