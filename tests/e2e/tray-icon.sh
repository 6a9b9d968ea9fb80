#!/usr/bin/env bash
# The icon in a real XEmbed tray: it is embedded into trayer, and hovering over it shows the main
# window's caption as tooltip, before any check and again after one. Qt draws the tooltip as
# pixels, so its window is found through X and its text read through AT-SPI.
# Run as: with-desktop --wm --tray -- tray-icon.sh <larkspur executable>
set -euo pipefail
here=$(dirname "$(readlink -f "${BASH_SOURCE[0]}")")
# shellcheck source=SCRIPTDIR/tray-lib.sh
source "$here/tray-lib.sh"

tray_begin "$1" tray-icon
a11y_begin
# Login data without a remembered password: no check at start-up, and the window is shown.
write_settings POP3MailServer=127.0.0.1 loginname=demo
start_program

# Found among trayer's windows, so embedded there, not merely mapped somewhere.
find_tray_icon
wait_for 20 "the main window is shown" main_window_shown
caption=$(xprop -id "$(main_window)" WM_NAME | sed -E 's/^WM_NAME\([A-Z_0-9]+\) = "(.*)"$/\1/')
a11y_index
[[ $caption =~ $caption_pattern ]] || fail "the main window's caption is '$caption'"

tooltip_names() {
    a11y_top_level_names "tool tip"
}

tooltip_says_caption() {
    tooltip_names | grep -F -x -- "$caption" >/dev/null
}

# Rests the pointer on the icon until the tooltip shows; then checks where it is and what it says.
hover_over_icon() {
    local X Y WIDTH HEIGHT
    xdotool mousemove 0 0
    wait_for 10 "no tooltip is shown" tooltip_gone
    xdotool mousemove "$icon_x" "$icon_y" mousemove_relative 1 0
    wait_for 10 "a tooltip appears while the pointer rests on the icon" tooltip_shown
    eval "$(xdotool getwindowgeometry --shell "$(tooltip_window)" | grep -E '^(X|Y|WIDTH|HEIGHT)=')"
    # Qt puts it beside the pointer; anything far away would be some other tooltip.
    ((X < icon_x + 40 && X + WIDTH > icon_x - 200 && Y < icon_y + 40 && Y + HEIGHT > icon_y - 60)) ||
        fail "the tooltip at ${X},${Y} (${WIDTH}x${HEIGHT}) is not beside the icon at $icon_x,$icon_y"
    wait_for 10 "the tooltip says '$caption' (it says: $(tooltip_names | tr '\n' '|'))" tooltip_says_caption
}

hover_over_icon

# A check from the tray menu's first item; without a password it ends at once with its message.
status_asks_for_password() {
    a11y_all_texts | grep -F "''Password''" >/dev/null
}
if status_asks_for_password; then
    fail "the status log asks for the password before any check"
fi
open_tray_menu
xdotool key Down Return
wait_for 10 "the menu closes" menu_gone
wait_for 20 "the check from the menu asks for the password in the status log" status_asks_for_password

hover_over_icon
