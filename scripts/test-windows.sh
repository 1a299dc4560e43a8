#!/usr/bin/env bash
# Runs the Windows unit tests (built by scripts/build-windows.sh) under Wine through ctest, in a
# Wine prefix of their own under the build tree, then the end-to-end tests of the program, its zip
# and its installer under Wine on private X displays (tests/e2e/test_windows.py).
# Arguments go to ctest, e.g. -R jpegwriter or --output-on-failure.
set -euo pipefail
cd "$(dirname "$0")/.."
build=$PWD/build-windows
jobs=${ZX_JOBS:-2}

if [ ! -f "$build/CMakeCache.txt" ]; then
    bash scripts/build-windows.sh
else
    # Brings the tests up to date; nothing to do when they are.
    cmake --build --preset windows -j"$jobs" >/dev/null
fi

export WINEPREFIX=$build/wine-prefix
export WINEARCH=win64
export WINEDEBUG=-all
# No prompts to install Mono or Gecko.
export WINEDLLOVERRIDES="mscoree,mshtml="
unset DISPLAY WAYLAND_DISPLAY

seconds() { date +%s.%N; }
elapsed() { awk -v s="$1" -v e="$(seconds)" 'BEGIN { printf "%.1f", e - s }'; }

if [ ! -f "$WINEPREFIX/system.reg" ]; then
    start=$(seconds)
    mkdir -p "$WINEPREFIX"
    wineboot --init >/dev/null 2>&1
    wineserver -w
    echo "Wine prefix made in $(elapsed "$start") s: $WINEPREFIX"
fi
# Wine links the user's Pictures, Documents and the like to the host's home: made folders of the
# prefix's own, the tests write nothing outside it.
for link in "$WINEPREFIX"/drive_c/users/*/*; do
    if [ -L "$link" ]; then
        rm "$link"
        mkdir "$link"
    fi
done

# One Wine server for the whole run instead of one start-up per test program, ended on any exit;
# one that runs already for this prefix (another run's) is used and left running.
if wineserver -p 2>/dev/null; then
    trap 'wineserver -k 2>/dev/null || true' EXIT
fi
# Wine's own background processes start with the first program and live as long as the server.
# Started here, they hold no test's output pipe open, which would keep ctest waiting for its end.
wine cmd /c exit </dev/null >/dev/null 2>&1

start=$(seconds)
status=0
ctest --preset windows -j"$jobs" "$@" >"$build/ctest.log" 2>&1 || status=$?
if grep -q 'tests passed' "$build/ctest.log"; then
    # The summary on: the pass count, then any failed or skipped tests.
    sed -n '/tests passed/,$p' "$build/ctest.log"
else
    # No summary: the tests could not even be listed.
    cat "$build/ctest.log"
    status=1
fi
echo "Test run: $(elapsed "$start") s (full log: $build/ctest.log)"
[ "$status" -eq 0 ] || exit "$status"

# The end-to-end tests put the program over the Linux build's test window.
backdrop=$PWD/build/tests/zx_backdrop
if [ ! -x "$backdrop" ]; then
    cmake --preset ci >/dev/null
    cmake --build --preset ci -j"$jobs" --target zx_backdrop >/dev/null
fi
version=$(sed -n 's/^project(Zentrolux VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
wineserver -k 2>/dev/null || true
start=$(seconds)
(cd tests/e2e && ZX_WINDOWS_BIN_DIR=$build/bin \
    ZX_WINDOWS_INSTALLER=$build/Zentrolux-$version-windows-x64-setup.exe \
    ZX_BACKDROP=$backdrop ZX_VERSION=$version ZX_E2E_ARTIFACTS=$build/e2e-artifacts \
    PYTHONDONTWRITEBYTECODE=1 python3 -m unittest -v test_windows)
echo "End-to-end under Wine: $(elapsed "$start") s"

