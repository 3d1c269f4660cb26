#!/usr/bin/env bash
# Installs every Debian 12 package Kelvane 3D needs to build, test, fuzz and run.
# Non-interactive and idempotent: apt is only asked when something is missing.
set -euo pipefail

PACKAGES=(
    # compilers and build
    g++ clang libclang-rt-14-dev cmake ninja-build pkg-config make
    # tests and benchmarks
    googletest libgtest-dev libgmock-dev libbenchmark-dev
    # graphics, windowing, input
    libsdl2-dev libx11-dev libgl1-mesa-dev libgl1-mesa-dri libegl-dev libegl-mesa0
    # images, fonts, meshes, dialog
    libstb-dev libfreetype-dev libfontconfig-dev fonts-liberation2 zlib1g-dev libmeshoptimizer-dev libimgui-dev
    # JPEG decoding for textures, and the encoder behind the image test files
    libjpeg62-turbo-dev
    # --video encodes through FFmpeg's libraries; ffprobe reads the result back in the tests
    libavcodec-dev libavformat-dev libswscale-dev ffmpeg
    # headless display for render and end-to-end tests
    xvfb xauth x11-utils xdotool xfonts-base
    # a window manager to minimise the program's window, and xwd to capture the screen
    openbox x11-apps
    # pgrep finds the program under its time limit in the end-to-end scripts
    procps
    # the install test checks the desktop entry and the AppStream metadata and reads the Debian package
    # it builds
    desktop-file-utils appstream dpkg-dev file
)

missing=()
for p in "${PACKAGES[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
        missing+=("$p")
    fi
done

if [ ${#missing[@]} -eq 0 ]; then
    echo "install-deps: all ${#PACKAGES[@]} packages present"
    exit 0
fi

SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi

echo "install-deps: installing ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -qq
$SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
