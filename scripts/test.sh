#!/usr/bin/env bash
# Sets up this Debian machine, builds everything and runs every test, stage by stage:
#   build       the build with warnings as errors, then the unit tests, the X11 end-to-end tests and
#               the Wayland end-to-end tests
#   package     the Debian package: built, checked with lintian, installed, run as a new user and as
#               root, removed (as root only; ZX_PACKAGE_TEST=off skips it)
#   sanitizers  the unit tests under AddressSanitizer and UndefinedBehaviorSanitizer
#   fuzz        the fuzz targets for a bounded time (ZX_FUZZ_SECONDS each, default 30)
#   windows     the Windows program cross-built, its tests run under Wine (ZX_WINDOWS_TEST=off skips it)
#   arm64       the Raspberry Pi build: cross-built, unit and end-to-end tests under qemu, the arm64 packages
#               installed in arm64 Debian 12 and 13 trees (scripts/test-arm64.sh, as root; ZX_ARM64=off
#               skips it)
#   trixie      the build and package stages again on Debian 13 in a chroot (scripts/test-trixie.sh, as
#               root; ZX_TRIXIE=off skips it)
# With no arguments it runs them all; name stages to run only those: bash scripts/test.sh build package
set -euo pipefail
cd "$(dirname "$0")/.."

all=(build package sanitizers fuzz windows arm64 trixie)
stages=("$@")
[ ${#stages[@]} -gt 0 ] || stages=("${all[@]}")
for stage in "${stages[@]}"; do
    if [[ " ${all[*]} " != *" $stage "* ]]; then
        echo "unknown stage '$stage'; the stages are: ${all[*]}" >&2
        exit 2
    fi
done
jobs=$(nproc)

# Seconds per step and the end-to-end tests that skipped, printed at the end, also when a step fails.
timings=()
skips=()
current=""
summary() {
    local status=$?
    . /etc/os-release
    echo "== times on ${PRETTY_NAME}"
    [ ${#timings[@]} -eq 0 ] || printf '   %s\n' "${timings[@]}"
    if [ "$status" -ne 0 ] && [ -n "$current" ]; then
        echo "   $current: FAILED after $((SECONDS - step_start)) s"
    fi
    if [ ${#skips[@]} -gt 0 ]; then
        echo "== end-to-end tests that skipped on ${PRETTY_NAME}"
        printf '   %s\n' "${skips[@]}"
    fi
}
trap summary EXIT
step() {
    current=$1
    step_start=$SECONDS
    echo "== $1"
    shift
    "$@"
    timings+=("$current: $((SECONDS - step_start)) s")
    current=""
}

build() {
    cmake --preset ci >/dev/null
    cmake --build --preset ci -j"$jobs"
}

# ctest shows a test module's output only when it fails: note what its tests skipped, and why.
e2e_tests() {
    local status=0 line
    ctest --preset ci -j"$jobs" "$@" || status=$?
    while IFS= read -r line; do
        skips+=("$line")
    done < <(sed -n 's/^.*(\(test_[^)]*\)) \.\.\. skipped \(.*\)$/\1: \2/p' build/Testing/Temporary/LastTest.log)
    return "$status"
}

stage_build() {
    step "build (warnings as errors)" build
    step "unit tests" ctest --preset ci -j"$jobs" -LE e2e
    step "end-to-end tests on X11" e2e_tests -L '^e2e$' -LE package
    step "end-to-end tests on Wayland" e2e_tests -L '^e2e-wayland$'
}

package_test() {
    local deb
    deb=$(bash scripts/package.sh)
    lintian --fail-on error "$deb"
    ZX_PACKAGE_E2E=1 ZX_DEB="$deb" ctest --preset ci -L package
}

stage_package() {
    if [ "$(id -u)" -ne 0 ]; then
        echo "== the Debian package: skipped, installing the package needs root"
    elif [ "${ZX_PACKAGE_TEST:-on}" = off ]; then
        echo "== the Debian package: skipped, ZX_PACKAGE_TEST=off"
    else
        step "the Debian package: build, lintian, install, run as a new user and as root, remove" package_test
    fi
}

sanitizers() {
    cmake --preset asan >/dev/null
    cmake --build --preset asan -j"$jobs"
    ctest --preset asan -j"$jobs"
}

stage_sanitizers() {
    step "unit tests under AddressSanitizer and UndefinedBehaviorSanitizer" sanitizers
}

fuzz() {
    cmake --preset fuzz >/dev/null
    cmake --build --preset fuzz -j"$jobs"
    for target in build-fuzz/tests/fuzz/*_fuzz; do
        name=$(basename "$target")
        corpus=tests/fuzz/corpus/${name%_fuzz}
        work=$(mktemp -d)
        [ -d "$corpus" ] && cp -r "$corpus"/. "$work"/
        "$target" -max_total_time="${ZX_FUZZ_SECONDS:-30}" -print_final_stats=0 "$work" 2>&1 | tail -n 3
        rm -rf "$work"
    done
}

stage_fuzz() {
    step "fuzz targets, ${ZX_FUZZ_SECONDS:-30} s each" fuzz
}

windows() {
    bash scripts/build-windows.sh
    bash scripts/test-windows.sh
}

stage_windows() {
    if [ "${ZX_WINDOWS_TEST:-on}" = off ]; then
        echo "== Windows: skipped, ZX_WINDOWS_TEST=off"
    else
        step "Windows: cross-build, then the unit and end-to-end tests under Wine" windows
    fi
}

stage_arm64() {
    if [ "$(id -u)" -ne 0 ]; then
        echo "== arm64: skipped, qemu's registration and the arm64 trees need root"
    elif [ "${ZX_ARM64:-on}" = off ]; then
        echo "== arm64: skipped, ZX_ARM64=off"
    else
        step "arm64 (Raspberry Pi): cross-build, tests under qemu, packages in arm64 trees (scripts/test-arm64.sh)" \
            bash scripts/test-arm64.sh
    fi
}

stage_trixie() {
    if [ "$(id -u)" -ne 0 ]; then
        echo "== Debian 13: skipped, the chroot needs root"
    elif [ "${ZX_TRIXIE:-on}" = off ]; then
        echo "== Debian 13: skipped, ZX_TRIXIE=off"
    else
        step "Debian 13 in a chroot (scripts/test-trixie.sh)" bash scripts/test-trixie.sh
    fi
}

step setup bash scripts/setup-debian.sh
for stage in "${stages[@]}"; do
    "stage_$stage"
done
echo "== all tests passed"
