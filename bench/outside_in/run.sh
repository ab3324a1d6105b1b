#!/bin/bash
# The outside-in speed benchmark: starts the real program under Xvfb and the
# openbox window manager, sends it real clicks and keys (XTest) and times how
# soon its window shows the answer, seen through the X DAMAGE extension and
# the window's pixels (build/bench/redraw_probe); then does the same with DB
# Browser for SQLite on the same database file, for comparison.
#
#   bench/outside_in/run.sh [--records N] [--runs N] [--build DIR] [--out DIR]
#                           [--only sarwino|db4s] [--key-quiet MS]
#                           [--start-quiet MS] [--action-quiet MS]
#                           [--pointer-probe]
#
# Prints a table of both programs side by side and writes results.csv,
# results.json, the raw records of every run and screenshots into the output
# folder (default BUILD/bench-outside-in). --pointer-probe also moves the
# pointer onto a catalogue label and off it every 100 ms through every start
# of the program and times each answer. Takes minutes; it is not a test and
# ctest never runs it. HOME and the XDG folders point into a temporary folder
# for every program start, so no real profile or desktop is touched.
# The settings of each program below are read through the namerefs of
# run_program, and their commas belong to the probe's points.
# shellcheck disable=SC2034,SC2054
set -u

HERE=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
ROOT=$(cd "$HERE/../.." && pwd)

RECORDS=1000000
RUNS=3
BUILD="$ROOT/build"
OUT=""
ONLY=""
KEY_QUIET=500
START_QUIET=2000
ACTION_QUIET=3000
POINTER_PROBE=0

usage() { sed -n '2,19p' "${BASH_SOURCE[0]}" | sed 's/^# \{0,1\}//'; }
while [ $# -gt 0 ]; do
    case $1 in
    --records) RECORDS=${2:?}; shift 2 ;;
    --runs) RUNS=${2:?}; shift 2 ;;
    --build) BUILD=$(cd "${2:?}" && pwd) || exit 2; shift 2 ;;
    --out) OUT=${2:?}; shift 2 ;;
    --only) ONLY=${2:?}; shift 2 ;;
    --key-quiet) KEY_QUIET=${2:?}; shift 2 ;;
    --start-quiet) START_QUIET=${2:?}; shift 2 ;;
    --action-quiet) ACTION_QUIET=${2:?}; shift 2 ;;
    --pointer-probe) POINTER_PROBE=1; shift ;;
    -h | --help) usage; exit 0 ;;
    *) echo "run.sh: unknown option $1" >&2; usage >&2; exit 2 ;;
    esac
done
case $ONLY in "" | sarwino | db4s) ;; *) echo "run.sh: --only takes sarwino or db4s" >&2; exit 2 ;; esac
[ "$RUNS" -ge 1 ] 2>/dev/null || { echo "run.sh: --runs must be at least 1" >&2; exit 2; }
OUT=${OUT:-$BUILD/bench-outside-in}

PROBE="$BUILD/bench/redraw_probe"
PROGRAM="$BUILD/bin/Sarwino"
GENDB="$BUILD/tools/bin/gendb"

say() { printf '%s\n' "$*" >&2; }
die() { say "run.sh: $*"; exit 1; }

# ---------------------------------------------------------------- what is needed

for tool in Xvfb openbox setxkbmap xdpyinfo convert awk sort timeout; do
    command -v "$tool" >/dev/null 2>&1 || die "needs $tool (tools/bootstrap.sh installs it)"
done
if [ ! -x "$PROBE" ] || [ ! -x "$PROGRAM" ] || [ ! -x "$GENDB" ]; then
    say "Building the program, gendb and redraw_probe in $BUILD ..."
    cmake --build "$BUILD" --target Sarwino gendb redraw_probe >&2 \
        || die "the build failed; is $BUILD configured (cmake -S . -B build -G Ninja) and are libxdamage-dev, libxtst-dev and libxkbcommon-dev installed (tools/bootstrap.sh)?"
fi

WITH_DB4S=1
[ "$ONLY" = sarwino ] && WITH_DB4S=0
if [ "$WITH_DB4S" = 1 ] && ! command -v sqlitebrowser >/dev/null 2>&1; then
    # DB Browser for SQLite is only the yardstick of this benchmark, so the
    # build does not install it; the benchmark does, once, and says so.
    if [ "$(id -u)" = 0 ] && command -v apt-get >/dev/null 2>&1; then
        say "DB Browser for SQLite is missing: installing the Debian package sqlitebrowser for the comparison ..."
        DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends sqlitebrowser >&2 \
            || { apt-get update -qq >&2 && DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends sqlitebrowser >&2; } \
            || die "could not install sqlitebrowser; run with --only sarwino to skip the comparison"
    else
        die "DB Browser for SQLite is missing: install it (apt-get install sqlitebrowser) or run with --only sarwino"
    fi
