#!/bin/bash
# End-to-end tests of the main window: the real program on its own Xvfb
# display, driven with real X input (xdotool), the database file checked with
# sqlite3 and the screen with ImageMagick.
#
#   run_e2e.sh PROGRAM GENDB ARTIFACTS [WM_CLOSE]
#
# PROGRAM is the built Sarwino, GENDB the sample database generator,
# ARTIFACTS the folder for screenshots and logs (those of an earlier run are
# removed first), WM_CLOSE the helper that sends a window the close request a
# window manager would send (without it the closing case is skipped). Every
# case runs its own copy of the program in its own folder beside its own small
# database, so the copy in the build tree is never touched. Prints one line
# per case and a summary; exits non-zero when a case failed. E2E_CASES may
# name some of the cases (start no_insert edit kill delete missing_db close)
# to run only those.
set -u

PROGRAM=${1:?usage: run_e2e.sh PROGRAM GENDB ARTIFACTS [WM_CLOSE]}
GENDB=${2:?usage: run_e2e.sh PROGRAM GENDB ARTIFACTS [WM_CLOSE]}
ARTIFACTS=${3:?usage: run_e2e.sh PROGRAM GENDB ARTIFACTS [WM_CLOSE]}
CLOSER=${4:-}

readonly CAPTION='Сарвино- городской справочник'
readonly TABLE='"главная"'
readonly CLIENT_W=1006 CLIENT_H=651
# The window background, 0xFBFEDE as 0x00BBGGRR: RGB(222,254,251).
readonly BACKGROUND=DEFEFB
# Grid geometry in client pixels: DBGrid1 at (0,88), a one-pixel frame, a
# 17-pixel title row, then 17-pixel rows; the record indicator column spans
# x 1-11, "название" x 13-177 and "адрес" x 179-331.
readonly GRID_TOP=88 ROW_H=17 FIRST_ROW_TOP=106
readonly NAME_X=16 NAME_W=150 ADDR_X=181 ADDR_W=148 ADDR_CLICK_X=250

PASSED=0
FAILED=0
WORK=""
XVFB_PID=""
APP_PID=""
CASE_PROBLEMS=()

# ---------------------------------------------------------------- clean-up

stop_program() {
    [ -n "$APP_PID" ] || return 0
    if kill -0 "$APP_PID" 2>/dev/null; then
        kill -TERM "$APP_PID" 2>/dev/null
        wait_for 3 program_ended || kill -KILL "$APP_PID" 2>/dev/null
    fi
    wait "$APP_PID" 2>/dev/null
    APP_PID=""
}

cleanup() {
    stop_program
    if [ -n "$XVFB_PID" ]; then
        kill -TERM "$XVFB_PID" 2>/dev/null
        wait "$XVFB_PID" 2>/dev/null
        XVFB_PID=""
    fi
    if [ -n "$WORK" ] && [ -d "$WORK" ]; then
        rm -rf "$WORK"
    fi
}
trap cleanup EXIT
trap 'exit 130' INT
trap 'exit 143' TERM

# ---------------------------------------------------------------- helpers

now_ms() { date +%s%3N; }

# wait_for SECONDS COMMAND...: runs COMMAND every 0.1 s until it succeeds.
wait_for() {
    local limit=$(( $(now_ms) + $1 * 1000 ))
    shift
    while :; do
        "$@" && return 0
        [ "$(now_ms)" -ge "$limit" ] && return 1
        sleep 0.1
    done
}

problem() { CASE_PROBLEMS+=("$*"); }
elapsed() { awk -v ms=$(( $(now_ms) - CASE_STARTED )) 'BEGIN { printf "%.1f s", ms / 1000 }'; }

begin_case() {
    CASE_NAME=$1
    CASE_PROBLEMS=()
    CASE_STARTED=$(now_ms)
    CASE_DIR="$WORK/$2"
    mkdir -p "$CASE_DIR/run" "$CASE_DIR/home"
    make_home "$CASE_DIR/home"
}

end_case() {
    stop_program
    verdict "$CASE_NAME"
}

