#!/usr/bin/env bash
# Sets up a Debian 12 machine, builds everything and runs every test: unit and
# end-to-end tests, the Debian package (as root; ZX_PACKAGE_TEST=off skips it),
# the unit tests again under the sanitizers, the fuzz targets for a bounded
# time, and the Windows program cross-built and tested under Wine
# (ZX_WINDOWS_TEST=off skips it).
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/setup-debian.sh
jobs=$(nproc)

echo "== build (warnings as errors) and test"
cmake --preset ci >/dev/null
cmake --build --preset ci -j"$jobs"
ctest --preset ci -j"$jobs" -LE package

echo "== the Debian package: build, lintian, install, run as a new user and as root, remove"
if [ "$(id -u)" -ne 0 ]; then
    echo "skipped: installing the package needs root"
elif [ "${ZX_PACKAGE_TEST:-on}" = off ]; then
    echo "skipped: ZX_PACKAGE_TEST=off"
else
    deb=$(bash scripts/package.sh)
    lintian --fail-on error "$deb"
    ZX_PACKAGE_E2E=1 ZX_DEB="$deb" ctest --preset ci -L package
fi

echo "== unit tests under AddressSanitizer and UndefinedBehaviorSanitizer"
cmake --preset asan >/dev/null
cmake --build --preset asan -j"$jobs"
ctest --preset asan -j"$jobs"

echo "== fuzz targets, ${ZX_FUZZ_SECONDS:-30} s each"
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
echo "== Windows: cross-build, then the unit and end-to-end tests under Wine"
if [ "${ZX_WINDOWS_TEST:-on}" = off ]; then
    echo "skipped: ZX_WINDOWS_TEST=off"
else
    bash scripts/build-windows.sh
    bash scripts/test-windows.sh
fi
echo "== all tests passed"
