#!/usr/bin/env bash
# Prepares this Debian 12 or 13 machine (as root) for arm64 work: the cross compiler, the arm64
# development packages beside the machine's own (multiarch), and qemu registered with the kernel, so
# that arm64 programs run here as they are (unit tests, the end-to-end tests, debootstrap of arm64
# trees). Safe to run again: it only calls apt when something is missing, and mounts only once.
set -euo pipefail

if [ "$(id -u)" -ne 0 ]; then
    echo "setup-arm64.sh needs root (apt, dpkg architectures, binfmt_misc)" >&2
    exit 1
fi

# Those of the named packages that are not installed.
missing() {
    local p
    for p in "$@"; do
        dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || echo "$p"
    done
}

apt_install() {
    DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends \
        -o DPkg::Lock::Timeout=900 "$@"
}

# What the host runs: the emulator and its kernel registration, debootstrap, the cross compiler, the
# build tools and Qt's own code generators, and what checks the package.
host=(qemu-user-static binfmt-support debootstrap crossbuild-essential-arm64 cmake ninja-build pkg-config
      python3 qt6-base-dev dpkg-dev file lintian desktop-file-utils appstream)
# What the arm64 build links against: the -dev packages scripts/setup-debian.sh installs, for arm64.
target=(libgtest-dev qt6-base-dev qt6-multimedia-dev libturbojpeg0-dev libjpeg62-turbo-dev libxcb1-dev
        libxcb-shape0-dev libxcb-shm0-dev libxcb-damage0-dev libpipewire-0.3-dev)
target=("${target[@]/%/:arm64}")

updated=no
if ! dpkg --print-foreign-architectures | grep -qx arm64; then
    dpkg --add-architecture arm64
    apt-get update -q
    updated=yes
fi
mapfile -t need < <(missing "${host[@]}" "${target[@]}")
if [ ${#need[@]} -gt 0 ]; then
    echo "Installing: ${need[*]}"
    [ "$updated" = yes ] || apt-get update -q
    apt_install "${need[@]}"
fi

# The kernel runs arm64 programs through qemu once binfmt_misc is mounted and the format registered;
# on a fresh machine (or in a container) neither may be so.
binfmt=/proc/sys/fs/binfmt_misc
if [ ! -e "$binfmt/register" ]; then
    mount -t binfmt_misc binfmt_misc "$binfmt"
fi
if [ ! -e "$binfmt/qemu-aarch64" ]; then
    update-binfmts --enable qemu-aarch64 >/dev/null 2>&1 || true
fi
if [ ! -e "$binfmt/qemu-aarch64" ]; then
    update-binfmts --import qemu-aarch64 >/dev/null
    update-binfmts --enable qemu-aarch64
fi
grep -qx enabled "$binfmt/qemu-aarch64" || {
    echo "qemu-aarch64 is registered but disabled in $binfmt" >&2
    exit 1
}
