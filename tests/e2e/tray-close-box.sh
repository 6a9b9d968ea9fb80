#!/usr/bin/env bash
# Closing the main window from its frame (openbox's Alt+F4, a real WM_DELETE_WINDOW) only hides
# it: the program goes on running with its icon in the tray, Settings.inf is written, and a
# double-click on the icon brings the same window back.
# Run as: with-desktop --wm --tray -- tray-close-box.sh <larkspur executable>
set -euo pipefail
here=$(dirname "$(readlink -f "${BASH_SOURCE[0]}")")
# shellcheck source=SCRIPTDIR/tray-lib.sh
source "$here/tray-lib.sh"

tray_begin "$1" tray-close-box
write_settings POP3MailServer=mail.example.org loginname=somebody checkeveryon=1 checkeverymin=7
cp "$folder/Settings.inf" "$folder/expected.inf"
start_program
find_tray_icon
# The start-up has saved by the time the window is shown.
wait_for 20 "the main window is shown" main_window_shown
window=$(main_window)
rm "$folder/Settings.inf"

xdotool windowactivate --sync "$window" >/dev/null 2>&1 || true
wait_for 10 "the main window is active" main_window_active
xdotool key alt+F4
wait_for 10 "closing the main window hides it" main_window_hidden
wait_for 10 "closing the main window writes Settings.inf" test -s "$folder/Settings.inf"
cmp -s "$folder/expected.inf" "$folder/Settings.inf" ||
    fail "Settings.inf differs from the options as they were: $(diff <(cat -A "$folder/expected.inf") <(cat -A "$folder/Settings.inf"))"
kill -0 "$pid" 2>/dev/null || fail "closing the main window ended the program"
has_tray_icon || fail "closing the main window took the icon out of the tray"

xdotool mousemove "$icon_x" "$icon_y" click --repeat 2 --delay 80 1
wait_for 10 "a double-click on the icon shows the closed window again" main_window_shown
[[ $(main_window) == "$window" ]] || fail "the window shown again is $(main_window), not the one closed ($window)"
