#!/usr/bin/env bash
# The icon on a StatusNotifierItem host (KDE Plasma, GNOME's AppIndicator extension), over a real
# session bus with a small watcher that stands for the host: the item registers, its tooltip is
# the main window's caption, Activate hides the shown window and shows it again as the
# double-click does (the two Activates of a double-click on the host count once), SecondaryActivate
# does nothing, and ContextMenu opens the tray menu.
# Run as: with-desktop --wm -- status-notifier.sh <larkspur executable> <sni-watcher executable>
set -euo pipefail
here=$(dirname "$(readlink -f "${BASH_SOURCE[0]}")")
# shellcheck source=SCRIPTDIR/../e2e/tray-lib.sh
source "$here/../e2e/tray-lib.sh"

tray_begin "$1" status-notifier
session_bus_begin
"$2" >"$folder/watcher.log" 2>&1 &
own_pids+=("$!")
watcher_ready() { grep -x ready "$folder/watcher.log" >/dev/null; }
wait_for_any 10 "the watcher is on the bus" watcher_ready

# Login data without a remembered password: no check at start-up, and the window is shown.
write_settings POP3MailServer=127.0.0.1 loginname=demo
start_program
wait_for 20 "the main window is shown" main_window_shown
caption=$(xprop -id "$(main_window)" WM_NAME | sed -E 's/^WM_NAME\([A-Z_0-9]+\) = "(.*)"$/\1/')
item_registered() { grep '^item ' "$folder/watcher.log" >/dev/null; }
wait_for 20 "the icon registers with the watcher" item_registered
read -r _ service object < <(grep '^item ' "$folder/watcher.log" | first_line)

item() { # method args...
    gdbus call --session --dest "$service" --object-path "$object" --method "$@"
}
tooltip=$(item org.freedesktop.DBus.Properties.Get org.kde.StatusNotifierItem ToolTip)
[[ $tooltip == *"'$caption'"* ]] || fail "the item's tooltip is $tooltip, not the caption '$caption'"

item org.kde.StatusNotifierItem.Activate 0 0 >/dev/null
wait_for 10 "Activate hides the shown main window" main_window_hidden
kill -0 "$pid" 2>/dev/null || fail "the program ended when its window was hidden"
# A double-click out of habit reaches the program as two Activates: the window toggles once.
# (Past the double-click interval, 400 ms by default, the first of them is a click of its own.)
sleep 0.6
item org.kde.StatusNotifierItem.Activate 0 0 >/dev/null
item org.kde.StatusNotifierItem.Activate 0 0 >/dev/null
wait_for 10 "Activate shows the hidden main window" main_window_shown
wait_for 10 "the main window shown by Activate is the active window" main_window_active
sleep 0.6
main_window_shown || fail "the second Activate of a double-click hid the window again"

# The menu opened afterwards proves that the program has handled the call before it.
item org.kde.StatusNotifierItem.SecondaryActivate 0 0 >/dev/null
xdotool mousemove 400 300
item org.kde.StatusNotifierItem.ContextMenu 400 300 >/dev/null
wait_for 10 "ContextMenu opens the tray menu" menu_shown
main_window_shown || fail "SecondaryActivate hid the main window"
xdotool key Escape
wait_for 10 "Escape closes the tray menu" menu_gone
