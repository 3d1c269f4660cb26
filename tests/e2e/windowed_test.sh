#!/usr/bin/env bash
# The program in a window among others, under a window manager (openbox), on the real keyboard:
# the window manager's close request ends the scene as the quit prompt does (exit status 0 at once,
# settings written); another window taking the focus for a while leaves the run going (keys and
# clicks go to that window meanwhile), and once the focus is back the quit prompt ends the run.
# Usage: windowed_test.sh PROGRAM DATA-FOLDER MESSAGE-SHIM SEND-CLOSE
PROGRAM="$1" DATA="$2" SHIM="$3" SEND_CLOSE="$4"
source "$(dirname "$0")/lib.sh"
wm="" thief=""
trap 'kill_program; [ -n "$thief" ] && kill "$thief" 2>/dev/null; [ -n "$wm" ] && kill "$wm" 2>/dev/null; rm -rf "$work"' EXIT

skip_unless_commands openbox xwd
start_window_manager

# start_windowed: a fresh data folder whose config.dat asks for another mode than the one that will
# be set, the program started in a window; sets $cfg and $wid.
start_windowed() {
    fresh_data
    cfg="$data/config.dat"
    cp "$data/default.dat" "$cfg"
    set_i32 "$cfg" 0 800
    cp "$cfg" "$work/before.dat"
    start_program 300 --windowed --no-dialog --seed 1
    wid="$(find_window '"Kelvane"')"
    check_true "the main window is up" test -n "$wid"
    check_true "the scene runs" wait_until_scene_runs
}

echo "-- the window manager's close request during the scene"
start_windowed
[ -n "$wid" ] && "$SEND_CLOSE" --wm "$wid"
check_true "ended within 2 s of the close request" ends_within "$pid" 20
check_normal_end

echo "-- the focus away for 3 s and back, then the quit prompt"
start_windowed
open_other_window
[ -n "$thief_wid" ] && xdotool windowactivate "$thief_wid" 2>/dev/null
sleep 1
check_true "the traffic goes on without the focus" screen_changes
if [ -n "$thief_wid" ]; then
    xdotool key --clearmodifiers q
    xdotool mousemove --window "$thief_wid" 50 50 click 1
fi
sleep 1
check_true "keys reach the other window" grep -q 'KeyPress event' "$work/xev"
check_true "clicks reach the other window" grep -q 'ButtonPress event' "$work/xev"
check_true "still running" kill -0 "$pid"

[ -n "$wid" ] && xdotool windowactivate "$wid" 2>/dev/null
sleep 1
for _ in $(seq 1 10); do
    kill -0 "$pid" 2>/dev/null || break
    for k in Escape Return; do
        xdotool keydown "$k"
        sleep 0.4
        xdotool keyup "$k"
        sleep 0.4
    done
done
check_true "the quit prompt ended the run" ends_within "$pid" 50
check_normal_end

finish
