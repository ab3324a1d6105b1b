#!/bin/bash
# The first painted grid from a PostgreSQL server beside the same records in
# the SQLite file, in one run, measured outside-in: the real program under
# Xvfb + openbox, its start timed by redraw_probe from the fork to the grid
# first showing rows (and to its final picture). The server is a throwaway
# one (tests/e2e/pg.sh: initdb into a temporary folder, a Unix socket only),
# filled with sarwino-convert from the file gendb makes; the program's folder
# holds either the file or a one-line link to the server as Sarvino.mdb. The
# two are started in turn, after one uncounted start of each.
#
#   bench/outside_in/pg_first_rows.sh [--records N] [--runs N] [--build DIR]
#                                     [--out DIR] [--start-quiet MS]
#
# Prints the medians (and ranges) of both and writes results.csv and the raw
# records into the output folder (default BUILD/bench-pg-first-rows). Not a
# test: run it by hand. Exits 77 when the server binaries are missing.
# shellcheck disable=SC2054 # the commas belong to the probe's points
set -u

HERE=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
ROOT=$(cd "$HERE/../.." && pwd)

RECORDS=1000000
RUNS=3
BUILD="$ROOT/build"
OUT=""
START_QUIET=2000

usage() { sed -n '2,16p' "${BASH_SOURCE[0]}" | sed 's/^# \{0,1\}//'; }
while [ $# -gt 0 ]; do
    case $1 in
    --records) RECORDS=${2:?}; shift 2 ;;
    --runs) RUNS=${2:?}; shift 2 ;;
    --build) BUILD=$(cd "${2:?}" && pwd) || exit 2; shift 2 ;;
    --out) OUT=${2:?}; shift 2 ;;
    --start-quiet) START_QUIET=${2:?}; shift 2 ;;
    -h | --help) usage; exit 0 ;;
    *) echo "pg_first_rows.sh: unknown option $1" >&2; usage >&2; exit 2 ;;
    esac
done
[ "$RUNS" -ge 1 ] 2>/dev/null || { echo "pg_first_rows.sh: --runs must be at least 1" >&2; exit 2; }
OUT=${OUT:-$BUILD/bench-pg-first-rows}

PROBE="$BUILD/bench/redraw_probe"
PROGRAM="$BUILD/bin/Sarwino"
GENDB="$BUILD/tools/bin/gendb"
CONVERT="$BUILD/bin/sarwino-convert"

say() { printf '%s\n' "$*" >&2; }
die() { say "pg_first_rows.sh: $*"; exit 1; }

source "$ROOT/tests/e2e/pg.sh"
pg_find_binaries || { echo "SKIPPED: $PG_UNAVAILABLE"; exit 77; }
for tool in Xvfb openbox setxkbmap xdpyinfo xprop awk sort timeout; do
    command -v "$tool" >/dev/null 2>&1 || die "needs $tool (tools/bootstrap.sh installs it)"
done
if [ ! -x "$PROBE" ] || [ ! -x "$PROGRAM" ] || [ ! -x "$GENDB" ] || [ ! -x "$CONVERT" ]; then
    say "Building the program, gendb, sarwino-convert and redraw_probe in $BUILD ..."
    cmake --build "$BUILD" --target Sarwino gendb sarwino-convert redraw_probe >&2 \
        || die "the build failed; is $BUILD configured with -DSARWINO_BENCHMARKS=ON?"
fi

WORK=""
XVFB_PID=""
WM_PID=""
cleanup() {
    [ -n "$WM_PID" ] && kill -TERM "$WM_PID" 2>/dev/null && wait "$WM_PID" 2>/dev/null
    [ -n "$XVFB_PID" ] && kill -TERM "$XVFB_PID" 2>/dev/null && wait "$XVFB_PID" 2>/dev/null
    pg_stop
    [ -n "$WORK" ] && [ -d "$WORK" ] && rm -rf "$WORK"
}
trap cleanup EXIT
trap 'exit 130' INT
trap 'exit 143' TERM

WORK=$(mktemp -d "${TMPDIR:-/tmp}/sarwino-pg-first-rows.XXXXXX") || die "no temporary folder"
mkdir -p "$WORK/sqlite" "$WORK/pg" "$WORK/elsewhere" "$OUT" || die "cannot make $OUT"
rm -rf "$OUT/raw" "$OUT/logs"
mkdir -p "$OUT/raw" "$OUT/logs"

source "$(dirname "$0")/session.sh"
unset PGHOST PGPORT PGUSER PGDATABASE PGPASSWORD PGPASSFILE PGSERVICE

# ---------------------------------------------------------------- the data

now_ms() { date +%s%3N; }
say "Generating $RECORDS records ..."
"$GENDB" --out "$WORK/sqlite/Sarvino.mdb" --records "$RECORDS" >"$OUT/logs/gendb.log" 2>&1 \
    || die "gendb failed: $(tail -n 3 "$OUT/logs/gendb.log")"
