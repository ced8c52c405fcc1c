#!/usr/bin/env bash
# Configures and builds Halvern into build/ (the program folder is build/bin).
set -euo pipefail
cd "$(dirname "$0")/.."
launcher=()
# ccache speeds up rebuilds where it is installed; the build does not need it.
command -v ccache >/dev/null && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo "${launcher[@]}" >/dev/null
cmake --build build -j"$(nproc)"
