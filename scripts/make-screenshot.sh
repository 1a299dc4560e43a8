#!/usr/bin/env bash
# Makes docs/screenshot.png: the crosshair over a star field, on a private
# Xvfb display with openbox. Needs a built program (build/bin/Zentrolux).
set -euo pipefail
cd "$(dirname "$0")/.."
work=$(mktemp -d)
trap 'kill $(jobs -p) 2>/dev/null || true; rm -rf "$work"' EXIT

display=:$((RANDOM % 400 + 500))
Xvfb "$display" -screen 0 1024x700x24 -dpi 96 -nolisten tcp >"$work/xvfb.log" 2>&1 &
export DISPLAY=$display XDG_RUNTIME_DIR=$work/run HOME=$work
mkdir -m 700 "$work/run"
for _ in $(seq 50); do xdpyinfo >/dev/null 2>&1 && break; sleep 0.1; done
openbox >"$work/openbox.log" 2>&1 &
for _ in $(seq 50); do xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q window && break; sleep 0.1; done

# A camera program's view: faint noise, scattered stars, one bright guide star.
convert -size 1024x700 xc:'#05070d' -seed 7 -attenuate 0.15 +noise Gaussian \
    \( -size 1024x700 xc:black -seed 11 +noise Random -channel G -threshold 99.93% -separate +channel \
       -morphology Dilate Disk:1.5 -blur 0x0.8 \) -compose Screen -composite \
    -fill white -draw 'circle 468,314 471,314' -blur 0x1.2 "$work/sky.png"
display -geometry +0+0 -backdrop -window root "$work/sky.png" >/dev/null 2>&1 &
sleep 1

mkdir -p "$work/prog/Images"
cp build/bin/Zentrolux build/bin/libZentrolux.so "$work/prog/"
"$work/prog/Zentrolux" >"$work/program.log" 2>&1 &
sleep 4.5
mkdir -p docs
import -window root -crop 560x400+200+130 +repage docs/screenshot.png
echo "docs/screenshot.png written"