fi

# ---------------------------------------------------------------- clean-up

WORK=""
XVFB_PID=""
WM_PID=""
cleanup() {
    [ -n "$WM_PID" ] && kill -TERM "$WM_PID" 2>/dev/null && wait "$WM_PID" 2>/dev/null
    [ -n "$XVFB_PID" ] && kill -TERM "$XVFB_PID" 2>/dev/null && wait "$XVFB_PID" 2>/dev/null
    [ -n "$WORK" ] && [ -d "$WORK" ] && rm -rf "$WORK"
}
trap cleanup EXIT
trap 'exit 130' INT
trap 'exit 143' TERM

WORK=$(mktemp -d "${TMPDIR:-/tmp}/sarwino-outside-in.XXXXXX") || die "no temporary folder"
mkdir -p "$WORK/app" "$WORK/elsewhere" "$OUT" || die "cannot make $OUT"
rm -rf "$OUT/raw" "$OUT/shots"
mkdir -p "$OUT/raw" "$OUT/shots" "$OUT/logs"

source "$(dirname "$0")/session.sh"
fresh_home setup

# ---------------------------------------------------------------- the database

say "Generating $RECORDS records ..."
"$GENDB" --out "$WORK/app/Sarvino.mdb" --records "$RECORDS" >"$OUT/logs/gendb.log" 2>&1 \
    || die "gendb failed: $(tail -n 3 "$OUT/logs/gendb.log")"
# The program always opens Sarvino.mdb beside its own executable.
cp "$PROGRAM" "$WORK/app/Sarwino" || die "cannot copy $PROGRAM"
DB="$WORK/app/Sarvino.mdb"

# ---------------------------------------------------------------- the display

start_display || die "Xvfb or openbox did not start (see $OUT/logs)"

# ---------------------------------------------------------------- what is done

# The keys, typed one at a time: the broadest one-letter prefixes, longer
# ones, and back to an empty box each time.
KEYS="А п т е к а BackSpace BackSpace BackSpace BackSpace BackSpace BackSpace
      И П BackSpace BackSpace
      Я BackSpace
      М а г а з и н BackSpace BackSpace BackSpace BackSpace BackSpace BackSpace BackSpace
      О О О BackSpace BackSpace BackSpace
      К а ф е BackSpace BackSpace BackSpace BackSpace
      С BackSpace
      Ш к о л а BackSpace BackSpace BackSpace BackSpace BackSpace"
SHOT_KEYS=1,3,12,17,22,35,42,58
KEYS=$(echo $KEYS)

# Sarwino: the grid DBGrid1 at (0,88) 753x417 in the client area under the
# menu bar, 17-pixel rows from y 106; the search box at (100,538); the sort
# buttons "адрес" at (86,16) and "Телефон" at (144,16) in the group box at
# (264,520). The pointer probe's label is the catalogue item "Медицина" at
# (926,271), 48x13, far from everything clicked; the pointer leaves it for the
# panel picture at (990,300), which clears the highlight.
SARWINO_VIEW=(--title "Сарвино- городской справочник" --client-height 651
    --grid 0,88,753,417 --rows 13,106,720,390)
[ "$POINTER_PROBE" = 1 ] && SARWINO_VIEW+=(--hover 926,271,48,13 --hover-off 990,300 --hover-every 100)
SARWINO_SEARCH=(--trigger map --action-click 100,538 --action-keys "А")
SARWINO_SORT=(--trigger map --action-click 360,544)
SORT_ADDRESS=(--action-click 360,544)
SORT_PHONE=(--action-click 450,544)
SARWINO_KEYS=(--keys-click 100,538)
SARWINO_CMD=("$WORK/app/Sarwino")

# DB Browser for SQLite, in its own default window (1037x738): the rows of
# the Browse Data grid below its filter row (y 174), under the header row (y
# 151). It sizes its columns itself and moves them while the first rows come
# in, so the early actions wait until the grid has been still for 0.2 s and
# find their column on the screen: "название" is the second section after the
# row numbers, "адрес" the third (once settled, x 250 is always in the
# "название" filter). On a table this big it asks at once whether to abort
# "reading rows" (a quirk of -t); the probe answers with Return ("No") as soon
# as the question has the focus, and rows show after that.
DB4S_VIEW=(--title "DB Browser for SQLite" --grid 10,190,460,455 --rows 10,190,460,455 --answer Return)
DB4S_SEARCH=(--trigger rows --trigger-quiet 200 --action-section 145,174,82,482,2 --action-keys "А")
DB4S_SORT=(--trigger rows --trigger-quiet 200 --action-section 145,151,82,482,3)
DB4S_KEYS=(--keys-click 250,174)
DB4S_CMD=(sqlitebrowser -t "главная" "$DB")

FAILURES=0

