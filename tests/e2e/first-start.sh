#!/usr/bin/env bash
# The real program, copied into an empty folder and started on a desktop of its own: it asks
# about the interval in a box captioned "larkspur ", and once that is confirmed Settings.inf
# holds the nine default lines, readable by its owner only.
# Run as: with-desktop --wm -- first-start.sh <larkspur executable>
set -euo pipefail

binary=$1
folder=$(mktemp -d "${TMPDIR:-/tmp}/larkspur-first-start.XXXXXX")
# What the program remembers of the mailbox stays in the test's own folder.
export XDG_STATE_HOME=$folder/state
pid=
cleanup() {
    [[ -n $pid ]] && kill "$pid" 2>/dev/null || true
    rm -rf "$folder"
}
trap cleanup EXIT

fail() {
    echo "FAIL: $*" >&2
    exit 1
}

cp "$binary" "$folder/larkspur"
"$folder/larkspur" >"$folder/stdout.log" 2>&1 &
pid=$!

box=
for _ in $(seq 200); do
    box=$(xdotool search --onlyvisible --name '^larkspur $' 2>/dev/null | head -n1 || true)
    [[ -n $box ]] && break
    kill -0 "$pid" 2>/dev/null || fail "the program ended early: $(cat "$folder/stdout.log")"
    sleep 0.1
done
[[ -n $box ]] || fail "no window captioned 'larkspur ' appeared"

xdotool windowactivate --sync "$box" >/dev/null 2>&1 || xdotool windowfocus --sync "$box" >/dev/null 2>&1 || true
xdotool key Return

for _ in $(seq 100); do
    [[ -s $folder/Settings.inf ]] && break
    sleep 0.1
done
[[ -s $folder/Settings.inf ]] || fail "Settings.inf was not written"
sleep 0.5 # the start-up saves more than once; let it settle before reading

expected=$(printf '%s\r\n' "[settings]" "POP3MailServer=" "loginname=" "mempass=0" "checkeveryon=0" \
    "checkeverymin=15" "launchatstartup=0" "enablesound=0" "totaloldemail=0" | od -An -c)
actual=$(od -An -c "$folder/Settings.inf")
[[ $actual == "$expected" ]] || fail "Settings.inf differs from the defaults:$(cat -A "$folder/Settings.inf")"

mode=$(stat -c %a "$folder/Settings.inf")
[[ $mode == 600 ]] || fail "Settings.inf has mode $mode, not 600"
[[ -e $folder/mail.wav ]] || fail "mail.wav was not created beside the program"
kill -0 "$pid" 2>/dev/null || fail "the program ended after the start-up"

# The main window is shown, since no login data is stored.
xdotool search --onlyvisible --name '^ larkspur  [0-9]+\.[0-9]+\.[0-9]+$' >/dev/null || fail "the main window is not shown"

# Its frame is asked for a title and the close box alone: the Motif hints carry neither the
# minimise nor the maximise button (decorations 0x20, 0x40) nor their functions (0x8, 0x10), and
# not resizing (0x2). Openbox draws its own buttons whatever a window asks; other desktops follow.
main=$(xdotool search --onlyvisible --name '^ larkspur  [0-9]+\.[0-9]+\.[0-9]+$' | head -n1)
read -r _ functions decorations _ < <(xprop -id "$main" _MOTIF_WM_HINTS |
    sed -E 's/^[^=]*= //; s/,//g')
(((decorations & 0x60) == 0)) || fail "the frame is asked for minimise or maximise ($decorations)"
(((functions & 0x1a) == 0)) || fail "the window offers to be resized, minimised or maximised ($functions)"
