#!/usr/bin/env bash
# Sets up, builds and starts the demo host with the simulated controller.
# Arguments go to roomcal-demo (see roomcal-demo --help).
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="${ROOMCAL_BUILD_DIR:-$root/build}"

ROOMCAL_BUILD_DIR="$build" ROOMCAL_TARGETS="roomcal roomcal-demo" "$root/scripts/build.sh"
exec "$build/bin/roomcal-demo" "$@"
