#!/usr/bin/env bash
# No tray at start-up: with a remembered password the check still runs at once, but the main
# window is shown rather than hidden, since nothing could bring it back, and the status log says
# why (read through AT-SPI). A tray started afterwards gets the icon.
# Run as: with-desktop --wm -- tray-late.sh <larkspur executable>
set -euo pipefail
here=$(dirname "$(readlink -f "${BASH_SOURCE[0]}")")
# shellcheck source=SCRIPTDIR/tray-lib.sh
source "$here/tray-lib.sh"

tray_begin "$1" tray-late
xdotool search --class '^trayer$' >/dev/null 2>&1 && fail "a tray is running already"
a11y_begin
# Nothing listens on port 110 here: the check fails at once with a socket error.
write_settings POP3MailServer=127.0.0.1 loginname=somebody mempass=1 "$(scrambled_password_line secret)"
start_program
wait_for 20 "the main window is shown although the password is remembered" main_window_shown
a11y_index

status_text() {
    a11y_all_texts | grep -F -e 'tray' -e ' : '
}
status_says_no_tray() {
    a11y_all_texts | grep -F 'ไม่พบถาดระบบ' >/dev/null
}
status_shows_check_ran() {
    a11y_all_texts | grep -E '(^|\\n)[0-9]+ : ' >/dev/null
}
wait_for 20 "the status log says that no tray was found (it reads: $(status_text | tr '\n' '|'))" status_says_no_tray
wait_for 20 "the check at start-up has run and logged its socket error" status_shows_check_ran
main_window_shown || fail "the main window went away"

trayer --edge bottom --align right --widthtype request --height 24 --transparent false \
    </dev/null >"$folder/trayer.log" 2>&1 &
own_pids+=("$!")
wait_for 20 "the icon joins the tray started later" has_tray_icon
main_window_shown || fail "the main window was hidden when the tray appeared"
