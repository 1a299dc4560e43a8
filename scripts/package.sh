#!/usr/bin/env bash
# Sets up a Debian 12 or 13 machine and builds the Debian package
# build-package/zentrolux_<version>_<architecture>.deb; prints its path last.
set -euo pipefail
cd "$(dirname "$0")/.."
# Only the path goes to standard output, so that scripts can take it.
exec 3>&1 1>&2

bash scripts/setup-debian.sh
# One package in the folder, so that scripts can find it without knowing the version.
rm -f build-package/zentrolux_*.deb
cmake --preset package >/dev/null
cmake --build --preset package -j"$(nproc)"
cpack --preset package
ls "$PWD"/build-package/zentrolux_*.deb >&3
