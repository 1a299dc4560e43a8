#!/usr/bin/env bash
# Sets up a Debian 12 or 13 machine, builds Zentrolux and starts it on this desktop.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/setup-debian.sh
cmake --preset default >/dev/null
cmake --build --preset default --target Zentrolux

if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
    cat >&2 <<'MSG'
Zentrolux is built (build/bin/Zentrolux) but there is no display to show it on:
DISPLAY is not set. Run this command again from a terminal of your desktop
session, or, over ssh, log in with X forwarding (ssh -X). To try it without a
desktop, start a virtual one first:
    Xvfb :1 -screen 0 1280x1024x24 & openbox --display :1 &
    DISPLAY=:1 build/bin/Zentrolux
MSG
    exit 1
fi
# Under Wayland the program runs through XWayland by itself.
exec build/bin/Zentrolux
