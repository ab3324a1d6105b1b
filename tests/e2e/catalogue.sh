#!/bin/bash
# End-to-end tests of the category catalogue, the hover highlighting and the
# bus timetable window: real pointer motion and clicks under openbox, colours
# read from screenshots, window properties from xprop, the rows from sqlite3.
source "$(dirname "$0")/lib.sh"

readonly BUS_CAPTION='Городские автобусы'
readonly BUS_W=680 BUS_H=490
# Kinds of text pixel, told apart by their channels since the small type is
# smoothed and seldom reaches its full colour: the idle aqua, white, the
# yellow of the chosen route and the times; and the dark blue behind labels.
readonly AQUA='r<0.35 && g>0.55 && b>0.55'
readonly WHITE='r>0.55 && g>0.55 && b>0.55'
readonly YELLOW='r>0.55 && g>0.55 && b<0.35'
readonly LABEL_BG='abs(r-18/255)<0.01 && abs(g-9/255)<0.01 && abs(b-66/255)<0.01'
# Catalogue labels used here (client place and size of their text box).
readonly APTEKA='760 271 36 13'    # "Аптека", an item
readonly VETERINAR='802 271 52 13' # "Ветеринар", the item beside it
readonly MEDITSINA='926 271 48 13' # "Медицина", an item the bus window does not cover
readonly HEADING='758 249 90 24'   # "Медицина", the group's heading
readonly PANEL_SPOT='990 300'      # the panel picture, clear of labels and lines
# Bus window labels (client place and size).
readonly ROUTE2='8 72 60 13' ROUTE5='8 136 60 13' ROUTE7='8 168 60 13'
readonly DISP_BOX='230 77 137 16' TIME1_BOX='231 79 290 57'
readonly BUS_SPOT='600 450'

# count_colour OX OY X Y W H KIND: pixels of that kind in the rectangle
# X Y W H of a window whose client area starts at OX OY.
count_colour() {
    convert "$SHOT" -crop "$5x$6+$(($1 + $3))+$(($2 + $4))" +repage -fx "$7" \
        -format '%[fx:round(mean*w*h)]' info: 2>/dev/null
}
main_count() { count_colour "$CX" "$CY" $1 $2 $3 $4 "$5"; }
bus_count() { count_colour "$BX" "$BY" $1 $2 $3 $4 "$5"; }

# shows_colour WHERE "X Y W H" KIND: the box holds text of that colour.
shows_colour() {
    local n
    n=$("${1}_count" $2 "$3")
    [ "${n:-0}" -ge 6 ]
}
lacks_colour() {
    local n
    n=$("${1}_count" $2 "$3")
    [ "${n:-1}" -eq 0 ]
}
# label_lit WHERE BOX: snaps, then the label's text is white and not aqua.
label_lit() { snap && shows_colour "$1" "$2" "$WHITE" && lacks_colour "$1" "$2" "$AQUA"; }
label_idle() { snap && shows_colour "$1" "$2" "$AQUA" && lacks_colour "$1" "$2" "$WHITE"; }
label_yellow() { snap && shows_colour "$1" "$2" "$YELLOW" && lacks_colour "$1" "$2" "$AQUA"; }

# point_main X Y / point_bus X Y: moves the pointer there, in small steps
# from where it is, so the program sees real motion.
point_at() {
    xdotool mousemove "$1" "$2"
    wait_for 5 pointer_at "$1" "$2"
}
point_main() { point_at $((CX + $1)) $((CY + $2)); }
point_bus() { point_at $((BX + $1)) $((BY + $2)); }
centre_of() { echo $(($1 + $3 / 2)) $(($2 + $4 / 2)); }
click_bus() {
    point_bus "$1" "$2"
    xdotool click 1
}

# geometry_of WINDOW: sets GX GY GW GH of a window (a frame or a client).
geometry_of() { read -r GX GY GW GH < <(window_box "$1"); }

# frame_centred WINDOW WHAT: the window's frame, title bar included, stands in
# the middle of the screen (to a pixel).
frame_centred() {
    local frame sw sh dx dy
    frame=$(frame_of "$1")
    geometry_of "$frame"
    read -r sw sh < <(xdpyinfo | sed -n 's/^ *dimensions: *\([0-9]*\)x\([0-9]*\) .*/\1 \2/p')
    dx=$((2 * GX + GW - sw))
    dy=$((2 * GY + GH - sh))
    if [ "${dx#-}" -gt 2 ] || [ "${dy#-}" -gt 2 ]; then
        problem "$2: frame ${GW}x${GH} at ($GX,$GY) is not centred on the ${sw}x${sh} screen"
    fi
}

