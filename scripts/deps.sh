#!/usr/bin/env bash
# Installs from Debian's packages whatever the build, the tests and the demo need.
# --sanitizers adds clang for the sanitizer and fuzz builds; --wine32 adds 32-bit Wine (the
# i386 architecture and wine32) for the windows32 tests, where the machine can take it.
set -euo pipefail
packages=(cmake g++ make qt6-base-dev libgtest-dev libgmock-dev libbenchmark-dev
          libx11-dev xvfb xdotool x11-utils openbox imagemagick fonts-liberation fonts-dejavu-core
          dpkg-dev fakeroot lintian desktop-file-utils pkg-config file python3
          libboost-math-dev nlohmann-json3-dev libdragonbox-dev faketime
          mingw-w64 wine wine64)
# Pictures: pulseplot draws with Qt SVG; the printed page's test prints with Chromium and reads
# the PDF with poppler's tools.
packages+=(qt6-svg-dev chromium poppler-utils)
wine32=no
for arg in "$@"; do
  case "$arg" in
    --sanitizers) packages+=(clang libclang-rt-14-dev) ;;
    --wine32) wine32=yes ;;
  esac
done
sudo_cmd=""
[ "$(id -u)" -eq 0 ] || sudo_cmd="sudo"
installed() { dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q "install ok installed"; }
missing=()
for p in "${packages[@]}"; do
  installed "$p" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  $sudo_cmd apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo_cmd apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
# Optional: without it the windows32 tests report skipped.
if [ $wine32 = yes ] && ! installed wine32; then
  echo "Installing: wine32 (adds the i386 architecture)"
  { $sudo_cmd dpkg --add-architecture i386 && $sudo_cmd apt-get update -qq &&
    DEBIAN_FRONTEND=noninteractive $sudo_cmd apt-get install -y -qq --no-install-recommends wine32; } ||
    echo "wine32 could not be installed here: the windows32 tests will report skipped" >&2
fi
