# Helpers for the tests of the program living in the tray; sourced, not run.
# Under pipefail a "| grep -q" may fail by ending its writer early, so greps here read it all.
#
# A test calls tray_begin <larkspur executable> <name> first: the program is copied into an empty
# folder of its own, removed at the end with everything started here. Waits poll with a deadline;
# a failure prints the program's output, Settings.inf and the windows on the desktop.
# shellcheck shell=bash
# shellcheck disable=SC2034 # variables set here are the tests' to read

tray_begin() {
    binary=$1
    test_name=$2
    folder=$(mktemp -d "${TMPDIR:-/tmp}/larkspur-$test_name.XXXXXX")
    # What the program remembers of the mailbox stays in the test's own folder.
    export XDG_STATE_HOME=$folder/state
    pid=
    own_pids=()
    cp "$binary" "$folder/larkspur"
    trap tray_cleanup EXIT
}

# shellcheck disable=SC2317 # run by the EXIT trap
tray_cleanup() {
    local i
    if [[ -n $pid ]]; then
        kill "$pid" 2>/dev/null || true
    fi
    for ((i = ${#own_pids[@]} - 1; i >= 0; i--)); do
        kill "${own_pids[i]}" 2>/dev/null || true
        wait "${own_pids[i]}" 2>/dev/null || true
    done
    rm -rf "$folder"
    return 0
}

fail() {
    local shot=${TMPDIR:-/tmp}/larkspur-$test_name-failure.png
    echo "FAIL: $*" >&2
    if [[ -f $folder/Settings.inf ]]; then
        echo "--- Settings.inf" >&2
        cat -A "$folder/Settings.inf" >&2
    else
        echo "--- no Settings.inf" >&2
    fi
    echo "--- program output" >&2
    cat "$folder/stdout.log" >&2 2>/dev/null || true
    echo "--- named windows" >&2
    xwininfo -root -tree 2>/dev/null | grep -E '"[^"]+": \(' >&2 || true
    import -window root "$shot" 2>/dev/null && echo "--- screenshot: $shot" >&2
    exit 1
}

# A Settings.inf of the default values, with KEY=VALUE arguments in place of some of them.
write_settings() {
    local key line found
    local -a lines=("POP3MailServer=" "loginname=" "mempass=0" "checkeveryon=0" "checkeverymin=15"
        "launchatstartup=0" "enablesound=0" "totaloldemail=0")
    for key in "$@"; do
        found=0
        for i in "${!lines[@]}"; do
            if [[ ${lines[i]%%=*} == "${key%%=*}" ]]; then
                lines[i]=$key
                found=1
            fi
        done
        ((found)) || lines+=("$key")
    done
    {
        printf '[settings]\r\n'
        for line in "${lines[@]}"; do
            printf '%s\r\n' "$line"
        done
    } >"$folder/Settings.inf"
}

# The loginpass line as the program stores a password: every byte b as 255 - b.
scrambled_password_line() {
    local octal
    octal=$(printf '%s' "$1" | od -An -v -tu1 | awk '{ for (i = 1; i <= NF; i++) printf "\\0%03o", 255 - $i }')
    printf 'loginpass=%b' "$octal"
}

# The first line of the input, failing when there is none; reads it all, unlike head.
first_line() {
    awk 'NR == 1 { print } END { exit NR == 0 }'
}

start_program() {
    "$folder/larkspur" >"$folder/stdout.log" 2>&1 &
    pid=$!
}

# wait_for <seconds> <what> <command...>: polls the command until it succeeds; fails when the
# deadline passes or the program ends meanwhile.
wait_for() {
    local seconds=$1 what=$2
    shift 2
    local deadline=$((SECONDS + seconds))
    until "$@"; do
        [[ -n $pid ]] && ! kill -0 "$pid" 2>/dev/null && fail "the program ended while waiting until $what"
        ((SECONDS < deadline)) || fail "not within $seconds s: $what"
        sleep 0.1
    done
}

# The same without looking at the program, for waits that outlive it.
wait_for_any() {
    local seconds=$1 what=$2
    shift 2
    local deadline=$((SECONDS + seconds))
    until "$@"; do
        ((SECONDS < deadline)) || fail "not within $seconds s: $what"
        sleep 0.1
    done
}

program_ended() {
    ! kill -0 "$pid" 2>/dev/null
}

window_pid_is_ours() {
    [[ $(xprop -id "$1" _NET_WM_PID 2>/dev/null) == *" = $pid" ]]
}

is_viewable() {
    xwininfo -id "$1" 2>/dev/null | grep 'Map State: IsViewable' >/dev/null
}

# The program's icon: a window of ours embedded somewhere inside trayer's windows.
tray_icon() {
    local tray id
    for tray in $(xdotool search --class '^trayer$' 2>/dev/null); do
        for id in $(xwininfo -id "$tray" -tree 2>/dev/null | awk '/\("larkspur" "larkspur"\)/ { print $1 }'); do
            if window_pid_is_ours "$id" && is_viewable "$id"; then
                echo "$id"
                return 0
            fi
        done
    done
    return 1
}

has_tray_icon() {
    tray_icon >/dev/null
}

no_tray_icon() {
    ! tray_icon >/dev/null
}

# Sets icon, icon_x and icon_y (the centre of the icon on the screen).
find_tray_icon() {
    wait_for 20 "the icon is in the tray" has_tray_icon
    icon=$(tray_icon)
    local X Y WIDTH HEIGHT
    eval "$(xdotool getwindowgeometry --shell "$icon" | grep -E '^(X|Y|WIDTH|HEIGHT)=')"
    icon_x=$((X + WIDTH / 2))
    icon_y=$((Y + HEIGHT / 2))
}

caption_pattern='^ larkspur  [0-9]+\.[0-9]+\.[0-9]+$'

# The main window while it is shown.
main_window() {
    xdotool search --onlyvisible --name "$caption_pattern" 2>/dev/null | first_line
}

main_window_shown() {
    main_window >/dev/null
}

main_window_hidden() {
    ! main_window >/dev/null
}

main_window_active() {
    local window
    window=$(main_window) && [[ $(xdotool getactivewindow 2>/dev/null) == "$window" ]]
}

# Top-level windows of ours that the window manager does not frame: the tray menu, tooltips.
unframed_windows_of_type() { # grep pattern for _NET_WM_WINDOW_TYPE, or "" for any
    local id
    for id in $(xwininfo -root -children 2>/dev/null | awk '/\("larkspur" "larkspur"\)/ { print $1 }'); do
        if ! is_viewable "$id" || ! window_pid_is_ours "$id" ||
            ! xwininfo -id "$id" | grep 'Override Redirect State: yes' >/dev/null; then
            continue
        fi
        if [[ -z $1 ]] || xprop -id "$id" _NET_WM_WINDOW_TYPE | grep -- "$1" >/dev/null; then
            echo "$id"
        fi
    done
}

tooltip_window() {
    unframed_windows_of_type _NET_WM_WINDOW_TYPE_TOOLTIP | first_line
}

tooltip_shown() {
    tooltip_window >/dev/null
}

tooltip_gone() {
    ! tooltip_window >/dev/null
}

menu_window() {
    local id
    for id in $(unframed_windows_of_type ""); do
        xprop -id "$id" _NET_WM_WINDOW_TYPE | grep TOOLTIP >/dev/null || {
            echo "$id"
            return 0
        }
    done
    return 1
}

menu_shown() {
    menu_window >/dev/null
}

menu_gone() {
    ! menu_window >/dev/null
}

# Right-click on the icon; waits for the menu.
open_tray_menu() {
    xdotool mousemove "$icon_x" "$icon_y" click 3
    wait_for 10 "the tray menu is open" menu_shown
}

# choose_from_tray_menu <keys...>: opens the menu, moves with the keys and takes the item. The
# pointer rests just outside the menu, so nothing is selected at first: Down goes to the first
# item, Up to the last, and separators are passed over.
choose_from_tray_menu() {
    # Right after the main window was closed the window manager may still be moving the focus
    # away from it; a menu opened meanwhile loses the focus with it and closes at once. Such a
    # menu is opened once more.
    xdotool mousemove "$icon_x" "$icon_y" click 3
    local _
    for _ in {1..30}; do
        menu_shown && break
        sleep 0.1
    done
    menu_shown || open_tray_menu
    xdotool key "$@" Return
    wait_for 10 "the tray menu closes" menu_gone
}

# Closes the shown main window from its frame (openbox's Alt+F4, a real WM_DELETE_WINDOW).
close_main_window() {
    local window
    window=$(main_window) || fail "no main window to close"
    xdotool windowactivate --sync "$window" >/dev/null 2>&1 || true
    wait_for 10 "the main window is active" main_window_active
    xdotool key alt+F4
    wait_for 10 "closing the main window hides it" main_window_hidden
}

# A private session bus, with a runtime folder of its own. Call before start_program.
session_bus_begin() {
    export XDG_RUNTIME_DIR=$folder/runtime
    mkdir -m 700 "$XDG_RUNTIME_DIR"
    dbus-daemon --session --nofork --nopidfile --print-address=3 3>"$folder/bus-address" \
        2>"$folder/dbus.log" </dev/null &
    own_pids+=("$!")
    wait_for_any 10 "the session bus is up" test -s "$folder/bus-address"
    DBUS_SESSION_BUS_ADDRESS=$(head -n1 "$folder/bus-address")
    export DBUS_SESSION_BUS_ADDRESS
}

# A private session bus and accessibility bus, so that what Qt draws as pixels (a tooltip, the
# status log) can be read as text through AT-SPI. Call before start_program.
a11y_begin() {
    session_bus_begin
    /usr/libexec/at-spi-bus-launcher >"$folder/at-spi.log" 2>&1 </dev/null &
    own_pids+=("$!")
    wait_for_any 10 "the accessibility bus is up" a11y_read_address
    export QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1
    a11y_app=
    a11y_text_paths=()
    a11y_panel_paths=()
}

a11y_read_address() {
    local reply
    reply=$(gdbus call --session --dest org.a11y.Bus --object-path /org/a11y/bus \
        --method org.a11y.Bus.GetAddress 2>/dev/null) || return 1
    a11y_address=$(sed -E "s/^\('(.*)',\)$/\1/" <<<"$reply")
    [[ -n $a11y_address ]]
}

# Finds the program's connection on the accessibility bus: the one whose process is ours.
a11y_find_app() {
    local name
    [[ -n $a11y_app ]] && return 0
    for name in $(gdbus call --address "$a11y_address" --dest org.freedesktop.DBus \
        --object-path /org/freedesktop/DBus --method org.freedesktop.DBus.ListNames 2>/dev/null |
        grep -o "':[0-9.]*'" | tr -d "'"); do
        if [[ $(gdbus call --address "$a11y_address" --dest org.freedesktop.DBus \
            --object-path /org/freedesktop/DBus \
            --method org.freedesktop.DBus.GetConnectionUnixProcessID "$name" 2>/dev/null) == "(uint32 $pid,)" ]]; then
            a11y_app=$name
            return 0
        fi
    done
    return 1
}

a11y_call() { # path method args...
    gdbus call --address "$a11y_address" --dest "$a11y_app" --object-path "$1" --method "$2" "${@:3}" 2>/dev/null
}

a11y_children() {
    a11y_call "$1" org.a11y.atspi.Accessible.GetChildren | grep -o "/org/a11y/atspi/accessible/[A-Za-z0-9_]*"
}

# gdbus quotes a string with ' unless it holds one, then with ".
a11y_role() {
    a11y_call "$1" org.a11y.atspi.Accessible.GetRoleName | sed -E "s/^\(['\"](.*)['\"],\)$/\1/"
}

a11y_name() {
    a11y_call "$1" org.freedesktop.DBus.Properties.Get org.a11y.atspi.Accessible Name |
        sed -E "s/^\(<['\"](.*)['\"]>,\)$/\1/"
}

a11y_text() {
    a11y_call "$1" org.a11y.atspi.Text.GetText 0 -- -1 | sed -E "s/^\(['\"](.*)['\"],\)$/\1/"
}

# The names of the program's top-level objects with the given role, one a line.
a11y_top_level_names() {
    local path
    for path in $(a11y_children /org/a11y/atspi/accessible/root); do
        [[ $(a11y_role "$path") == "$1" ]] && a11y_name "$path"
    done
    return 0
}

# Finds the program on the accessibility bus, its text boxes and its frames (panels), once: a walk
# through the whole tree takes a few calls per object. Call in the test's own shell, not in a pipe,
# so that what it finds stays.
a11y_index() {
    wait_for 20 "the program is on the accessibility bus" a11y_find_app
    local path
    local -a stack
    a11y_text_paths=()
    a11y_panel_paths=()
    mapfile -t stack < <(a11y_children /org/a11y/atspi/accessible/root)
    while ((${#stack[@]} > 0)); do
        path=${stack[-1]}
        unset 'stack[-1]'
        case $(a11y_role "$path") in
        text) a11y_text_paths+=("$path") ;;
        *)
            [[ $(a11y_role "$path") == panel ]] && a11y_panel_paths+=("$path")
            mapfile -t -O "${#stack[@]}" stack < <(a11y_children "$path")
            ;;
        esac
    done
    ((${#a11y_text_paths[@]} > 0)) || fail "the program shows no text boxes through AT-SPI"
}

# Every text box of the program, each as one line (CR LF shown as \r\n).
a11y_all_texts() {
    local path
    for path in "${a11y_text_paths[@]}"; do
        a11y_text "$path"
    done
}

# The names of the frames (panels) that are on screen, one a line: those of the current page.
a11y_showing_panels() {
    local path states
    for path in "${a11y_panel_paths[@]}"; do
        # "([uint32 A, uint32 B],)": bit 25 of the first word is ATSPI_STATE_SHOWING.
        states=$(a11y_call "$path" org.a11y.atspi.Accessible.GetState | sed -E 's/^\(\[uint32 ([0-9]+),.*$/\1/')
        [[ $states =~ ^[0-9]+$ ]] && (((states >> 25) & 1)) && a11y_name "$path"
    done
    return 0
}
