# A throwaway PostgreSQL server for the scripts that run the program against
# a server: initdb into a temporary folder, listening on a Unix socket in that
# folder and on no TCP port, run as the unprivileged "postgres" user when the
# script runs as root (the server refuses root). Stopped by pg_stop, which the
# script's EXIT trap calls, and by a watchdog if the script is killed outright.
#
# pg_find_binaries sets PG_BIN or says in PG_UNAVAILABLE why there is none;
# pg_start sets PG_DIR (the socket folder) and PG_PORT; pg_sql runs SQL as the
# superuser "admin" in the database "town" and prints the values unaligned.

PG_BIN=""
PG_DIR=""
PG_PORT=5432
PG_AS=()
PG_UNAVAILABLE=""

pg_find_binaries() {
    local v
    if [ -n "${SARWINO_PG_BIN:-}" ]; then
        PG_BIN=$SARWINO_PG_BIN
    else
        for v in $(ls /usr/lib/postgresql 2>/dev/null | sort -rn); do
            if [ -x "/usr/lib/postgresql/$v/bin/initdb" ] && [ -x "/usr/lib/postgresql/$v/bin/pg_ctl" ]; then
                PG_BIN=/usr/lib/postgresql/$v/bin
                break
            fi
        done
    fi
    if [ -z "$PG_BIN" ] || [ ! -x "$PG_BIN/initdb" ] || [ ! -x "$PG_BIN/pg_ctl" ]; then
        PG_UNAVAILABLE="the PostgreSQL server binaries (initdb, pg_ctl in /usr/lib/postgresql/*/bin or \$SARWINO_PG_BIN) are not installed; tools/bootstrap.sh installs postgresql-15"
        return 1
    fi
    if ! command -v psql >/dev/null 2>&1 && [ ! -x "$PG_BIN/psql" ]; then
        PG_UNAVAILABLE="psql is not installed (postgresql-client)"
        return 1
    fi
    if [ "$(id -u)" -eq 0 ]; then
        if ! id postgres >/dev/null 2>&1; then
            PG_UNAVAILABLE="running as root and there is no unprivileged user \"postgres\" to run the server as"
            return 1
        fi
        PG_AS=(runuser -u postgres --)
    fi
    return 0
}

pg_psql() { if [ -x "$PG_BIN/psql" ]; then echo "$PG_BIN/psql"; else command -v psql; fi; }

# pg_start LOG: a new server with the database "town", the superuser "admin"
# and a login "clerk" without rights yet.
pg_start() {
    local log=$1
    PG_DIR=$(mktemp -d "${TMPDIR:-/tmp}/sarwino-pg-e2e.XXXXXX") || return 1
    [ ${#PG_AS[@]} -eq 0 ] || chown postgres: "$PG_DIR" || return 1
    (cd / && "${PG_AS[@]}" "$PG_BIN/initdb" -D "$PG_DIR/data" -U admin --auth=trust -E UTF8 \
        --locale=C.UTF-8 --no-sync) >"$log" 2>&1 || return 1
    (cd / && "${PG_AS[@]}" "$PG_BIN/pg_ctl" -D "$PG_DIR/data" -l "$PG_DIR/log" -w \
        -o "-c listen_addresses='' -c unix_socket_directories='$PG_DIR' -c port=$PG_PORT -c fsync=off -c synchronous_commit=off -c full_page_writes=off" \
        start) >>"$log" 2>&1 || return 1
    # The watchdog: if this script dies without running its traps, the
    # server goes too.
    setsid sh -c "while kill -0 $$ 2>/dev/null; do sleep 1; done; cd / && ${PG_AS[*]} '$PG_BIN/pg_ctl' -D '$PG_DIR/data' -m immediate stop >/dev/null 2>&1; rm -rf '$PG_DIR'" \
        </dev/null >/dev/null 2>&1 &
    pg_sql "CREATE DATABASE town" postgres >>"$log" 2>&1 || return 1
    pg_sql "CREATE ROLE clerk LOGIN" postgres >>"$log" 2>&1
}

pg_stop() {
    [ -n "$PG_DIR" ] || return 0
    if [ -d "$PG_DIR/data" ]; then
        (cd / && "${PG_AS[@]}" "$PG_BIN/pg_ctl" -D "$PG_DIR/data" -m fast -w stop) >/dev/null 2>&1
    fi
    rm -rf "$PG_DIR"
    PG_DIR=""
}

# pg_link USER: the link a program folder's Sarvino.mdb holds.
pg_link() { echo "postgresql:///town?host=$PG_DIR&port=$PG_PORT&user=$1"; }

# pg_sql SQL [DATABASE]
pg_sql() {
    "$(pg_psql)" -X -q -A -t -v ON_ERROR_STOP=1 -h "$PG_DIR" -p "$PG_PORT" -U admin -d "${2:-town}" -c "$1" 2>&1
}
