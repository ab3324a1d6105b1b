#!/bin/bash
# End-to-end tests of writing to the directory file: a refused write answered
# by exactly one message, an edit saved when the desktop asks the program to
# end, and one saved while the file is still being read. (Empty texts and values longer than their field: tst_table for the
# rules, tst_dbgrid for the cell editor.)
source "$(dirname "$0")/lib.sh"

value_of() { sql "$1" "SELECT \"$2\" FROM $TABLE WHERE \"Код\"=$3"; }

# The keys of the records in the order the grid lists them at start.
key_at() { sql "$1" "SELECT \"Код\" FROM $TABLE ORDER BY rowid LIMIT 1 OFFSET $2"; }

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

# reading_file DB: the program still holds a lock on DB (it reads it).
reading_file() {
    local inode
    inode=$(stat -c %i "$1") || return 1
    awk -v pid="$APP_PID" -v inode="$inode" '$5 == pid && $6 ~ (":" inode "$") { found = 1 } END { exit !found }' /proc/locks
}

case_edit_while_reading() {
    begin_case "an edit saved while the file is still read waits with the window drawn" 15-edit-reading
    local dir="$CASE_DIR/run" db first new="Ж1" grey
    db="$dir/Sarvino.mdb"
    # Big enough that the reading lasts well beyond the edit (seconds here).
    "$GENDB" --out "$db" --records 2000000 --seed 7 >"$CASE_DIR/gendb.log" 2>&1 || { problem "gendb failed"; end_case; return; }
    first=$(key_at "$db" 0)
    start_program "$dir"
    if find_main_window; then
        click_address 0
        keys F2
        type_text "$new"
        keys Return Down
        # Hidden and shown again while the save waits for the last rows:
        # the window draws itself anew (a blocked one stays black).
        xdotool windowminimize "$MAIN"
        sleep 0.3
        xdotool windowactivate "$MAIN" 2>/dev/null
        sleep 0.4
        save_shot 15-edit-reading
        if reading_file "$db"; then
            grey=$(mean_grey 20 "$GRID_TOP" 700 300)
            awk -v g="${grey:-0}" 'BEGIN { exit !(g > 0.5) }' \
                || problem "the window was not drawn while the save waited for the reading (grid grey level ${grey:-none})"
        else
            problem "the file was read to its end before the window was shown again: nothing was checked"
        fi
        wait_for 60 address_is "$db" "$first" "$new" || problem "the edit is not in the file: '$(address_of "$db" "$first")'"
    fi
    end_case
}

e2e_main "$@" -- refusal_storm sigterm edit_while_reading
