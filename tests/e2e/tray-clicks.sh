#!/usr/bin/env bash
# Clicks on the icon in a real XEmbed tray: a left double-click hides the shown main window and
# shows it again with the focus; single left and middle clicks do nothing; the right button
# opens the tray menu when it is released, at the pointer, and not when it goes down.
# Run as: with-desktop --wm --tray -- tray-clicks.sh <larkspur executable>
set -euo pipefail
here=$(dirname "$(readlink -f "${BASH_SOURCE[0]}")")
# shellcheck source=SCRIPTDIR/tray-lib.sh
source "$here/tray-lib.sh"

tray_begin "$1" tray-clicks
# A valid interval, so that no question holds up the start-up.
write_settings checkeverymin=15
start_program
find_tray_icon
wait_for 20 "the main window is shown" main_window_shown

# The menu opened afterwards proves the program has handled the clicks before it.
xdotool mousemove "$icon_x" "$icon_y" click 1 click 2
open_tray_menu
main_window_shown || fail "a single left or middle click on the icon hid the main window"
xdotool key Escape
wait_for 10 "Escape closes the tray menu" menu_gone

# Pressed low on the icon, released high: the menu's edge tells which of the two opened it.
press_y=$((icon_y + 6))
release_y=$((icon_y - 6))
xdotool mousemove "$icon_x" "$press_y" mousedown 3 mousemove "$icon_x" "$release_y" mouseup 3
wait_for 10 "releasing the right button over the icon opens the tray menu" menu_shown
eval "$(xdotool getwindowgeometry --shell "$(menu_window)" | grep -E '^(Y|HEIGHT)=')"
near() { (($1 - $2 <= 2 && $2 - $1 <= 2)); }
if near "$Y" "$press_y" || near $((Y + HEIGHT)) "$press_y"; then
    fail "the menu (y $Y to $((Y + HEIGHT))) opened where the right button went down (y $press_y)"
fi
near "$Y" "$release_y" || near $((Y + HEIGHT)) "$release_y" ||
    fail "the menu (y $Y to $((Y + HEIGHT))) is not at the pointer where the button was released (y $release_y)"
xdotool key Escape
wait_for 10 "Escape closes the tray menu" menu_gone

xdotool mousemove "$icon_x" "$icon_y" click --repeat 2 --delay 80 1
wait_for 10 "a double-click on the icon hides the shown main window" main_window_hidden
kill -0 "$pid" 2>/dev/null || fail "the program ended when its window was hidden"
has_tray_icon || fail "the icon left the tray when the window was hidden"
# Apart by more than a double-click interval, so that the next two clicks make a pair of their own.
sleep 0.6
xdotool mousemove "$icon_x" "$icon_y" click --repeat 2 --delay 80 1
wait_for 10 "a double-click on the icon shows the hidden main window" main_window_shown
wait_for 10 "the main window shown by a double-click is the active window" main_window_active
