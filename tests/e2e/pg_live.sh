#!/bin/bash
# End-to-end tests of two clerks on one PostgreSQL server: two copies of the
# program, each in its own folder whose Sarvino.mdb is a one-line link to a
# throwaway server, side by side on one screen. What one changes shows in the
# other without a restart; an edit of a record someone else changed meanwhile
# is refused once; a record deleted in one leaves the other while it shows
# other rows.
#
# Besides lib.sh's arguments it needs SARWINO_CONVERT (the built converter).
# A machine without the PostgreSQL server binaries skips with a line saying
# so (exit status 77).
source "$(dirname "$0")/lib.sh"
source "$(dirname "$0")/pg.sh"

if ! pg_find_binaries; then
    echo "SKIPPED: $PG_UNAVAILABLE"
    echo "0 passed, 0 failed"
    exit 77
fi

readonly RECORDS=100
# Both windows side by side on a wide screen, B to the right of A.
readonly B_LEFT=1040 TOP=40

# ---------------------------------------------------------------- two copies

declare -A COPY_PID COPY_MAIN COPY_GEOMETRY

stop_copies() {
    local c
    for c in "${!COPY_PID[@]}"; do
        APP_PID=${COPY_PID[$c]}
        stop_program
    done
    COPY_PID=()
}
trap 'stop_copies; pg_stop; cleanup' EXIT

# start_copy NAME DIR: the program from DIR, its output in DIR/program.log;
# waits for its main window.
start_copy() {
    local name=$1 dir=$2
    cp "$MASTER" "$dir/Sarwino"
    (cd "$WORK/elsewhere" && exec "$dir/Sarwino") >"$dir/program.log" 2>&1 &
    APP_PID=$!
    COPY_PID[$name]=$APP_PID
    local saved_case_dir=$CASE_DIR
    CASE_DIR=$dir # find_main_window quotes the log from here
    find_main_window || { CASE_DIR=$saved_case_dir; return 1; }
    CASE_DIR=$saved_case_dir
    COPY_MAIN[$name]=$MAIN
}

# place_copy NAME LEFT: moves the copy's window to LEFT, TOP (the program
# centres its window once it has read the first screen, so this waits until
# the window stays there) and makes it the current copy.
place_copy() {
    local name=$1 left=$2
    MAIN=${COPY_MAIN[$name]}
    wait_for 10 moved_to "$MAIN" "$left" || problem "copy $name could not be moved to x=$left"
    sleep 1
    window_left_at "$MAIN" "$left" || problem "copy $name moved away from x=$left"
    use_copy "$name"
    remember_geometry "$name"
}
window_left_at() { [ "$(xwininfo -id "$1" | sed -n 's/^ *Absolute upper-left X: *//p')" = "$2" ]; }
moved_to() {
    window_left_at "$1" "$2" || xdotool windowmove "$1" "$2" "$TOP"
    sleep 0.5
    window_left_at "$1" "$2"
}

# use_copy NAME: lib.sh's helpers (clicks, keys, screen reading, message
# boxes) now work on that copy; its window is raised and given the focus.
use_copy() {
    APP_PID=${COPY_PID[$1]}
    MAIN=${COPY_MAIN[$1]}
    read_main_geometry
    xdotool windowactivate --sync "$MAIN" >/dev/null 2>&1
}

# ---------------------------------------------------------------- the screen