# find_bus_window: waits for the bus window; sets BUS and its client origin BX BY.
find_bus_window() {
    local end=$(($(now_ms) + 15000)) w
    BUS=""
    while [ "$(now_ms)" -lt "$end" ]; do
        for w in $(visible_windows); do
            if [ "$(window_title "$w")" = "$BUS_CAPTION" ]; then
                BUS=$w
                geometry_of "$BUS"
                BX=$GX BY=$GY
                wait_for 10 bus_painted && return 0
                problem "the bus window was not painted within 10 s"
                return 1
            fi
        done
        sleep 0.1
    done
    problem "the bus window did not appear within 15 s"
    return 1
}
bus_painted() { snap && shows_colour bus "$ROUTE5" "$AQUA"; }

# open_bus_window: "Cправочники", then its first item, with real input.
open_bus_window() {
    click_client 40 $((-MENU_H / 2))
    sleep 0.3
    keys Down Return
    find_bus_window
}

# title_button WINDOW OFFSET: clicks the title-bar button OFFSET pixels left
# of the frame's right edge (openbox: close 10, maximise 26).
title_button() {
    local frame
    frame=$(frame_of "$1")
    geometry_of "$frame"
    point_at $((GX + GW - $2)) $((GY + 10))
    xdotool click 1
}

# grid_rows: how many rows the grid shows (text in the name column).
grid_rows() {
    snap
    local row=0 m
    while [ "$row" -lt 20 ]; do
        m=$(min_grey "$NAME_X" "$(($(row_top "$row") + 2))" "$NAME_W" $((ROW_H - 4)))
        awk -v m="${m:-1}" 'BEGIN { exit !(m < 0.5) }' || break
        row=$((row + 1))
    done
    echo "$row"
}
grid_rows_are() { [ "$(grid_rows)" = "$1" ]; }

# visible_grid: a checksum of the part of the grid left of the bus window.
visible_grid() {
    geometry_of "$(frame_of "$BUS")"
    snap
    convert "$SHOT" -crop "$((GX - CX))x417+$CX+$((CY + GRID_TOP))" +repage rgb:- 2>/dev/null | md5sum | cut -d' ' -f1
}

# make_catalogue_db PATH: the sample with exactly three pharmacies.
make_catalogue_db() {
    make_db "$1" || return 1
    sql "$1" "UPDATE $TABLE SET \"вид_деят\"='Продукты' WHERE \"вид_деят\"='Аптека';
              UPDATE $TABLE SET \"вид_деят\"='Аптека' WHERE \"Код\" IN (4, 9, 17);" >/dev/null
}

case_catalogue() {
    begin_case "catalogue: idle, hover and click colours; a click narrows the grid" 01-catalogue
    local dir="$CASE_DIR/run"
    make_catalogue_db "$dir/Sarvino.mdb" || { problem "gendb failed"; end_case; return; }
    start_program "$dir"
    if find_main_window; then
        frame_centred "$MAIN" "main window"
        save_shot 01-catalogue-idle
        label_idle main "$APTEKA" || problem "at start 'Аптека' is not aqua"
        snap
        shows_colour main "$HEADING" "$WHITE" || problem "the heading 'Медицина' is not white"
        shows_colour main "$APTEKA" "$LABEL_BG" || problem "'Аптека' has no dark blue box"

        point_main $(centre_of $APTEKA)
        wait_for 5 label_lit main "$APTEKA" || problem "'Аптека' did not turn white under the pointer"
        save_shot 01-catalogue-hover
        point_main $(centre_of $VETERINAR)
        wait_for 5 label_lit main "$VETERINAR" || problem "'Ветеринар' did not turn white under the pointer"
        label_idle main "$APTEKA" || problem "'Аптека' stayed white after the pointer moved to 'Ветеринар'"
        point_main $(centre_of $HEADING)
        sleep 0.3
        label_lit main "$VETERINAR" || problem "moving onto the heading cleared the highlight"
        snap
        shows_colour main "$HEADING" "$WHITE" || problem "the heading changed colour"
        point_main $PANEL_SPOT
        wait_for 5 label_idle main "$VETERINAR" || problem "moving onto the panel did not clear the highlight"

        grid_rows_are 20 || problem "the grid shows $(grid_rows) rows before the click, expected a full page"
        click_client $(centre_of $APTEKA)
        wait_for 10 grid_rows_are 3 || problem "after clicking 'Аптека' the grid shows $(grid_rows) rows, expected the 3 pharmacies"
        save_shot 01-catalogue-clicked
        local count
        count=$(sql "$dir/Sarvino.mdb" "SELECT count(*) FROM $TABLE WHERE \"вид_деят\"='Аптека'")
        [ "$count" = 3 ] || problem "the file holds $count pharmacies, expected it unchanged"
    fi
    end_case
}

