#!/usr/bin/env bash
# Builds and runs every benchmark; each prints its figures beside the limit it is measured against.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh
cmake --preset default >/dev/null
cmake --build build -j "$(nproc)" >/dev/null
for b in build/bench/*; do
  [ -x "$b" ] && [ -f "$b" ] || continue
  echo "=== $(basename "$b") ==="
  "$b"
done
bash scripts/bench-panel.sh
