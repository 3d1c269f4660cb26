# Finding windows on the test's X server by their title. Titles hold letters outside ASCII
# ("Paramétrage"), and both xwininfo and xdotool convert window names to the caller's locale, so
# that in the C locale such a window shows no name at all. The lookup runs in C.UTF-8 (built into
# Debian's C library) whatever the locale of the test.

# xwininfo's line per window: id, then the title in quotes.
window_lines() { LC_ALL=C.UTF-8 xwininfo -root -tree 2>/dev/null; }

# The id of the first window whose line contains TEXT (quote the title: '"Kelvane"' is that title
# alone, '"Param' any title starting so), waiting up to TENTHS tenths of a second (default 300);
# empty if none. With WATCH_PID set, gives up as soon as that process has ended.
window_named() {
    local text="$1" tenths="${2:-300}" wid=""
    for _ in $(seq 1 "$tenths"); do
        wid="$(window_lines | grep -F "$text" | awk '{print $1}' | head -n1)"
        [ -n "$wid" ] && break
        [ -n "${WATCH_PID:-}" ] && ! kill -0 "$WATCH_PID" 2>/dev/null && break
        sleep 0.1
    done
    echo "$wid"
}

# How many windows have a line containing TEXT now.
windows_named() {
    window_lines | grep -cF "$1"
}
