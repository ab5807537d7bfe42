#!/usr/bin/env bash
# Builds and runs the benchmarks; the summary tables at the end of the output are Markdown.
# Arguments go to roomcal-bench (QtTest options, e.g. a function name or -iterations 50).
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="${ROOMCAL_BUILD_DIR:-$root/build}"

ROOMCAL_BUILD_DIR="$build" ROOMCAL_TARGETS="roomcal roomcal-bench" "$root/scripts/build.sh"
QT_QPA_PLATFORM="${QT_QPA_PLATFORM:-offscreen}" exec "$build/bin/roomcal-bench" "$@"
