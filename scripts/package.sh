#!/usr/bin/env bash
# Builds the Debian package build/pulsedesk_<version>_amd64.deb (or into the build folder given).
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}

bash scripts/deps.sh
[ -f "$build/CMakeCache.txt" ] || cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" -j "$(nproc)" >/dev/null
# fakeroot gives every packaged file root as owner, whoever builds.
(cd "$build" && fakeroot cpack -G DEB >/dev/null)
ls "$build"/pulsedesk_*_amd64.deb
