#!/bin/bash
# End-to-end tests of the program's place on the desktop: the mouse wheel as
# the arrow keys (real wheel buttons 4 and 5) and the shortcuts every start
# writes into the user's desktop and menu folders.
source "$(dirname "$0")/lib.sh"

# Sort buttons in client pixels: the middle of each one's round indicator.
readonly NAME_RADIO="279 544" ADDRESS_RADIO="357 544" PHONE_RADIO="415 544"

# wheel BUTTON [COUNT]: turns the wheel, 4 away from the user, 5 towards.
wheel() { xdotool click --repeat "${2:-1}" --delay 60 "$1"; }

# radio_checked "X Y": the indicator there shows the dark dot of a selected button.
radio_checked() {
    local m
    m=$(min_grey $(( ${1% *} - 2 )) $(( ${1#* } - 2 )) 5 5)
    awk -v m="${m:-1}" 'BEGIN { exit !(m < 0.4) }'
}
only_radio_checked() {
    local p
    snap || return 1
    for p in "$NAME_RADIO" "$ADDRESS_RADIO" "$PHONE_RADIO"; do
        if [ "$p" = "$1" ]; then radio_checked "$p" || return 1
        else ! radio_checked "$p" || return 1
        fi
    done
}
# only_record_current ROW: ROW is current and its neighbours are not.
only_record_current() {
    record_current "$1" || return 1
    [ "$1" -eq 0 ] || ! record_current $(( $1 - 1 )) || return 1
    ! record_current $(( $1 + 1 ))
}

make_db20() { "$GENDB" --out "$1" --records 20 --seed 11 >"$CASE_DIR/gendb.log" 2>&1; }

case_wheel_grid() {
    begin_case "wheel in the grid: one row per notch, modifiers ignored, no row appended at the end" 01-wheel-grid
    local dir="$CASE_DIR/run" db before
    db="$dir/Sarvino.mdb"
    make_db20 "$db" || { problem "gendb failed"; end_case; return; }
    before=$(dump "$db")
    start_program "$dir"
    if find_main_window; then
        click_address 0
        wait_for 10 address_cell_selected 0 || problem "clicking the first record's address did not select it"
        wheel 5 3
        wait_for 10 only_record_current 3 || problem "three notches towards the user did not make the fourth record current"
        save_shot 01-wheel-three-down
        wheel 4
        wait_for 10 only_record_current 2 || problem "one notch away did not go back one record"
        xdotool keydown Control_L
        wheel 5
        xdotool keyup Control_L
        wait_for 10 only_record_current 3 || problem "Ctrl with the wheel did not move one record down"
        xdotool keydown Shift_L
        wheel 5
        xdotool keyup Shift_L
        wait_for 10 only_record_current 4 || problem "Shift with the wheel did not move one record down"
        # The focused control takes the keys wherever the pointer is.
        xdotool mousemove $((CX + 870)) $((CY + 300))
        wait_for 5 pointer_at $((CX + 870)) $((CY + 300))
        wheel 5 2
        wait_for 10 only_record_current 6 || problem "the wheel over the catalogue panel did not move the grid"
        save_shot 01-wheel-over-panel
        # Sideways wheel movement (buttons 6 and 7) scrolls the grid sideways
        # and leaves the current record alone.
        xdotool mousemove $((CX + 300)) $((CY + 300))
        wait_for 5 pointer_at $((CX + 300)) $((CY + 300))
        SETTLED=""
        wait_for 10 grid_settled
        local unscrolled=$SETTLED
        wheel 7 3
        SETTLED=""
        wait_for 10 grid_settled
        save_shot 01-wheel-sideways
        [ "$SETTLED" != "$unscrolled" ] || problem "sideways wheel movement did not scroll the grid"
        wheel 6 6
        SETTLED=""
        wait_for 10 grid_settled
        [ "$SETTLED" = "$unscrolled" ] || problem "after scrolling back the grid differs (the record moved?)"
        only_record_current 6 || problem "sideways wheel movement changed the current record"
        keys ctrl+End
        wait_for 10 only_record_current 19 || problem "Ctrl+End did not reach the last record"
        # Three notches past the end, then one back: one record above the
        # last, so the three added nothing and were all handled.
        wheel 5 3
        wheel 4
        wait_for 10 only_record_current 18 || problem "after three notches past the end and one back the record above the last is not current"
        save_shot 01-wheel-end
        local count
        count=$(visible_count)
        [ "$count" -eq 1 ] || problem "$count visible windows, expected the main window alone"
    fi
    [ "$(dump "$db")" = "$before" ] || problem "the database changed"
    end_case
}

case_wheel_sort() {
    begin_case "wheel on the sort buttons: selects the next or previous one and sorts" 02-wheel-sort
    local dir="$CASE_DIR/run"
    make_db20 "$dir/Sarvino.mdb" || { problem "gendb failed"; end_case; return; }
    start_program "$dir"
    if find_main_window; then
        wait_for 10 only_radio_checked "$NAME_RADIO" || problem "at start \"Название\" is not the only selected sort button"
        # The table opens in the file's order.
        SETTLED=""
        wait_for 10 grid_settled
        local at_start=$SETTLED
        # The pointer over the grid: still the focused sort button takes the keys.
        xdotool mousemove $((CX + 300)) $((CY + 200))
        wait_for 5 pointer_at $((CX + 300)) $((CY + 200))
        wheel 5
        wait_for 10 only_radio_checked "$ADDRESS_RADIO" || problem "one notch towards the user did not select \"адрес\""
        SETTLED=""
        wait_for 10 grid_settled
        local by_address=$SETTLED
        [ "$by_address" != "$at_start" ] || problem "the grid did not change its order for \"адрес\""
        save_shot 02-wheel-sort-address
        wheel 5
        wait_for 10 only_radio_checked "$PHONE_RADIO" || problem "a second notch did not select \"Телефон \""
        wheel 4 2
        wait_for 10 only_radio_checked "$NAME_RADIO" || problem "two notches away did not go back to \"Название\""
        SETTLED=""
        wait_for 10 grid_settled
        [ "$SETTLED" != "$by_address" ] || problem "back on \"Название\" the grid kept the address order"
        save_shot 02-wheel-sort-name
    fi
    end_case
}

# exec_value PATH: how an Exec key holds PATH as one argument.
exec_value() {
    printf '"%s"' "$(printf '%s' "$1" | sed -e 's/\\/\\\\/g' -e 's/"/\\"/g' -e 's/\$/\\$/g' -e 's/`/\\`/g' \
        -e 's/%/%%/g' -e 's/\\/\\\\/g')"
}
entry_value() { sed -n "s/^$2=//p" "$1"; }

# files_below FOLDER: every file and link below FOLDER, relative to it, sorted.
files_below() { (cd "$1" && find . \( -type f -o -type l \) | sed 's|^\./||' | LC_ALL=C sort); }

case_shortcuts() {
    begin_case "two starts write one entry each on the desktop and in the menu for the file that ran, nothing elsewhere" 03-shortcuts
    local dir="$CASE_DIR/Мой справочник 'v2' \$1" before_home
    mkdir -p "$dir"
    make_db20 "$dir/Sarvino.mdb" || { problem "gendb failed"; end_case; return; }
    before_home=$(files_below "$HOME")
    local run
    for run in 1 2; do
        if [ "$run" = 1 ]; then
            start_program "$dir"
        else
            # The second start runs under another file name.
            cp "$MASTER" "$dir/Справочник"
            (cd "$WORK/elsewhere" && exec "$dir/Справочник") >>"$CASE_DIR/program.log" 2>&1 &
            APP_PID=$!
        fi
        find_main_window || break
        [ "$run" = 2 ] && save_shot 03-shortcuts-second-start
        stop_program
    done
    # Each start's launchers start the file that ran, named after it.
    local desktop="$XDG_DESKTOP_DIR" menu="$XDG_DATA_HOME/applications" f name expected
    expected=$(printf '%s\n' Sarwino.desktop Справочник.desktop | LC_ALL=C sort | tr '\n' ' ')
    [ "$(ls -A "$desktop" | LC_ALL=C sort | tr '\n' ' ')" = "$expected" ] || problem "the desktop holds '$(ls -A "$desktop" | tr '\n' ' ')', expected $expected"
    [ "$(ls -A "$menu" 2>/dev/null | LC_ALL=C sort | tr '\n' ' ')" = "$expected" ] || problem "the menu folder holds '$(ls -A "$menu" 2>/dev/null | tr '\n' ' ')', expected $expected"
    for name in Sarwino Справочник; do
    for f in "$desktop/$name.desktop" "$menu/$name.desktop"; do
        [ -f "$f" ] || continue
        local said
        said=$(desktop-file-validate "$f" 2>&1) || problem "desktop-file-validate ${f#"$HOME"/}: $said"
        [ -x "$f" ] || problem "${f#"$HOME"/} is not executable"
        [ "$(entry_value "$f" Exec)" = "$(exec_value "$dir/$name")" ] || problem "${f#"$HOME"/} has Exec=$(entry_value "$f" Exec)"
        [ "$(entry_value "$f" Path)" = "$dir/" ] || problem "${f#"$HOME"/} has Path=$(entry_value "$f" Path)"
        [ "$(entry_value "$f" Comment)" = Description ] || problem "${f#"$HOME"/} has Comment=$(entry_value "$f" Comment)"
        [ "$(entry_value "$f" Icon)" = sarwino ] || problem "${f#"$HOME"/} has Icon=$(entry_value "$f" Icon)"
    done
    done
    local icon="$XDG_DATA_HOME/icons/hicolor/32x32/apps/sarwino.png"
    [ "$(identify -format '%wx%h' "$icon" 2>/dev/null)" = 32x32 ] || problem "no 32x32 icon at ${icon#"$HOME"/}"
    # Nothing else in the home folder but caches, nothing beside the program,
    # nothing in the folder it was started from.
    local added
    added=$(comm -13 <(echo "$before_home") <(files_below "$HOME") | grep -v '^\.cache/' \
        | grep -vx -e 'Desktop/Sarwino.desktop' -e '.local/share/applications/Sarwino.desktop' \
            -e 'Desktop/Справочник.desktop' -e '.local/share/applications/Справочник.desktop' \
            -e '.local/share/icons/hicolor/32x32/apps/sarwino.png')
    [ -z "$added" ] || problem "the starts also wrote: $(echo "$added" | tr '\n' ' ')"
    local beside
    beside=$(ls -A "$dir" | grep -vx -e Sarwino -e Справочник -e Sarvino.mdb)
    [ -z "$beside" ] || problem "the starts left files beside the program: $(echo "$beside" | tr '\n' ' ')"
    [ -z "$(ls -A "$WORK/elsewhere")" ] || problem "the starts wrote into the current folder"
    end_case
}

e2e_main "$@" -- wheel_grid wheel_sort shortcuts
