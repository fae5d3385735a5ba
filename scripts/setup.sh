#!/usr/bin/env bash
# Installs the Debian packages the build, the tests and the demo need, when any is missing.
# Used by demo.sh and test.sh; safe to run again.
set -euo pipefail

packages=(
  cmake ninja-build g++ pkg-config binutils
  libgl-dev libglu1-mesa-dev libegl-dev libx11-dev
  libegl-mesa0 libglx-mesa0 libgl1-mesa-dri
  libgdal-dev gdal-bin libpng-dev libgeos-dev
  libavformat-dev libavcodec-dev libswscale-dev libavutil-dev ffmpeg
  libgtest-dev libgmock-dev libbenchmark-dev
  clang libclang-rt-14-dev
  xvfb
  libgtk-3-dev fonts-wqy-zenhei
  fonts-arphic-ukai libfreetype-dev libfontconfig-dev
)

missing=()
for p in "${packages[@]}"; do
  status=$(dpkg-query -W -f='${Status}' "$p" 2>/dev/null || true)
  [ "$status" = "install ok installed" ] || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing: ${missing[*]}"
sudo=()
[ "$(id -u)" -eq 0 ] || sudo=(sudo)
export DEBIAN_FRONTEND=noninteractive
"${sudo[@]}" apt-get -o DPkg::Lock::Timeout=600 update -qq || true
"${sudo[@]}" apt-get -o DPkg::Lock::Timeout=600 install -y -qq --no-install-recommends "${missing[@]}"
