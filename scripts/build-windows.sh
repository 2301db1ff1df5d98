#!/usr/bin/env bash
# Cross-builds rs232.dll for 64-bit and 32-bit Windows with mingw-w64. Each of
# build-windows/x86_64/ and build-windows/i686/ then holds rs232.dll, its import library
# rs232.lib, rs232.def, rs232.h and the example rs232-status.exe.
set -euo pipefail
cd "$(dirname "$0")/.."
case "${1:-}" in
  "") ;;
  --help | -h) echo "usage: scripts/build-windows.sh"; echo "Builds rs232.dll for x86_64 and i686 into build-windows/."; exit 0 ;;
  *) echo "scripts/build-windows.sh: unknown argument: $1" >&2; exit 2 ;;
esac
bash scripts/deps.sh
for arch in x86_64 i686; do
  out="build-windows/$arch"
  cmake -S rs232 -B "$out/build" -DCMAKE_TOOLCHAIN_FILE="$PWD/cmake/mingw-$arch.cmake" \
        -DCMAKE_BUILD_TYPE=Release >/dev/null
  cmake --build "$out/build" -j "$(nproc)"
  cmake --install "$out/build" --prefix "$out" >/dev/null
  echo "$arch: $(cd "$out" && ls rs232.dll rs232.lib rs232.def rs232.h rs232-status.exe | tr '\n' ' ')"
done
