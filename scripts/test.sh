#!/usr/bin/env bash
# Sets up a Debian 12 machine, builds everything and runs every test: unit and
# end-to-end tests, the unit tests again under the sanitizers, and the fuzz
# targets for a bounded time.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/setup-debian.sh
jobs=$(nproc)

echo "== build and test (default preset)"
cmake --preset default >/dev/null
cmake --build --preset default -j"$jobs"
ctest --preset default -j"$jobs"

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
echo "== all tests passed"
