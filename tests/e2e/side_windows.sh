#!/bin/bash
# End-to-end tests of how the side windows (bus timetables, add-record, about)
# hold the main window, under openbox with real input: cycles of opening one,
# minimising it with its title-bar button, activating the main window as a
# taskbar click does, and closing it; the main window's look while one is
# open; and the end of the program on SIGTERM with a side window or a message
# box open.
#
# SIDE_CYCLES (default 20) sets the number of cycles per window.
source "$(dirname "$0")/lib.sh"

readonly BUS_TITLE='Городские автобусы'
readonly ADD_TITLE='Добавить запись ...'
readonly ABOUT_TITLE='О программе...'
readonly CYCLES=${SIDE_CYCLES:-20}
# openbox's default theme: the title-bar buttons, counted from the frame's
# right edge: close, maximise (shown disabled on a fixed-size window),
# minimise.
readonly CLOSE_OFFSET=10 MINIMISE_OFFSET=42

# ---------------------------------------------------------------- helpers

# title_button OFFSET: clicks the side window's title-bar button OFFSET
# pixels left of its frame's right edge.
title_button() {
    local x=$((FX + FW - $1)) y=$((FY + (SY - FY) / 2))
    xdotool mousemove "$x" "$y"
    wait_for 5 pointer_at "$x" "$y"
    xdotool click 1
}
side_click() {
    xdotool mousemove "$((SX + $1))" "$((SY + $2))"
    wait_for 5 pointer_at "$((SX + $1))" "$((SY + $2))"
    xdotool click 1
}
# How each window is closed: the bus window by its close box, the
# information windows by their "Закрыть" button.
close_bus() { title_button "$CLOSE_OFFSET"; }
close_add_record() { side_click 213 220; }
close_about() { side_click 210 268; }

hidden() { xprop -id "$1" _NET_WM_STATE 2>/dev/null | grep -q _NET_WM_STATE_HIDDEN; }
both_shown() { window_shown "$MAIN" && window_shown "$SIDE" && ! hidden "$MAIN" && ! hidden "$SIDE"; }
active_window() { xprop -root _NET_ACTIVE_WINDOW 2>/dev/null | sed -n 's/.*window id # \(0x[0-9a-f]*\).*/\1/p'; }
side_active() { [ "$(($(active_window)))" = "$((SIDE))" ]; }
main_active() { [ "$(($(active_window)))" = "$((MAIN))" ]; }

# The main window takes input: a click selects a grid row (rows 2 and 3 lie
# above the centred side windows).
main_takes_input() {
    local attempt
    for attempt in 1 2 3; do
        click_address "$1"
        wait_for 3 address_cell_selected "$1" && return 0
    done
    return 1
}

# minimised_seen: the spy on the side window's WM_STATE (the case's spy.txt)
# saw it minimised: the state Iconic, or, when the window came back before
# the spy read the property, two changes after the first reading.
minimised_seen() {
    grep -q 'window state: Iconic' "$CASE_DIR/spy.txt" 2>/dev/null \
        || [ "$(grep -c 'window state:' "$CASE_DIR/spy.txt" 2>/dev/null)" -ge 3 ]
}

# cycles WHAT TITLE: CYCLES times open → minimise → activate the main window
# → close, checking each step.
cycles() {
    local what=$1 title=$2 n row spy=""
    for n in $(seq 1 "$CYCLES"); do
        "open_$what"
        if ! find_side "$title"; then
            problem "cycle $n: the window did not open"
            save_shot "$what-$n-not-open"
            break
        fi
        # Each showing may be a new X window.
        xprop -spy -id "$SIDE" WM_STATE >"$CASE_DIR/spy.txt" 2>&1 &
        spy=$!
        wait_for 3 grep -q 'window state' "$CASE_DIR/spy.txt"
        title_button "$MINIMISE_OFFSET"
        if ! wait_for 3 minimised_seen; then
            problem "cycle $n: the title-bar minimise button did not minimise the window"
            save_shot "$what-$n-not-minimised"
            break
        fi
        # openbox minimises the main window with its dialog; both come back.
        if ! wait_for 5 both_shown; then
            problem "cycle $n: after the minimise button the windows did not come back (main $(window_shown "$MAIN" && echo shown || echo gone), side $(window_shown "$SIDE" && echo shown || echo gone))"
            save_shot "$what-$n-minimised"
            break
        fi
        # As a taskbar click would: the side window keeps the focus.
        xdotool windowactivate "$MAIN" 2>/dev/null
        if ! wait_for 3 side_active; then
            problem "cycle $n: activating the main window left the focus on $(active_window), not on the side window $SIDE"
            save_shot "$what-$n-activated"
            break
        fi
        kill "$spy" 2>/dev/null
        wait "$spy" 2>/dev/null
        spy=""
        "close_$what"
        if ! wait_for 5 window_gone "$SIDE"; then
            problem "cycle $n: the window did not close"
            save_shot "$what-$n-not-closed"
            break
        fi
        row=$((2 + n % 2))
        if ! main_takes_input "$row"; then
            problem "cycle $n: the main window took no input after the window closed"
            save_shot "$what-$n-dead"
            break
        fi
    done
    if [ -n "$spy" ]; then
        kill "$spy" 2>/dev/null
        wait "$spy" 2>/dev/null
    fi
}

