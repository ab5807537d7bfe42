#!/usr/bin/env bash
# Configures and builds into a folder (default: build/ beside the sources).
# Extra arguments go to CMake's configure step, e.g. -DROOMCAL_SANITIZE=ON. The benchmarks and the
# screenshot renderer are on here (a plain CMake build leaves them off).
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="${ROOMCAL_BUILD_DIR:-$root/build}"

"$root/scripts/deps.sh"
cmake -S "$root" -B "$build" -DROOMCAL_BUILD_BENCHMARKS=ON -DROOMCAL_BUILD_SCREENSHOTS=ON \
    "$@" >/dev/null
# ROOMCAL_TARGETS limits the build to some targets (the demo needs only two).
targets=()
for t in ${ROOMCAL_TARGETS:-}; do targets+=(--target "$t"); done
cmake --build "$build" -j"$(nproc)" "${targets[@]}"
