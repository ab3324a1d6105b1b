#!/bin/bash
# End-to-end test of another program reading the directory file while the
# user saves a change: the write waits for the reader, then says the file is
# busy (read from the message box over AT-SPI, as a screen reader hears it),
# and once the reader has let go and the user saves again the change is in
# the file.

source "$(dirname "$0")/atspi.sh"
readonly TITLE='"Сарвино"- Справочник' # message boxes carry the application title

# hold_file DB: a second process opens a read transaction on DB and keeps
# it until the file READER_RELEASE appears (at most 60 s); READER_HELD
# appears once it holds the file.
hold_file() {
    READER_HELD="$CASE_DIR/held" READER_RELEASE="$CASE_DIR/release"
    /usr/bin/python3 - "$1" "$READER_HELD" "$READER_RELEASE" >"$CASE_DIR/reader.log" 2>&1 <<'EOF' &
import os, sqlite3, sys, time
db, held, release = sys.argv[1:]
con = sqlite3.connect(db, isolation_level=None)
con.execute("BEGIN")
print(con.execute('SELECT count(*) FROM "главная"').fetchone()[0], flush=True)
open(held, "w").close()
end = time.monotonic() + 60
while not os.path.exists(release) and time.monotonic() < end:
    time.sleep(0.05)
con.execute("COMMIT")
con.close()
EOF
    READER_PID=$!
    wait_for 10 test -e "$READER_HELD"
}
release_file() {
    touch "$READER_RELEASE"
    wait "$READER_PID" 2>/dev/null
    READER_PID=""
}

case_reader() {
    begin_case "a reader holding the file: the busy message, and the change saved once it lets go" 01-reader
    local dir="$CASE_DIR/run" db first text='Читатель, 1' again='Читатель, 2' tree
    db="$dir/Sarvino.mdb"
    export DBUS_SESSION_BUS_ADDRESS=$SESSION_BUS
    export QT_ACCESSIBILITY=1 QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1
    unset NO_AT_BRIDGE
    make_db "$db" || { problem "gendb failed"; end_case; return; }
    first=$(sql "$db" "SELECT \"Код\" FROM $TABLE ORDER BY rowid LIMIT 1")
    start_program "$dir"
    if find_main_window; then
        hold_file "$db" || problem "the reader did not get hold of the file"
        edit_first_address "$text"
        keys Down # leaves the record: the write waits five seconds for the reader
        if wait_box; then
            tree="$ARTIFACTS/01-reader-box.tree"
            /usr/bin/python3 "$WALKER" "$APP_PID" "$TITLE" >"$tree" 2>"$CASE_DIR/walker.log" \
                || problem "the message box could not be read: $(tr '\n' ' ' <"$CASE_DIR/walker.log")"
            grep -q 'занят другой программой' "$tree" || problem "the message is not the busy one: $(grep -i 'label' "$tree" | tr '\n' ' ')"
            grep -q 'Не удалось записать' "$tree" && problem "the message calls the busy file a failure"
            save_shot 01-reader-box
            keys Return
            wait_for 10 window_gone "$BOX" || problem "the message did not close on Enter"
        else
            problem "no message while the reader held the file"
        fi
        address_is "$db" "$first" "$text" && problem "the change was written while the reader held the file"
        release_file
        # The change is still pending on the first record; typing into it
        # again and leaving the record saves it.
        edit_first_address "$again"
        keys Down
        wait_for 10 address_is "$db" "$first" "$again" || problem "after the reader let go, the change is not in the file: $(address_of "$db" "$first")"
        local boxes
        boxes=$(count_boxes 1)
        [ "$boxes" -eq 0 ] || problem "$boxes message box(es) after saving again: $LAST_BOX_TEXT"
        save_shot 01-reader-saved
        [ "$(sql "$db" "PRAGMA integrity_check")" = ok ] || problem "integrity_check failed"
    fi
    [ -n "${READER_PID:-}" ] && release_file
    end_case
}

e2e_main "$@" -- reader
