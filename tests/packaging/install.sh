#!/bin/bash
# Installing and packaging, as a user or a packager would run them:
#   cmake --install BUILD --prefix DIR   -> a self-contained program folder
#   cpack -G DEB                          -> a package with that folder under
#                                           /opt/sarwino and the desktop files
# Usage: install.sh CMAKE CPACK BUILD_DIR WITH_CONVERTER(0|1)
set -u
CMAKE=$1 CPACK=$2 BUILD=$3 CONVERTER=$4
WORK=$(mktemp -d "${TMPDIR:-/tmp}/sarwino-install.XXXXXX") || exit 1
trap 'rm -rf "$WORK"' EXIT
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

# ------------------------------------------------------------ plain install
DIR="$WORK/folder"
check "cmake --install succeeds" "$CMAKE" --install "$BUILD" --prefix "$DIR"
check "the program is in the folder" test -x "$DIR/Sarwino"
check "the sample database lies beside it" is_sqlite "$DIR/Sarvino.mdb"
check "the icon lies beside it" is_png "$DIR/sarwino.png"
check "the icon is 256x256" test "$(png_size "$DIR/sarwino.png")" = 256x256
if [ "$CONVERTER" = 1 ]; then
    check "the converter is in the folder" test -x "$DIR/sarwino-convert"
fi
# Nothing but the program folder: the desktop files belong to the package.
expected="Sarvino.mdb Sarwino sarwino.png"
[ "$CONVERTER" = 1 ] && expected="Sarvino.mdb Sarwino sarwino-convert sarwino.png"
check "the folder holds only the program's files" test "$(cd "$DIR" && find . -mindepth 1 | sed 's|^\./||' | sort | tr '\n' ' ')" = "$expected "

# ------------------------------------------------------------ Debian package
check "cpack -G DEB succeeds" "$CPACK" -G DEB -B "$WORK/package" --config "$BUILD/CPackConfig.cmake"
DEB=$(ls "$WORK"/package/*.deb 2>/dev/null | head -n 1)
if [ -z "$DEB" ]; then
    echo "FAIL: no package was made"
    echo "$PASSED passed, $((FAILED + 1)) failed"
    exit 1
fi
dpkg-deb -c "$DEB" | awk '{ print $6 }' | sed 's|^\./|/|' >"$WORK/contents"
for path in /opt/sarwino/Sarwino /opt/sarwino/Sarvino.mdb /opt/sarwino/sarwino.png \
    /usr/share/applications/ru.svetsoft.sarwino.desktop /usr/share/metainfo/ru.svetsoft.sarwino.metainfo.xml \
    /usr/share/icons/hicolor/32x32/apps/ru.svetsoft.sarwino.png /usr/share/icons/hicolor/64x64/apps/ru.svetsoft.sarwino.png \
    /usr/share/icons/hicolor/128x128/apps/ru.svetsoft.sarwino.png /usr/share/icons/hicolor/256x256/apps/ru.svetsoft.sarwino.png; do
    check "the package installs $path" grep -qx "$path" "$WORK/contents"
done
check "the package installs nothing outside /opt/sarwino and /usr/share" \
    bash -c "! grep -v -e '^/opt/' -e '^/usr/share/' -e '^/usr/\$' -e '^/\$' '$WORK/contents'"
check "the package is named sarwino" test "$(dpkg-deb -f "$DEB" Package)" = sarwino
check "the package depends on the SQLite driver" bash -c "dpkg-deb -f '$DEB' Depends | grep -q libqt6sql6-sqlite"

X="$WORK/root"
dpkg-deb -x "$DEB" "$X"
for size in 32 64 128 256; do
    check "the ${size}px icon is ${size}x${size}" \
        test "$(png_size "$X/usr/share/icons/hicolor/${size}x${size}/apps/ru.svetsoft.sarwino.png")" = "${size}x${size}"
done
DESKTOP="$X/usr/share/applications/ru.svetsoft.sarwino.desktop"
check "the desktop entry is valid" desktop-file-validate "$DESKTOP"
check "the desktop entry starts the packaged program" grep -qx 'Exec=/opt/sarwino/Sarwino' "$DESKTOP"
check "the desktop entry names the icon" grep -qx 'Icon=ru.svetsoft.sarwino' "$DESKTOP"
check "the AppStream metainfo is valid" appstreamcli validate --no-net "$X/usr/share/metainfo/ru.svetsoft.sarwino.metainfo.xml"
check "the packaged program is stripped but runnable" test -x "$X/opt/sarwino/Sarwino"

echo "$PASSED passed, $FAILED failed"
[ "$FAILED" -eq 0 ]
