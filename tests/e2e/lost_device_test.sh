#!/usr/bin/env bash
# A lost device in the frame loop: under a window manager the full-screen window is minimised and
# restored several times. The scene is made still (no traffic, the stop key held by a key script,
# which also keeps the keyboard from being lost with the focus, and a fixed step of 0.1 s so that the
# status line, rebuilt every five frames, soon stays the same), so the screen after each restoration
# must equal the one before,
# pixel for pixel. Each restoration must make the OpenGL context anew, and memory must stay flat.
# A termination signal then ends the program. Reported as skipped when no window manager is installed.
# Usage: lost_device_test.sh PROGRAM DATA-FOLDER MESSAGE-SHIM
PROGRAM="$1" DATA="$2" SHIM="$3"
source "$(dirname "$0")/lib.sh"
cycles=5
wm=""
trap 'kill_program; [ -n "$wm" ] && kill "$wm" 2>/dev/null; rm -rf "$work"' EXIT

skip_unless_commands openbox xwd
start_window_manager

fresh_data
cp "$data/default.dat" "$data/config.dat"
printf '0-99999999: Space\n' >"$work/still.keys"
export KL_TEST_GL_LOG="$work/gl.log" SDL_EVENT_LOGGING=1
# Under AddressSanitizer freed memory waits in a quarantine of up to 256 MB before it is reused,
# which would look like growth here; a small one keeps the check meaningful.
export ASAN_OPTIONS="${ASAN_OPTIONS:-}:quarantine_size_mb=16"
start_program 600 --no-dialog --keys "$work/still.keys" --fixed-step 0.1 --seed 1 --roads 0
unset KL_TEST_GL_LOG SDL_EVENT_LOGGING
wid="$(find_window '"Kelvane"')"
program_pid="$(pgrep -P "$pid" | head -n1)"
check_true "the main window is up" test -n "$wid" -a -n "$program_pid"

capture() { xwd -root -silent >"$1"; }
# wait_for_screen REFERENCE SECONDS: true once the screen equals REFERENCE.
wait_for_screen() {
    local limit=$(($2 * 5))
    for _ in $(seq 1 "$limit"); do
        capture "$work/now.xwd"
        cmp -s "$work/now.xwd" "$1" && return 0
        sleep 0.2
    done
    return 1
}
rss_kb() { awk '/^VmRSS:/ { print $2 }' "/proc/$program_pid/status" 2>/dev/null; }

if [ -n "$wid" ] && [ -n "$program_pid" ]; then
    # The scene is still once two captures three seconds apart agree and show something at the
    # bottom of the screen (the ground): during set-up the screen is black and still too.
    settled=false
    for _ in $(seq 1 60); do
        capture "$work/before.xwd"
        sleep 3
        capture "$work/now.xwd"
        if cmp -s "$work/now.xwd" "$work/before.xwd" && screen_drawn "$work/now.xwd" &&
            [ "$(xwininfo -id "$wid" | grep -c IsViewable)" -eq 1 ]; then
            settled=true
            break
        fi
    done
    check_true "the scene is drawn and still" $settled
    rss=()
    for cycle in $(seq 1 "$cycles"); do
        xdotool windowminimize "$wid"
        minimised=false
        for _ in $(seq 1 50); do
            xwininfo -id "$wid" | grep -q IsUnMapped && { minimised=true; break; }
            sleep 0.1
        done
        check_true "cycle $cycle: minimised" $minimised
        sleep 0.5
        xdotool windowactivate "$wid" 2>/dev/null || xdotool windowmap "$wid"
        check_true "cycle $cycle: the same picture after the restoration" wait_for_screen "$work/before.xwd" 60
        sleep 1
        rss+=("$(rss_kb)")
    done
    echo "     resident memory after each restoration (kB): ${rss[*]}"
    # The driver's memory use wanders by tens of megabytes from one moment to the next; what must
    # not happen is a steady loss per restoration, such as every texture or mesh kept twice.
    growth=$((${rss[$((cycles - 1))]:-0} - ${rss[0]:-0}))
    check_true "memory flat over the cycles (grew $growth kB)" test "$growth" -le 65536
    check_true "still running" kill -0 "$program_pid"
    kill -TERM "$program_pid"
    check_true "a termination signal ends the program" ends_within "$program_pid" 50
fi
wait_program

events() { grep -c "event=SDL_WINDOWEVENT_$1 " "$work/err"; }
check "minimised events" "$(events MINIMIZED)" "$cycles"
check "restored events" "$(events RESTORED)" "$cycles"
check "contexts made: one at start, one per restoration" "$(grep -c '^context|Kelvane$' "$work/gl.log")" \
    $((cycles + 1))
check_true "no sanitizer report" bash -c "! grep -qE 'Sanitizer|runtime error' '$work/err'"
check "no message box" "$(cat "$work/messages")" ""

finish
