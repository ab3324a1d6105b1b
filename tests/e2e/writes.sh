#!/bin/bash
# End-to-end tests of writing to the directory file: empty texts, values
# longer than their field, a refused write answered by exactly one message,
# and an edit saved when the desktop asks the program to end.
source "$(dirname "$0")/lib.sh"

# The "название" column spans client x 13-177.
readonly NAME_CLICK_X=90
click_name() { click_client "$NAME_CLICK_X" $(( $(row_top "$1") + ROW_H / 2 )); }
value_of() { sql "$1" "SELECT \"$2\" FROM $TABLE WHERE \"Код\"=$3"; }
type_of() { sql "$1" "SELECT typeof(\"$2\") FROM $TABLE WHERE \"Код\"=$3"; }
value_is() { [ "$(value_of "$1" "$2" "$3")" = "$4" ]; }

# The keys of the records in the order the grid lists them at start.
key_at() { sql "$1" "SELECT \"Код\" FROM $TABLE ORDER BY rowid LIMIT 1 OFFSET $2"; }

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

case_empty_text() {
    begin_case "a record with an empty text is deleted, and a cleared cell stays editable" 11-empty
    local dir="$CASE_DIR/run" db second first
    db="$dir/Sarvino.mdb"
    make_db "$db" || { problem "gendb failed"; end_case; return; }
    first=$(key_at "$db" 0)
    second=$(key_at "$db" 1)
    sql "$db" "UPDATE $TABLE SET \"пояснение\"='' WHERE \"Код\"=$second" >/dev/null
    start_program "$dir"
    if find_main_window; then
        click_address 1
        wait_for 10 address_cell_selected 1 || problem "clicking the second record did not select it"
        keys ctrl+Delete
        if wait_box; then
            keys Return
            wait_for 10 window_gone "$BOX" || problem "the question did not close"
            wait_for 10 record_count_is "$db" 29 || problem "the record with an empty note was not deleted"
            [ -z "$(value_of "$db" "название" "$second")" ] || problem "record $second is still in the file"
        else
            problem "Ctrl+Delete asked nothing"
        fi
        local boxes
        boxes=$(count_boxes 1)
        [ "$boxes" -eq 0 ] || problem "$boxes message box(es) after the delete: $LAST_BOX_TEXT"

        # Clearing a cell writes the empty text; the record stays editable.
        click_address 0
        wait_for 10 address_cell_selected 0 || problem "clicking the first record did not select it"
        keys F2 ctrl+a BackSpace Down
        wait_for 10 value_is "$db" "адрес" "$first" "" || problem "the cleared address is '$(value_of "$db" "адрес" "$first")'"
        [ "$(type_of "$db" "адрес" "$first")" = text ] || problem "the cleared address is stored as $(type_of "$db" "адрес" "$first"), not as text"
        click_address 0
        wait_for 10 address_cell_selected 0
        type_text "Новый адрес"
        keys Return Down
        wait_for 10 value_is "$db" "адрес" "$first" "Новый адрес" \
            || problem "after clearing, the address could not be filled in: '$(value_of "$db" "адрес" "$first")'"
        boxes=$(count_boxes 1)
        [ "$boxes" -eq 0 ] || problem "$boxes message box(es) while editing: $LAST_BOX_TEXT"
        save_shot 11-empty-end
    fi
    end_case
}

