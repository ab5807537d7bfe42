#!/usr/bin/env bash
# Renders the dialogs to PNG files under a virtual X server, by default into docs/screenshots/.
# build.sh installs what is missing first (deps.sh lists Xvfb, xauth and the DejaVu fonts).
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="${ROOMCAL_BUILD_DIR:-$root/build}"
out="${1:-$root/docs/screenshots}"

ROOMCAL_BUILD_DIR="$build" ROOMCAL_TARGETS="roomcal-screenshots" "$root/scripts/build.sh"
shots="$build/bin/roomcal-screenshots"
env -u QT_QPA_PLATFORM xvfb-run -a -s "-screen 0 1280x1024x24" "$shots" "$out"
# The German pictures, each on the screen it is about.
env -u QT_QPA_PLATFORM -u QT_SCALE_FACTOR xvfb-run -a -s "-screen 0 1366x768x24" \
    "$shots" "$out" de-1366x768
env -u QT_QPA_PLATFORM QT_SCALE_FACTOR=1.5 xvfb-run -a -s "-screen 0 1600x1000x24" \
    "$shots" "$out" de-150
