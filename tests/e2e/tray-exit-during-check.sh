#!/usr/bin/env bash
# The tray menu's exit item while a check is under way (Dovecot holds back its answer to a wrong
# password): the program saves its settings and ends at once, without waiting for the server,
# and its icon leaves the tray.
# Run as: pop3-sandbox --auth-failure-delay 60 -- with-desktop --wm --tray --
#         tray-exit-during-check.sh <larkspur executable>
set -euo pipefail
here=$(dirname "$(readlink -f "${BASH_SOURCE[0]}")")
# shellcheck source=SCRIPTDIR/tray-lib.sh
source "$here/tray-lib.sh"

tray_begin "$1" tray-exit-during-check
write_settings POP3MailServer=127.0.0.1 "loginname=$LARKSPUR_POP3_USER" mempass=1 \
    "$(scrambled_password_line "not-$LARKSPUR_POP3_PASSWORD")" checkeverymin=7 enablesound=1
start_program
find_tray_icon

# The connection of the check that starts with the program, seen from the kernel's side.
check_connected() {
    ss -tnpH state established '( dport = :110 )' 2>/dev/null | grep -F "pid=$pid," >/dev/null
}
wait_for 20 "the check at start-up is connected to the server" check_connected
# The start-up has saved by then; what the exit writes must be the same.
cp "$folder/Settings.inf" "$folder/expected.inf"
rm "$folder/Settings.inf"

open_tray_menu
check_connected || fail "the check was over before the exit item was chosen"
# Up goes to the last item, the exit.
xdotool key Up Return
wait_for_any 10 "the program ends after the exit item, without waiting for the server" program_ended
status=0
wait "$pid" || status=$?
pid=
((status == 0)) || fail "the program ended with status $status"
wait_for_any 10 "the icon leaves the tray" no_tray_icon
[[ -f $folder/Settings.inf ]] || fail "Settings.inf was not written by the exit"
cmp -s "$folder/expected.inf" "$folder/Settings.inf" ||
    fail "Settings.inf differs from the options as they were: $(diff <(cat -A "$folder/expected.inf") <(cat -A "$folder/Settings.inf"))"
