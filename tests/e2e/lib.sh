# Shared by the end-to-end scripts: a private folder with a copy of the data, the program run in it,
# reading and writing settings-file fields, finding windows, and counting failed checks.
# The caller sets PROGRAM, DATA (a 3z-idaveva folder) and SHIM (the message-logging preload).

set -uo pipefail
failures=0
work="$(mktemp -d)"
trap 'kill_program; rm -rf "$work"' EXIT
pid=""

# A fresh copy of the data folder in the work folder; returns its path in $data.
fresh_data() {
    rm -rf "$work/3z-idaveva" "$work/messages" "$work/out" "$work/err"
    cp -r "$DATA" "$work/3z-idaveva"
    data="$work/3z-idaveva"
    : >"$work/messages"
}

# Starts the program in the work folder in the background (at most LIMIT seconds); sets $pid.
start_program() {
    local limit="$1"
    shift
    (cd "$work" && KL_TEST_MESSAGE_LOG="$work/messages" LD_PRELOAD="$SHIM" \
        exec timeout -k 10 "$limit" "$PROGRAM" "$@" >"$work/out" 2>"$work/err") &
    pid=$!
}

# Waits for the program started last; sets $status (124 when the time limit ended it).
wait_program() {
    wait "$pid"
    status=$?
    pid=""
}

run_program() {
    start_program "$@"
    wait_program
}

# A test that cannot run here ends with the exit status ctest counts as skipped (SKIP_RETURN_CODE),
# never as passed, naming what it lacks.
kSkipStatus=77
skip_unless_commands() {
    local c missing=()
    for c in "$@"; do command -v "$c" >/dev/null || missing+=("$c"); done
    if [ ${#missing[@]} -gt 0 ]; then
        echo "skip: ${missing[*]} not found on PATH (scripts/install-deps.sh installs what the tests need)"
        exit "$kSkipStatus"
    fi
}

# One case that cannot run here: said at once, and the run ends as skipped (when nothing failed),
# so that ctest never counts a run that left a case out as passed.
skipped_cases=0
skip_case() {
    echo "skip: $1"
    skipped_cases=$((skipped_cases + 1))
}

kill_program() {
    if [ -n "$pid" ]; then kill "$pid" 2>/dev/null; wait "$pid" 2>/dev/null; pid=""; fi
}

source "$(dirname "${BASH_SOURCE[0]}")/../support/x_windows.sh"

# The id of the first window whose xwininfo line contains the text (a quoted title), waiting up to
# 30 s while the program started last runs; empty if none.
find_window() {
    WATCH_PID="$pid" window_named "$1" 300
}

count_windows() {
    windows_named "$1"
}

# Little-endian fields of a settings file.
i32() { od -An -t d4 -j "$2" -N 4 "$1" | tr -d ' '; }
i16() { od -An -t d2 -j "$2" -N 2 "$1" | tr -d ' '; }
f32() { od -An -t f4 -j "$2" -N 4 "$1" | tr -d ' '; }
text() { dd if="$1" bs=1 skip="$2" count="$3" status=none; }
set_i32() {
    local v=$(($3 & 0xFFFFFFFF))
    # shellcheck disable=SC2059
    printf "$(printf '\\x%02x\\x%02x\\x%02x\\x%02x' $((v & 255)) $((v >> 8 & 255)) $((v >> 16 & 255)) \
        $((v >> 24 & 255)))" | dd of="$1" bs=1 seek="$2" conv=notrunc status=none
}
set_text() { printf '%s' "$3" | dd of="$1" bs=1 seek="$2" conv=notrunc status=none; }

# ends_within PID TENTHS: true once process PID has ended, waiting up to TENTHS tenths of a second.
ends_within() {
    for _ in $(seq 1 "$2"); do
        kill -0 "$1" 2>/dev/null || return 0
        sleep 0.1
    done
    ! kill -0 "$1" 2>/dev/null
}

# Presses Return on the error box whose window is $1 until the program started last has ended.
answer_box() {
    xdotool windowfocus "$1" 2>/dev/null
    for _ in $(seq 1 40); do
        xdotool key --clearmodifiers Return
        kill -0 "$pid" 2>/dev/null || break
        sleep 0.25
    done
}

# check NAME ACTUAL EXPECTED
check() {
    if [ "$2" == "$3" ]; then
        echo "ok   $1"
    else
        echo "FAIL $1: got '$2', expected '$3'"
        failures=$((failures + 1))
    fi
}

# check_true NAME CONDITION-COMMAND...
check_true() {
    local name="$1"
    shift
    if "$@"; then echo "ok   $name"; else echo "FAIL $name"; failures=$((failures + 1)); fi
}

show_output() {
    echo "--- stdout"; cat "$work/out" 2>/dev/null
    echo "--- stderr"; cat "$work/err" 2>/dev/null
    echo "--- messages"; cat "$work/messages" 2>/dev/null
}

finish() {
    if [ "$failures" -ne 0 ]; then
        echo "$failures check(s) failed"
        exit 1
    fi
    if [ "$skipped_cases" -ne 0 ]; then
        echo "the checks that ran passed; $skipped_cases case(s) skipped"
        exit "$kSkipStatus"
    fi
    echo "all checks passed"
}

# Starts openbox and waits until it has taken over the screen; sets $wm. Windows must be mapped
# after this, or the window manager never manages them.
start_window_manager() {
    openbox >"$work/wm.log" 2>&1 &
    wm=$!
    local ready=false
    for _ in $(seq 1 100); do
        xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q 'window id' && { ready=true; break; }
        sleep 0.2
    done
    check_true "the window manager is up" $ready
    $ready || cat "$work/wm.log"
}

# True once the screen shows the ground at the bottom and changes by itself (the traffic moves);
# before that the window may change while the display is brought up. Waits up to 2 minutes.
screen_drawn() { [ "$(tail -c 400000 "$1" | tr -d '\000' | head -c 1 | wc -c)" -eq 1 ]; }
screen_changes() {
    xwd -root -silent >"$work/a.xwd"
    sleep 1
    xwd -root -silent >"$work/b.xwd"
    screen_drawn "$work/b.xwd" && ! cmp -s "$work/a.xwd" "$work/b.xwd"
}
wait_until_scene_runs() {
    for _ in $(seq 1 120); do
        screen_changes && return 0
        kill -0 "$pid" 2>/dev/null || return 1
    done
    return 1
}

# A plain X client that prints what it receives (keys, clicks) to $work/xev, in a small window at
# the top left; sets $thief (its process) and $thief_wid.
open_other_window() {
    xev -name focus-thief -geometry 200x100+10+10 >"$work/xev" 2>&1 &
    thief=$!
    thief_wid="$(window_named '"focus-thief"' 50)"
    check_true "the other window is up" test -n "$thief_wid"
}

# Waits for the program started last, whose end must look like a quit from the prompt: exit status
# 0, no box, no sanitizer report, $cfg written with the mode set and the speed of $work/before.dat.
check_normal_end() {
    wait_program
    check "exit status" "$status" 0
    [ "$status" -eq 0 ] || show_output
    check "no message box" "$(cat "$work/messages")" ""
    check_true "no sanitizer report" bash -c "! grep -qE 'Sanitizer|runtime error' '$work/err'"
    check "settings written: the mode set" "$(i32 "$cfg" 0)x$(i32 "$cfg" 4)" "1024x768"
    check "settings written: the speed carried over" "$(f32 "$cfg" 36)" "$(f32 "$work/before.dat" 36)"
}