# probe PROGRAM KIND RUN ARGS...: one start of PROGRAM under the probe; its
# records go to raw/PROGRAM-KIND-RUN.tsv, its pictures (first run only) to
# shots/.
probe() {
    local prog=$1 kind=$2 run=$3
    shift 3
    local name="$prog-$kind-$run" shots=()
    local raw="$OUT/raw/$name.tsv"
    if [ "$run" = 1 ]; then
        mkdir -p "$WORK/shots/$name"
        shots=(--shots "$WORK/shots/$name")
    fi
    fresh_home "$name"
    timeout -s TERM 600 "$PROBE" --cwd "$WORK/elsewhere" --log "$OUT/logs/$name.log" --out "$raw" \
        --start-quiet "$START_QUIET" --action-quiet "$ACTION_QUIET" "${shots[@]}" "$@"
    local status=$?
    if [ $status -ne 0 ]; then
        FAILURES=$((FAILURES + 1))
        say "    $name failed: $(grep '^error' "$raw" 2>/dev/null | cut -f2- | head -n 1)"
    fi
    if [ "$run" = 1 ]; then
        local f
        for f in "$WORK/shots/$name"/*.ppm; do
            [ -e "$f" ] && convert "$f" "$OUT/shots/$name-$(basename "${f%.ppm}").png" && rm -f "$f"
        done
    fi
    return 0
}

run_program() {
    local prog=$1 run=$2
    local -n view=${3}_VIEW search=${3}_SEARCH sort=${3}_SORT keys=${3}_KEYS cmd=${3}_CMD
    say "  $prog: start-up and $(wc -w <<<"$KEYS") keys"
    probe "$prog" keys "$run" "${view[@]}" "${keys[@]}" --keys "$KEYS" --key-quiet "$KEY_QUIET" \
        --shot-keys "$SHOT_KEYS" -- "${cmd[@]}"
    say "  $prog: a search typed at once"
    probe "$prog" search "$run" "${view[@]}" "${search[@]}" -- "${cmd[@]}"
    say "  $prog: a sort click at once"
    probe "$prog" sort "$run" "${view[@]}" "${sort[@]}" -- "${cmd[@]}"
    [ "$prog" = sarwino ] || return 0
    # The sorts whose orders are not built yet, or just being built: 0.2 s
    # after the start, right after the last row is read (SQLite lets go of
    # its read lock on the file), and once the program is settled.
    say "  $prog: \"Телефон\" clicked 0.2 s after the start"
    probe "$prog" sort02 "$run" "${view[@]}" --trigger time --trigger-at 200 "${SORT_PHONE[@]}" -- "${cmd[@]}"
    say "  $prog: \"Телефон\" clicked right after the last row is read"
    probe "$prog" sortread "$run" "${view[@]}" --trigger read --read-file "$DB" "${SORT_PHONE[@]}" -- "${cmd[@]}"
    say "  $prog: \"адрес\" clicked right after the last row is read"
    probe "$prog" sortreadaddr "$run" "${view[@]}" --trigger read --read-file "$DB" "${SORT_ADDRESS[@]}" -- "${cmd[@]}"
    say "  $prog: \"Телефон\" clicked once settled"
    probe "$prog" sortsettled "$run" "${view[@]}" --trigger settled "${SORT_PHONE[@]}" -- "${cmd[@]}"
}

STARTED=$(date -u +%Y-%m-%dT%H:%M:%SZ)
LOAD_BEFORE=$(cut -d' ' -f1-3 /proc/loadavg)
for run in $(seq "$RUNS"); do
    say "Run $run of $RUNS"
    [ "$ONLY" != db4s ] && run_program sarwino "$run" SARWINO
    [ "$WITH_DB4S" = 1 ] && run_program db4s "$run" DB4S
done
LOAD_AFTER=$(cut -d' ' -f1-3 /proc/loadavg)

# ---------------------------------------------------------------- the figures

COMMIT=$(git -C "$ROOT" rev-parse --short HEAD 2>/dev/null || echo unknown)
DB4S_VERSION=$(dpkg-query -W -f='${Version}' sqlitebrowser 2>/dev/null || echo none)

"$HERE/summarize.sh" "$OUT" "$RUNS" "$RECORDS" \
    "commit=$COMMIT" "started=$STARTED" "sqlitebrowser=$DB4S_VERSION" "key_quiet_ms=$KEY_QUIET" \
    "start_quiet_ms=$START_QUIET" "action_quiet_ms=$ACTION_QUIET" \
    "cpus=$(nproc)" "load_before=$LOAD_BEFORE" "load_after=$LOAD_AFTER" "pointer_probe=$POINTER_PROBE"
status=$?
[ "$FAILURES" -eq 0 ] || say "$FAILURES program start(s) failed; see $OUT/raw and $OUT/logs"
[ $status -eq 0 ] && [ "$FAILURES" -eq 0 ]
