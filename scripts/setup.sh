#!/usr/bin/env bash
# Installs every Debian package Halvern needs to build, run and test.
# Safe to run again: apt-get skips what is already there.
set -euo pipefail

packages=(
  cmake g++ make pkg-config
  qt6-base-dev qt6-serialport-dev libgl-dev
  libgtest-dev libgmock-dev googletest libbenchmark-dev python3-uno bc
  libreoffice-dev libreoffice-dev-common libreoffice-calc
  libssl-dev openssl
  socat xvfb xauth xdotool imagemagick procps util-linux
  clang-14 libclang-rt-14-dev
  dpkg-dev file lintian desktop-file-utils appstream
  libpq-dev postgresql-15 postgresql-client-15
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done

if [ ${#missing[@]} -gt 0 ]; then
  export DEBIAN_FRONTEND=noninteractive
  apt-get -o DPkg::Lock::Timeout=300 update -qq
  apt-get -o DPkg::Lock::Timeout=300 install -y -qq --no-install-recommends "${missing[@]}"
fi
