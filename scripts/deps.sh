#!/usr/bin/env bash
# Installs from Debian's packages whatever the build, the tests and the demo need.
set -euo pipefail
packages=(cmake g++ make qt6-base-dev libgtest-dev libgmock-dev libbenchmark-dev
          libx11-dev xvfb xdotool x11-utils imagemagick fonts-liberation fonts-dejavu-core
          dpkg-dev fakeroot lintian desktop-file-utils pkg-config file)
# Pictures: pulseplot draws with Qt SVG; the printed page's test prints with Chromium and reads
# the PDF with poppler's tools.
packages+=(qt6-svg-dev chromium poppler-utils)
if [ "${1:-}" = "--sanitizers" ]; then
  packages+=(clang libclang-rt-14-dev)
fi
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  sudo_cmd=""
  [ "$(id -u)" -eq 0 ] || sudo_cmd="sudo"
  $sudo_cmd apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo_cmd apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
