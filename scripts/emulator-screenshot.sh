#!/usr/bin/env bash
# Takes screenshots of the emulator window on a virtual display (Xvfb):
# the Strata panel and the Orbis panel, saved as PNG files.
#   scripts/emulator-screenshot.sh [output folder]   (default: build/screenshots)
# BUILD_DIR names the build folder (default: build).
set -euo pipefail
cd "$(dirname "$0")/.."
build=${BUILD_DIR:-build}
out=${1:-$build/screenshots}
mkdir -p "$out"

cmake -S . -B "$build" >/dev/null
cmake --build "$build" --target halvern_emulator_preview -j2 >/dev/null
preview=$(find "$build" -type f -name halvern_emulator_preview -perm -u+x | head -n 1)

shoot() { # <png> <preview arguments...>
  local png=$1
  shift
  xvfb-run -a -s "-screen 0 600x480x24" bash -c '
    "$0" "${@:2}" &
    pid=$!
    sleep 2
    import -window root "$1"
    kill "$pid"
    wait "$pid" 2>/dev/null || true
  ' "$preview" "$png" "$@"
  echo "$png"
}

shoot "$out/emulator-strata.png" --seconds 12 --ticks 1
shoot "$out/emulator-orbis.png" --machine VX-Orbis --go --seconds 3 --ticks 2
