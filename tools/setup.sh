#!/usr/bin/env bash
# Installs the Debian packages Kelvane builds and tests with, and those named
# on the command line (tools/package.sh's), where they are missing.
set -euo pipefail
packages=(cmake ninja-build g++ pkg-config qt6-base-dev libsqlite3-dev libgtest-dev libgmock-dev libbenchmark-dev libdvbv5-dev dvb-tools ffmpeg
  desktop-file-utils appstream xvfb openbox xauth "$@")
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  sudo=""
  [ "$(id -u)" -eq 0 ] || sudo="sudo"
  $sudo apt-get update
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y --no-install-recommends "${missing[@]}"
fi
