#!/usr/bin/env bash
# On a real Wayland compositor (weston's headless backend, with XWayland): with DISPLAY set and
# QT_QPA_PLATFORM unset the program runs through XWayland, its window an X window there, and says
# nothing about the popup; without DISPLAY it still runs, on Wayland itself, and its status log
# says that the new-mail popup cannot place itself there.
# Run as: wayland.sh <larkspur executable>
set -euo pipefail
here=$(dirname "$(readlink -f "${BASH_SOURCE[0]}")")
# shellcheck source=SCRIPTDIR/tray-lib.sh
source "$here/tray-lib.sh"

tray_begin "$1" wayland
unset QT_QPA_PLATFORM DISPLAY XAUTHORITY
# A session bus with the accessibility bus: the status log is read through AT-SPI on both.
a11y_begin
export WAYLAND_DISPLAY=larkspur-wayland
weston --backend=headless-backend.so --xwayland --socket="$WAYLAND_DISPLAY" --idle-time=0 \
    --width=1024 --height=768 </dev/null >"$folder/weston.log" 2>&1 &
own_pids+=("$!")
xwayland_display() {
    sed -nE 's/.*xserver listening on display (:[0-9]+).*/\1/p' "$folder/weston.log" | first_line
}
has_xwayland() { [[ -n $(xwayland_display) ]]; }
wait_for_any 30 "weston runs with XWayland" has_xwayland
x_display=$(xwayland_display)
write_settings checkeverymin=15

note='บน Wayland หน้าต่างแจ้งอีเมลใหม่'
status_has_note() { a11y_all_texts | grep -F "$note" >/dev/null; }

# Through XWayland: the window is found among XWayland's X windows.
export DISPLAY=$x_display
start_program
wait_for 30 "the main window is an X window on XWayland" main_window_shown
a11y_index
status_has_note && fail "the status log speaks of Wayland although the program runs through XWayland"
kill "$pid"
wait "$pid" 2>/dev/null || true

# Without XWayland: Wayland itself, and one line says what the popup cannot do there.
unset DISPLAY
a11y_app=
start_program
wait_for 30 "the program is on the accessibility bus" a11y_find_app
a11y_index
wait_for 20 "the status log says that the popup cannot place itself" status_has_note
(($(a11y_all_texts | grep -cF "$note") == 1)) || fail "the Wayland line is there more than once"
DISPLAY=$x_display xdotool search --name "$caption_pattern" >/dev/null 2>&1 &&
    fail "the program made an X window although DISPLAY was not set"
kill -0 "$pid" 2>/dev/null || fail "the program ended on Wayland"