start_case_program() {
    local dir="$CASE_DIR/run"
    make_db "$dir/Sarvino.mdb" || { problem "gendb failed"; return 1; }
    start_program "$dir"
    find_main_window
}

# ---------------------------------------------------------------- cases

# title_of WHAT: the title of the side window bus, add_record or about.
title_of() {
    case $1 in
        bus) echo "$BUS_TITLE" ;;
        add_record) echo "$ADD_TITLE" ;;
        about) echo "$ABOUT_TITLE" ;;
    esac
}

case_cycles() {
    local what title
    for what in bus add_record about; do
        title=$(title_of "$what")
        begin_case "$what window: $CYCLES cycles of open, minimise, activate the main window, close" "01-cycles-$what"
        if start_case_program; then
            cycles "$what" "$title"
            program_ended && problem "the program ended"
        fi
        end_case
    done
}

# The grid, the search box and the buttons keep their colours while the bus
# window is open: the main window takes no input but is not drawn disabled.
case_look() {
    begin_case "main window keeps its look while the bus window is open" 02-look
    if start_case_program; then
        # The part left of where the bus window stands: the grid's first
        # columns, the search box and the "Поиск" and "Очистить" buttons.
        local before after diff
        snap
        convert "$SHOT" -crop "160x560+$CX+$CY" +repage "$WORK/before.png"
        open_bus
        if find_side "$BUS_TITLE"; then
            sleep 0.5
            save_shot 02-look-bus-open
            snap
            convert "$SHOT" -crop "160x560+$CX+$CY" +repage "$WORK/after.png"
            diff=$(compare -metric AE "$WORK/before.png" "$WORK/after.png" null: 2>&1)
            [ "${diff%%.*}" = 0 ] || problem "$diff pixels of the main window's left part changed when the bus window opened"
            xdotool windowactivate "$MAIN" 2>/dev/null
            wait_for 3 side_active || problem "activating the main window took the focus from the bus window"
            snap
            convert "$SHOT" -crop "160x560+$CX+$CY" +repage "$WORK/after.png"
            diff=$(compare -metric AE "$WORK/before.png" "$WORK/after.png" null: 2>&1)
            [ "${diff%%.*}" = 0 ] || problem "$diff pixels of the main window's left part changed when it was activated"
            close_bus
            wait_for 5 window_gone "$SIDE" || problem "the bus window did not close"
        fi
    fi
    end_case
}

# kill_ends_soon WHAT: SIGTERM ends the program within a second.
kill_ends_soon() {
    local started=$(now_ms) status
    kill -TERM "$APP_PID"
    if wait_for 1 program_ended; then
        wait "$APP_PID"
        status=$?
        APP_PID=""
        [ "$status" = 0 ] || problem "$1: the program ended with status $status"
        echo "    ($1: ended $(($(now_ms) - started)) ms after SIGTERM)"
    else
        problem "$1: the program still runs a second after SIGTERM"
        save_shot "kill-$1"
    fi
}

case_term() {
    local what title
    for what in bus add_record about; do
        title=$(title_of "$what")
        begin_case "SIGTERM with the $what window open ends the program and saves the pending edit" "03-term-$what"
        local db="$CASE_DIR/run/Sarvino.mdb" new="Сигнальная ул., 15"
        if start_case_program && edit_first_address "$new"; then
            "open_$what"
            if find_side "$title"; then
                kill_ends_soon "$what window"
                address_is "$db" 1 "$new" || problem "the file holds '$(address_of "$db" 1)', expected the pending '$new'"
            fi
        fi
        end_case
    done

    begin_case "SIGTERM with a message box open ends the program; the box counts as cancelled" 03-term-box
    local db="$CASE_DIR/run/Sarvino.mdb" before
    if start_case_program; then
        before=$(dump "$db")
        click_address 2
        wait_for 10 address_cell_selected 2 || problem "clicking the third record's address did not select it"
        keys ctrl+Delete
        if wait_box; then
            save_shot 03-term-box-question
            kill_ends_soon "delete question"
            [ "$(dump "$db")" = "$before" ] || problem "the file changed: the question was not taken as cancelled"
        else
            problem "Ctrl+Delete showed no question"
        fi
    fi
    end_case
}

e2e_main "$@" -- cycles look term
