#!/bin/sh
# Installs with apt-get whatever the build, the program and the tests need
# and is not there yet. Run as root on Debian 12; does nothing when all is in place.
set -e
packages="cmake ninja-build g++ lld pkg-config
  qt6-base-dev qt6-base-dev-tools libqt6sql6-sqlite qt6-translations-l10n libgl-dev
  libsqlite3-dev sqlite3 libjpeg-dev libicu-dev libbenchmark-dev
  mdbtools-dev mdbtools
  postgresql-15 libpq-dev
  dbus at-spi2-core python3-pyatspi
  xvfb xauth openbox xdotool x11-utils x11-xkb-utils libx11-dev libxcb1-dev imagemagick
  libxdamage-dev libxtst-dev libxkbcommon-dev
  fonts-comfortaa fonts-kaushanscript fonts-dejavu-extra
  dpkg-dev file appstream desktop-file-utils libglib2.0-bin lintian man-db"
# With --fuzz also clang and its libFuzzer runtime, for -DSARWINO_FUZZ=ON.
[ "${1:-}" = --fuzz ] && packages="$packages clang libclang-rt-14-dev"
missing=""
for p in $packages; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "ok installed" || missing="$missing $p"
done
if [ -n "$missing" ]; then
  echo "Installing:$missing"
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  apt-get install -y -qq --no-install-recommends $missing
fi
