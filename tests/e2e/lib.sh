# Shared parts of the end-to-end tests: the program on its own Xvfb display
# under the openbox window manager, driven with real X input (xdotool), the
# database file checked with sqlite3 and the screen with ImageMagick.
#
# A test script sources this file, defines its cases as shell functions named
# case_NAME and ends with
#
#   e2e_main "$@" -- NAME...
#
# where "$@" is PROGRAM GENDB ARTIFACTS [WM_CLOSE]: PROGRAM is the built
# Sarwino, GENDB the sample database generator, ARTIFACTS the folder for this
# script's screenshots and logs (those of an earlier run are removed first),
# WM_CLOSE the helper that sends a window the close request a window manager
# would send. Every case runs its own copy of the program in its own folder
# beside its own small database, so the copy in the build tree is never
# touched. Prints one line per case and a summary; exits non-zero when a case
# failed. E2E_CASES may name some of the cases to run only those.
set -u

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
SANITIZER_LOGS=/nonexistent
FAILED=0
WORK=""
XVFB_PID=""
WM_PID=""
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
    if [ -n "$WM_PID" ]; then
        kill -TERM "$WM_PID" 2>/dev/null
        wait "$WM_PID" 2>/dev/null
        WM_PID=""
    fi
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
    sanitizer_reports
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

