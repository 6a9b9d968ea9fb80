#!/usr/bin/env bash
# The timed check goes on after the main window was closed from its frame: with a remembered
# password the program checks a real Dovecot at start-up from the tray; its window, shown from the
# tray menu and closed with Alt+F4, stays hidden while the check of the first minute finds the two
# messages delivered meanwhile.
# Run as: pop3-sandbox --messages 3 -- with-desktop --wm --tray -- tray-timer.sh <larkspur executable>
set -euo pipefail
here=$(dirname "$(readlink -f "${BASH_SOURCE[0]}")")
# shellcheck source=SCRIPTDIR/tray-lib.sh
source "$here/tray-lib.sh"

tray_begin "$1" tray-timer
write_settings POP3MailServer=127.0.0.1 "loginname=$LARKSPUR_POP3_USER" mempass=1 \
    "$(scrambled_password_line "$LARKSPUR_POP3_PASSWORD")" checkeveryon=1 checkeverymin=1 \
    totaloldemail=1
remembers() {
    grep "^totaloldemail=$1"$'\r' "$folder/Settings.inf" >/dev/null 2>&1
}

started=$SECONDS
start_program
find_tray_icon
wait_for 20 "the check at start-up remembers the 3 messages" remembers 3
main_window_hidden || fail "the main window is shown although the check ran from the tray"

choose_from_tray_menu Down Down
wait_for 10 "the tray menu shows the main window" main_window_shown
close_main_window
# The first timed check comes on the 60th tick: the window must be closed well before it.
((SECONDS - started < 45)) || fail "the window was closed only $((SECONDS - started)) s after the start"
kill -0 "$pid" 2>/dev/null || fail "closing the main window ended the program"

"$here/../support/pop3-add-message" "$LARKSPUR_POP3_MAILDIR" 2
# Ticks, not clock time, count the minute: on a busy machine the 60th comes a few seconds late.
wait_for 90 "the timed check after the close finds 5 messages" remembers 5
main_window_hidden || fail "the timed check showed the closed window"
has_tray_icon || fail "the icon left the tray"
