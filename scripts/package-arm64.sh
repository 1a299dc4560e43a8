#!/usr/bin/env bash
# Builds the arm64 (Raspberry Pi OS, 64-bit) Debian packages on a Debian 12 machine, as root, each against
# its release's libraries, and prints their paths last, one per line: Debian 12's (bookworm), then
# Debian 13's (trixie).
#
# Both are cross-compiled: Debian 12's here, Debian 13's in an amd64 Debian 13 tree made once with
# debootstrap (ZX_ARM64_CROSS_ROOT, default /var/tmp/zentrolux-cross-trixie) that holds the same cross
# compiler and arm64 libraries. Compiling under qemu in an arm64 tree would be several times slower.
#
# --build-here (used inside that tree): only the package for the running system, in build-package-arm64/.
set -euo pipefail
cd "$(dirname "$0")/.."
source_dir=$PWD
# Only the paths go to standard output, so that scripts can take them.
exec 3>&1 1>&2

# The package preset with the cross toolchain; -fcf-protection is x86 only, arm64's counterpart is
# branch protection (what Debian's own arm64 packages are built with).
build_here() {
    local dir=$1
    local flags="-D_FORTIFY_SOURCE=2 -fstack-protector-strong -fstack-clash-protection -mbranch-protection=standard"
    # The build's messages go to standard error; only the package's path to standard output.
    {
        rm -f "$dir"/zentrolux_*.deb
        cmake --preset package -B "$dir" -DCMAKE_TOOLCHAIN_FILE="$source_dir/cmake/aarch64-linux-gnu.cmake" \
            -DCMAKE_C_FLAGS="$flags" -DCMAKE_CXX_FLAGS="$flags" >/dev/null
        cmake --build "$dir" -j"${ZX_JOBS:-$(nproc)}"
        (cd "$dir" && cpack -G DEB >/dev/null)
    } >&2
    ls "$PWD/$dir"/zentrolux_*_arm64.deb
}

if [ "${1:-}" = --build-here ]; then
    build_here build-package-arm64 >&3
    exit 0
fi

if [ "$(id -u)" -ne 0 ]; then
    echo "package-arm64.sh needs root (packages, the Debian 13 tree)" >&2
    exit 1
fi
. /etc/os-release
if [ "${VERSION_CODENAME:-}" != bookworm ]; then
    echo "package-arm64.sh builds Debian 12's package on Debian 12, not on ${PRETTY_NAME:-this system}" >&2
    exit 1
fi
source scripts/lib-trees.sh

timings=()
step_start=$SECONDS
timed() {
    timings+=("$1: $((SECONDS - step_start)) s")
    step_start=$SECONDS
}
trap 'status=$?; echo "== times of the arm64 packages"; printf "   %s\n" "${timings[@]}"; exit $status' EXIT

bash scripts/setup-arm64.sh
timed "setup"

echo "== arm64 package for Debian 12"
bookworm=$(build_here build-package-arm64-bookworm)
timed "Debian 12 package (cross-built here)"

root=${ZX_ARM64_CROSS_ROOT:-/var/tmp/zentrolux-cross-trixie}
echo "== arm64 package for Debian 13, in $root"
zx_tree amd64 trixie "$root"
timed "Debian 13 cross tree"
grep -qx arm64 "$root/var/lib/dpkg/arch" 2>/dev/null || zx_chroot "$root" dpkg --add-architecture arm64
zx_tree_install "$root" cmake ninja-build pkg-config python3 file dpkg-dev crossbuild-essential-arm64 qt6-base-dev \
    libgtest-dev:arm64 qt6-base-dev:arm64 qt6-multimedia-dev:arm64 libturbojpeg0-dev:arm64 \
    libjpeg62-turbo-dev:arm64 libxcb1-dev:arm64 libxcb-shape0-dev:arm64 libxcb-shm0-dev:arm64 \
    libxcb-damage0-dev:arm64 libpipewire-0.3-dev:arm64
timed "Debian 13 cross tree: packages"

inner=$(zx_copy_sources "$root" "$source_dir")
built=$root$(zx_chroot "$root" /bin/bash -c 'cd "$0" && ZX_JOBS="$1" bash scripts/package-arm64.sh --build-here' \
    "$inner" "${ZX_JOBS:-$(nproc)}")
mkdir -p build-package-arm64-trixie
rm -f build-package-arm64-trixie/zentrolux_*.deb
cp "$built" build-package-arm64-trixie/
trixie=$PWD/build-package-arm64-trixie/$(basename "$built")
timed "Debian 13 package (cross-built in the tree)"

printf '%s\n%s\n' "$bookworm" "$trixie" >&3
