#!/usr/bin/env bash
# Builds the Debian package from the release preset and checks it by hand (not in CI: lintian alone
# takes a while): prints its metadata and file list and runs lintian. With --install it also
# installs the package with apt, runs the installed program's --help and removes the package again.
# Usage: scripts/package.sh [--install]
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
if ! command -v lintian >/dev/null; then
    $SUDO env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq lintian
fi
bash scripts/build.sh release
out="$PWD/build/package"
rm -rf "$out"
(cd build/release && cpack -G DEB -B "$out" >/dev/null)
deb="$(ls "$out"/kelvane3d_*.deb)"
echo "== $deb"
dpkg-deb -I "$deb"
echo "== files"
dpkg-deb -c "$deb"
echo "== lintian"
lintian --fail-on error "$deb" && echo "lintian: no error"
if [ "${1:-}" = "--install" ]; then
    echo "== apt install"
    $SUDO env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "$deb"
    # As a user would: from another folder, the settings going to the config folder.
    tmp="$(mktemp -d)"
    (cd "$tmp" && XDG_CONFIG_HOME="$tmp/config" xvfb-run -a -s '-noreset -screen 0 1024x768x24' \
        /usr/games/kelvane3d --no-dialog --frames 60 && ls -l "$tmp/config/kelvane3d/config.dat") || status=1
    rm -rf "$tmp"
    echo "== apt remove"
    $SUDO env DEBIAN_FRONTEND=noninteractive apt-get remove -y -qq kelvane3d
    if [ -e /usr/games/kelvane3d ] || [ -e /usr/share/kelvane3d ]; then
        echo "package: files left after removal" >&2
        exit 1
    fi
    [ "${status:-0}" -eq 0 ] || { echo "package: the installed program failed" >&2; exit 1; }
    echo "package: installed, run and removed cleanly"
fi
