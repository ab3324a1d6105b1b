#!/bin/bash
# Directory files with huge texts, measured from outside: the real program
# under Xvfb and openbox, driven with real clicks and keys, watched after
# each step until its window thread waits for input again and until the
# grid shows the result. Not a test (the files are gigabytes, the steps take minutes):
# run it by hand from the project folder after a build,
#
#   bench/huge/run.sh [build]                 # both files
#   E2E_CASES=values bench/huge/run.sh        # one of them: values or texts
#
# values: six names of 300 MB each (two begin with "0") among 2,500 ordinary
#         records, about 1.8 GB: time to the window and to its first answer,
#         then the search "0", each sort button, a category, the wheel and
#         End over the huge rows, a key typed into a huge name; peak memory.
# texts:  4,096 records with names of 262,146 characters (over 1 GB of text):
#         an edit of "тел" is written to the file and shown, and Alt+F4
#         closes the program.
#
# The files are made with sqlite3 in a temporary folder (TMPDIR, /tmp by
# default, needs about 4 GB free) and removed afterwards, like everything
# else; the screenshots stay in BUILD/bench-huge.
set -u
here=$(cd "$(dirname "$0")" && pwd)
build=$(cd "${1:-build}" && pwd) || exit 1
if [ -f "$build/CMakeCache.txt" ]; then
    cmake --build "$build" --target Sarwino gendb >/dev/null || exit 1
fi
source "$here/../../tests/e2e/lib.sh"

readonly SEARCH_BOX='100 538' CLEAR_BUTTON='628 540'
readonly NAME_RADIO='279 544' ADDRESS_RADIO='357 544' PHONE_RADIO='415 544' KIND_RADIO='487 544'
readonly APTEKA='778 277' GRID_SPOT='300 200'

# answers: the window thread sits in its event loop's wait for input (not
# running, not blocked on a lock), twice 0.1 s apart.
loop_idle() { [ "$(cat "/proc/$APP_PID/task/$APP_PID/wchan" 2>/dev/null)" = poll_schedule_timeout.constprop.0 ]; }
answers() { loop_idle && sleep 0.1 && loop_idle; }
seconds_since() { awk -v ms=$(($(now_ms) - $1)) 'BEGIN { printf "%.1f", ms / 1000 }'; }
peak_memory() { awk '/VmHWM/ { printf "%.2f GB", $2 / 1048576 }' "/proc/$APP_PID/status" 2>/dev/null; }
figure() { printf '    %-44s %s\n' "$1" "$2"; }

# timed LABEL SHOT ACTION...: does ACTION, then reports when the window
# thread waited for input again and when the grid, changed, had settled on
# its new picture.
timed() {
    local label=$1 shot=$2 started answered before
    shift 2
    before=$(grid_fingerprint)
    started=$(now_ms)
    "$@"
    wait_for 600 answers || problem "$label: no answer within 600 s"
    answered=$(seconds_since "$started")
    wait_for 600 grid_changed "$before" || problem "$label: the grid did not change within 600 s"
    wait_for 600 grid_settled
    figure "$label" "answers after ${answered} s, result shown after $(seconds_since "$started") s"
    save_shot "$shot"
}
grid_changed() { [ "$(grid_fingerprint)" != "$1" ]; }
wheel_over_grid() {
    local x y n
    read -r x y <<<"$GRID_SPOT"
    xdotool mousemove $((CX + x)) $((CY + y))
    wait_for 5 pointer_at $((CX + x)) $((CY + y))
    for n in 1 2 3 4 5 6; do xdotool click 5; done
}
search_zero() { click_client $SEARCH_BOX && type_text 0; }
end_of_grid() { click_address 0 && keys ctrl+End; }
# A key typed into the first name, a huge one after the search: refused
# with a message, which is answered.
type_into_huge_name() {
    click_client $((NAME_X + 20)) $(($(row_top 0) + ROW_H / 2))
    sleep 0.3
    type_text x
    if wait_box; then
        save_shot values-edit-box
        keys Return
        wait_for 10 window_gone "$BOX"
    else
        problem "a key typed into a huge name showed no message"
        keys Escape Escape
    fi
}

# wait_window LIMIT: the main window's first appearance, however late.
wait_window() {
    local limit=$(($(now_ms) + $1 * 1000))
    MAIN=""
    while [ -z "$MAIN" ] && [ "$(now_ms)" -lt "$limit" ]; do
        program_ended && return 1
        MAIN=$(timeout 2 xdotool search --all --onlyvisible --pid "$APP_PID" --name "^${CAPTION}\$" 2>/dev/null | head -n 1)
        [ -z "$MAIN" ] && sleep 0.1
    done
    [ -n "$MAIN" ] && read_main_geometry
}

# start_and_answer DIR: starts the program in DIR (the clock `started` set
# just before) and waits for its window and its first answer; fails when no
# window shows.
start_and_answer() {
    start_program "$1"
    if ! wait_window 600; then
        problem "no main window within 600 s: $(tail -n 2 "$CASE_DIR/program.log" | tr '\n' ' ')"
        return 1
    fi
    figure "main window shown" "$(seconds_since "$started") s"
    wait_for 600 answers || problem "the window did not answer within 600 s"
}

