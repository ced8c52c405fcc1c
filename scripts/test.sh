#!/usr/bin/env bash
# Sets up the machine, builds Halvern and runs every test; then the tests
# that need no office once more under AddressSanitizer and
# UndefinedBehaviorSanitizer (build-asan/), and each fuzz target for a few
# seconds (build-fuzz/). Longer runs: scripts/sanitize.sh --office (the
# office-backed tests under the sanitizers too) and scripts/fuzz.sh <seconds>.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
bash scripts/build.sh ci
(cd build && ctest --output-on-failure --timeout 600 -j2)
bash scripts/sanitize.sh
bash scripts/fuzz.sh 5
