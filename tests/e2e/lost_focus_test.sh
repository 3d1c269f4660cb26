#!/usr/bin/env bash
# Lost focus: while the scene runs on the real keyboard, another window takes the focus. The next
# keyboard read cannot take the keyboard back, so the scene ends and the settings are written, as at
# any normal end. Afterwards keys and clicks reach the other window: nothing is left grabbed.
# Usage: lost_focus_test.sh PROGRAM DATA-FOLDER MESSAGE-SHIM
PROGRAM="$1" DATA="$2" SHIM="$3"
source "$(dirname "$0")/lib.sh"
thief=""
trap 'kill_program; [ -n "$thief" ] && kill "$thief" 2>/dev/null; rm -rf "$work"' EXIT

skip_unless_commands xwd

fresh_data
cfg="$data/config.dat"
cp "$data/default.dat" "$cfg"
set_i32 "$cfg" 0 800 # another mode than the one that will be set
printf 'TAIL' >>"$cfg"
cp "$cfg" "$work/before.dat"
start_program 300 --no-dialog
wid="$(find_window '"Kelvane"')"
check_true "the main window is up" test -n "$wid"

check_true "the scene runs" wait_until_scene_runs

# Another window takes the focus.
open_other_window
[ -n "$thief_wid" ] && xdotool windowraise "$thief_wid" windowfocus "$thief_wid"

check_true "the scene ended after the focus went" ends_within "$pid" 300
check_normal_end
check_true "settings written: the tail kept" cmp -s <(tail -c +138 "$cfg") <(tail -c +138 "$work/before.dat")

# Nothing left grabbed: typed keys and a click go to the window that has the focus now.
if [ -n "$thief_wid" ]; then
    xdotool windowfocus "$thief_wid" key --window "$thief_wid" --clearmodifiers q 2>/dev/null
    xdotool mousemove --window "$thief_wid" 50 50 click 1
    xdotool key q
    sleep 0.5
fi
check_true "keys reach the other window" grep -q 'KeyPress event' "$work/xev"
check_true "clicks reach the other window" grep -q 'ButtonPress event' "$work/xev"

finish
