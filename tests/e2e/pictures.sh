#!/bin/bash
# End-to-end tests of the windows' pictures on a real X server: the main
# window's banners, catalogue panel and border strips where they belong and
# the program's icon on it; the bus window's background and banner, the about
# window's background, mascot, name plate and rising credits, and the
# add-record window's background and mascot, compared with the picture files;
# no picture missing or damaged. Each case keeps a screenshot of its window.
source "$(dirname "$0")/lib.sh"

PICTURES=$(cd "$(dirname "$0")/../../src/assets/pictures" && pwd)
readonly PICTURES
readonly NAVY=080D37 LIGHT=BAF2FD

# The border strip's seven bands, top row to bottom row, from its picture.
mapfile -t BANDS < <(for i in 0 1 2 3 4 5 6; do
    convert "$PICTURES/border_strip.jpg" -format "%[hex:p{0,$i}]\n" info:
done)
readonly BANDS

# near HEX HEX: two colours within 6 in each channel (JPEG rounding).
near() {
    local a=$1 b=$2 i
    for i in 0 2 4; do
        local d=$(( 16#${a:i:2} - 16#${b:i:2} ))
        [ "${d#-}" -le 6 ] || return 1
    done
}
expect_colour() { # expect_colour X Y HEX WHAT
    local c
    c=$(pixel "$1" "$2")
    near "$c" "$3" || problem "$4: client point ($1, $2) is #$c, expected #$3"
}
# solid_bands X Y LENGTH WHAT: the client column X from Y down LENGTH pixels
# shows seven solid bands, not a gradient: exactly seven colours, one run
# each, in order, each run a seventh of the length and near its band.
solid_bands() {
    local fault
    fault=$(convert "$SHOT" -crop "1x$3+$((CX + $1))+$((CY + $2))" +repage -depth 8 txt:- 2>/dev/null \
        | sed -n 's/.*#\([0-9A-F]\{6\}\).*/\1/p' \
        | awk -v len="$3" -v bands="${BANDS[*]}" '
            function ch(h, i) { return (index("0123456789ABCDEF", substr(h, i, 1)) - 1) * 16 + index("0123456789ABCDEF", substr(h, i + 1, 1)) - 1 }
            BEGIN { n = split(bands, band, " ") }
            { if ($1 != last) { runs++; colour[runs] = $1; last = $1 } count[runs]++ }
            END {
                if (runs != 7) { printf "%d colours along it, expected 7 bands", runs; exit }
                for (r = 1; r <= 7; r++) {
                    for (i = 1; i <= 5; i += 2) {
                        d = ch(colour[r], i) - ch(band[r], i)
                        if (d > 6 || d < -6) { printf "band %d is #%s, expected #%s", r - 1, colour[r], band[r]; exit }
                    }
                    if (count[r] * 7 - len > 7 || len - count[r] * 7 > 7) { printf "band %d spans %d of %d pixels", r - 1, count[r], len; exit }
                }
            }')
    [ -z "$fault" ] || problem "$4: $fault"
}
mean_between() { # mean_between X Y W H LOW HIGH WHAT
    local m
    m=$(mean_grey "$1" "$2" "$3" "$4")
    awk -v m="${m:-x}" -v lo="$5" -v hi="$6" 'BEGIN { exit !(m >= lo && m <= hi) }' \
        || problem "$7: mean grey $m, expected $5..$6"
}

# ---------------------------------------------------------------- side windows

side_click() {
    xdotool mousemove "$((SX + $1))" "$((SY + $2))"
    wait_for 5 pointer_at "$((SX + $1))" "$((SY + $2))"
    xdotool click 1
}

# Points and rectangles in client pixels of the side window.
side_pixel() { convert "$SHOT" -format "%[hex:p{$((SX + $1)),$((SY + $2))}]" info: 2>/dev/null | cut -c1-6; }
expect_side() { # expect_side X Y HEX WHAT
    local c
    c=$(side_pixel "$1" "$2")
    near "$c" "$3" || problem "$4: point ($1, $2) of the window is #$c, expected #$3"
}
# side_flat X Y W H HEX WHAT: every pixel of the rectangle is that colour.
side_flat() {
    local n
    convert "$SHOT" -crop "$3x$4+$((SX + $1))+$((SY + $2))" +repage "$WORK/shown.png" 2>/dev/null
    convert -size "$3x$4" "xc:#$5" "$WORK/expected.png" 2>/dev/null
    n=$(compare -metric AE -fuzz 3% "$WORK/shown.png" "$WORK/expected.png" null: 2>&1)
    [ "${n%%.*}" = 0 ] 2>/dev/null || problem "$6: $n pixels of ($1, $2) $3x$4 are not #$5"
}
# side_shows_picture X Y W H FILE PX PY WHAT: the rectangle shows the picture
# file's rectangle of that size at (PX, PY), pixel for pixel (within the
# rounding of two JPEG decoders).
side_shows_picture() {
    local n
    convert "$SHOT" -crop "$3x$4+$((SX + $1))+$((SY + $2))" +repage "$WORK/shown.png" 2>/dev/null
    convert "$PICTURES/$5" -crop "$3x$4+$6+$7" +repage "$WORK/expected.png" 2>/dev/null
    n=$(compare -metric AE -fuzz 2% "$WORK/shown.png" "$WORK/expected.png" null: 2>&1)
    [ "${n%%.*}" = 0 ] 2>/dev/null || problem "$8: $n pixels of ($1, $2) $3x$4 differ from $5"
}
# side_ink X Y W H: the darkest pixel of the rectangle, 0 black .. 1 white.
side_ink() {
    convert "$SHOT" -crop "$3x$4+$((SX + $1))+$((SY + $2))" +repage -colorspace Gray -format '%[fx:minima]' info: 2>/dev/null
}
save_frame() {
    convert "$SHOT" -crop "${FW}x${FH}+${FX}+${FY}" +repage "$ARTIFACTS/$1.png" 2>/dev/null
}
save_client() {
    convert "$SHOT" -crop "${SW}x${SH}+${SX}+${SY}" +repage "$ARTIFACTS/$1.png" 2>/dev/null
}

case_placements() {
    begin_case "pictures: banners, panel and strips in place" 01-pictures
    local dir="$CASE_DIR/run"
    make_db "$dir/Sarvino.mdb" || { problem "gendb failed"; end_case; return; }
    start_program "$dir"
    if find_main_window; then
        sleep 0.5
        save_shot 01-pictures
        snap
        local i y
        # Horizontal strips: the bands across, top row to bottom row.
        for i in 0 1 2 3 4 5 6; do
            expect_colour 300 $((505 + i)) "${BANDS[i]}" "the strip under the grid (Image8), row $i"
            expect_colour 300 $((571 + i)) "${BANDS[i]}" "the strip over the bottom banner (Image9), row $i"
            expect_colour 900 "$i" "${BANDS[i]}" "the top right strip (Image4), row $i"
        done
        # Vertical strips: seven solid bands along the length. (Image7 lies
        # under Image8 at its top, as the controls stack.)
        solid_bands 1002 3 640 "the right edge strip (Image5)"
        solid_bands 3 511 138 "the left edge strip (Image10)"
        # The catalogue panel's left edge, dark navy from top to bottom.
        for y in 10 100 300 500 640; do
            expect_colour 754 "$y" 080D37 "the catalogue panel (Image2)"
        done
        # The top banner squeezed to 89 rows: light band above, navy below.
        mean_between 330 25 360 25 0.6 1 "the top banner's light band"
        mean_between 300 66 440 20 0 0.3 "the top banner's navy band"
        # The bottom banner: a night sky with the maker's name.
        mean_between 8 580 737 60 0.05 0.4 "the bottom banner"
        # The icon on the window, plain and double size.
        local icon
        icon=$(xprop -id "$MAIN" _NET_WM_ICON 2>/dev/null | grep -o 'Icon ([0-9]* x [0-9]*)' | tr '\n' ' ')
        case $icon in *"32 x 32"*) ;; *) problem "the window carries no 32x32 icon ($icon)" ;; esac
        case $icon in *"64 x 64"*) ;; *) problem "the window carries no 64x64 icon ($icon)" ;; esac
        if grep -q -e 'cannot be shown' -e "not in the program's resources" "$CASE_DIR/program.log"; then
            problem "the program reports pictures it cannot show: $(grep -m1 picture "$CASE_DIR/program.log")"
        fi
    fi
    end_case
}