# cell_picture ROW COLUMN_X COLUMN_W: a checksum of one cell of the current
# copy's grid, from the last snap.
cell_picture() {
    convert "$SHOT" -crop "${3}x$((ROW_H - 2))+$((CX + $2))+$((CY + $(row_top "$1") + 1))" +repage rgb:- 2>/dev/null \
        | md5sum | cut -d' ' -f1
}
# rows_picture FIRST COUNT: a checksum of the name and address columns of
# COUNT rows from FIRST.
rows_picture() {
    convert "$SHOT" -crop "$((ADDR_X + ADDR_W - NAME_X))x$((ROW_H * $2 - 2))+$((CX + NAME_X))+$((CY + $(row_top "$1") + 1))" \
        +repage rgb:- 2>/dev/null | md5sum | cut -d' ' -f1
}
# same_address_cell ROW: A and B draw the address of ROW alike.
same_address_cell() {
    local a b
    snap
    CX=${COPY_GEOMETRY[A]%,*} CY=${COPY_GEOMETRY[A]#*,}
    a=$(cell_picture "$1" "$ADDR_X" "$ADDR_W")
    CX=${COPY_GEOMETRY[B]%,*} CY=${COPY_GEOMETRY[B]#*,}
    b=$(cell_picture "$1" "$ADDR_X" "$ADDR_W")
    [ "$a" = "$b" ]
}
# same_rows FIRST COUNT: A and B list the same records there.
same_rows() {
    local a b
    snap
    CX=${COPY_GEOMETRY[A]%,*} CY=${COPY_GEOMETRY[A]#*,}
    a=$(rows_picture "$1" "$2")
    CX=${COPY_GEOMETRY[B]%,*} CY=${COPY_GEOMETRY[B]#*,}
    b=$(rows_picture "$1" "$2")
    [ "$a" = "$b" ]
}
# save_rows NAME FIRST COUNT: the compared rows of both copies, for a look.
save_rows() {
    local c
    for c in A B; do
        use_copy_quietly "$c"
        convert "$SHOT" -crop "$((ADDR_X + ADDR_W - NAME_X))x$((ROW_H * $3))+$((CX + NAME_X))+$((CY + $(row_top "$2")))" \
            +repage "$ARTIFACTS/$1-$c.png" 2>/dev/null
    done
}
remember_geometry() { COPY_GEOMETRY[$1]="$CX,$CY"; }
fingerprint_of() {
    use_copy_quietly "$1"
    grid_fingerprint
}
use_copy_quietly() { CX=${COPY_GEOMETRY[$1]%,*} CY=${COPY_GEOMETRY[$1]#*,}; }
fingerprint_changed() { [ "$(fingerprint_of "$1")" != "$2" ]; }

# ---------------------------------------------------------------- the database

column_of() { pg_sql "SELECT \"$1\" FROM $TABLE WHERE \"Код\"=$2"; }
column_is() { [ "$(column_of "$1" "$2")" = "$3" ]; }
key_with_address() { pg_sql "SELECT \"Код\" FROM $TABLE WHERE \"адрес\"='$1'"; }
has_key_with_address() { [ -n "$(key_with_address "$1")" ]; }
record_gone() { [ "$(pg_sql "SELECT count(*) FROM $TABLE WHERE \"Код\"=$1")" = 0 ]; }

# ---------------------------------------------------------------- the case

case_two_clerks() {
    begin_case "the server starts and the sample is converted onto it" 20-two-clerks
    if [ -z "${SARWINO_CONVERT:-}" ] || [ ! -x "$SARWINO_CONVERT" ]; then
        problem "SARWINO_CONVERT does not name the built converter"
        end_case
        return
    fi
    local file="$CASE_DIR/sample.sqlite"
    "$GENDB" --out "$file" --records "$RECORDS" --seed 7 >"$CASE_DIR/gendb.log" 2>&1 || problem "gendb failed"
    if ! pg_start "$CASE_DIR/server.log"; then
        problem "the throwaway server did not start: $(tail -n 3 "$CASE_DIR/server.log" | tr '\n' ' ')"
        end_case
        return
    fi
    "$SARWINO_CONVERT" "$file" "postgresql:///town?host=$PG_DIR&port=$PG_PORT&user=admin" >"$CASE_DIR/convert.log" 2>&1 \
        || problem "sarwino-convert failed: $(tail -n 2 "$CASE_DIR/convert.log" | tr '\n' ' ')"
    pg_sql "GRANT SELECT, INSERT, UPDATE, DELETE ON $TABLE TO clerk" >/dev/null
    [ "$(pg_sql "SELECT count(*) FROM $TABLE")" = "$RECORDS" ] || problem "the server holds $(pg_sql "SELECT count(*) FROM $TABLE") records"
    local c
    for c in A B; do
        mkdir -p "$CASE_DIR/$c"
        pg_link clerk >"$CASE_DIR/$c/Sarvino.mdb"
    done
    start_copy A "$CASE_DIR/A" && start_copy B "$CASE_DIR/B" && place_copy A 0 && place_copy B "$B_LEFT"
    if [ ${#CASE_PROBLEMS[@]} -gt 0 ]; then
        save_shot 20-start
        end_case
        return
    fi
    wait_for 10 same_rows 1 20 || { problem "the two copies do not list the same records at start"; save_rows 20-rows 1 20; }
    save_shot 20-start
    verdict "$CASE_NAME"

    # B's current record is the sixth, so the first row is drawn plainly in
    # both copies once A has left it.
    CASE_NAME="an edit in one copy shows in the other without a restart"
    CASE_STARTED=$(now_ms)
    use_copy B
    click_address 5
    wait_for 10 address_cell_selected 5 || problem "clicking B's sixth record did not select it"
    local before new='Общая ул., 1' key
    before=$(fingerprint_of B)
    use_copy A
    edit_first_address "$new" && keys Down
    wait_for 10 has_key_with_address "$new" || problem "A's edit did not reach the server"
    key=$(key_with_address "$new")
    wait_for 5 fingerprint_changed B "$before" || problem "B's grid did not change after A's edit"
    wait_for 5 same_address_cell 0 || { problem "B does not draw the first address as A does"; save_rows 21-rows 0 2; }
    save_shot 21-live-edit
    verdict "$CASE_NAME"

    # B types into the same record before A changes it again: B's change is
    # refused once and A's value stays.
    CASE_NAME="an edit of a record changed meanwhile in the other copy is refused once"
    CASE_STARTED=$(now_ms)
    local theirs='Чужая ул., 2' mine='Моя ул., 3'
    use_copy B
    edit_first_address "$mine"
    use_copy A
    edit_first_address "$theirs" && keys Down
    [ -n "$key" ] && { wait_for 10 column_is "адрес" "$key" "$theirs" || problem "A's second edit did not reach the server"; }
    use_copy B
    keys Down
    if wait_box; then
        use_copy_quietly B
        save_shot 22-refused
        local boxes
        boxes=$(count_boxes 2)
        [ "$boxes" -eq 1 ] || problem "$boxes message boxes for one refused edit, expected 1"
    else
        problem "B's edit of a record A changed was not refused with a message"
    fi
    [ -n "$key" ] && { column_is "адрес" "$key" "$theirs" || problem "the server holds '$(column_of "адрес" "$key")', not A's value"; }
    # Escape gives B's edit up; B then shows A's value.
    use_copy B
    click_address 0
    keys Escape
    click_address 5
    wait_for 10 same_address_cell 0 || problem "after giving its edit up, B does not draw A's value"
    save_shot 22-refused-after
    verdict "$CASE_NAME"

    # B shows the last records; A deletes the first one.
    CASE_NAME="a record deleted in one copy leaves the other while it shows other rows"
    CASE_STARTED=$(now_ms)
    use_copy B
    click_address 5
    keys ctrl+End
    sleep 0.5
    use_copy_quietly B
    grid_settled
    local scrolled=$SETTLED
    use_copy A
    click_address 0
    wait_for 10 address_cell_selected 0 || problem "clicking A's first record did not select it"
    keys ctrl+Delete
    if wait_box; then
        keys Return
        wait_for 10 window_gone "$BOX" || problem "the question did not close"
        [ -n "$key" ] && { wait_for 10 record_gone "$key" || problem "A's delete did not reach the server"; }
    else
        problem "Ctrl+Delete asked nothing in A"
    fi
    wait_for 5 fingerprint_changed B "$scrolled" || problem "B's grid did not change after A's delete"
    use_copy_quietly B
    save_shot 23-deleted-while-scrolled
    use_copy B
    wait_for 5 record_current_last || problem "B's grid left its last record"
    use_copy B
    keys ctrl+Home
    use_copy A
    keys ctrl+Home
    wait_for 10 same_rows 1 20 || problem "after the delete, B does not list the records A lists"
    save_shot 23-deleted-top
    [ "$(pg_sql "SELECT count(*) FROM $TABLE")" = $((RECORDS - 1)) ] || problem "the server holds $(pg_sql "SELECT count(*) FROM $TABLE") records"
    local n
    use_copy B
    n=$(count_boxes 1)
    [ "$n" -eq 0 ] || problem "B showed $n message box(es) for A's delete"
    verdict "$CASE_NAME"

    for c in A B; do cp "$CASE_DIR/$c/program.log" "$ARTIFACTS/20-program-$c.log" 2>/dev/null; done
    stop_copies
    pg_stop
}

# record_current_last: one of the grid's bottom rows is current (ctrl+End put
# the last record there).
record_current_last() {
    local r
    for r in $(seq 12 24); do
        name_cell_selected "$r" && return 0
        address_cell_selected "$r" && return 0
    done
    return 1
}

e2e_main "$@" -- two_clerks
