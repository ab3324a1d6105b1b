#!/bin/bash
# End-to-end tests of what a screen reader hears: the program runs with its
# accessibility bridge on, on a private D-Bus session of this run alone (the
# accessibility bus is started on it on demand and ends with it), and the
# tree each window publishes over AT-SPI is walked with pyatspi: names and
# roles of the main window, the bus timetable, the about window and the
# add-record window.

source "$(dirname "$0")/atspi.sh"

readonly BUS_TITLE='Городские автобусы'
readonly ADD_TITLE='Добавить запись ...'
readonly ABOUT_TITLE='О программе...'

# ---------------------------------------------------------------- helpers

start_case_program() {
    # lib.sh keeps every other test off any session bus; this one needs it.
    export DBUS_SESSION_BUS_ADDRESS=$SESSION_BUS
    export QT_ACCESSIBILITY=1 QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1
    unset NO_AT_BRIDGE
    make_db "$CASE_DIR/run/Sarvino.mdb" || { problem "gendb failed"; return 1; }
    start_program "$CASE_DIR/run"
    find_main_window
}

window_titled() {
    local w
    for w in $(visible_windows); do
        [ "$(window_title "$w")" = "$1" ] && return 0
    done
    return 1
}

# walk TITLE NAME: the window's tree into TREE (and NAME.tree among the
# artifacts), DEPTH|ROLE|NAME a line.
walk() {
    TREE="$ARTIFACTS/$2.tree"
    if ! /usr/bin/python3 "$WALKER" "$APP_PID" "$1" >"$TREE" 2>"$CASE_DIR/walker.log"; then
        problem "walking '$1': $(tr '\n' ' ' <"$CASE_DIR/walker.log")"
        return 1
    fi
}

# has ROLE NAME: an object of that role and name is in the tree.
has() { grep -qxF -- "$1|$2" <(cut -d'|' -f2- "$TREE"); }
expect() { has "$1" "$2" || problem "no $1 named '$2'"; }
# count ROLE [NAME-REGEX]: how many objects of that role (and name).
count() { cut -d'|' -f2- "$TREE" | grep -cE -- "^$1\|${2-.*}\$"; }
# names ROLE: the names of that role, one a line.
names() { cut -d'|' -f2- "$TREE" | sed -n "s/^$1|//p"; }
expect_root() {
    head -n 1 "$TREE" | grep -qxF -- "0|$1|$2" || problem "the window reads as '$(head -n 1 "$TREE")', expected a $1 named '$2'"
}
# Nothing that takes input goes unnamed.
expect_all_named() {
    local role
    for role in 'push button' 'link' 'text' 'table' 'radio button'; do
        [ "$(count "$role" '')" = 0 ] || problem "$(count "$role" '') ${role}s without a name"
    done
}

# ---------------------------------------------------------------- cases

case_main() {
    begin_case "main window: search box and grid named, catalogue as buttons, no hidden controls" 01-main
    if ! start_case_program; then end_case; return; fi
    if walk "$CAPTION" main; then
        expect_root frame "$CAPTION"
        expect text 'Поиск по началу названия'
        expect table 'Справочник фирм и организаций'
        expect 'push button' 'Поиск'
        expect 'push button' 'Очистить'
        expect panel 'Сортировка'
        [ "$(count frame)" = 1 ] || problem "$(count frame) window frames in one window"
        local r
        for r in 'Название' 'адрес' 'Телефон ' 'Вид_деят'; do expect 'radio button' "$r"; done
        # Catalogue headings and items, first and last.
        for r in 'Авто' 'Мойка' 'Банк, Сберкасса' 'Услуги' 'Электромонтаж'; do expect 'push button' "$r"; done
        [ "$(count 'push button')" = 110 ] \
            || problem "$(count 'push button') push buttons, expected the 108 catalogue labels, Поиск and Очистить"
        [ "$(count label)" = 0 ] || problem "labels in the main window: $(names label | tr '\n' ',')"
        grep -qE 'Button3|Label11' "$TREE" && problem "hidden controls are in the tree: $(grep -E 'Button3|Label11' "$TREE" | tr '\n' ' ')"
        expect_all_named
    fi
    end_case
}