case_bus_window() {
    begin_case "bus window: transient, centred, on top; the main window takes no input" 02-bus
    local dir="$CASE_DIR/run"
    make_catalogue_db "$dir/Sarvino.mdb" || { problem "gendb failed"; end_case; return; }
    start_program "$dir"
    if find_main_window; then
        # An item lit before the window opens stays lit until a reset.
        point_main $(centre_of $MEDITSINA)
        wait_for 5 label_lit main "$MEDITSINA" || problem "'Медицина' did not turn white under the pointer"
        if open_bus_window; then
            save_shot 02-bus-open
            local transient type actions
            transient=$(xprop -id "$BUS" WM_TRANSIENT_FOR | sed -n 's/.*window id # \(0x[0-9a-f]*\).*/\1/p')
            [ "$((transient))" = "$((MAIN))" ] || problem "WM_TRANSIENT_FOR of the bus window is '$transient', expected the main window $MAIN"
            type=$(xprop -id "$BUS" _NET_WM_WINDOW_TYPE)
            grep -q _NET_WM_WINDOW_TYPE_DIALOG <<<"$type" || problem "the bus window is not a dialog to the window manager: $type"
            actions=$(xprop -id "$BUS" _NET_WM_ALLOWED_ACTIONS)
            grep -q -e MAXIMIZE -e _NET_WM_ACTION_RESIZE <<<"$actions" && problem "the bus window can be resized or maximised: $actions"
            geometry_of "$BUS"
            [ "$GW" = "$BUS_W" ] && [ "$GH" = "$BUS_H" ] || problem "the bus window's client area is ${GW}x${GH}, expected ${BUS_W}x${BUS_H}"
            frame_centred "$BUS" "bus window"
            label_lit main "$MEDITSINA" || problem "opening the bus window changed the lit item"

            # The main window takes no input and never covers the bus window:
            # clicks on an item and on a record, where the bus window leaves
            # them uncovered.
            local before
            before=$(visible_grid)
            click_client $(centre_of $MEDITSINA)
            click_client $((NAME_X + 20)) $(($(row_top 3) + ROW_H / 2))
            sleep 0.5
            [ "$(visible_grid)" = "$before" ] || problem "a click on the main window behind the bus window changed the grid"
            local stacking
            stacking=$(xprop -root _NET_CLIENT_LIST_STACKING | sed 's/.*# //; s/,//g')
            local pos_main=-1 pos_bus=-1 i=0 w
            for w in $stacking; do
                [ "$((w))" = "$((MAIN))" ] && pos_main=$i
                [ "$((w))" = "$((BUS))" ] && pos_bus=$i
                i=$((i + 1))
            done
            [ "$pos_bus" -gt "$pos_main" ] || problem "after a click on the main window it is stacked over the bus window ($stacking)"
            snap
            shows_colour bus "$ROUTE5" "$AQUA" || problem "the bus window is hidden after a click on the main window"
            save_shot 02-bus-main-clicked

            # A route under the pointer turns white and resets the main window.
            point_bus $(centre_of $ROUTE5)
            wait_for 5 label_lit bus "$ROUTE5" || problem "'Маршрут №5' did not turn white under the pointer"
            label_idle main "$MEDITSINA" || problem "a move over a route left the main window's item white"
            # "Маршрут №2": yellow, its stop names and times shown.
            click_bus $(centre_of $ROUTE2)
            wait_for 5 label_yellow bus "$ROUTE2" || problem "'Маршрут №2' did not turn yellow when chosen"
            snap
            shows_colour bus "$DISP_BOX" "$AQUA" || problem "no stop name shown after the click"
            shows_colour bus "$TIME1_BOX" "$YELLOW" || problem "no times shown after the click"
            save_shot 02-bus-route2
            point_bus $(centre_of $ROUTE7)
            sleep 0.3
            label_idle bus "$ROUTE7" || problem "with 'Маршрут №2' chosen, 'Маршрут №7' still lit up"
            label_yellow bus "$ROUTE2" || problem "'Маршрут №2' lost its yellow over another route"
            point_bus $BUS_SPOT
            wait_for 5 label_idle bus "$ROUTE2" || problem "the background did not reset 'Маршрут №2'"
            point_bus $(centre_of $ROUTE7)
            wait_for 5 label_lit bus "$ROUTE7" || problem "after the reset 'Маршрут №7' did not light up"

            # Moved by its title bar, closed by its close box, opened again.
            local frame fx fy
            frame=$(frame_of "$BUS")
            geometry_of "$frame"
            fx=$GX fy=$GY
            point_at $((fx + 200)) $((fy + 10))
            xdotool mousedown 1
            point_at $((fx + 240)) $((fy + 40))
            point_at $((fx + 260)) $((fy + 60))
            xdotool mouseup 1
            sleep 0.5
            geometry_of "$frame"
            local moved_x=$GX moved_y=$GY
            [ "$moved_x" != "$fx" ] || problem "dragging the title bar did not move the bus window"
            title_button "$BUS" 10
            if wait_for 10 window_gone "$BUS"; then
                snap
                label_idle main "$MEDITSINA" || problem "after closing the bus window 'Медицина' is not aqua"
                click_client $(centre_of $APTEKA)
                wait_for 10 grid_rows_are 3 || problem "after closing the bus window the main window still takes no clicks"
                save_shot 02-bus-closed
                if open_bus_window; then
                    geometry_of "$(frame_of "$BUS")"
                    [ "$GX $GY" = "$moved_x $moved_y" ] || problem "reopened at ($GX,$GY), expected where it was left ($moved_x,$moved_y)"
                    snap
                    shows_colour bus "$TIME1_BOX" "$YELLOW" || problem "the reopened window does not show the last route"
                    label_idle bus "$ROUTE2" || problem "the reopened window shows 'Маршрут №2' not aqua"
                    save_shot 02-bus-reopened
                    title_button "$BUS" 10
                    wait_for 10 window_gone "$BUS" || problem "the close box did not close the reopened window"
                fi
            else
                problem "the close box did not close the bus window"
            fi
        fi
    fi
    end_case
}

