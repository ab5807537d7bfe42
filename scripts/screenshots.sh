#!/usr/bin/env bash
# Renders the dialogs to PNG files under a virtual X server, by default into docs/screenshots/.
# build.sh installs what is missing first (deps.sh lists Xvfb, xauth and the DejaVu fonts).
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="${ROOMCAL_BUILD_DIR:-$root/build}"
out="${1:-$root/docs/screenshots}"

ROOMCAL_BUILD_DIR="$build" ROOMCAL_TARGETS="roomcal-screenshots" "$root/scripts/build.sh"
env -u QT_QPA_PLATFORM xvfb-run -a -s "-screen 0 1280x1024x24" \
    "$build/bin/roomcal-screenshots" "$out"