case_bus() {
    begin_case "bus window: a dialog, routes as buttons, the intervals as text" 02-bus
    if ! start_case_program; then end_case; return; fi
    open_bus
    if ! wait_for 10 window_titled "$BUS_TITLE"; then
        problem "the bus window did not open"
    elif walk "$BUS_TITLE" bus; then
        expect_root dialog "$BUS_TITLE"
        expect 'push button' 'Маршрут №2'
        expect 'push button' 'Маршрут №5а'
        expect 'push button' 'Маршрут №10 (дополнительный)'
        expect 'push button' 'Маршрут №19'
        [ "$(count 'push button' 'Маршрут №[0-9]+[^ ]*( \(дополнительный\))?')" = 19 ] \
            || problem "$(count 'push button' 'Маршрут №[0-9]+[^ ]*( \(дополнительный\))?') route buttons, expected 19"
        [ "$(count 'push button')" = 19 ] || problem "$(count 'push button') push buttons: $(names 'push button' | tr '\n' ',')"
        expect label 'Интервал движения автобусов:'
        [ "$(count label 'Маршрут №(1|8|18) Интервал движения - 4 минуты .*')" = 3 ] \
            || problem "the three interval lines are not labels: $(grep 'Интервал движения -' "$TREE" | tr '\n' ' ')"
        # The stops' headings show only once a route is chosen.
        has label 'От диспетчерской' && problem "the hidden stop heading is in the tree"
        expect_all_named
        verdict "$CASE_NAME"

        CASE_NAME="bus window: a chosen route's stops and times are read"
        keys Tab Return
        sleep 0.5
        if walk "$BUS_TITLE" bus-route; then
            expect label 'От диспетчерской'
            expect label 'От ж/д вокзала'
            [ "$(count label '[0-9]+\.[0-9]+;.*')" -ge 2 ] || problem "the departure times are not read"
        fi
    fi
    end_case
}

case_about() {
    begin_case "about window: a dialog, links, the credits with the version" 03-about
    if ! start_case_program; then end_case; return; fi
    open_about
    if ! wait_for 10 window_titled "$ABOUT_TITLE"; then
        problem "the about window did not open"
    elif walk "$ABOUT_TITLE" about; then
        expect_root dialog "$ABOUT_TITLE"
        [ "$(count link)" = 3 ] || problem "$(count link) links, expected 3: $(names link | tr '\n' ',')"
        expect link 'info@svetsoft.ru'
        [ "$(count label '«Сарвино», версия 1\.0, 2026 г\.\\n.*Программирование: .*')" = 1 ] \
            || problem "the credits are not read as text with the version"
        expect label 'е-mail:'
        [ "$(count frame)" = 0 ] || problem "the panels read as window frames"
        expect 'push button' 'Закрыть'
        [ "$(count 'push button')" = 1 ] || problem "push buttons: $(names 'push button' | tr '\n' ',')"
        expect_all_named
    fi
    end_case
}

case_add_record() {
    begin_case "add-record window: a dialog, links, its texts" 04-add-record
    if ! start_case_program; then end_case; return; fi
    open_add_record
    if ! wait_for 10 window_titled "$ADD_TITLE"; then
        problem "the add-record window did not open"
    elif walk "$ADD_TITLE" add-record; then
        expect_root dialog "$ADD_TITLE"
        [ "$(count link)" = 3 ] || problem "$(count link) links, expected 3: $(names link | tr '\n' ',')"
        expect 'push button' 'Закрыть'
        [ "$(count 'push button')" = 1 ] || problem "push buttons: $(names 'push button' | tr '\n' ',')"
        [ "$(count label)" -ge 5 ] || problem "only $(count label) texts are read"
        expect_all_named
    fi
    end_case
}

e2e_main "$@" -- main bus about add_record