case_bus_window() {
    begin_case "pictures: the bus window's background and banner" 02-bus
    make_db "$CASE_DIR/run/Sarvino.mdb" || { problem "gendb failed"; end_case; return; }
    start_program "$CASE_DIR/run"
    if find_main_window; then
        # "Cправочники", then "Городские автобусы".
        click_menu 40
        sleep 0.3
        keys Down Return
        if find_side 'Городские автобусы'; then
            # "Маршрут №2" shows its times over the background.
            side_click 30 78
            wait_for 5 bus_times_shown || problem "no times shown after a click on 'Маршрут №2'"
            sleep 0.3
            snap
            save_client 02-bus-window
            local p
            # The stretched 10 x 10 picture: navy to the window's last column
            # and the row above the last.
            for p in "2 2" "60 40" "620 30" "679 100" "600 300" "679 488" "300 470" "5 488"; do
                expect_side ${p% *} ${p#* } "$NAVY" "the background (Image1)"
            done
            side_flat 540 60 140 429 "$NAVY" "the background right of the times"
            # One row short of the client area: the window's own colour shows.
            near "$(side_pixel 300 489)" "$NAVY" && problem "the last row of the bus window is navy, not the window's colour"
            # The banner unscaled from (104, 0); the control's last column, x
            # 572, shows the background.
            side_shows_picture 104 0 468 60 bus_banner.jpg 0 0 "the bus banner (Image2)"
            side_flat 572 0 1 60 "$NAVY" "the bus banner control's last column"
        fi
    fi
    end_case
}
bus_times_shown() {
    snap
    local n
    # Yellow times in Time1's box.
    n=$(convert "$SHOT" -crop "290x57+$((SX + 231))+$((SY + 79))" +repage -fx 'r>0.55 && g>0.55 && b<0.35' \
        -format '%[fx:round(mean*w*h)]' info: 2>/dev/null)
    [ "${n:-0}" -ge 20 ]
}

case_add_record_window() {
    begin_case "pictures: the add-record window's background and mascot" 03-add-record
    make_db "$CASE_DIR/run/Sarvino.mdb" || { problem "gendb failed"; end_case; return; }
    start_program "$CASE_DIR/run"
    if find_main_window; then
        click_menu 137
        if find_side 'Добавить запись ...'; then
            sleep 0.5
            snap
            save_frame 03-add-record-window
            # The background stretched from (-36, -20) covers the whole window.
            side_flat 0 0 414 8 "$LIGHT" "the background's top rows (Image2)"
            side_flat 402 0 12 135 "$LIGHT" "the background's right edge (Image2)"
            side_flat 0 180 170 63 "$LIGHT" "the background's bottom left (Image2)"
            side_flat 252 180 162 63 "$LIGHT" "the background's bottom right (Image2)"
            side_shows_picture 8 16 89 110 mascot.bmp 0 0 "the mascot (Image1)"
        fi
    fi
    end_case
}

# credits_top: the credits panel's top in the about window's client pixels,
# found by looking for the credits' first lines between the header (to row
# 71) and the footer (from row 176); empty while they are not in view.
credits_top() {
    local found at y
    convert "$SHOT" -crop "241x104+$((SX + 120))+$((SY + 72))" +repage "$WORK/band.png" 2>/dev/null
    found=$(compare -metric RMSE -subimage-search "$WORK/band.png" "$WORK/credits-head.png" null: 2>&1)
    # "1234.5 (0.0188) @ 0,12"
    at=${found##*@ }
    y=${at#*,}
    awk -v f="$found" 'BEGIN { split(f, a, /[()]/); exit !(a[2] + 0 < 0.03) }' || return 0
    case $y in '' | *[!0-9]*) return 0 ;; esac
    echo $((72 + y))
}

case_about_window() {
    begin_case "pictures: the about window's background, mascot, name plate and credits" 04-about
    make_db "$CASE_DIR/run/Sarvino.mdb" || { problem "gendb failed"; end_case; return; }
    start_program "$CASE_DIR/run"
    if find_main_window; then
        click_menu 233
        sleep 0.4
        keys Down Down Return
        if find_side 'О программе...'; then
            # The credits rise a pixel every 150 ms from row 175: wait until
            # they stand whole between the header and the footer (top 72-81).
            convert "$PICTURES/credits.jpg" -crop 241x30+0+0 +repage "$WORK/credits-head.png"
            local top="" end=$(($(now_ms) + 40000))
            while [ "$(now_ms)" -lt "$end" ]; do
                snap
                top=$(credits_top)
                if [ -n "$top" ] && [ "$top" -le 81 ]; then break; fi
                if [ -n "$top" ]; then sleep "$(awk -v t="$top" 'BEGIN { printf "%.2f", (t - 80) * 0.15 }')"; else sleep 1; fi
                top=""
            done
            if [ -z "$top" ]; then
                problem "the credits did not come into view within 40 s"
            else
                save_frame 04-about-window
                # The stretched background, where nothing lies over it.
                local p
                for p in "4 150" "405 100" "370 150" "200 285" "2 200"; do
                    expect_side ${p% *} ${p#* } "$LIGHT" "the background (Image2)"
                done
                # The mascot at its own size; the header over its last columns.
                side_shows_picture 8 16 81 110 mascot.bmp 0 0 "the mascot (Image1)"
                side_flat 89 16 8 56 B9F2FD "the header over the mascot's last columns"
                side_shows_picture 151 3 195 30 name_plate.jpg 0 0 "the name plate (Image3 in Panel3)"
                # The credits, 241 pixels of their 244 wide, above the mail row.
                side_shows_picture 120 "$top" 241 82 credits.jpg 0 0 "the credits (Image4 in Panel1)"
                side_flat 361 "$top" 1 95 "$LIGHT" "the background right of the credits panel"
                # The mail row: "е-mail:" and the address in blue, on plain
                # ground left of them.
                local ink
                ink=$(side_ink 120 $((top + 82)) 100 13)
                awk -v m="${ink:-0}" 'BEGIN { exit !(m > 0.6) }' \
                    || problem "the credits' mail row holds ink left of the address (darkest grey $ink)"
                local blue
                blue=$(convert "$SHOT" -crop "120x13+$((SX + 240))+$((SY + top + 82))" +repage \
                    -fx '(b>0.7&&r<0.35&&g<0.35)?1:0' -format '%[fx:round(mean*w*h)]' info: 2>/dev/null)
                [ "${blue:-0}" -ge 20 ] || problem "the mail address is not shown in blue over the credits"
            fi
        fi
    fi
    end_case
}

e2e_main "$@" -- placements bus_window add_record_window about_window
