#!/usr/bin/env bash
# The package installed with apt on this machine, started as its menu entry starts it, on a
# private desktop with a tray: its icon is in the tray, its settings are in $XDG_CONFIG_HOME/larkspur
# and nothing is written beside it, and start at logon writes an entry that starts the installed
# program. The package is purged again afterwards, leaving nothing behind.
# Needs root; skipped (77) without it, or when a larkspur package is installed here already.
# Run as: with-desktop --wm --tray -- apt-install.sh <folder with the .deb>
set -euo pipefail
here=$(dirname "$(readlink -f "${BASH_SOURCE[0]}")")
# shellcheck source=SCRIPTDIR/../e2e/tray-lib.sh
source "$here/../e2e/tray-lib.sh"

debs=("$1"/larkspur_*.deb)
[[ -f ${debs[0]} ]] || {
    echo "no package in $1" >&2
    exit 1
}
if ((EUID != 0)); then
    echo "SKIP: installing a package needs root"
    exit 77
fi
if [[ $(dpkg-query -W -f='${db:Status-Abbrev}' larkspur 2>/dev/null) == i* ]]; then
    echo "SKIP: a larkspur package is installed here already; it is left alone"
    exit 77
fi

test_name=apt-install
folder=$(mktemp -d "${TMPDIR:-/tmp}/larkspur-$test_name.XXXXXX")
pid=
own_pids=()
installed=0
apt_options=(-y -q -o DPkg::Lock::Timeout=300)
finish() {
    tray_cleanup
    ((installed)) && DEBIAN_FRONTEND=noninteractive apt-get purge "${apt_options[@]}" larkspur >/dev/null
    return 0
}
trap finish EXIT

DEBIAN_FRONTEND=noninteractive apt-get install "${apt_options[@]}" "$(readlink -f "${debs[0]}")" \
    >"$folder/apt.log" 2>&1 || fail "apt-get install: $(cat "$folder/apt.log")"
installed=1

export HOME=$folder/home XDG_CONFIG_HOME=$folder/config XDG_RUNTIME_DIR=$folder/runtime
mkdir -p "$HOME" "$XDG_CONFIG_HOME/larkspur"
mkdir -m 700 "$XDG_RUNTIME_DIR"
write_settings checkeverymin=15 launchatstartup=1
mv "$folder/Settings.inf" "$XDG_CONFIG_HOME/larkspur/"

# As the menu starts it: the entry's Exec through PATH.
exec_line=$(grep '^Exec=' /usr/share/applications/io.github.larkspur.Larkspur.desktop)
[[ $(command -v "${exec_line#Exec=}") == /usr/bin/larkspur ]] || fail "$exec_line does not start /usr/bin/larkspur"
"${exec_line#Exec=}" >"$folder/stdout.log" 2>&1 &
pid=$!
find_tray_icon
wait_for 20 "the main window is shown" main_window_shown

autostart=$XDG_CONFIG_HOME/autostart/Larkspur.desktop
autostart_written() { [[ -f $autostart ]]; }
wait_for 20 "start at logon writes $autostart" autostart_written
grep -qx 'Exec=/usr/bin/larkspur' "$autostart" || fail "the autostart entry says: $(cat "$autostart")"
[[ $(ls -A "$XDG_CONFIG_HOME/larkspur") == Settings.inf ]] ||
    fail "the settings folder holds: $(ls -A "$XDG_CONFIG_HOME/larkspur")"
[[ ! -e /usr/bin/Settings.inf && ! -e /usr/bin/mail.wav ]] || fail "the program wrote beside itself"

kill "$pid"
wait "$pid" 2>/dev/null || true
pid=
DEBIAN_FRONTEND=noninteractive apt-get purge "${apt_options[@]}" larkspur >"$folder/apt.log" 2>&1 ||
    fail "apt-get purge: $(cat "$folder/apt.log")"
installed=0
[[ ! -e /usr/bin/larkspur && ! -e /usr/share/larkspur ]] || fail "the purged package left files behind"