say "Starting a throwaway PostgreSQL server and converting the file onto it ..."
pg_start "$OUT/logs/server.log" || die "the server did not start (see $OUT/logs/server.log)"
began=$(now_ms)
"$CONVERT" "$WORK/sqlite/Sarvino.mdb" "$(pg_link admin)" >"$OUT/logs/convert.log" 2>&1 \
    || die "sarwino-convert failed: $(tail -n 3 "$OUT/logs/convert.log")"
CONVERT_MS=$(($(now_ms) - began))
pg_sql 'GRANT SELECT, INSERT, UPDATE, DELETE ON "главная" TO clerk' >/dev/null || die "cannot grant the clerk's rights"
pg_sql 'VACUUM ANALYZE "главная"' >/dev/null
pg_link clerk >"$WORK/pg/Sarvino.mdb"
{ cp "$PROGRAM" "$WORK/sqlite/Sarwino" && cp "$PROGRAM" "$WORK/pg/Sarwino"; } || die "cannot copy $PROGRAM"
say "  converted in $CONVERT_MS ms"

# ---------------------------------------------------------------- the display

start_display || die "Xvfb or openbox did not start (see $OUT/logs)"

# ---------------------------------------------------------------- the starts

# The grid and its rows, as in run.sh.
VIEW=(--title "Сарвино- городской справочник" --client-height 651 --grid 0,88,753,417 --rows 13,106,720,390)
FAILURES=0

# start STORE NAME: one start of the program on STORE (sqlite or pg), its
# records in raw/NAME.tsv.
start() {
    fresh_home "$2"
    timeout -s TERM 600 "$PROBE" "${VIEW[@]}" --cwd "$WORK/elsewhere" --log "$OUT/logs/$2.log" \
        --out "$OUT/raw/$2.tsv" --start-quiet "$START_QUIET" -- "$WORK/$1/Sarwino" \
        || { FAILURES=$((FAILURES + 1)); say "    $2 failed: $(grep '^error' "$OUT/raw/$2.tsv" | cut -f2- | head -n 1)"; }
}

LOAD_BEFORE=$(cut -d' ' -f1-3 /proc/loadavg)
say "Warming up (one uncounted start of each) ..."
start sqlite warm-sqlite
start pg warm-pg
for run in $(seq "$RUNS"); do
    say "Run $run of $RUNS"
    start sqlite "sqlite-$run"
    start pg "pg-$run"
done
LOAD_AFTER=$(cut -d' ' -f1-3 /proc/loadavg)

# ---------------------------------------------------------------- the figures

# One line per start: store, window shown, first rows, grid final.
for f in "$OUT"/raw/sqlite-*.tsv "$OUT"/raw/pg-*.tsv; do
    [ -e "$f" ] || continue
    store=$(basename "$f" .tsv)
    awk -F'\t' -v store="${store%-*}" '$1 == "start" { print store "\t" $2 "\t" $5 "\t" $6 }' "$f"
done | awk -F'\t' -v out="$OUT/results.csv" -v records="$RECORDS" -v runs="$RUNS" -v convert="$CONVERT_MS" \
    -v load="$LOAD_BEFORE -> $LOAD_AFTER" '
function sortv(a, n,    i, j, t) { for (i = 2; i <= n; i++) { t = a[i]; for (j = i - 1; j >= 1 && a[j] > t; j--) a[j + 1] = a[j]; a[j + 1] = t } }
function cell(store, m,    a, n, i) {
    n = 0
    for (i = 1; i <= cnt[store, m]; i++) if (v[store, m, i] != "NA") a[++n] = v[store, m, i] + 0
    if (n == 0) { printf "%s,%s,NA,NA,NA,0\n", name[m], store >> out; return sprintf("%22s", "-") }
    sortv(a, n)
    med = n % 2 ? a[(n + 1) / 2] : (a[n / 2] + a[n / 2 + 1]) / 2
    printf "%s,%s,%.1f,%.1f,%.1f,%d\n", name[m], store, med, a[1], a[n], n >> out
    return sprintf("%22s", sprintf("%.0f [%.0f-%.0f]", med, a[1], a[n]))
}
{ for (m = 2; m <= 4; m++) { cnt[$1, m]++; v[$1, m, cnt[$1, m]] = $m } }
END {
    name[2] = "window_shown_ms"; name[3] = "first_rows_ms"; name[4] = "grid_final_ms"
    print "metric,store,median_ms,min_ms,max_ms,n" > out
    printf "First painted grid, %d records, %d run(s) each, ms from the start: median [range]\n", records, runs
    printf "(the file converted onto the server in %d ms; load %s)\n\n", convert, load
    printf "%-32s %22s %22s\n", "", "SQLite file", "PostgreSQL link"
    label[2] = "window shown"; label[3] = "first rows in the grid"; label[4] = "grid in its final state"
    for (m = 2; m <= 4; m++) printf "%-32s %s %s\n", label[m], cell("sqlite", m), cell("pg", m)
}'
[ "$FAILURES" -eq 0 ] || { say "$FAILURES start(s) failed; see $OUT/raw and $OUT/logs"; exit 1; }
