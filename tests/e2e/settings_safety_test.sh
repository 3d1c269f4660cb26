#!/usr/bin/env bash
# Settings that cannot be saved: a write-protected config.dat, a read-only data folder and a full
# disk. Each run still ends normally, says on stderr that the settings could not be saved, and
# leaves config.dat and default.dat exactly as they were, with no temporary file beside them.
# The read-only folder and the full disk need mounts (root); without them those cases are skipped.
# Usage: settings_safety_test.sh PROGRAM DATA-FOLDER MESSAGE-SHIM
PROGRAM="$1" DATA="$2" SHIM="$3"
source "$(dirname "$0")/lib.sh"
run_args=(--no-dialog --frames 20 --fixed-step 0.02 --seed 1)
mounts=()
unmount_all() {
    local m
    for m in "${mounts[@]}"; do umount "$m" 2>/dev/null; done
    mounts=()
}
trap 'kill_program; unmount_all; rm -rf "$work"' EXIT

# A config.dat unlike anything the run writes (another mode, a speed, a tail), and copies of both
# settings files to compare against afterwards.
prepare_settings() {
    cfg="$1/config.dat"
    cp "$1/default.dat" "$cfg"
    set_i32 "$cfg" 0 800
    set_i32 "$cfg" 4 600
    set_i32 "$cfg" 36 1097859072 # 15.0
    printf 'TAIL-KEPT-%s' "$(seq -s, 1 600)" >>"$cfg"
    cp "$cfg" "$work/config.before"
    cp "$1/default.dat" "$work/default.before"
}

# check_unsaved FOLDER: what every case must show once the program has ended.
check_unsaved() {
    sed 's/^/     stderr: /' "$work/err"
    check "exit status" "$status" 0
    [ "$status" -eq 0 ] || show_output
    check_true "stderr says the settings could not be saved" \
        grep -qF "Kelvane 3D: the settings could not be saved" "$work/err"
    check_true "config.dat unchanged" cmp -s "$1/config.dat" "$work/config.before"
    check_true "default.dat unchanged" cmp -s "$1/default.dat" "$work/default.before"
    check "no temporary file left" "$(find "$1" -maxdepth 1 -name 'config.dat?*' | wc -l)" 0
    check "no message box" "$(cat "$work/messages")" ""
    check_true "no sanitizer report" bash -c "! grep -qE 'Sanitizer|runtime error' '$work/err'"
}

echo "-- config.dat write-protected"
fresh_data
prepare_settings "$data"
chmod 0444 "$data/config.dat"
run_program 120 "${run_args[@]}"
check_unsaved "$data"
check "still write-protected" "$(stat -c %a "$data/config.dat")" 444

echo "-- the data folder on a read-only mount"
fresh_data
prepare_settings "$data"
if mount --bind "$data" "$data" 2>/dev/null; then
    mounts+=("$data")
    if mount -o remount,bind,ro "$data" 2>/dev/null; then
        run_program 120 "${run_args[@]}"
        check_unsaved "$data"
        echo "-- the same with only default.dat: nothing can be created either"
        umount "$data" && mount --bind "$data" "$data" && rm "$data/config.dat" &&
            mount -o remount,bind,ro "$data"
        : >"$work/messages"
        run_program 120 "${run_args[@]}"
        check "exit status" "$status" 0
        check_true "stderr says the settings could not be saved" \
            grep -qF "Kelvane 3D: the settings could not be saved" "$work/err"
        check "still no config.dat" "$(find "$data" -maxdepth 1 -iname 'config.dat*' | wc -l)" 0
        check_true "default.dat unchanged" cmp -s "$data/default.dat" "$work/default.before"
    else
        skip_case "the bind mount cannot be made read-only here"
    fi
    unmount_all
else
    skip_case "no permission to mount (run as root for this case)"
fi

echo "-- a full disk: the data on a small tmpfs whose every free block is taken"
disk="$work/disk"
mkdir -p "$disk"
need_kb=$(($(du -sk "$DATA" | cut -f1) + 1024))
if mount -t tmpfs -o "size=${need_kb}k" kl-full-disk "$disk" 2>/dev/null; then
    mounts+=("$disk")
    cp -r "$DATA" "$disk/3z-idaveva"
    prepare_settings "$disk/3z-idaveva"
    dd if=/dev/zero of="$disk/filler" bs=4k status=none 2>/dev/null
    check "the disk is full" "$(df --output=avail -k "$disk" | tail -n1 | tr -d ' ')" 0
    : >"$work/messages"
    run_program 120 "${run_args[@]}" --data "$disk"
    check_unsaved "$disk/3z-idaveva"
    unmount_all
else
    skip_case "no permission to mount a tmpfs (run as root for this case)"
fi

finish
