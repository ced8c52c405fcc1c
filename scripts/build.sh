#!/usr/bin/env bash
# Configures and builds Halvern into build/ (the program folder is build/bin).
#   scripts/build.sh [preset]    dev (the default), or ci: the same build,
#                                compiled alike, that fails on any compiler
#                                warning kept in build/warnings/
# Both compile through scripts/compile.sh (ccache where it is installed), so
# one rebuilds only what changed since the other.
set -euo pipefail
cd "$(dirname "$0")/.."
preset=${1:-dev}
cmake --preset "$preset" >/dev/null
cmake --build build -j"$(nproc)"
if [ "$preset" = ci ] && [ -n "$(find build/warnings -name '*.log' 2>/dev/null)" ]; then
  echo "build.sh: compiler warnings, which the test command does not allow:" >&2
  find build/warnings -name '*.log' -exec cat {} + >&2
  exit 1
fi