case_values() {
    begin_case "six 300 MB names among 2,500 records" values
    local dir="$CASE_DIR/run" db started
    db="$dir/Sarvino.mdb"
    "$GENDB" --out "$db" --records 2500 --seed 7 >"$CASE_DIR/gendb.log" 2>&1 || { problem "gendb failed"; end_case; return; }
    started=$(now_ms)
    sqlite3 -batch "$db" >"$CASE_DIR/sqlite.log" 2>&1 <<'EOF'
CREATE TEMP TABLE r AS SELECT replace(hex(zeroblob(150000000)), '0', 'a') AS s;
INSERT INTO "главная"("название","адрес","тел","вид_деят") SELECT '0 огромное ' || s, 'ул. Длинная, 1', '1-11-11', 'Связь' FROM r;
INSERT INTO "главная"("название","адрес","тел","вид_деят") SELECT '0 огромное ' || substr(s, 2) || 'b', 'ул. Длинная, 2', '1-11-12', 'Связь' FROM r;
INSERT INTO "главная"("название","адрес","тел","вид_деят") SELECT 'Ж' || s, 'ул. Длинная, 3', '1-11-13', 'Аптека' FROM r;
INSERT INTO "главная"("название","адрес","тел","вид_деят") SELECT 'ж' || substr(s, 2) || 'c', 'ул. Длинная, 4', '1-11-14', 'Аптека' FROM r;
INSERT INTO "главная"("название","адрес","тел","вид_деят") SELECT replace(s, 'a', 'z'), 'ул. Длинная, 5', '1-11-15', 'ГСМ' FROM r;
INSERT INTO "главная"("название","адрес","тел","вид_деят") SELECT 'Ю ' || replace(s, 'a', 'q'), 'ул. Длинная, 6', '1-11-16', 'ГСМ' FROM r;
EOF
    figure "file made" "$(du -h "$db" | cut -f1) in $(seconds_since "$started") s"
    started=$(now_ms)
    start_and_answer "$dir" || { end_case; return; }
    figure "window answers" "$(seconds_since "$started") s"
    wait_for 600 grid_settled
    figure "grid settled" "$(seconds_since "$started") s"
    save_shot values-start
    timed "search «0»" values-search search_zero
    started=$(now_ms)
    type_into_huge_name
    figure "a key typed into a huge name" "message answered after $(seconds_since "$started") s"
    timed "clear the search" values-clear click_client $CLEAR_BUTTON
    # The wheel moves the control that has the focus: the grid's, given by a click.
    click_client $GRID_SPOT
    sleep 0.5
    timed "wheel over the huge rows" values-wheel wheel_over_grid
    timed "sort by address" values-sort-address click_client $ADDRESS_RADIO
    timed "sort by phone" values-sort-phone click_client $PHONE_RADIO
    timed "sort by kind" values-sort-kind click_client $KIND_RADIO
    timed "sort by name" values-sort-name click_client $NAME_RADIO
    timed "category «Аптека»" values-category click_client $APTEKA
    timed "Ctrl+End over every record" values-end end_of_grid
    figure "peak memory (VmHWM)" "$(peak_memory)"
    [ "$(sql "$db" "SELECT count(*) FROM $TABLE WHERE length(\"название\") > 1000")" = 6 ] \
        || problem "the huge names are no longer six in the file"
    end_case
}

case_texts() {
    begin_case "4,096 names of 262,146 characters" texts
    local dir="$CASE_DIR/run" db started key new='9-99-99'
    db="$dir/Sarvino.mdb"
    "$GENDB" --out "$db" --records 0 --seed 7 >"$CASE_DIR/gendb.log" 2>&1 || { problem "gendb failed"; end_case; return; }
    started=$(now_ms)
    sqlite3 -batch "$db" >"$CASE_DIR/sqlite.log" 2>&1 <<'EOF'
CREATE TEMP TABLE r AS SELECT replace(hex(zeroblob(131073)), '0', 'a') AS s;
WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 4096)
INSERT INTO "главная"("название","адрес","тел","вид_деят") SELECT printf('%04d ', i) || substr(s, 6), 'ул. Широкая, ' || i, '2-00-00', 'Связь' FROM n, r;
EOF
    figure "file made" "$(du -h "$db" | cut -f1), $(sql "$db" "SELECT sum(length(\"название\")) FROM $TABLE") characters of names, in $(seconds_since "$started") s"
    key=$(sql "$db" "SELECT min(\"Код\") FROM $TABLE")
    started=$(now_ms)
    start_and_answer "$dir" || { end_case; return; }
    wait_for 600 grid_settled
    figure "grid settled" "$(seconds_since "$started") s"
    # The phone of the first record: its cell is two columns right of the address.
    started=$(now_ms)
    click_client $((ADDR_X + ADDR_W + 40)) $(($(row_top 0) + ROW_H / 2))
    sleep 0.3
    type_text "$new"
    keys Return Down
    wait_for 30 answers
    if [ "$(sql "$db" "SELECT \"тел\" FROM $TABLE WHERE \"Код\"=$key")" = "$new" ]; then
        figure "edit of «тел» in the file" "after $(seconds_since "$started") s"
    else
        problem "the edit of «тел» is not in the file"
    fi
    local boxes
    boxes=$(count_boxes 3)
    [ "$boxes" -eq 0 ] || problem "$boxes message box(es) after the edit: $LAST_BOX_TEXT"
    save_shot texts-edited
    figure "peak memory (VmHWM)" "$(peak_memory)"
    started=$(now_ms)
    xdotool windowactivate --sync "$MAIN" >/dev/null 2>&1
    keys alt+F4
    if wait_for 60 program_ended; then
        figure "Alt+F4 ended the program" "after $(seconds_since "$started") s"
    else
        problem "the program did not end on Alt+F4"
        save_shot texts-alt-f4
    fi
    end_case
}

e2e_main "$build/bin/Sarwino" "$build/tools/bin/gendb" "$build/bench-huge" -- values texts
