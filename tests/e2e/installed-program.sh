#!/usr/bin/env bash
# The installed program (a staged `cmake --install`) against a real Dovecot, with a tray: its
# settings live in $XDG_CONFIG_HOME/larkspur and nothing is written beside it; a Settings.inf set
# up beside it by hand is copied there at the first start, and the status log says so (read
# through AT-SPI); with no mail.wav of the user's, the installed default sound is what reaches
# ALSA when new mail is found. A second
# start shows the first program's window and ends with 0, and makes no icon and no save of its
# own; a program killed outright leaves a lock and a socket that do not keep the next one out.
# Run as: pop3-sandbox --messages 3 -- with-desktop --wm --tray -- installed-program.sh <build folder>
set -euo pipefail
here=$(dirname "$(readlink -f "${BASH_SOURCE[0]}")")
# shellcheck source=SCRIPTDIR/tray-lib.sh
source "$here/tray-lib.sh"

build=$1
test_name=installed-program
folder=$(mktemp -d "${TMPDIR:-/tmp}/larkspur-$test_name.XXXXXX")
# What the program remembers of the mailbox stays in the test's own folder.
export XDG_STATE_HOME=$folder/state
pid=
own_pids=()
trap tray_cleanup EXIT

stage=$folder/stage
DESTDIR=$stage cmake --install "$build" --prefix /usr >"$folder/install.log"
program=$stage/usr/bin/larkspur
default_sound=$stage/usr/share/larkspur/mail.wav

export HOME=$folder/home XDG_CONFIG_HOME=$folder/config
mkdir -p "$HOME"
# A session bus (and $XDG_RUNTIME_DIR) with the accessibility bus, to read the status log.
a11y_begin
settings=$XDG_CONFIG_HOME/larkspur/Settings.inf
# ALSA's default device writes every sample it is given to a file.
printf 'pcm.!default { type file slave.pcm { type null } file "%s" format raw }\n' \
    "$folder/played.raw" >"$folder/asoundrc"
export ALSA_CONFIG_PATH=$folder/asoundrc

# A remembered password: the check runs at start-up, finds 3 new messages and plays the sound.
# The file stands beside the program, as an administrator may set it up for a first start.
write_settings POP3MailServer=localhost "loginname=$LARKSPUR_POP3_USER" mempass=1 \
    "$(scrambled_password_line "$LARKSPUR_POP3_PASSWORD")" enablesound=1
beside=$stage/usr/bin/Settings.inf
mv "$folder/Settings.inf" "$beside"
cp "$beside" "$folder/beside.inf"

start_installed() {
    "$program" >>"$folder/stdout.log" 2>&1 &
    pid=$!
}
start_installed

# A WAV image is played from its 44-byte header on: its data chunk reaches the device as it is.
sound_bytes=$(($(stat -c %s "$default_sound") - 44))
sound_played() {
    [[ -f $folder/played.raw ]] && (($(stat -c %s "$folder/played.raw") >= sound_bytes))
}
wait_for 30 "the installed default sound reaches ALSA" sound_played
tail -c +45 "$default_sound" | cmp -s - "$folder/played.raw" ||
    fail "what reached ALSA is not the installed mail.wav"
saved_count() { grep -a $'^totaloldemail=3\r$' "$settings" >/dev/null; }
wait_for 20 "the new count is saved in \$XDG_CONFIG_HOME/larkspur" saved_count
[[ ! -e $XDG_CONFIG_HOME/larkspur/mail.wav ]] || fail "a mail.wav was created in the settings folder"
[[ $(ls -A "$stage/usr/bin") == $'Settings.inf\nlarkspur' ]] ||
    fail "files appeared beside the installed program: $(ls -A "$stage/usr/bin")"
cmp -s "$beside" "$folder/beside.inf" || fail "the Settings.inf beside the program was changed"
find_tray_icon
main_window_hidden || fail "the main window is shown although the check ran from the tray"

# Our icons in trayer, whoever made them.
icon_count() {
    local tray
    for tray in $(xdotool search --class '^trayer$' 2>/dev/null); do
        xwininfo -id "$tray" -tree 2>/dev/null | awk '/\("larkspur" "larkspur"\)/ { print $1 }'
    done | while read -r id; do is_viewable "$id" && echo "$id"; done | wc -l
}

second_start() {
    local started=$SECONDS status=0
    timeout 20 "$program" >>"$folder/second.log" 2>&1 || status=$?
    ((status == 0)) || fail "a second start ended with $status: $(cat "$folder/second.log")"
    ((SECONDS - started < 10)) || fail "a second start took $((SECONDS - started)) s to end"
}

before=$(stat -c %y "$settings")
second_start
wait_for 10 "the second start shows the first program's window" main_window_shown
window_pid_is_ours "$(main_window)" || fail "the window shown is not the first program's"
(($(icon_count) == 1)) || fail "$(icon_count) icons in the tray after a second start"
[[ $(stat -c %y "$settings") == "$before" ]] || fail "the second start wrote Settings.inf"
a11y_index
status_tells_the_copy() { a11y_all_texts | grep -F "ใช้ค่าจาก $beside และเก็บการตั้งค่าไว้ที่ $settings" >/dev/null; }
wait_for 10 "the status log tells where the settings beside the program went (it reads: $(a11y_all_texts | tr '\n' '|'))" status_tells_the_copy

# Killed outright: no chance to remove its socket. The next start runs all the same.
kill -KILL "$pid"
wait "$pid" 2>/dev/null || true
sockets=("$XDG_RUNTIME_DIR"/larkspur-*.socket)
[[ -S ${sockets[0]} ]] || fail "the killed program left no socket behind, so nothing stale was tried"
start_installed
find_tray_icon
main_window_hidden || fail "the main window is shown after the restart"
second_start
wait_for 10 "a second start after the restart shows the window" main_window_shown
window_pid_is_ours "$(main_window)" || fail "the window shown is not the restarted program's"
