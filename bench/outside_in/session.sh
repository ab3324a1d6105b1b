# What the outside-in scripts share: a session of their own (nothing from the
# caller's desktop reaches the programs), a fresh home for every program
# start, and the display, Xvfb under the openbox window manager. The script
# that sources this sets WORK (its temporary folder), OUT (where logs go) and
# say(), and stops XVFB_PID and WM_PID on its way out.

unset WAYLAND_DISPLAY SESSION_MANAGER QT_STYLE_OVERRIDE QT_SCALE_FACTOR QT_SCREEN_SCALE_FACTORS QT_FONT_DPI
export QT_QPA_PLATFORM=xcb QT_AUTO_SCREEN_SCALE_FACTOR=0 QT_ACCESSIBILITY=0 NO_AT_BRIDGE=1
export DBUS_SESSION_BUS_ADDRESS="unix:path=$WORK/no-session-bus"
export LC_ALL=C.UTF-8

# fresh_home NAME: a new home and XDG folders for one program start, so that
# no start sees what an earlier one saved (window places, recent files).
fresh_home() {
    local home="$WORK/home-$1"
    rm -rf "$home"
    export HOME="$home"
    export XDG_CONFIG_HOME="$home/.config" XDG_DATA_HOME="$home/.local/share" XDG_CACHE_HOME="$home/.cache"
    export XDG_RUNTIME_DIR="$home/.runtime" XDG_DESKTOP_DIR="$home/Desktop"
    mkdir -p "$XDG_CONFIG_HOME" "$XDG_DATA_HOME" "$XDG_CACHE_HOME" "$XDG_RUNTIME_DIR" "$XDG_DESKTOP_DIR"
    chmod 0700 "$XDG_RUNTIME_DIR"
}

# start_display: Xvfb on a free display, openbox on it, and a Russian layout
# in the second keyboard group (every Cyrillic letter gets a key of its own).
start_display() {
    local fifo="$WORK/displayfd" n="" _
    mkfifo "$fifo" || return 1
    Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp -noreset 3>"$fifo" >"$OUT/logs/xvfb.log" 2>&1 &
    XVFB_PID=$!
    read -r -t 20 n <"$fifo"
    rm -f "$fifo"
    [ -n "$n" ] || return 1
    export DISPLAY=":$n"
    for _ in $(seq 100); do xdpyinfo >/dev/null 2>&1 && break; sleep 0.1; done
    openbox --sm-disable >"$OUT/logs/openbox.log" 2>&1 &
    WM_PID=$!
    for _ in $(seq 150); do
        xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q 'window id' && break
        sleep 0.1
    done
    setxkbmap -layout us,ru >/dev/null 2>&1 || say "(setxkbmap could not add a Russian layout)"
}
