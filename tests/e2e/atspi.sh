# Sourced first by the scripts that hear the program as a screen reader does:
# the run gets a session bus of its own for the accessibility bridge (removed
# when the run ends), then lib.sh; WALKER prints a window's accessibility
# tree over AT-SPI (atspi_tree.py).
if [ -z "${SARWINO_A11Y_SESSION:-}" ]; then
    export SARWINO_A11Y_SESSION=1
    exec dbus-run-session -- bash "$0" "$@"
fi
readonly SESSION_BUS=$DBUS_SESSION_BUS_ADDRESS
source "$(dirname "${BASH_SOURCE[0]}")/lib.sh"
readonly WALKER="$(dirname "${BASH_SOURCE[0]}")/atspi_tree.py"