# verdict NAME: prints the line of one case from the problems noted so far and
# starts a new list; the program keeps running.
verdict() {
    CASE_NAME=$1
    if [ ${#CASE_PROBLEMS[@]} -eq 0 ]; then
        echo "PASS: $CASE_NAME ($(elapsed))"
        PASSED=$((PASSED + 1))
    else
        local p
        for p in "${CASE_PROBLEMS[@]}"; do
            echo "    $p"
        done
        echo "FAIL: $CASE_NAME ($(elapsed))"
        FAILED=$((FAILED + 1))
    fi
    CASE_PROBLEMS=()
}

# Each case gets its own home and XDG folders, so nothing reaches the real
# profile or desktop.
make_home() {
    local home=$1
    export HOME="$home"
    export XDG_CONFIG_HOME="$home/.config"
    export XDG_DATA_HOME="$home/.local/share"
    export XDG_CACHE_HOME="$home/.cache"
    export XDG_RUNTIME_DIR="$home/.runtime"
    export XDG_DESKTOP_DIR="$home/Desktop"
    mkdir -p "$XDG_CONFIG_HOME" "$XDG_DATA_HOME" "$XDG_CACHE_HOME" "$XDG_RUNTIME_DIR" "$XDG_DESKTOP_DIR"
    chmod 0700 "$XDG_RUNTIME_DIR"
}

sql() { sqlite3 -batch "$1" "$2" 2>&1; }
dump() { sql "$1" "SELECT * FROM $TABLE ORDER BY \"Код\""; }
address_of() { sql "$1" "SELECT \"адрес\" FROM $TABLE WHERE \"Код\"=$2"; }

# ---------------------------------------------------------------- X server

start_xvfb() {
    local n lock
    for n in $(seq 90 99); do
        [ -e "/tmp/.X11-unix/X$n" ] && continue
        lock="/tmp/.X$n-lock"
        [ -e "$lock" ] && continue
        Xvfb ":$n" -screen 0 1280x1024x24 -nolisten tcp -noreset >"$WORK/xvfb-$n.log" 2>&1 &
        XVFB_PID=$!
        # Ready when it answers and the display's lock is ours (another run
        # may have taken the same number a moment earlier).
        if wait_for 15 xvfb_answers "$n" && xvfb_owns "$n"; then
            export DISPLAY=":$n"
            return 0
        fi
        kill -TERM "$XVFB_PID" 2>/dev/null
        wait "$XVFB_PID" 2>/dev/null
        XVFB_PID=""
    done
    return 1
}

# The server answers, or has given up (then the caller tries the next number).
xvfb_answers() {
    kill -0 "$XVFB_PID" 2>/dev/null || return 0
    xdpyinfo -display ":$1" >/dev/null 2>&1
}
xvfb_owns() {
    kill -0 "$XVFB_PID" 2>/dev/null && [ "$(tr -dc 0-9 <"/tmp/.X$1-lock" 2>/dev/null)" = "$XVFB_PID" ] \
        && xdpyinfo -display ":$1" >/dev/null 2>&1
}

# ---------------------------------------------------------------- program

# start_program DIR: starts DIR/Sarwino from another folder, so that only the
# executable's own folder can lead it to its database.
start_program() {
    local dir=$1
    cp "$MASTER" "$dir/Sarwino"
    (cd "$WORK/elsewhere" && exec "$dir/Sarwino") >"$CASE_DIR/program.log" 2>&1 &
    APP_PID=$!
}

# copied_whole COPY: copies the program once it is executable and has stayed
# the same for a second (a copy taken while a build rewrites it would be cut
# short).
copied_whole() {
    local before
    [ -x "$PROGRAM" ] || return 1
    before=$(stat -c '%s %Y' "$PROGRAM")
    cp "$PROGRAM" "$1" 2>/dev/null || return 1
    sleep 1
    [ -x "$PROGRAM" ] && [ "$(stat -c '%s %Y' "$PROGRAM")" = "$before" ] && cmp -s "$PROGRAM" "$1"
}

# visible_windows: the program's mapped top-level windows, one id a line.
visible_windows() { xdotool search --onlyvisible --pid "$APP_PID" 2>/dev/null; }
visible_count() { visible_windows | grep -c .; }
window_title() { xprop -id "$1" _NET_WM_NAME 2>/dev/null | sed -n 's/^_NET_WM_NAME(UTF8_STRING) = "\(.*\)"$/\1/p'; }
window_gone() { ! xwininfo -id "$1" 2>/dev/null | grep -q 'IsViewable'; }
program_ended() { ! kill -0 "$APP_PID" 2>/dev/null; }

# find_main_window: waits for the main window, sets MAIN and its geometry:
# WIN_X, WIN_Y (top-left on the screen), WIN_W, WIN_H, MENU_H (the menu bar
# above the client area) and CX, CY (the client area's top-left).
find_main_window() {
    local limit=$(( $(now_ms) + 20000 ))
    MAIN=""
    while [ -z "$MAIN" ] && [ "$(now_ms)" -lt "$limit" ]; do
        if program_ended; then
            problem "the program ended before its main window showed: $(tail -n 2 "$CASE_DIR/program.log" | tr '\n' ' ')"
            return 1
        fi
        MAIN=$(timeout 2 xdotool search --sync --onlyvisible --pid "$APP_PID" --name "^${CAPTION}\$" 2>/dev/null | head -n 1)
    done
    if [ -z "$MAIN" ]; then
        problem "the main window did not appear within 20 s"
        return 1
    fi
    local info
    info=$(xwininfo -id "$MAIN")
    WIN_X=$(sed -n 's/^ *Absolute upper-left X: *//p' <<<"$info")
    WIN_Y=$(sed -n 's/^ *Absolute upper-left Y: *//p' <<<"$info")
    WIN_W=$(sed -n 's/^ *Width: *//p' <<<"$info")
    WIN_H=$(sed -n 's/^ *Height: *//p' <<<"$info")
    MENU_H=$((WIN_H - CLIENT_H))
    CX=$WIN_X
    CY=$((WIN_Y + MENU_H))
    # Painted when the background shows in the bottom area.
    if ! wait_for 15 pixel_is 20 515 "$BACKGROUND"; then
        problem "the main window was not painted within 15 s"
        return 1
    fi
}

# Screen reading. Points are client coordinates of the main window.
SHOT="" # set in main
snap() { import -display "$DISPLAY" -window root "$SHOT" 2>/dev/null; }
pixel() { convert "$SHOT" -format "%[hex:p{$((CX + $1)),$((CY + $2))}]" info: 2>/dev/null | cut -c1-6; }
pixel_is() { snap && [ "$(pixel "$1" "$2")" = "$3" ]; }
# mean grey level (0 black .. 1 white) of a client rectangle X Y W H
mean_grey() {
    convert "$SHOT" -crop "$3x$4+$((CX + $1))+$((CY + $2))" +repage -colorspace Gray -format '%[fx:mean]' info: 2>/dev/null
}
min_grey() {
    convert "$SHOT" -crop "$3x$4+$((CX + $1))+$((CY + $2))" +repage -colorspace Gray -format '%[fx:minima]' info: 2>/dev/null
}
row_top() { echo $((FIRST_ROW_TOP + ROW_H * $1)); }
# The current cell is filled with the selection colour; a plain cell or an
# open editor is white with dark text.
address_cell_selected() {
    snap || return 1
    local m
    m=$(mean_grey "$ADDR_X" "$(( $(row_top "$1") + 1 ))" "$ADDR_W" $((ROW_H - 2)))
    awk -v m="${m:-1}" 'BEGIN { exit !(m < 0.75) }'
}
address_cell_editing() { ! address_cell_selected "$1"; }
name_cell_selected() {
    snap || return 1
    local m
    m=$(mean_grey "$NAME_X" "$(( $(row_top "$1") + 1 ))" "$NAME_W" $((ROW_H - 2)))
    awk -v m="${m:-1}" 'BEGIN { exit !(m < 0.75) }'
}
# record_current ROW: the grid shows ROW current, in the name or the address
# column.
record_current() { address_cell_selected "$1" || name_cell_selected "$1"; }
# indicator_marked ROW: the record indicator cell of ROW holds a dark mark.
indicator_marked() {
    snap || return 1
    local m
    m=$(min_grey 1 "$(( $(row_top "$1") + 1 ))" 10 $((ROW_H - 2)))
    awk -v m="${m:-1}" 'BEGIN { exit !(m < 0.3) }'
}
# save_shot NAME: the whole screen and the main window alone.
save_shot() {
    snap
    cp "$SHOT" "$ARTIFACTS/$1-screen.png"
    if [ -n "${MAIN:-}" ]; then
        convert "$SHOT" -crop "${WIN_W}x${WIN_H}+${WIN_X}+${WIN_Y}" +repage "$ARTIFACTS/$1-window.png" 2>/dev/null
    fi
}
# grid_fingerprint: a checksum of what the grid shows.
grid_fingerprint() {
    snap
    convert "$SHOT" -crop "753x417+$CX+$((CY + GRID_TOP))" +repage rgb:- 2>/dev/null | md5sum | cut -d' ' -f1
}
# grid_settled: the grid looks the same twice, 0.3 s apart.
grid_settled() {
    local a b
    a=$(grid_fingerprint)
    sleep 0.3
    b=$(grid_fingerprint)
    [ "$a" = "$b" ] && SETTLED=$b
}

# (Not mousemove --sync: it waits for a move that never comes when the pointer
# is already there.)
click_client() {
    local x=$((CX + $1)) y=$((CY + $2))
    xdotool mousemove "$x" "$y"
    wait_for 5 pointer_at "$x" "$y"
    xdotool click 1
}
pointer_at() { [ "$(xdotool getmouselocation --shell 2>/dev/null | sed -n 's/^[XY]=//p' | tr '\n' ' ')" = "$1 $2 " ]; }
click_address() { click_client "$ADDR_CLICK_X" $(( $(row_top "$1") + ROW_H / 2 )); }
keys() { xdotool key --delay 40 "$@"; }
type_text() { LC_ALL=C.UTF-8 xdotool type --delay 40 -- "$1"; }

# wait_box: waits for a second visible window of the program (a message box
# over the main window, or the first window at all when MAIN is empty); sets BOX.
wait_box() {
    local end=$(( $(now_ms) + 15000 )) w
    BOX=""
    while [ "$(now_ms)" -lt "$end" ]; do
        program_ended && return 1
        for w in $(visible_windows); do
            [ "$w" != "${MAIN:-}" ] && BOX=$w && return 0
        done
        sleep 0.1
    done
    return 1
}

# make_db PATH: a fresh sample of 30 records.
make_db() {
    "$GENDB" --out "$1" --records 30 --seed 7 >"$CASE_DIR/gendb.log" 2>&1
}

# ================================================================ cases

case_start() {
    begin_case "start: caption, client size, background colour" 01-start
    local dir="$CASE_DIR/run"
    make_db "$dir/Sarvino.mdb" || { problem "gendb failed"; end_case; return; }
    start_program "$dir"
    if find_main_window; then
        save_shot 01-start
        local name wmname
        name=$(window_title "$MAIN")
        [ "$name" = "$CAPTION" ] || problem "_NET_WM_NAME is '$name', expected '$CAPTION'"
        wmname=$(LC_ALL=C.UTF-8 xprop -id "$MAIN" WM_NAME | sed -n 's/^WM_NAME([A-Z_]*) = "\(.*\)"$/\1/p')
        [ "$wmname" = "$CAPTION" ] || problem "WM_NAME is '$wmname', expected '$CAPTION'"
        [ "$WIN_W" -eq "$CLIENT_W" ] || problem "window width $WIN_W, expected $CLIENT_W"
        if [ "$MENU_H" -lt 15 ] || [ "$MENU_H" -gt 40 ]; then
            problem "window height $WIN_H leaves a menu bar of $MENU_H px over a $CLIENT_H px client area"
        fi
        # The menu bar has one colour at its right end, where no item is.
        snap
        local menu_bg
        menu_bg=$(convert "$SHOT" -crop "200x1+$((WIN_X + 780))+$((WIN_Y + MENU_H / 2))" +repage -format '%k' info: 2>/dev/null)
        [ "$menu_bg" = 1 ] || problem "the right end of the menu bar is not plain ($menu_bg colours)"
        # The pale cyan shows between the strips around the search box and
        # the sort group.
        local p colour
        for p in "20 515" "20 568" "250 540" "590 515" "740 568" "670 540"; do
            colour=$(pixel "${p% *}" "${p#* }")
            [ "$colour" = "$BACKGROUND" ] || problem "client point ($p) is #$colour, expected #$BACKGROUND"
        done
        local count
        count=$(visible_count)
        [ "$count" -eq 1 ] || problem "$count visible windows at start, expected the main window alone"
        verdict "$CASE_NAME"
        # The table opens on its first record, which the indicator marks.
        indicator_marked 0 || problem "the record indicator column shows no mark beside the first (current) record"
        CASE_NAME="start: the record indicator marks the current record"
    fi
    end_case
}

# question_barrier WHEN: Ctrl+Delete, then Escape on the question. Keys are
# handled in order, so once the question shows every earlier key has been
# dealt with; the question must be the only window over the main one.
question_barrier() {
    keys ctrl+Delete
    if ! wait_box; then
        problem "Ctrl+Delete $1 showed no question (the grid may have lost the focus)"
        return 1
    fi
    local count title
    count=$(visible_count)
    title=$(window_title "$BOX")
    [ "$count" -eq 2 ] || problem "$count visible windows $1 with the delete question, expected 2"
    keys Escape
    wait_for 10 window_gone "$BOX" || problem "the box '$title' did not close on Escape"
}

case_no_insert() {
    begin_case "Insert, Down on the last record and Tab past the last cell add nothing" 02-no-insert
    local dir="$CASE_DIR/run" before after
    make_db "$dir/Sarvino.mdb" || { problem "gendb failed"; end_case; return; }
    before=$(dump "$dir/Sarvino.mdb")
    start_program "$dir"
    if find_main_window; then
        click_address 1
        wait_for 10 address_cell_selected 1 || problem "clicking the second record's address did not select that cell"
        # Each picture of the grid is taken after a question has come and
        # gone, so that all of them show the grid in the same focus state.
        question_barrier "after the click"
        SETTLED=""
        wait_for 10 grid_settled || problem "the grid kept changing after the click"
        local at_click=$SETTLED
        keys Insert
        question_barrier "after Insert"
        SETTLED=""
        wait_for 10 grid_settled || problem "the grid kept changing after Insert"
        save_shot 02-no-insert-after-insert
        [ "$SETTLED" = "$at_click" ] || problem "Insert changed the grid (a new row shown)"
        keys ctrl+End
        question_barrier "after Ctrl+End"
        SETTLED=""
        wait_for 10 grid_settled || problem "the grid kept changing after Ctrl+End"
        local at_end=$SETTLED
        save_shot 02-no-insert-last-record
        keys Down Down Down
        question_barrier "after Down on the last record"
        SETTLED=""
        wait_for 10 grid_settled || problem "the grid kept changing after Down"
        save_shot 02-no-insert-after-down
        [ "$SETTLED" = "$at_end" ] || problem "Down on the last record changed the grid (a row appended or the cursor moved)"
        # From the address column three Tabs reach the last column; the
        # others would go past it.
        keys Tab Tab Tab
        question_barrier "after Tab to the last cell"
        SETTLED=""
        wait_for 10 grid_settled || problem "the grid kept changing after Tab"
        local at_last_cell=$SETTLED
        save_shot 02-no-insert-last-cell
        keys Tab Tab Tab Tab
        question_barrier "after Tab from the last cell"
        SETTLED=""
        wait_for 10 grid_settled || problem "the grid kept changing after Tab"
        [ "$SETTLED" = "$at_last_cell" ] || problem "Tab from the last cell of the last record changed the grid (a row appended or the cursor moved)"
        save_shot 02-no-insert-end
        local count
        count=$(visible_count)
        [ "$count" -eq 1 ] || problem "$count visible windows at the end, expected the main window alone"
    fi
    after=$(dump "$dir/Sarvino.mdb")
    [ "$before" = "$after" ] || problem "the database changed: $(diff <(echo "$before") <(echo "$after") | head -n 5 | tr '\n' ' ')"
    end_case
}

# edit_first_address NEWTEXT: clicks the first record's address, types
# NEWTEXT and presses Enter; leaves the record current with the editor closed.
edit_first_address() {
    click_address 0
    wait_for 10 address_cell_selected 0 || { problem "clicking the first record's address did not select it"; return 1; }
    type_text "$1"
    wait_for 10 address_cell_editing 0 || { problem "typing did not open the cell editor"; return 1; }
    keys Return
    wait_for 10 address_cell_selected 0 || { problem "Enter did not close the cell editor"; return 1; }
}

address_is() { [ "$(address_of "$1" "$2")" = "$3" ]; }

case_edit() {
    begin_case "an edited address reaches the file when the record is left, not before" 03-edit
    local dir="$CASE_DIR/run" db new='Тестовая ул., 1' old
    db="$dir/Sarvino.mdb"
    make_db "$db" || { problem "gendb failed"; end_case; return; }
    old=$(address_of "$db" 1)
    start_program "$dir"
    local column_kept=""
    if find_main_window && edit_first_address "$new"; then
        save_shot 03-edit-before-leaving
        local now
        now=$(address_of "$db" 1)
        [ "$now" = "$old" ] || problem "before leaving the record the file already holds '$now' (expected still '$old')"
        keys Down
        if wait_for 10 address_is "$db" 1 "$new"; then
            # Everything else is as it was.
            cp "$db" "$CASE_DIR/expected.mdb"
            sql "$CASE_DIR/expected.mdb" "UPDATE $TABLE SET \"адрес\"='$new' WHERE \"Код\"=1" >/dev/null
            [ "$(dump "$db")" = "$(dump "$CASE_DIR/expected.mdb")" ] || problem "more than the one address changed in the file"
        else
            problem "after Down the file holds '$(address_of "$db" 1)', expected '$new'"
        fi
        if wait_for 10 record_current 1; then
            address_cell_selected 1 && column_kept=yes
        else
            problem "Down did not move to the second record"
        fi
        save_shot 03-edit-after-leaving
        local count
        count=$(visible_count)
        [ "$count" -eq 1 ] || problem "$count visible windows, expected the main window alone"
        verdict "$CASE_NAME"
        CASE_NAME="Down that posts an edit keeps the current column"
        [ -n "$column_kept" ] || problem "after Down the second record's 'адрес' cell is not the current one (the current cell left the column)"
    fi
    end_case
}

case_kill() {
    begin_case "an address posted by leaving the record survives kill -9" 04-kill
    local dir="$CASE_DIR/run" db new='Убитая ул., 9'
    db="$dir/Sarvino.mdb"
    make_db "$db" || { problem "gendb failed"; end_case; return; }
    start_program "$dir"
    if find_main_window && edit_first_address "$new"; then
        keys Down
        # Killed as soon as the grid shows the next record current.
        if wait_for 10 record_current 1; then
            kill -KILL "$APP_PID"
            wait "$APP_PID" 2>/dev/null
            APP_PID=""
            local now check
            now=$(address_of "$db" 1)
            [ "$now" = "$new" ] || problem "after kill -9 the file holds '$now', expected '$new'"
            check=$(sql "$db" "PRAGMA integrity_check")
            [ "$check" = ok ] || problem "integrity_check says: $check"
        else
            problem "Down did not move to the second record"
        fi
    fi
    end_case
}

case_delete() {
    begin_case "Ctrl+Delete: Escape keeps the record, Enter deletes it" 05-delete
    local dir="$CASE_DIR/run" db before key
    db="$dir/Sarvino.mdb"
    make_db "$db" || { problem "gendb failed"; end_case; return; }
    before=$(dump "$db")
    # The grid lists the records in the file's order; the third one goes.
    key=$(sql "$db" "SELECT \"Код\" FROM $TABLE ORDER BY rowid LIMIT 1 OFFSET 2")
    start_program "$dir"
    if find_main_window; then
        click_address 2
        wait_for 10 address_cell_selected 2 || problem "clicking the third record's address did not select it"
        keys ctrl+Delete
        if wait_box; then
            save_shot 05-delete-question
            local count
            count=$(visible_count)
            [ "$count" -eq 2 ] || problem "$count visible windows with the question, expected 2"
            keys Escape
            wait_for 10 window_gone "$BOX" || problem "the question did not close on Escape"
            [ "$(dump "$db")" = "$before" ] || problem "the file changed after the question was cancelled"
        else
            problem "Ctrl+Delete showed no question"
        fi
        keys ctrl+Delete
        if wait_box; then
            keys Return
            wait_for 10 window_gone "$BOX" || problem "the question did not close on Enter"
            if wait_for 10 record_count_is "$db" 29; then
                [ -z "$(sql "$db" "SELECT 1 FROM $TABLE WHERE \"Код\"=$key")" ] \
                    || problem "record $key is still in the file; another one went"
                local expected
                expected=$(grep -v "^$key|" <<<"$before")
                [ "$(dump "$db")" = "$expected" ] || problem "the other records changed"
            else
                problem "the file holds $(sql "$db" "SELECT count(*) FROM $TABLE") records after the delete, expected 29"
            fi
        else
            problem "the second Ctrl+Delete showed no question"
        fi
        save_shot 05-delete-end
        local count
        count=$(visible_count)
        [ "$count" -eq 1 ] || problem "$count visible windows at the end, expected 1"
    fi
    end_case
}

record_count_is() { [ "$(sql "$1" "SELECT count(*) FROM $TABLE")" = "$2" ]; }

case_missing_db() {
    begin_case "missing database: one message box titled with the program's name, then an empty grid" 06-missing
    local dir="$CASE_DIR/run"
    start_program "$dir"
    MAIN=""
    if wait_box; then
        # Let a second box, if any, come up too.
        sleep 1
        local count title type
        count=$(visible_count)
        title=$(window_title "$BOX")
        type=$(xprop -id "$BOX" _NET_WM_WINDOW_TYPE 2>/dev/null)
        save_shot 06-missing-box
        [ "$count" -eq 1 ] || problem "$count visible windows while the error shows, expected the message box alone"
        [ "$title" = Sarwino ] || problem "the message box is titled '$title', expected 'Sarwino'"
        grep -q _NET_WM_WINDOW_TYPE_DIALOG <<<"$type" || problem "the message box is not a dialog window ($type)"
        xdotool windowfocus "$BOX" 2>/dev/null
        keys Return
        if find_main_window; then
            save_shot 06-missing-main
            count=$(visible_count)
            [ "$count" -eq 1 ] || problem "$count visible windows after the message, expected the main window alone"
            [ "$(window_title "$MAIN")" = "$CAPTION" ] || problem "the main window is titled '$(window_title "$MAIN")'"
            # No rows: the grid's body below the title row is plain white.
            snap
            local darkest
            darkest=$(min_grey 14 "$FIRST_ROW_TOP" 720 380)
            [ "$darkest" = 1 ] || problem "the grid is not empty (darkest grey $darkest)"
        fi
    else
        problem "no window appeared within 15 s"
    fi
    [ ! -e "$dir/Sarvino.mdb" ] || problem "the start created Sarvino.mdb"
    [ ! -e "$WORK/elsewhere/Sarvino.mdb" ] || problem "the start created Sarvino.mdb in the current folder"
    local extra="" f
    for f in "$dir"/* "$dir"/.[!.]*; do
        [ -e "$f" ] && [ "$f" != "$dir/Sarwino" ] && extra="$extra ${f##*/}"
    done
    [ -z "$extra" ] || problem "the start left files beside the program:$extra"
    extra=$(ls -A "$XDG_DESKTOP_DIR")
    [ -z "$extra" ] || problem "the failed start wrote to the desktop: $extra"
    end_case
}

case_close() {
    local title="closing the main window saves the edit still pending"
    if [ -z "$CLOSER" ] || [ ! -x "$CLOSER" ]; then
        echo "SKIP: $title (no wm_close helper was built)"
        return
    fi
    begin_case "$title" 07-close
    local dir="$CASE_DIR/run" db new='Закрытая ул., 7' old
    db="$dir/Sarvino.mdb"
    make_db "$db" || { problem "gendb failed"; end_case; return; }
    old=$(address_of "$db" 1)
    start_program "$dir"
    if find_main_window && edit_first_address "$new"; then
        [ "$(address_of "$db" 1)" = "$old" ] || problem "the file already holds the edit before the close"
        "$CLOSER" "$MAIN" || problem "wm_close failed"
        if wait_for 15 program_ended; then
            local status
            wait "$APP_PID"
            status=$?
            APP_PID=""
            [ "$status" -eq 0 ] || problem "the program exited with status $status"
            local now check
            now=$(address_of "$db" 1)
            [ "$now" = "$new" ] || problem "after the close the file holds '$now', expected '$new'"
            check=$(sql "$db" "PRAGMA integrity_check")
            [ "$check" = ok ] || problem "integrity_check says: $check"
        else
            save_shot 07-close-still-running
            problem "the program did not end within 15 s of the close request"
        fi
    fi
    end_case
}

# ================================================================ main

for tool in Xvfb xdotool xdpyinfo xwininfo xprop import convert sqlite3 timeout awk md5sum; do
    if ! command -v "$tool" >/dev/null 2>&1; then
        echo "FAIL: the end-to-end tests need $tool (tools/bootstrap.sh installs it)"
        echo "0 passed, 1 failed"
        exit 1
    fi
done

WORK=$(mktemp -d "${TMPDIR:-/tmp}/sarwino-e2e.XXXXXX") || exit 1
mkdir -p "$WORK/elsewhere"
SHOT="$WORK/shot.png"
MASTER="$WORK/Sarwino"
if ! wait_for 60 copied_whole "$MASTER"; then
    echo "FAIL: could not take a whole copy of $PROGRAM"
    echo "0 passed, 1 failed"
    exit 1
fi
mkdir -p "$ARTIFACTS"
rm -f "$ARTIFACTS"/*.png "$ARTIFACTS"/*.log

# Only this run's X server, no session services, no settings from outside.
unset WAYLAND_DISPLAY SESSION_MANAGER QT_STYLE_OVERRIDE QT_SCALE_FACTOR QT_SCREEN_SCALE_FACTORS QT_FONT_DPI
export QT_QPA_PLATFORM=xcb
export QT_AUTO_SCREEN_SCALE_FACTOR=0
export QT_ACCESSIBILITY=0 NO_AT_BRIDGE=1
export DBUS_SESSION_BUS_ADDRESS="unix:path=$WORK/no-session-bus"
export LC_ALL=C.UTF-8
make_home "$WORK/home"

if ! start_xvfb; then
    echo "FAIL: no Xvfb display could be started on :90 to :99"
    echo "0 passed, 1 failed"
    exit 1
fi
# A Russian layout in the second group gives every Cyrillic letter a key of
# its own; without it xdotool rebinds one spare key for each such letter and
# the program, when busy, may read some of them with the wrong binding.
if ! setxkbmap -display "$DISPLAY" -layout us,ru >/dev/null 2>&1; then
    echo "    (setxkbmap could not add a Russian layout; Cyrillic typing may drop letters)"
fi

for name in ${E2E_CASES:-start no_insert edit kill delete missing_db close}; do
    "case_$name"
done

# Keep the program's output of every case beside the screenshots.
for log in "$WORK"/*/program.log; do
    [ -e "$log" ] && cp "$log" "$ARTIFACTS/$(basename "$(dirname "$log")")-program.log"
done

echo "$PASSED passed, $FAILED failed"
[ "$FAILED" -eq 0 ]
