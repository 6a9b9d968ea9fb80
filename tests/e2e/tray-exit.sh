#!/usr/bin/env bash
# The tray menu's last item, "ปิดโปรแกรม", ends the program: the process exits with 0, its icon
# leaves the tray, and Settings.inf is written on the way out (removed while the program runs,
# it is there again afterwards, holding the options as they were).
# Run as: with-desktop --wm --tray -- tray-exit.sh <larkspur executable>
set -euo pipefail
here=$(dirname "$(readlink -f "${BASH_SOURCE[0]}")")
# shellcheck source=SCRIPTDIR/tray-lib.sh
source "$here/tray-lib.sh"

tray_begin "$1" tray-exit
# Options other than the defaults, so that a file of defaults would not pass.
write_settings POP3MailServer=mail.example.org loginname=somebody checkeveryon=1 checkeverymin=7 \
    enablesound=1 totaloldemail=4
cp "$folder/Settings.inf" "$folder/expected.inf"
start_program
find_tray_icon
# The start-up has saved by the time the window is shown.
wait_for 20 "the main window is shown" main_window_shown
rm "$folder/Settings.inf"

open_tray_menu
[[ -e $folder/Settings.inf ]] && fail "Settings.inf was written before the exit item was chosen"
# The pointer is just outside the menu, so nothing is selected: Up selects the last item.
xdotool key Up Return
wait_for_any 20 "the program ends after the exit item" program_ended
status=0
wait "$pid" || status=$?
pid=
((status == 0)) || fail "the program ended with status $status"

wait_for_any 10 "the icon leaves the tray" no_tray_icon
xdotool search --class '^trayer$' >/dev/null || fail "the tray itself is gone"
[[ -f $folder/Settings.inf ]] || fail "Settings.inf was not written by the exit"
cmp -s "$folder/expected.inf" "$folder/Settings.inf" ||
    fail "Settings.inf differs from the options as they were: $(diff <(cat -A "$folder/expected.inf") <(cat -A "$folder/Settings.inf"))"
