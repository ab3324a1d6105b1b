#!/bin/bash
# End-to-end tests of the Access directory file as publishers hand it out:
# the program shows it exactly as its SQLite copy made by sarwino-convert,
# searches it the same way, and refuses changes without touching the file.
#
# Besides lib.sh's arguments it needs SARWINO_CONVERT (the built converter)
# and SARWINO_JET_DATA (the folder of the Access test files) in the
# environment; CMake sets both.
source "$(dirname "$0")/lib.sh"

readonly JET_FILE="${SARWINO_JET_DATA:-}/sarvino-2500.mdb"
readonly JET_TSV="${SARWINO_JET_DATA:-}/sarvino-2500.tsv"
readonly EDIT1_X=100 EDIT1_Y=538
readonly VISIBLE_ROWS=23
# Message boxes are captioned with the application title, set at start (as
# xprop prints it, with its quotation marks escaped).
readonly APP_TITLE='\"Сарвино\"- Справочник'

# rows_shown: how many grid rows hold a name (text is dark, empty rows white).
rows_shown() {
    snap
    local i n=0 darkest
    for ((i = 0; i < VISIBLE_ROWS; i++)); do
        darkest=$(min_grey "$NAME_X" "$(( $(row_top "$i") + 2 ))" "$NAME_W" $((ROW_H - 4)))
        awk -v m="${darkest:-1}" 'BEGIN { exit !(m < 0.5) }' && n=$((n + 1))
    done
    echo "$n"
}

# look_through NAME: the grid's picture at the start, at the last record and
# after a name search, as FP_START, FP_END, FP_SEARCH; ROWS_FOUND is how many
# rows the search shows.
look_through() {
    FP_START="" FP_END="" FP_SEARCH="" ROWS_FOUND=""
    SETTLED=""
    wait_for 10 grid_settled || { problem "$1: the grid kept changing after the start"; return 1; }
    FP_START=$SETTLED
    save_shot "01-$1-start"
    [ "$(rows_shown)" -eq "$VISIBLE_ROWS" ] || problem "$1: the grid does not show a full page of records at the start"
    click_client "$NAME_X" $(( $(row_top 0) + ROW_H / 2 ))
    keys ctrl+End
    SETTLED=""
    wait_for 10 grid_settled || { problem "$1: the grid kept changing after Ctrl+End"; return 1; }
    FP_END=$SETTLED
    save_shot "01-$1-last"
    click_client "$EDIT1_X" "$EDIT1_Y"
    type_text 'Гим'
    sleep 0.5
    SETTLED=""
    wait_for 10 grid_settled || { problem "$1: the grid kept changing after the search"; return 1; }
    FP_SEARCH=$SETTLED
    ROWS_FOUND=$(rows_shown)
    save_shot "01-$1-search"
}

case_same_as_copy() {
    begin_case "the Access file shows the same grid as its SQLite copy: start, last record, search" 01-same
    local jet="$CASE_DIR/run" copy="$CASE_DIR/copy"
    mkdir -p "$copy"
    cp "$JET_FILE" "$jet/Sarvino.mdb"
    if ! "$SARWINO_CONVERT" "$JET_FILE" "$copy/Sarvino.mdb" >"$CASE_DIR/convert.log" 2>&1; then
        problem "sarwino-convert failed: $(tr '\n' ' ' <"$CASE_DIR/convert.log")"
        end_case
        return
    fi
    # The copy holds exactly the published records.
    local copied
    copied=$(sqlite3 -batch -separator $'\t' -nullvalue '\N' "$copy/Sarvino.mdb" \
        "SELECT \"название\",\"адрес\",\"тел\",\"вид_деят\",\"пояснение\" FROM $TABLE ORDER BY \"Код\"")
    [ "$copied" = "$(cat "$JET_TSV")" ] || problem "the SQLite copy differs from the published records"

    start_program "$jet"
    find_main_window && look_through access
    local access_start=$FP_START access_end=$FP_END access_search=$FP_SEARCH access_found=$ROWS_FOUND
    stop_program
    start_program "$copy"
    find_main_window && look_through sqlite
    stop_program

    [ -n "$access_start" ] && [ "$access_start" = "$FP_START" ] || problem "the first page differs from the copy's"
    [ -n "$access_end" ] && [ "$access_end" = "$FP_END" ] || problem "the last page differs from the copy's"
    [ -n "$access_search" ] && [ "$access_search" = "$FP_SEARCH" ] || problem "the search shows other rows than in the copy"
    [ "$access_end" != "$access_start" ] || problem "Ctrl+End did not move to other records"
    if [ -z "$access_found" ] || [ "$access_found" -lt 1 ] || [ "$access_found" -ge "$VISIBLE_ROWS" ]; then
        problem "the search 'Гим' shows ${access_found:-no} rows, expected a few"
    fi
    [ "$access_found" = "$ROWS_FOUND" ] || problem "the search shows $access_found rows, the copy $ROWS_FOUND"
    cmp -s "$JET_FILE" "$jet/Sarvino.mdb" || problem "the Access file changed"
    end_case
}

# refused WHAT: one message box about the read-only file comes and goes.
refused() {
    if ! wait_box; then
        problem "$1 brought no message"
        return 1
    fi
    sleep 1
    local count title
    count=$(visible_count)
    title=$(window_title "$BOX")
    [ "$count" -eq 2 ] || problem "$count visible windows after $1, expected the main window and one message"
    [ "$title" = "$APP_TITLE" ] || problem "the message after $1 is titled '$title', expected '$APP_TITLE'"
    save_shot "02-refused-$2"
    keys Return
    wait_for 10 window_gone "$BOX" || problem "the message after $1 did not close on Enter"
    sleep 1
    count=$(visible_count)
    [ "$count" -eq 1 ] || problem "$count visible windows after the message of $1 closed, expected the main window alone"
}

case_changes_refused() {
    begin_case "typing and a delete in the Access file are refused at once with one message each; the file keeps its bytes" 02-refused
    local dir="$CASE_DIR/run"
    cp "$JET_FILE" "$dir/Sarvino.mdb"
    start_program "$dir"
    if find_main_window; then
        click_address 0
        wait_for 10 address_cell_selected 0 || problem "clicking the first record's address did not select it"
        SETTLED=""
        wait_for 10 grid_settled
        local untouched=$SETTLED
        # The first key typed is refused at once: nothing is typed to be lost,
        # and the keys after it bring no more messages.
        type_text 'Новая'
        refused "typing" edit
        SETTLED=""
        wait_for 10 grid_settled
        [ "$SETTLED" = "$untouched" ] || problem "after the refused typing the grid does not show the record as it was"
        address_cell_selected 0 || problem "after the refused typing a cell editor is open"

        # A delete is refused before any question.
        keys ctrl+Delete
        refused "the delete" delete
        SETTLED=""
        wait_for 10 grid_settled
        [ "$SETTLED" = "$untouched" ] || problem "after the refused delete the grid does not show the record as it was"
        save_shot 02-refused-end
    fi
    stop_program
    cmp -s "$JET_FILE" "$dir/Sarvino.mdb" || problem "the Access file changed"
    end_case
}

if [ ! -f "$JET_FILE" ] || [ ! -x "${SARWINO_CONVERT:-}" ]; then
    echo "FAIL: SARWINO_JET_DATA and SARWINO_CONVERT must name the test files and the converter"
    echo "0 passed, 1 failed"
    exit 1
fi
e2e_main "$@" -- same_as_copy changes_refused
