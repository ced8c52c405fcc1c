#!/usr/bin/env bash
# Sets up the machine, builds Halvern and starts it from its program folder.
# Without a display (no DISPLAY), the program starts on a virtual one (Xvfb).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
bash scripts/build.sh
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  exec xvfb-run -a build/bin/halvern "$@"
fi
exec build/bin/halvern "$@"
