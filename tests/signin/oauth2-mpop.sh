#!/usr/bin/env bash
# An independent client against pop3-sandbox --oauth2: mpop logs in with XOAUTH2 (two-line form)
# and OAUTHBEARER using a token from the sandbox's authorization server, is refused with an
# unknown token, and sees the mailbox's messages. Run inside the sandbox (see CMakeLists.txt).
set -euo pipefail

: "${LARKSPUR_OAUTH2_URL:?run inside tests/support/pop3-sandbox --oauth2}"
work=$(mktemp -d "${TMPDIR:-/tmp}/larkspur-mpop.XXXXXX")
trap 'rm -rf "$work"' EXIT

# A token straight from the server's test door: mpop runs no OAuth2 flow of its own.
python3 - "$LARKSPUR_OAUTH2_URL/admin/issue" "$LARKSPUR_POP3_USER" "$SSL_CERT_FILE" >"$work/token" <<'PY'
import json, ssl, sys, urllib.parse, urllib.request
url, user, ca = sys.argv[1:4]
body = urllib.parse.urlencode({'user': user}).encode()
with urllib.request.urlopen(url, body, context=ssl.create_default_context(cafile=ca)) as answer:
    print(json.load(answer)['access_token'])
PY
printf 'not-a-token\n' >"$work/unknown"

status() { # mechanism tokenfile
    mpop --host=127.0.0.1 --port=110 --tls=off --timeout=20 --auth="$1" \
        --user="$LARKSPUR_POP3_USER" --passwordeval="cat $2" --delivery=mbox,/dev/null \
        --uidls-file="$work/uidls" --status-only 2>&1
}

failures=0
for mechanism in xoauth2 oauthbearer; do
    if output=$(status "$mechanism" "$work/token") && [[ $output == *"3 messages"* ]]; then
        echo "ok: $mechanism logs in: $output"
    else
        echo "FAIL: $mechanism with a good token: $output"
        failures=$((failures + 1))
    fi
    if output=$(status "$mechanism" "$work/unknown"); then
        echo "FAIL: $mechanism with an unknown token logged in: $output"
        failures=$((failures + 1))
    elif [[ $output == *"Authentication failed"* ]]; then
        echo "ok: $mechanism refuses an unknown token"
    else
        echo "FAIL: $mechanism with an unknown token: $output"
        failures=$((failures + 1))
    fi
done
# Dovecot's own word that the logins above were XOAUTH2 ones (mpop sends it in the two-line form).
if grep -q 'method=XOAUTH2' "$LARKSPUR_POP3_LOG"; then
    echo "ok: Dovecot logged an XOAUTH2 login"
else
    echo "FAIL: no XOAUTH2 login in Dovecot's log"
    failures=$((failures + 1))
fi
exit $((failures > 0))