case_maximise() {
    begin_case "main window: maximise keeps the controls in place, the border does not resize" 03-maximise
    local dir="$CASE_DIR/run"
    make_catalogue_db "$dir/Sarvino.mdb" || { problem "gendb failed"; end_case; return; }
    start_program "$dir"
    if find_main_window; then
        local w0=$WIN_W h0=$WIN_H
        title_button "$MAIN" 26
        if wait_for 10 main_maximised; then
            geometry_of "$MAIN"
            [ "$GW" -gt "$w0" ] && [ "$GH" -gt "$h0" ] || problem "maximised, the window is ${GW}x${GH}, no larger than ${w0}x${h0}"
            CX=$GX CY=$((GY + MENU_H))
            sleep 0.5
            save_shot 03-maximised
            snap
            label_idle main "$APTEKA" || problem "maximised, 'Аптека' is not at its place"
            local colour
            colour=$(pixel $((CLIENT_W + 40)) 300)
            [ "$colour" = "$BACKGROUND" ] || problem "maximised, the added area is #$colour, expected the window colour #$BACKGROUND"
            title_button "$MAIN" 26
            wait_for 10 main_restored "$w0" "$h0" || problem "restoring did not give back the ${w0}x${h0} window"
        else
            problem "the maximise button did not maximise the main window"
        fi
        # Dragging the bottom-right corner does not change the size.
        local frame
        frame=$(frame_of "$MAIN")
        geometry_of "$frame"
        point_at $((GX + GW - 2)) $((GY + GH - 2))
        xdotool mousedown 1
        point_at $((GX + GW + 40)) $((GY + GH + 30))
        point_at $((GX + GW + 80)) $((GY + GH + 60))
        xdotool mouseup 1
        if ! wait_for 10 main_restored "$w0" "$h0"; then
            save_shot 03-after-drag
            problem "after dragging the corner the window is ${GW}x${GH}, not ${w0}x${h0}"
        fi
    fi
    end_case
}
main_maximised() { xprop -id "$MAIN" _NET_WM_STATE | grep -q _NET_WM_STATE_MAXIMIZED_HORZ; }
main_restored() {
    geometry_of "$MAIN"
    [ "$GW" = "$1" ] && [ "$GH" = "$2" ] && ! main_maximised
}

e2e_main "$@" -- catalogue bus_window maximise
