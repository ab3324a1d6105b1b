#!/bin/bash
# Tests of the outside-in benchmark's probe against probe_target, a stand-in
# program whose delays are known: the probe must find its window, answer its
# question, see the bars come in no earlier than they are drawn, wait through
# the blank spell after each key instead of stopping on the empty window,
# type a Cyrillic letter with the right key, time the pointer probe's moves
# through a stall, click at a set time and when a file's lock goes, and end
# cleanly on a program that never shows a window.
#
#   redraw_probe.sh PROBE TARGET
set -u
PROBE=${1:?usage: redraw_probe.sh PROBE TARGET}
TARGET=${2:?usage: redraw_probe.sh PROBE TARGET}

# Both are built with the benchmarks only: without them there is nothing to test.
if [ ! -x "$PROBE" ] || [ ! -x "$TARGET" ]; then
    echo "SKIP: the probe and its stand-in are built with the benchmarks (cmake --build build --target benchmarks)"
    exit 77
fi

for tool in Xvfb xdpyinfo awk; do
    command -v "$tool" >/dev/null 2>&1 || { echo "FAIL: needs $tool (tools/bootstrap.sh installs it)"; exit 1; }
done

WORK=$(mktemp -d "${TMPDIR:-/tmp}/redraw-probe-test.XXXXXX") || exit 1
XVFB_PID=""
cleanup() {
    [ -n "$XVFB_PID" ] && kill -TERM "$XVFB_PID" 2>/dev/null && wait "$XVFB_PID" 2>/dev/null
    rm -rf "$WORK"
}
trap cleanup EXIT
export HOME="$WORK" XDG_CONFIG_HOME="$WORK/.config" XDG_RUNTIME_DIR="$WORK/run"
mkdir -p "$XDG_RUNTIME_DIR" && chmod 0700 "$XDG_RUNTIME_DIR"

mkfifo "$WORK/displayfd"
Xvfb -displayfd 3 -screen 0 800x600x24 -nolisten tcp -noreset 3>"$WORK/displayfd" >"$WORK/xvfb.log" 2>&1 &
XVFB_PID=$!
read -r -t 20 n <"$WORK/displayfd" || { echo "FAIL: no Xvfb display"; exit 1; }
export DISPLAY=":$n"
for _ in $(seq 100); do xdpyinfo >/dev/null 2>&1 && break; sleep 0.1; done
setxkbmap -layout us,ru >/dev/null 2>&1 || echo "    (setxkbmap could not add a Russian layout)"

FAILED=0
# check DESCRIPTION AWK-PROGRAM FILE: passes when the program exits with 0.
check() {
    if awk -F'\t' "$2" "$3"; then
        echo "PASS: $1"
    else
        echo "FAIL: $1"
        sed 's/^/    /' "$3"
        FAILED=$((FAILED + 1))
    fi
}
# any DESCRIPTION CONDITION FILE: passes when some line meets CONDITION.
any() { check "$1" "$2 { ok = 1 } END { exit !ok }" "$3"; }

# shellcheck disable=SC2054 # the commas belong to the probe's points
VIEW=(--title "Probe target" --grid 0,0,400,300 --rows 0,0,400,300 --answer Return)

# Start-up, a question, and keys whose answer comes 250 ms after a blank
# window, with a quiet spell of only 100 ms: the probe must wait for the bars.
"$PROBE" "${VIEW[@]}" --start-quiet 500 --key-quiet 100 --blank-quiet 2000 --timeout 20000 \
    --keys-click 200,150 --keys "a BackSpace a ж" --log "$WORK/target.log" --out "$WORK/keys.tsv" \
    -- "$TARGET" --rows-after 400 --key-delay 250 --question
any "the start-up's first bars count no earlier than they are drawn" '$1 == "start" && $5 >= 400 && $5 < 15000 && $6 >= $5 && $9 > 300' "$WORK/keys.tsv"
any "the question is answered" '$1 == "dialog" && $3 >= $2' "$WORK/keys.tsv"
any "a key is answered by its bars, not by the blank window before them" '$1 == "key" && $2 == 1 && $6 < $7 && $7 >= 250 && $8 >= 250 && $10 > 300' "$WORK/keys.tsv"
any "backspace to an empty box is answered too" '$1 == "key" && $2 == 2 && $4 == "-" && $7 >= 250 && $10 > 300' "$WORK/keys.tsv"
check "the same text ends on the same picture, another text on another" \
    '$1 == "key" { h[$2] = $9 } END { exit !(h[1] != "" && h[1] == h[3] && h[1] != h[2] && h[3] != h[4]) }' "$WORK/keys.tsv"
