#!/usr/bin/env bash
# Sets up the machine, builds Halvern and makes its Debian package in build/
# (halvern_<version>_<arch>.deb); install it with
#   apt install ./build/halvern_<version>_<arch>.deb
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
bash scripts/build.sh
cd build
cpack -G DEB
