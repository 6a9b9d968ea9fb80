#!/usr/bin/env bash
# The tray menu's window items, chosen from the real menu: "เรียกโปรแกรม" shows the hidden main
# window as it was, "ตั้งค่า/ช่วยเหลือ" shows it with the settings page current. The current page
# is read through AT-SPI: the frames on it are the ones on screen.
# Run as: with-desktop --wm --tray -- tray-menu-window.sh <larkspur executable>
set -euo pipefail
here=$(dirname "$(readlink -f "${BASH_SOURCE[0]}")")
# shellcheck source=SCRIPTDIR/tray-lib.sh
source "$here/tray-lib.sh"

tray_begin "$1" tray-menu-window
a11y_begin
# A valid interval, so that no question holds up the start-up; the window is shown.
write_settings checkeverymin=15
start_program
find_tray_icon
wait_for 20 "the main window is shown" main_window_shown
a11y_index

# The login page holds the frame "เข้าสู่ระบบ", the settings page the frame "ตั้งค่า".
current_page_is() { # login | settings
    local showing
    showing=$(a11y_showing_panels)
    case $1 in
    login) [[ $showing == *เข้าสู่ระบบ* && $showing != *ตั้งค่า* ]] ;;
    settings) [[ $showing == *ตั้งค่า* && $showing != *เข้าสู่ระบบ* ]] ;;
    esac
}
wait_for 10 "the login page is current at start" current_page_is login

close_main_window
choose_from_tray_menu Down Down
wait_for 10 "the menu's second item shows the hidden window" main_window_shown
current_page_is login || fail "showing the window changed its page (frames shown: $(a11y_showing_panels | tr '\n' '|'))"

close_main_window
# Up goes to the last item (exit); once more, past the separator, to the settings item.
choose_from_tray_menu Up Up
wait_for 10 "the settings item shows the hidden window" main_window_shown
wait_for 10 "the settings item makes the settings page current" current_page_is settings

# Shown again by the second item, the window keeps the page it had.
close_main_window
choose_from_tray_menu Down Down
wait_for 10 "the menu's second item shows the hidden window again" main_window_shown
current_page_is settings || fail "showing the window changed its page (frames shown: $(a11y_showing_panels | tr '\n' '|'))"
kill -0 "$pid" 2>/dev/null || fail "the program ended"
