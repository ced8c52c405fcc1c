#!/usr/bin/env bash
# Configures and builds Halvern into build/ (the program folder is build/bin).
#   scripts/build.sh [preset]    dev (the default), or ci: the same build with
#                                every compiler warning an error
set -euo pipefail
cd "$(dirname "$0")/.."
preset=${1:-dev}
launcher=()
# ccache speeds up rebuilds where it is installed; the build does not need it.
command -v ccache >/dev/null && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
cmake --preset "$preset" "${launcher[@]}" >/dev/null
cmake --build build -j"$(nproc)"
