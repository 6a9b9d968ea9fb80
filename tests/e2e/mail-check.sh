#!/usr/bin/env bash
# The real program against a real Dovecot: with a remembered password it checks at start-up,
# stays in the tray, and writes the new message count into Settings.inf; a message delivered
# later is found by the next timed check.
# Run as: pop3-sandbox --messages 3 -- with-desktop --tray -- mail-check.sh <larkspur executable>
set -euo pipefail

binary=$1
here=$(dirname "$(readlink -f "${BASH_SOURCE[0]}")")
folder=$(mktemp -d "${TMPDIR:-/tmp}/larkspur-mail-check.XXXXXX")
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
    [[ -f $folder/Settings.inf ]] && cat -A "$folder/Settings.inf" >&2
    [[ -f $folder/stdout.log ]] && cat "$folder/stdout.log" >&2
    exit 1
}

# The password stored as the program stores it: every byte b as 255 - b.
scrambled=$(printf '%s' "$LARKSPUR_POP3_PASSWORD" | od -An -v -tu1 |
    awk '{ for (i = 1; i <= NF; i++) printf "\\%03o", 255 - $i }')
{
    printf '[settings]\r\nPOP3MailServer=localhost\r\nloginname=%s\r\nmempass=1\r\n' "$LARKSPUR_POP3_USER"
    printf 'loginpass='
    printf "$scrambled"
    printf '\r\ncheckeveryon=1\r\ncheckeverymin=1\r\nlaunchatstartup=0\r\nenablesound=0\r\ntotaloldemail=1\r\n'
} >"$folder/Settings.inf"
cp "$binary" "$folder/larkspur"

"$folder/larkspur" >"$folder/stdout.log" 2>&1 &
pid=$!

wait_for_count() {
    local count=$1 seconds=$2
    for _ in $(seq $((seconds * 10))); do
        grep -q "totaloldemail=$count"$'\r' "$folder/Settings.inf" 2>/dev/null && return 0
        kill -0 "$pid" 2>/dev/null || fail "the program ended"
        sleep 0.1
    done
    fail "Settings.inf never held totaloldemail=$count"
}

wait_for_count 3 20
# With the check started at once the window stays hidden: only the tray icon shows.
if xdotool search --onlyvisible --name '^ larkspur  ' >/dev/null 2>&1; then
    fail "the main window is shown although the check ran from the tray"
fi
grep -q $'^loginpass=' "$folder/Settings.inf" || fail "the stored password was lost"

"$here/../support/pop3-add-message" "$LARKSPUR_POP3_MAILDIR" 2
# The interval is one minute: the next timed check comes within 60 ticks.
wait_for_count 5 75