any "a Cyrillic letter is typed with its own key" '/^key Cyrillic_zhe$/' "$WORK/target.log"
check "no error" '$1 == "error" { bad = 1 } END { exit bad }' "$WORK/keys.tsv"

# A click and a key as soon as the window maps, before the bars are there.
"$PROBE" "${VIEW[@]}" --trigger map --action-click 200,150 --action-keys b --action-quiet 300 \
    --blank-quiet 2000 --timeout 20000 --out "$WORK/action.tsv" -- "$TARGET" --rows-after 1000 --key-delay 250
any "an early key is answered by its bars" '$1 == "action" && $2 == "map" && $5 >= 250 && $8 > 300' "$WORK/action.tsv"

# The pointer probe over a box that darkens under the pointer, in a program
# that stops answering for 600 ms: the moves around it are answered at once,
# the one made during the stall only when it ends; and the probe's moves
# must not keep the start-up from ending (the box is outside the grid).
# shellcheck disable=SC2054
HOVER_VIEW=(--title "Probe target" --grid 0,0,250,300 --rows 0,0,250,300 --hover 300,20,40,20 --hover-off 360,150)
"$PROBE" "${HOVER_VIEW[@]}" --start-quiet 1500 --timeout 20000 --out "$WORK/hover.tsv" \
    -- "$TARGET" --rows-after 200 --hover-box --freeze-at 1000 --freeze-for 600
check "the pointer probe times each move; most are answered at once, the stall shows as one long wait" \
    '$1 == "hover" { n++; if ($6 == "NA") never++; else { if ($6 < 50) quick++; if ($6 > max) max = $6 } }
     END { exit !(n >= 10 && !never && quick >= n - 3 && max >= 450 && max <= 900) }' "$WORK/hover.tsv"
check "the moves go onto the box and off it in turn" \
    '$1 == "hover" { if ($4 == last) bad = 1; last = $4 } END { exit bad || last == "" }' "$WORK/hover.tsv"
check "the start-up ends in spite of the moves" '$1 == "start" && $5 != "NA" { ok = 1 } END { exit !ok }' "$WORK/hover.tsv"

# A click at a set time, and one as soon as the program lets go of its lock
# on a file (a query that read the file to its end).
"$PROBE" "${VIEW[@]}" --trigger time --trigger-at 700 --action-click 200,150 --action-keys b --action-quiet 300 \
    --timeout 20000 --out "$WORK/time.tsv" -- "$TARGET" --rows-after 200
any "a click at a set time is sent then" '$1 == "action" && $2 == "time" && $3 >= 700 && $3 < 800' "$WORK/time.tsv"
: >"$WORK/table.db"
"$PROBE" "${VIEW[@]}" --trigger read --read-file "$WORK/table.db" --action-click 200,150 --action-keys b --action-quiet 300 \
    --timeout 20000 --out "$WORK/read.tsv" -- "$TARGET" --rows-after 200 --lock "$WORK/table.db" --lock-from 100 --lock-to 1200
any "a click when the file is read comes right after the lock goes" '$1 == "action" && $2 == "read" && $3 >= 1200 && $3 < 1300' "$WORK/read.tsv"

# A program that never shows a window ends with a message, and ends.
start=$(date +%s)
"$PROBE" "${VIEW[@]}" --timeout 2000 --out "$WORK/none.tsv" -- sleep 30
status=$?
any "a window that never shows is an error" '$1 == "error"' "$WORK/none.tsv"
if [ $status -ne 0 ] && [ $(($(date +%s) - start)) -lt 10 ] && ! pgrep -f '^sleep 30$' >/dev/null; then
    echo "PASS: the probe gives up in time and stops the program"
else
    echo "FAIL: the probe did not give up in time or left the program running (status $status)"
    FAILED=$((FAILED + 1))
fi

[ "$FAILED" -eq 0 ]
