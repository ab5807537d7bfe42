#!/usr/bin/env bash
# Configures and builds into a folder (default: build/ beside the sources).
# Extra arguments go to CMake's configure step, e.g. -DROOMCAL_SANITIZE=ON.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="${ROOMCAL_BUILD_DIR:-$root/build}"

"$root/scripts/deps.sh"
cmake -S "$root" -B "$build" "$@" >/dev/null
# ROOMCAL_TARGETS limits the build to some targets (the demo needs only two).
targets=()
for t in ${ROOMCAL_TARGETS:-}; do targets+=(--target "$t"); done
cmake --build "$build" -j"$(nproc)" "${targets[@]}"
