#!/usr/bin/env bash
# Installs what building, running and testing need on Debian 12. Safe to run
# again: it only calls apt when something is missing.
set -euo pipefail

packages=(
    # build
    cmake ninja-build g++ pkg-config python3 libgtest-dev
    qt6-base-dev qt6-multimedia-dev libturbojpeg0-dev libxcb1-dev libxcb-shape0-dev
    fonts-dejavu-core
    # tests: a virtual X display with a window manager, and tools to drive it
    xvfb xauth openbox xdotool x11-utils x11-xserver-utils imagemagick
    # the writer benchmark and the fuzz targets
    libjpeg-turbo-progs clang libclang-rt-14-dev
    # the Debian package: dependencies from the binaries, checks of the package and its metadata
    dpkg-dev file lintian desktop-file-utils appstream
)

missing=()
for p in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
        missing+=("$p")
    fi
done
if [ ${#missing[@]} -eq 0 ]; then
    exit 0
fi

sudo=()
if [ "$(id -u)" -ne 0 ]; then
    sudo=(sudo)
fi
echo "Installing: ${missing[*]}"
"${sudo[@]}" apt-get update -q
DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get install -y -q --no-install-recommends "${missing[@]}"
