#!/usr/bin/env bash
# Sets everything up and starts the demo: installs the packages, builds the release preset (which
# also generates the data directory build/release/3z-idaveva/) and starts the program from the build
# folder, where it finds that data. Without a display ($DISPLAY empty) it runs a fixed number of
# frames on a virtual X server instead and saves the last one as a screenshot (a --headless run needs
# no display and runs as it is).
# Extra arguments go to the program (see build/release/src/app/kelvane3d --help).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
bash scripts/build.sh release
build="$PWD/build/release"
program="$build/src/app/kelvane3d"
if [ ! -f "$build/3z-idaveva/default.dat" ]; then
    echo "run: the data directory $build/3z-idaveva was not generated" >&2
    exit 1
fi
cd "$build"
if [ -n "${DISPLAY:-}" ]; then
    exec "$program" "$@"
fi
# A run without a window needs no screen at all.
for arg in "$@"; do
    if [ "$arg" = --headless ]; then exec "$program" "$@"; fi
done
shot="$build/kelvane3d-screenshot.png"
rm -f "$shot"
echo "run: no display; running 300 frames on a virtual 1024x768 screen"
xvfb-run -a -s '-noreset -screen 0 1024x768x24' "$program" --no-dialog --frames 300 --screenshot "$shot" "$@"
if [ -f "$shot" ]; then
    echo "run: screenshot of the last frame: $shot"
else
    echo "run: no screenshot was written" >&2
    exit 1
fi