case_over_long() {
    begin_case "a stored name longer than its field is never cut; changing it is refused once" 12-over-long
    local dir="$CASE_DIR/run" db first long
    db="$dir/Sarvino.mdb"
    make_db "$db" || { problem "gendb failed"; end_case; return; }
    first=$(key_at "$db" 0)
    long=$(printf 'Д%.0s' $(seq 1 155))
    sql "$db" "UPDATE $TABLE SET \"название\"='$long' WHERE \"Код\"=$first" >/dev/null
    start_program "$dir"
    if find_main_window; then
        click_name 0
        keys F2
        sleep 0.3
        keys Down
        wait_for 10 record_current 1 || problem "Down did not move to the second record"
        sleep 0.5
        [ "$(value_of "$db" "название" "$first")" = "$long" ] \
            || problem "opening the editor and leaving cut the name to $(value_of "$db" "название" "$first" | wc -m) characters"
        local boxes
        boxes=$(count_boxes 1)
        [ "$boxes" -eq 0 ] || problem "$boxes message box(es) for an untouched value: $LAST_BOX_TEXT"

        # The user takes a letter off, still too long: refused with the
        # over-long message, once, and the editor keeps the text.
        click_name 0
        wait_for 10 record_current 0
        keys F2 End BackSpace Down Next Next
        boxes=$(count_boxes 2)
        [ "$boxes" -eq 1 ] || problem "$boxes message boxes for one over-long value, expected 1"
        [ "$(value_of "$db" "название" "$first")" = "$long" ] || problem "the over-long name changed in the file"
        keys Escape
        save_shot 12-over-long-end
    fi
    end_case
}

case_refusal_storm() {
    begin_case "a write refused because someone else changed the record is answered once" 13-refusal
    local dir="$CASE_DIR/run" db first other
    db="$dir/Sarvino.mdb"
    make_db "$db" || { problem "gendb failed"; end_case; return; }
    first=$(key_at "$db" 0)
    start_program "$dir"
    if find_main_window; then
        sql "$db" "UPDATE $TABLE SET \"адрес\"='Чужой адрес' WHERE \"Код\"=$first" >/dev/null
        click_address 0
        wait_for 10 address_cell_selected 0 || problem "clicking the first record did not select it"
        type_text "Мой адрес"
        keys Return Down
        if wait_box; then
            save_shot 13-refusal-box
            keys Return
            wait_for 10 window_gone "$BOX" || problem "the message did not close"
        else
            problem "the refused write showed no message"
        fi
        # Paging and searching after the refusal raise nothing more, and the
        # grid stays on the record whose edit is pending: its highlight and
        # the record indicator agree.
        keys Next Next Down Up Next
        sleep 0.5
        record_current 0 || problem "after paging, the grid's current cell left the first record"
        click_client 100 538 # the search box
        type_text "Апт"
        local boxes
        boxes=$(count_boxes 2)
        [ "$boxes" -eq 0 ] || problem "$boxes more message boxes after the one refusal: $LAST_BOX_TEXT"
        [ "$(value_of "$db" "адрес" "$first")" = "Чужой адрес" ] || problem "the other program's address was overwritten"
        save_shot 13-refusal-after
        indicator_marked 0 || problem "the record indicator left the first record"
        # Escape in the grid gives the edit up; then moving works again.
        click_address 0
        keys Escape Down
        wait_for 10 record_current 1 || problem "after Escape, Down did not move on"
        boxes=$(count_boxes 1)
        [ "$boxes" -eq 0 ] || problem "$boxes message box(es) after Escape: $LAST_BOX_TEXT"
    fi
    end_case
}

case_sigterm() {
    begin_case "SIGTERM saves the edit still pending and ends the program cleanly" 14-sigterm
    local dir="$CASE_DIR/run" db first new='Сохранённая ул., 3'
    db="$dir/Sarvino.mdb"
    make_db "$db" || { problem "gendb failed"; end_case; return; }
    first=$(key_at "$db" 0)
    start_program "$dir"
    if find_main_window && edit_first_address "$new"; then
        [ "$(value_of "$db" "адрес" "$first")" != "$new" ] || problem "the file held the edit before the signal"
        kill -TERM "$APP_PID"
        if wait_for 15 program_ended; then
            local status
            wait "$APP_PID"
            status=$?
            APP_PID=""
            [ "$status" -eq 0 ] || problem "the program exited with status $status"
            [ "$(value_of "$db" "адрес" "$first")" = "$new" ] || problem "after SIGTERM the file holds '$(value_of "$db" "адрес" "$first")'"
            [ "$(sql "$db" "PRAGMA integrity_check")" = ok ] || problem "integrity_check failed"
        else
            problem "the program did not end within 15 s of SIGTERM"
        fi
    fi
    end_case
}

e2e_main "$@" -- empty_text over_long refusal_storm sigterm