# sanitizer_reports: a report written by a program built with the sanitizers
# (AddressSanitizer, LeakSanitizer, UBSan) fails the case it came in; the
# report is kept with the screenshots.
sanitizer_reports() {
    local f
    for f in "$SANITIZER_LOGS"/*; do
        [ -e "$f" ] || continue
        problem "sanitizer report: $(grep -m1 -E 'ERROR|runtime error' "$f" | cut -c1-200)"
        mv "$f" "$ARTIFACTS/$(basename "$f").log"
    done
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
    local fifo="$WORK/displayfd" n=""
    mkfifo "$fifo" || return 1
    # Xvfb picks a free display number itself and writes it to the pipe.
    Xvfb -displayfd 3 -screen 0 "${XVFB_SCREEN:-1280x1024x24}" -nolisten tcp -noreset 3>"$fifo" >"$WORK/xvfb.log" 2>&1 &
    XVFB_PID=$!
    read -r -t 20 n <"$fifo"
    rm -f "$fifo"
    if [ -z "$n" ]; then
        kill -TERM "$XVFB_PID" 2>/dev/null
        XVFB_PID=""
        return 1
    fi
    export DISPLAY=":$n"
    wait_for 15 xdpyinfo_ok
}
xdpyinfo_ok() { xdpyinfo >/dev/null 2>&1; }

# start_wm: openbox on the display, so frames, stacking, focus and transient
# windows are what a user sees. Ready once it has announced itself on the
# root window.
start_wm() {
    openbox --sm-disable >"$WORK/openbox.log" 2>&1 &
    WM_PID=$!
    wait_for 15 wm_running
}
wm_running() { xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q 'window id'; }

# frame_of WINDOW: the outermost window around a client window below the
# root: the window manager's frame.
frame_of() {
    local w=$1 line
    while line=$(xwininfo -tree -id "$w" 2>/dev/null | grep 'Parent window id:'); do
        case $line in *'(the root window)'*) echo "$w"; return 0 ;; esac
        w=$(sed -n 's/.*Parent window id: \(0x[0-9a-f]*\).*/\1/p' <<<"$line")
    done
    echo "$w"
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
window_shown() { xwininfo -id "$1" 2>/dev/null | grep -q 'IsViewable'; }
program_ended() { ! kill -0 "$APP_PID" 2>/dev/null; }
# window_box WINDOW: "X Y W H", the place on the screen and the size of a
# window (a frame or a client).
window_box() {
    xwininfo -id "$1" | sed -n -e 's/^ *Absolute upper-left [XY]: *//p' -e 's/^ *Width: *//p' -e 's/^ *Height: *//p' \
        | tr '\n' ' '
    echo
}

# find_side TITLE: waits up to 15 s for the program's visible window of that
# title and then for its frame to stand still (the window manager places it
# once the frame is known); sets SIDE and its geometry (side_geometry). Tells
# the case and fails when no such window appears.
find_side() {
    local end=$(($(now_ms) + 15000)) w before="" now
    SIDE=""
    while [ "$(now_ms)" -lt "$end" ] && [ -z "$SIDE" ]; do
        for w in $(visible_windows); do
            [ "$(window_title "$w")" = "$1" ] && SIDE=$w && break
        done
        [ -n "$SIDE" ] || sleep 0.1
    done
    [ -n "$SIDE" ] || { problem "no window '$1' appeared"; return 1; }
    while [ "$(now_ms)" -lt "$end" ]; do
        now=$(window_box "$(frame_of "$SIDE")" 2>/dev/null)
        [ -n "$now" ] && [ "$now" = "$before" ] && break
        before=$now
        sleep 0.1
    done
    side_geometry
}
# side_geometry: SIDE's client top-left SX SY and size SW SH, its frame's
# top-left FX FY and size FW FH.
side_geometry() {
    read -r SX SY SW SH < <(window_box "$SIDE")
    read -r FX FY FW FH < <(window_box "$(frame_of "$SIDE")")
}

# read_main_geometry: WIN_X, WIN_Y, WIN_W, WIN_H, MENU_H, CX, CY of MAIN.
read_main_geometry() {
    read -r WIN_X WIN_Y WIN_W WIN_H < <(window_box "$MAIN")
    MENU_H=$((WIN_H - CLIENT_H))
    CX=$WIN_X
    CY=$((WIN_Y + MENU_H))
}

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
        MAIN=$(timeout 2 xdotool search --all --sync --onlyvisible --pid "$APP_PID" --name "^${CAPTION}\$" 2>/dev/null | head -n 1)
    done
    if [ -z "$MAIN" ]; then
        problem "the main window did not appear within 20 s"
        return 1
    fi
    read_main_geometry
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
# The main window's menu, with real clicks and keys: click_menu X clicks the
# menu bar entry at client x X; the side windows open from their entries.
click_menu() {
    local x=$((CX + $1)) y=$((WIN_Y + MENU_H / 2))
    xdotool mousemove "$x" "$y"
    wait_for 5 pointer_at "$x" "$y"
    xdotool click 1
}
open_bus() { click_menu 40 && sleep 0.4 && keys Down Return; }
open_add_record() { click_menu 137; }
open_about() { click_menu 233 && sleep 0.4 && keys Down Down Return; }
pointer_at() { [ "$(xdotool getmouselocation --shell 2>/dev/null | sed -n 's/^[XY]=//p' | tr '\n' ' ')" = "$1 $2 " ]; }
click_address() { click_client "$ADDR_CLICK_X" $(( $(row_top "$1") + ROW_H / 2 )); }
keys() { xdotool key --delay 40 "$@"; }
type_text() { LC_ALL=C.UTF-8 xdotool type --delay 40 -- "$1"; }

# count_boxes SECONDS: closes, one by one, every message box the program
# shows within SECONDS of quiet, and prints how many there were. A box is
# closed with Escape, which (unlike Enter) can never ask anything new if it
# strays into the grid's cell editor.
count_boxes() {
    local quiet=$1 n=0 w found
    while :; do
        found=""
        local end=$(( $(now_ms) + quiet * 1000 ))
        while [ "$(now_ms)" -lt "$end" ]; do
            for w in $(visible_windows); do
                if [ "$w" != "$MAIN" ]; then
                    found=$w
                    break
                fi
            done
            [ -n "$found" ] && break
            sleep 0.1
        done
        [ -z "$found" ] && break
        n=$((n + 1))
        LAST_BOX_TEXT=$(window_title "$found")
        xdotool windowactivate --sync "$found" >/dev/null 2>&1
        keys Escape
        wait_for 5 window_gone "$found" || { problem "a message box did not close on Escape"; break; }
        [ "$n" -ge 30 ] && break
    done
    echo "$n"
}

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
record_count_is() { [ "$(sql "$1" "SELECT count(*) FROM $TABLE")" = "$2" ]; }

# make_db PATH: a fresh sample of 30 records.
make_db() {
    "$GENDB" --out "$1" --records 30 --seed 7 >"$CASE_DIR/gendb.log" 2>&1
}


# ================================================================ main

# e2e_main PROGRAM GENDB ARTIFACTS [WM_CLOSE] -- CASE...
e2e_main() {
    PROGRAM=${1:?usage: SCRIPT PROGRAM GENDB ARTIFACTS [WM_CLOSE]}
    GENDB=${2:?usage: SCRIPT PROGRAM GENDB ARTIFACTS [WM_CLOSE]}
    ARTIFACTS=${3:?usage: SCRIPT PROGRAM GENDB ARTIFACTS [WM_CLOSE]}
    CLOSER=""
    shift 3
    if [ $# -gt 0 ] && [ "$1" != -- ]; then CLOSER=$1; shift; fi
    [ "${1:-}" = -- ] && shift
    for tool in Xvfb openbox xdotool xdpyinfo xwininfo xprop import convert sqlite3 timeout awk md5sum; do
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
    # The sanitizers write their reports here, whoever runs the program.
    SANITIZER_LOGS="$WORK/sanitizer-logs"
    mkdir -p "$SANITIZER_LOGS" && chmod 1777 "$SANITIZER_LOGS"
    [ -n "${ASAN_OPTIONS:-}" ] && export ASAN_OPTIONS="$ASAN_OPTIONS:log_path=$SANITIZER_LOGS/asan"
    [ -n "${UBSAN_OPTIONS:-}" ] && export UBSAN_OPTIONS="$UBSAN_OPTIONS:log_path=$SANITIZER_LOGS/ubsan"

    # Only this run's X server, no session services, no settings from outside.
    unset WAYLAND_DISPLAY SESSION_MANAGER QT_STYLE_OVERRIDE QT_SCALE_FACTOR QT_SCREEN_SCALE_FACTORS QT_FONT_DPI
    export QT_QPA_PLATFORM=xcb
    export QT_AUTO_SCREEN_SCALE_FACTOR=0
    export QT_ACCESSIBILITY=0 NO_AT_BRIDGE=1
    export DBUS_SESSION_BUS_ADDRESS="unix:path=$WORK/no-session-bus"
    export LC_ALL=C.UTF-8
    make_home "$WORK/home"

    if ! start_xvfb; then
        echo "FAIL: no Xvfb display could be started"
        echo "0 passed, 1 failed"
        exit 1
    fi
    if ! start_wm; then
        echo "FAIL: the openbox window manager did not start"
        echo "0 passed, 1 failed"
        exit 1
    fi
    # A Russian layout in the second group gives every Cyrillic letter a key of
    # its own; without it xdotool rebinds one spare key for each such letter and
    # the program, when busy, may read some of them with the wrong binding.
    if ! setxkbmap -display "$DISPLAY" -layout us,ru >/dev/null 2>&1; then
        echo "    (setxkbmap could not add a Russian layout; Cyrillic typing may drop letters)"
    fi

    for name in ${E2E_CASES:-$*}; do
        "case_$name"
    done

    # Keep the program's output of every case beside the screenshots.
    for log in "$WORK"/*/program.log; do
        [ -e "$log" ] && cp "$log" "$ARTIFACTS/$(basename "$(dirname "$log")")-program.log"
    done

    echo "$PASSED passed, $FAILED failed"
    [ "$FAILED" -eq 0 ]
}
