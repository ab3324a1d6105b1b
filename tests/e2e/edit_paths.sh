#!/bin/bash
# End-to-end tests that a change still being typed into a cell is never lost:
# whatever the user does next with the editor open (a category, a sort
# button, the search box, its buttons, the wheel, a menu window, closing the
# window), the change is in the file first.
source "$(dirname "$0")/lib.sh"

# Client places (centres) of the controls used.
readonly SEARCH_BOX='100 538' SEARCH_BUTTON='197 540' CLEAR_BUTTON='628 540'
readonly ADDRESS_RADIO='357 544' NAME_RADIO='279 544'
readonly APTEKA='778 277' # "Аптека" in the catalogue
readonly GRID_SPOT='300 200'

stored_once() { [ "$(sql "$DB" "SELECT count(*) FROM $TABLE WHERE \"адрес\"='$1'")" = 1 ]; }

# Back to every record by name with nothing typed anywhere.
show_all() {
    click_client $CLEAR_BUTTON
    sleep 0.3
    wait_for 10 grid_settled
}

# type_then TEXT LABEL ACTION...: types TEXT into the first record's address
# cell, leaves the editor open and does ACTION; TEXT must then be in the file,
# with no message on the way.
type_then() {
    local text=$1 label=$2
    shift 2
    click_address 0
    wait_for 10 address_cell_selected 0 || { problem "$label: clicking the first address did not select it"; return; }
    type_text "$text"
    wait_for 10 address_cell_editing 0 || { problem "$label: typing did not open the cell editor"; return; }
    "$@"
    wait_for 10 stored_once "$text" || problem "$label: the typed address is not in the file"
    local w
    for w in $(visible_windows); do
        [ "$w" != "$MAIN" ] && [ "$(window_title "$w")" = "$TITLE" ] && problem "$label: a message box showed"
    done
}

wheel_down() {
    local x y
    read -r x y <<<"$GRID_SPOT"
    xdotool mousemove $((CX + x)) $((CY + y))
    wait_for 5 pointer_at $((CX + x)) $((CY + y))
    xdotool click 5
}
type_search() {
    click_client $SEARCH_BOX
    type_text "А"
}
close_side_window() {
    local w
    sleep 0.5
    for w in $(visible_windows); do
        if [ "$w" != "$MAIN" ]; then
            xdotool windowactivate --sync "$w" >/dev/null 2>&1
            keys alt+F4
            wait_for 10 window_gone "$w" || problem "the side window did not close"
        fi
    done
}

case_paths() {
    begin_case "a change typed into a cell reaches the file whatever is done next" 21-paths
    local dir="$CASE_DIR/run"
    DB="$dir/Sarvino.mdb"
    TITLE='"Сарвино"- Справочник' # message boxes carry the application title
    make_db "$DB" || { problem "gendb failed"; end_case; return; }
    start_program "$dir"
    if find_main_window; then
        show_all
        type_then "Категория, 1" "a category click" click_client $APTEKA
        show_all
        type_then "Сортировка, 2" "a sort button" click_client $ADDRESS_RADIO
        click_client $NAME_RADIO
        show_all
        type_then "Поиск, 3" "typing a search" type_search
        show_all
        type_then "Кнопка, 4" "the search button" click_client $SEARCH_BUTTON
        show_all
        type_then "Очистка, 5" "the clear button" click_client $CLEAR_BUTTON
        show_all
        type_then "Колесо, 6" "the wheel" wheel_down
        show_all
        type_then "Окно, 7" "a menu window" open_about
        close_side_window
        show_all
        type_then "Закрытие, 8" "closing the window" keys alt+F4
        wait_for 15 program_ended || problem "the program did not end on Alt+F4"
        [ "$(sql "$DB" "PRAGMA integrity_check")" = ok ] || problem "integrity_check failed"
        save_shot 21-paths-end
    fi
    end_case
}

e2e_main "$@" -- paths
