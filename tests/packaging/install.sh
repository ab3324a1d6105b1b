#!/bin/bash
# Installing and packaging, as a user or a packager would run them:
#   cmake --install BUILD --prefix DIR   -> the GNU layout below DIR
#   cpack -G DEB                          -> a Debian package of it below /usr
# and the installed program run through its command.
# Usage: install.sh CMAKE CPACK BUILD_DIR WITH_CONVERTER(0|1) VERSION
set -u
CMAKE=$1 CPACK=$2 BUILD=$3 CONVERTER=$4 VERSION=$5
WORK=$(mktemp -d "${TMPDIR:-/tmp}/sarwino-install.XXXXXX") || exit 1
APP_PID=""
cleanup() {
    [ -n "$APP_PID" ] && kill "$APP_PID" 2>/dev/null && wait "$APP_PID" 2>/dev/null
    rm -rf "$WORK"
}
trap cleanup EXIT
PASSED=0 FAILED=0
check() { # check DESCRIPTION COMMAND...
    local what=$1; shift
    if "$@" >"$WORK/check.log" 2>&1; then
        PASSED=$((PASSED + 1))
    else
        echo "FAIL: $what"; sed 's/^/    /' "$WORK/check.log"
        FAILED=$((FAILED + 1))
    fi
}
is_png() { [ "$(head -c 8 "$1" | od -An -tx1 | tr -d ' \n')" = 89504e470d0a1a0a ]; }
png_size() { # the width and height from the header
    echo "$(od -An -tu1 -j16 -N8 "$1" | awk '{ print $3 * 256 + $4 "x" $7 * 256 + $8 }')"
}
is_sqlite() { [ "$(head -c 15 "$1")" = "SQLite format 3" ]; }
# links_to LINK TARGET: LINK is a relative link that leads to TARGET.
links_to() { [ -L "$1" ] && [[ "$(readlink "$1")" != /* ]] && [ "$(realpath "$1")" = "$(realpath "$2")" ]; }
release_version() { sed -n 's/.*<release version="\([^"]*\)".*/\1/p' "$1"; }
# a man page that man renders with no complaint
renders() { [ -z "$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -l "$1" 2>&1 >/dev/null)" ]; }

# ------------------------------------------------------------ plain install
DIR="$WORK/prefix"
check "cmake --install succeeds" "$CMAKE" --install "$BUILD" --prefix "$DIR"
P="$DIR/lib/sarwino"
check "the program is in lib/sarwino" test -x "$P/Sarwino"
check "the sample database lies beside it" is_sqlite "$P/Sarvino.mdb"
check "bin/sarwino leads to the program" links_to "$DIR/bin/sarwino" "$P/Sarwino"
expected="bin/sarwino lib/sarwino/Sarvino.mdb lib/sarwino/Sarwino"
if [ "$CONVERTER" = 1 ]; then
    check "bin/sarwino-convert leads to the converter" links_to "$DIR/bin/sarwino-convert" "$P/sarwino-convert"
    expected="bin/sarwino bin/sarwino-convert lib/sarwino/Sarvino.mdb lib/sarwino/Sarwino lib/sarwino/sarwino-convert"
fi
for size in 32 64 128 256; do
    icon="$DIR/share/icons/hicolor/${size}x${size}/apps/ru.svetsoft.sarwino.png"
    check "the ${size}px icon is a ${size}x${size} picture" test "$(is_png "$icon" && png_size "$icon")" = "${size}x${size}"
    expected="$expected share/icons/hicolor/${size}x${size}/apps/ru.svetsoft.sarwino.png"
done
expected="$expected share/applications/ru.svetsoft.sarwino.desktop share/metainfo/ru.svetsoft.sarwino.metainfo.xml"
expected="$expected share/man/man1/sarwino.1.gz share/man/man1/sarwino-convert.1.gz"
expected="$expected share/doc/sarwino/copyright share/doc/sarwino/changelog.gz"
want=$(echo $expected | tr ' ' '\n' | LC_ALL=C sort)
have=$(cd "$DIR" && find . \( -type f -o -type l \) | sed 's|^\./||' | LC_ALL=C sort)
check "the prefix holds exactly the program's files" test "$have" = "$want"
DESKTOP="$DIR/share/applications/ru.svetsoft.sarwino.desktop"
check "the desktop entry is valid" desktop-file-validate "$DESKTOP"
check "the desktop entry starts the command" grep -qx 'Exec=sarwino' "$DESKTOP"
check "the desktop entry names the icon" grep -qx 'Icon=ru.svetsoft.sarwino' "$DESKTOP"
META="$DIR/share/metainfo/ru.svetsoft.sarwino.metainfo.xml"
check "the AppStream metainfo is valid" appstreamcli validate --no-net --pedantic "$META"
check "the metainfo's release is the program's version" test "$(release_version "$META")" = "$VERSION"
check "the metainfo's addresses are https" bash -c "! grep -q 'http://' '$META'"
for page in sarwino sarwino-convert; do
    check "the manual page of $page renders cleanly" renders "$DIR/share/man/man1/$page.1.gz"
done

# The commands answer without a display.
NODISPLAY=(env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM)
check "sarwino --version names the version" test "$("${NODISPLAY[@]}" "$DIR/bin/sarwino" --version)" = "Sarwino $VERSION"
"${NODISPLAY[@]}" "$DIR/bin/sarwino" --help >"$WORK/help.txt" 2>&1
check "sarwino --help answers" grep -q -- --version "$WORK/help.txt"
if [ "$CONVERTER" = 1 ]; then
    check "sarwino-convert --version names the version" \
        test "$("$DIR/bin/sarwino-convert" --version)" = "sarwino-convert $VERSION"
fi

# started_through_link NAME XDG_DATA_DIRS: starts bin/sarwino with a home of
# its own until its desktop launcher appears (it writes one only once the
# database beside the real program is open).
started_through_link() {
    local home="$WORK/home-$1"
    mkdir -p "$home/Desktop"
    (cd "$WORK" && exec env -u XDG_CONFIG_HOME -u XDG_DATA_HOME -u XDG_DESKTOP_DIR HOME="$home" \
        XDG_DATA_DIRS="$2" PATH="$DIR/bin:$PATH" QT_QPA_PLATFORM=offscreen "$DIR/bin/sarwino") \
        >"$WORK/program-$1.log" 2>&1 &
    APP_PID=$!
    local i
    for i in $(seq 100); do
        [ -f "$home/Desktop/Sarwino.desktop" ] && break
        sleep 0.2
    done
    sleep 0.5 # the menu entry follows the desktop's
    kill "$APP_PID" 2>/dev/null; wait "$APP_PID" 2>/dev/null; APP_PID=""
}
started_through_link plain /nowhere
H="$WORK/home-plain"
check "started through its link, the program finds its database and writes its launcher" \
    test -f "$H/Desktop/Sarwino.desktop"
check "the launcher starts the real program" grep -qxF "Exec=\"$(realpath "$P")/Sarwino\"" "$H/Desktop/Sarwino.desktop"
check "without a menu entry for everyone it writes its own" test -f "$H/.local/share/applications/Sarwino.desktop"
started_through_link system "$DIR/share"
H="$WORK/home-system"
check "with the installed menu entry it still writes its desktop launcher" test -f "$H/Desktop/Sarwino.desktop"
check "with the installed menu entry it writes no menu entry of its own" \
    test ! -e "$H/.local/share/applications/Sarwino.desktop"

# ------------------------------------------------------------ Debian package
check "cpack -G DEB succeeds" "$CPACK" -G DEB -B "$WORK/package" --config "$BUILD/CPackConfig.cmake"
DEB=$(ls "$WORK"/package/*.deb 2>/dev/null | head -n 1)
if [ -z "$DEB" ]; then
    echo "FAIL: no package was made"
    echo "$PASSED passed, $((FAILED + 1)) failed"
    exit 1
fi
dpkg-deb -c "$DEB" | awk '{ print $6 }' | sed 's|^\./|/|' >"$WORK/contents"
for path in $expected; do
    check "the package installs /usr/$path" grep -qx "/usr/$path" "$WORK/contents"
done
check "the package installs nothing outside /usr" bash -c "! grep -v -e '^/usr/' -e '^/\$' '$WORK/contents'"
check "the package is named sarwino" test "$(dpkg-deb -f "$DEB" Package)" = sarwino
check "the package has the program's version" test "$(dpkg-deb -f "$DEB" Version)" = "$VERSION"
check "the package depends on the SQLite driver" bash -c "dpkg-deb -f '$DEB' Depends | grep -q libqt6sql6-sqlite"
check "the package says its sample directory is invented" bash -c "dpkg-deb -f '$DEB' Description | grep -q invented"
X="$WORK/root"
dpkg-deb -x "$DEB" "$X"
check "the packaged command leads to the packaged program" links_to "$X/usr/bin/sarwino" "$X/usr/lib/sarwino/Sarwino"
check "the packaged desktop entry is valid" desktop-file-validate "$X/usr/share/applications/ru.svetsoft.sarwino.desktop"
check "the packaged metainfo has the package's version" \
    test "$(release_version "$X/usr/share/metainfo/ru.svetsoft.sarwino.metainfo.xml")" = "$VERSION"
# Built with Debian's hardening flags: read-only relocations bound at start,
# the stack protector.
for program in Sarwino sarwino-convert; do
    [ -e "$X/usr/lib/sarwino/$program" ] || continue
    check "$program is bound at start with read-only relocations" \
        bash -c "readelf -lW '$X/usr/lib/sarwino/$program' | grep -q GNU_RELRO && readelf -dW '$X/usr/lib/sarwino/$program' | grep -q 'BIND_NOW'"
    check "$program has the stack protector" bash -c "readelf --dyn-syms -W '$X/usr/lib/sarwino/$program' | grep -q __stack_chk_fail"
done
if command -v lintian >/dev/null; then
    check "lintian finds no error" lintian --fail-on error --no-tag-display-limit "$DEB"
else
    echo "FAIL: lintian is missing (tools/bootstrap.sh installs it)"
    FAILED=$((FAILED + 1))
fi

echo "$PASSED passed, $FAILED failed"
[ "$FAILED" -eq 0 ]
