#!/bin/bash
# End-to-end tests of the main window's pictures on a real X server: the
# banners, the catalogue panel and the border strips where they belong, the
# program's icon on the window, no picture missing or damaged.
source "$(dirname "$0")/lib.sh"

readonly BANDS=(65D9FA 68D8F5 66D5F2 59D0F3 50D1FD 47CCFA 49C7EF)

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
mean_between() { # mean_between X Y W H LOW HIGH WHAT
    local m
    m=$(mean_grey "$1" "$2" "$3" "$4")
    awk -v m="${m:-x}" -v lo="$5" -v hi="$6" 'BEGIN { exit !(m >= lo && m <= hi) }' \
        || problem "$7: mean grey $m, expected $5..$6"
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
        # Vertical strips: the bands along the length.
        for i in 0 1 2 3 4 5 6; do
            y=$(( 3 + (640 * (2 * i + 1)) / 14 ))
            expect_colour 1002 "$y" "${BANDS[i]}" "the right edge strip (Image5), band $i"
            y=$(( 511 + (138 * (2 * i + 1)) / 14 ))
            expect_colour 3 "$y" "${BANDS[i]}" "the left edge strip (Image10), band $i"
        done
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

e2e_main "$@" -- placements
