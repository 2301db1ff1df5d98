#!/usr/bin/env bash
# Runs the panel against the simulated counter on your display.
set -euo pipefail
echo "The panel arrives with the panel step; until then: scripts/test.sh" >&2
exit 1
