#!/usr/bin/env bash
# Installing as a user would: the install tree of the program and of the tools, the desktop entry
# and AppStream metadata named by the application's id, the installed program run from another folder on read-only data with its settings kept in the
# user's config folder, and the Debian package's metadata and file list.
# Usage: install_test.sh BUILD-DIR MESSAGE-SHIM
BUILD="$1" SHIM="$2"
source "$(dirname "$0")/lib.sh"
mounts=()
trap 'kill_program; for m in "${mounts[@]}"; do umount "$m" 2>/dev/null; done; chmod -R u+w "$work"; rm -rf "$work"' EXIT
prefix="$work/prefix"
run_args=(--no-dialog --frames 60 --fixed-step 0.02 --seed 1)
app_id=io.github.kelvane3d.Kelvane3D

echo "-- cmake --install, program component"
cmake --install "$BUILD" --prefix "$prefix" --component program >"$work/install.log" || cat "$work/install.log"
share="$prefix/share"
for f in bin/kelvane3d share/kelvane3d/3z-idaveva/default.dat share/applications/$app_id.desktop \
    share/metainfo/$app_id.metainfo.xml \
    share/icons/hicolor/48x48/apps/kelvane3d.png share/icons/hicolor/128x128/apps/kelvane3d.png \
    share/icons/hicolor/256x256/apps/kelvane3d.png share/man/man6/kelvane3d.6.gz \
    share/doc/kelvane3d/README.md share/doc/kelvane3d/copyright share/doc/kelvane3d/changelog.gz; do
    check_true "installed $f" test -s "$prefix/$f"
done
check "data files" "$(find "$share/kelvane3d/3z-idaveva" -type f | wc -l)" "$(find "$BUILD/3z-idaveva" -type f | wc -l)"
check "no tool in the program component" "$(ls "$prefix/bin")" "kelvane3d"
check "icon 128 is 128x128 PNG" "$(file -b "$share/icons/hicolor/128x128/apps/kelvane3d.png" | cut -d, -f1,2)" \
    "PNG image data, 128 x 128"
check_true "desktop entry valid" desktop-file-validate "$share/applications/$app_id.desktop"
check_true "AppStream metadata valid" appstreamcli validate --no-net "$share/metainfo/$app_id.metainfo.xml"
version="$("$prefix/bin/kelvane3d" --version)"
check_true "--version names the program and a version" grep -qE '^kelvane3d \(Kelvane 3D\) [0-9]' <<<"$version"
check_true "the metadata's release is the program's version" \
    grep -qF "<release version=\"${version##* }\"" "$share/metainfo/$app_id.metainfo.xml"
check_true "manual page made from --help" bash -c "zcat '$share/man/man6/kelvane3d.6.gz' | grep -qF '\\-\\-no\\-dialog'"

echo "-- the installed program from another folder, its data read-only"
chmod -R a-w "$share/kelvane3d"
if [ "$(id -u)" -eq 0 ] && mount --bind "$share/kelvane3d" "$share/kelvane3d" 2>/dev/null; then
    mounts+=("$share/kelvane3d")
    mount -o remount,bind,ro "$share/kelvane3d" || echo "     (no read-only remount: folder permissions only)"
fi
: >"$work/messages"
export XDG_CONFIG_HOME="$work/xdg"
user_cfg="$XDG_CONFIG_HOME/kelvane3d/config.dat"
PROGRAM="$prefix/bin/kelvane3d"
run_program 120 "${run_args[@]}"
check "exit status" "$status" 0
[ "$status" -eq 0 ] || show_output
check "settings in the config folder" "$(stat -c %s "$user_cfg" 2>/dev/null)" 137
check_true "stderr says where" grep -qF "settings saved to $user_cfg" "$work/err"
check "nothing written beside the data" "$(find "$share/kelvane3d" -name 'config.dat*' | wc -l)" 0

echo "-- the next run reads the config folder's file"
check_true "default.dat holds another ResH" test "$(i32 "$share/kelvane3d/3z-idaveva/default.dat" 124)" != 777
set_i32 "$user_cfg" 124 777
run_program 120 "${run_args[@]}"
check "exit status" "$status" 0
check "ResH read from and kept in the config folder" "$(i32 "$user_cfg" 124)" 777

echo "-- without XDG_CONFIG_HOME: ~/.config"
unset XDG_CONFIG_HOME
HOME="$work/home" run_program 120 "${run_args[@]}"
check "exit status" "$status" 0
check "settings in ~/.config" "$(stat -c %s "$work/home/.config/kelvane3d/config.dat" 2>/dev/null)" 137

echo "-- tools component"
cmake --install "$BUILD" --prefix "$work/tools" --component tools >"$work/install.log" || cat "$work/install.log"
check "tools installed" "$(ls "$work/tools/bin" | tr '\n' ' ')" "engine-showcase imginfo xinfo "

echo "-- Debian package"
(cd "$BUILD" && cpack -G DEB -B "$work/pkg") >"$work/cpack.log" 2>&1 || cat "$work/cpack.log"
deb="$(ls "$work/pkg"/kelvane3d_*_*.deb 2>/dev/null | head -1)"
check_true "package built" test -f "$deb"
if [ -f "$deb" ]; then
    info="$(dpkg-deb -f "$deb" Package Section Architecture)"
    check "package, section, architecture" "$(echo $info)" "Package: kelvane3d Section: games Architecture: $(dpkg --print-architecture)"
    check "the package's version is the program's" "$(dpkg-deb -f "$deb" Version)" "${version##* }"
    check_true "the maintainer is a name and an address" grep -qE '^.+ <[^ ]+@[^ ]+>$' <<<"$(dpkg-deb -f "$deb" Maintainer)"
    depends="$(dpkg-deb -f "$deb" Depends)"
    check_true "Depends computed from the linked libraries" grep -q "libsdl2-2.0-0 (>=" <<<"$depends"
    check_true "Depends names what is loaded at run time" grep -q "libgl1-mesa-dri" <<<"$depends"
    dpkg-deb -c "$deb" | awk '{print $6}' >"$work/deb.list"
    for f in ./usr/games/kelvane3d ./usr/share/kelvane3d/3z-idaveva/default.dat ./usr/share/applications/$app_id.desktop \
        ./usr/share/metainfo/$app_id.metainfo.xml \
        ./usr/share/icons/hicolor/256x256/apps/kelvane3d.png ./usr/share/man/man6/kelvane3d.6.gz \
        ./usr/share/doc/kelvane3d/copyright ./usr/share/doc/kelvane3d/changelog.gz; do
        check_true "package holds $f" grep -qxF "$f" "$work/deb.list"
    done
    check "no tools in the package" "$(grep -cE '/bin/(xinfo|imginfo|engine-showcase)$' "$work/deb.list")" 0
fi
finish
