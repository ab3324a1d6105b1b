#!/bin/bash
# Change-to-screen latency of the directory on a PostgreSQL server, measured
# outside-in: the program runs under Xvfb + openbox on a throwaway server
# holding the end-to-end sample; another client (psql) changes the address of
# a record the grid shows, and cell_watch reads that cell from the X server
# every millisecond until it is drawn anew. Prints every change's figures and
# the median and 95th percentile. Not a test: run it by hand,
#
#   bench/outside_in/pg_latency.sh build/bin/Sarwino build/tools/bin/gendb \
#       build/bin/sarwino-convert build/bench/cell_watch [CHANGES] [RECORDS]
source "$(dirname "$0")/../../tests/e2e/lib.sh"
source "$(dirname "$0")/../../tests/e2e/pg.sh"

PROGRAM_ARG=${1:?usage: pg_latency.sh PROGRAM GENDB CONVERT CELL_WATCH [CHANGES] [RECORDS]}
GENDB_ARG=${2:?}
SARWINO_CONVERT=${3:?}
CELL_WATCH=${4:?}
CHANGES=${5:-20}
RECORDS=${6:-100}
pg_find_binaries || { echo "SKIPPED: $PG_UNAVAILABLE"; exit 77; }
trap 'stop_program; pg_stop; cleanup' EXIT

percentile() { sort -n | awk -v p="$1" '{ v[NR] = $1 } END { i = int((NR - 1) * p + 0.5) + 1; print v[i] }'; }

case_latency() {
    begin_case "change-to-screen latency" latency
    local file="$CASE_DIR/sample.sqlite" key
    "$GENDB" --out "$file" --records "$RECORDS" --seed 7 >"$CASE_DIR/gendb.log" 2>&1 || { problem "gendb failed"; end_case; return; }
    pg_start "$CASE_DIR/server.log" || { problem "the server did not start"; end_case; return; }
    "$SARWINO_CONVERT" "$file" "$(pg_link admin)" >"$CASE_DIR/convert.log" 2>&1 || { problem "convert failed"; end_case; return; }
    pg_sql "GRANT SELECT, INSERT, UPDATE, DELETE ON $TABLE TO clerk" >/dev/null
    pg_link clerk >"$CASE_DIR/run/Sarvino.mdb"
    start_program "$CASE_DIR/run"
    find_main_window || { end_case; return; }
    sleep 2
    key=$(pg_sql "SELECT \"Код\" FROM $TABLE ORDER BY \"Код\" LIMIT 1 OFFSET 2")
    local i out from_start=() from_end=()
    for i in $(seq 1 "$CHANGES"); do
        out=$("$CELL_WATCH" "$MAIN" "$ADDR_X" $((MENU_H + $(row_top 2) + 1)) "$ADDR_W" $((ROW_H - 2)) 3000 -- \
            "$(pg_psql)" -X -q -h "$PG_DIR" -p "$PG_PORT" -U admin -d town \
            -c "UPDATE $TABLE SET \"адрес\"='ул. Замерная, $i' WHERE \"Код\"=$key")
        echo "    change $i: $out ms (from psql's start, from its end)"
        [ "$out" = timeout ] && { problem "change $i was not drawn within 3 s"; continue; }
        from_start+=("${out% *}")
        from_end+=("${out#* }")
        sleep 0.3
    done
    save_shot latency-end
    if [ ${#from_start[@]} -gt 0 ]; then
        echo "    from psql's start: median $(printf '%s\n' "${from_start[@]}" | percentile 0.5) ms, p95 $(printf '%s\n' "${from_start[@]}" | percentile 0.95) ms"
        echo "    from psql's end:   median $(printf '%s\n' "${from_end[@]}" | percentile 0.5) ms, p95 $(printf '%s\n' "${from_end[@]}" | percentile 0.95) ms"
    fi
    end_case
}

e2e_main "$PROGRAM_ARG" "$GENDB_ARG" "${TMPDIR:-/tmp}/sarwino-pg-latency" -- latency
