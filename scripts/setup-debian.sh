#!/usr/bin/env bash
# Installs what building, running and testing need on Debian 12 or 13. Safe to
# run again: it only calls apt when something is missing.
set -euo pipefail

# The few packages whose names differ between the releases. A system built on Debian names a
# release of its own; /etc/debian_version names its base.
. /etc/os-release
release=${VERSION_CODENAME:-}
case "$release" in
    bookworm | trixie) ;;
    *) release=$(sed -n 's/^12\..*/bookworm/p; s/^13\..*/trixie/p' /etc/debian_version 2>/dev/null || true) ;;
esac
case "$release" in
    bookworm)
        clang_runtime=libclang-rt-14-dev
        kde_qt=(qml-module-qtquick-controls2 qml-module-qtquick-layouts qml-module-org-kde-kirigami2 qtwayland5)
        newer_desktops=()
        ;;
    trixie)
        clang_runtime=libclang-rt-19-dev
        kde_qt=(qml6-module-qtquick-controls qml6-module-qtquick-layouts qml6-module-org-kde-kirigami qt6-wayland)
        # labwc (Raspberry Pi OS's desktop), and wlr-randr to size its headless screen
        newer_desktops=(labwc wlr-randr)
        ;;
    *)
        echo "setup-debian.sh knows Debian 12 (bookworm) and 13 (trixie), not ${PRETTY_NAME:-this system}" >&2
        exit 1
        ;;
esac

packages=(
    # build
    cmake ninja-build g++ pkg-config python3 libgtest-dev
    qt6-base-dev qt6-multimedia-dev libturbojpeg0-dev libjpeg62-turbo-dev libxcb1-dev libxcb-shape0-dev
    libxcb-shm0-dev libxcb-damage0-dev libxcb-xfixes0-dev libpipewire-0.3-dev
    fonts-dejavu-core
    # tests: a virtual X display with a window manager, and tools to drive it
    xvfb xauth openbox xdotool x11-utils x11-xserver-utils imagemagick
    # ... Pillow, with which the system's python3 reads the snapshots' EXIF as picture viewers do
    python3-pil
    # ... chattr, to make a folder read-only even for root (a minimal Debian 13 lacks it)
    e2fsprogs
    # ... and a compositor beside openbox for the translucent window (3 packages, 0.6 MB)
    picom
    # the writer benchmark and the fuzz targets
    libjpeg-turbo-progs clang "$clang_runtime"
    # the Debian package: dependencies from the binaries, checks of the package and its metadata
    dpkg-dev file lintian desktop-file-utils appstream
    # end-to-end tests on headless Wayland desktops (tests/e2e/zxwayland.py): Xwayland, the portal,
    # pipewire, a GTK window of one colour; sway with grim and its portal (about 45 packages, 20 s)
    xwayland xdg-desktop-portal pipewire wireplumber python3-gi gir1.2-gtk-3.0 dbus-daemon dbus-bin
    libglib2.0-bin iproute2
    sway grim xdg-desktop-portal-wlr
    # ... and gnome-shell with its portal (about 130 packages more, 40 s)
    gnome-shell xdg-desktop-portal-gnome
    "${newer_desktops[@]}"
)
# KDE's rig needs about 330 packages more (45 s); only on request: ZX_KDE=1 bash scripts/setup-debian.sh
if [ "${ZX_KDE:-0}" = 1 ]; then
    packages+=(kwin-wayland xdg-desktop-portal-kde plasma-workspace "${kde_qt[@]}")
fi

# The X11 window managers of the desktops people use, each a rig of tests/e2e/test_window_managers.py
# (44 packages on top of the rest on Debian 12). Installed where the release's archive has them: a
# test whose window manager is missing skips, naming it.
window_managers=(
    xfwm4 xfconf dbus-x11 tigervnc-standalone-server
    marco mate-settings-daemon-common metacity mutter muffin cinnamon-settings-daemon kwin-x11 icewm
)

installed() {
    dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q 'install ok installed'
}
in_archive() {
    [ -n "$(apt-cache policy "$1" 2>/dev/null | sed -n 's/^ *Candidate: *//p' | grep -v '(none)')" ]
}

missing=()
for p in "${packages[@]}"; do
    installed "$p" || missing+=("$p")
done
for p in "${window_managers[@]}"; do
    installed "$p" || ! in_archive "$p" || missing+=("$p")
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
# Lists read for the first time may know window managers they did not before.
for p in "${window_managers[@]}"; do
    if ! installed "$p" && in_archive "$p" && [[ " ${missing[*]} " != *" $p "* ]]; then
        missing+=("$p")
    fi
done
for p in "${window_managers[@]}"; do
    installed "$p" || in_archive "$p" || echo "Not in this release's archive: $p (its tests skip)"
done
DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get install -y -q --no-install-recommends \
    -o DPkg::Lock::Timeout=900 "${missing[@]}"
