#!/bin/bash
# End-to-end tests of the keyboard alone and of a user who may not change
# the directory: a category chosen without the mouse; a file owned by root,
# opened by a normal user, refused at the first key typed with nothing lost.
source "$(dirname "$0")/lib.sh"

readonly SEARCH_BOX='100 538'

case_keyboard_category() {
    begin_case "the keyboard alone reaches the catalogue and chooses a category" 41-keys
    local dir="$CASE_DIR/run" before after
    # Enough firms for every category to have some.
    "$GENDB" --out "$dir/Sarvino.mdb" --records 2500 --seed 7 >"$CASE_DIR/gendb.log" 2>&1 \
        || { problem "gendb failed"; end_case; return; }
    start_program "$dir"
    if find_main_window; then
        wait_for 10 grid_settled
        before=$SETTLED
        # From the search box Tab goes through "Очистить" to the catalogue,
        # whose first label is the heading "Авто"; Right moves to its first
        # item, "Магазины".
        click_client $SEARCH_BOX
        keys Tab Tab Right
        sleep 0.3
        save_shot 41-keys-focused
        keys Return
        SETTLED=""
        wait_for 10 grid_settled
        after=$SETTLED
        [ -n "$after" ] && [ "$after" != "$before" ] || problem "Return on the focused label did not narrow the grid"
        # Right and Return choose the next label, an item.
        keys Right Return
        SETTLED=""
        wait_for 10 grid_settled
        [ "$SETTLED" != "$after" ] || problem "Right and Return did not choose the next category"
        save_shot 41-keys-chosen
    fi
    stop_program
    end_case
}

# As the user "nobody", on a folder and file that belong to root.
start_as_nobody() {
    local dir=$1 home=$2
    cp "$MASTER" "$dir/Sarwino"
    chmod 0755 "$dir" "$dir/Sarwino"
    chmod 0644 "$dir/Sarvino.mdb"
    mkdir -p "$home/.runtime" "$home/Desktop"
    chown -R nobody: "$home"
    chmod 0700 "$home/.runtime"
    (cd "$home" && exec setpriv --reuid=nobody --regid=nogroup --clear-groups \
        env HOME="$home" XDG_CONFIG_HOME="$home/.config" XDG_DATA_HOME="$home/.local/share" \
        XDG_CACHE_HOME="$home/.cache" XDG_RUNTIME_DIR="$home/.runtime" XDG_DESKTOP_DIR="$home/Desktop" \
        "$dir/Sarwino") >"$CASE_DIR/program.log" 2>&1 &
    APP_PID=$!
}

case_readonly_user() {
    begin_case "a normal user on a file owned by root is refused at the first key, the file untouched" 42-user
    if [ "$(id -u)" != 0 ] || ! command -v setpriv >/dev/null; then
        echo "    (skipped: needs root and setpriv to start the program as another user)"
        end_case
        return
    fi
    local dir="$CASE_DIR/run" home="$CASE_DIR/nobody-home" sum
    chmod 0755 "$WORK" "$CASE_DIR"
    make_db "$dir/Sarvino.mdb" || { problem "gendb failed"; end_case; return; }
    sum=$(md5sum <"$dir/Sarvino.mdb")
    start_as_nobody "$dir" "$home"
    if find_main_window; then
        click_address 0
        wait_for 10 address_cell_selected 0 || problem "clicking the first address did not select it"
        type_text "Ч"
        if wait_box; then
            save_shot 42-user-refused
            local n
            n=$(visible_count)
            [ "$n" -eq 2 ] || problem "$n visible windows, expected the main window and one message"
            keys Return
            wait_for 10 window_gone "$BOX" || problem "the message did not close on Return"
            address_cell_selected 0 || problem "a cell editor opened after the refusal"
        else
            problem "typing into a cell of a file the user may not change brought no message"
        fi
    fi
    stop_program
    [ "$(md5sum <"$dir/Sarvino.mdb")" = "$sum" ] || problem "the file changed"
    local extra
    extra=$(ls -A "$dir" | grep -v -e '^Sarwino$' -e '^Sarvino.mdb$' | tr '\n' ' ')
    [ -z "$extra" ] || problem "files appeared beside the directory: $extra"
    end_case
}

e2e_main "$@" -- keyboard_category readonly_user
