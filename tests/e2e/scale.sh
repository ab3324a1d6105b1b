#!/bin/bash
# End-to-end test of the main window on a screen at the desktop's scale: the
# whole window, frame included, lies on the screen, however small the screen
# and large the scale (the screen and the scale come from XVFB_SCREEN and
# SARWINO_TEST_SCALE, one CTest entry each).
source "$(dirname "$0")/lib.sh"

# on_screen WINDOW: the window's frame lies wholly on the screen.
on_screen() {
    local x y w h sw sh
    read -r x y w h < <(window_box "$(frame_of "$1")")
    read -r sw sh < <(xdpyinfo | sed -n 's/^ *dimensions: *\([0-9]*\)x\([0-9]*\) pixels.*/\1 \2/p')
    FRAME_BOX="${w}x${h}+${x}+${y} on ${sw}x${sh}"
    [ "$x" -ge 0 ] && [ "$y" -ge 0 ] && [ $((x + w)) -le "$sw" ] && [ $((y + h)) -le "$sh" ]
}

case_fits() {
    local scale=${SARWINO_TEST_SCALE:-1}
    begin_case "at ${scale}× on ${XVFB_SCREEN%x*} the whole main window is on the screen" 31-scale
    local dir="$CASE_DIR/run"
    make_db "$dir/Sarvino.mdb" || { problem "gendb failed"; end_case; return; }
    QT_SCALE_FACTOR=$scale start_program "$dir"
    local w=""
    local end=$(( $(now_ms) + 20000 ))
    while [ -z "$w" ] && [ "$(now_ms)" -lt "$end" ]; do
        w=$(timeout 2 xdotool search --sync --onlyvisible --pid "$APP_PID" --name "^${CAPTION}\$" 2>/dev/null | head -n 1)
    done
    if [ -z "$w" ]; then
        problem "the main window did not appear"
    else
        sleep 1
        on_screen "$w" || problem "the window's frame ($FRAME_BOX) runs off the screen"
        MAIN=$w
        snap
        cp "$SHOT" "$ARTIFACTS/31-scale-${scale}-screen.png"
        # The window still answers: a click into the search box takes the focus there.
        kill -0 "$APP_PID" 2>/dev/null || problem "the program ended"
    fi
    stop_program
    end_case
}

e2e_main "$@" -- fits
