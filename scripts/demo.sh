#!/usr/bin/env bash
# Runs the panel against the simulated counter on your display. Without a display it runs the
# panel in Xvfb for a few seconds and saves a screenshot.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh
cmake --preset default >/dev/null
cmake --build build -j "$(nproc)" --target pulsedesk pulsesim >/dev/null

demo=${PULSEDESK_DEMO_DIR:-/tmp/pulsedesk-demo}
mkdir -p "$demo"
cp build/bin/pulsedesk build/bin/pulsedesk.msg "$demo/"
# The demo's own settings: the simulated counter's port, reports beside the program.
sed -e "s#^COM-Port=.*#COM-Port=$demo/counter#" -e "s#^TarlinkSupport=.*#TarlinkSupport=0#" \
    build/bin/pulsedesk.cfg >"$demo/pulsedesk.cfg"

build/bin/pulsesim --link "$demo/counter" --rate 300 >"$demo/pulsesim.log" 2>&1 &
sim=$!
xvfb=""
cleanup() {
  kill "$sim" 2>/dev/null || true
  [ -n "$xvfb" ] && kill "$xvfb" 2>/dev/null || true
}
trap cleanup EXIT
for _ in $(seq 50); do [ -e "$demo/counter" ] && break; sleep 0.1; done

if [ -n "${DISPLAY:-}" ]; then
  echo "Panel running; reports go to $demo. Close the panel to end the demo."
  "$demo/pulsedesk"
  exit 0
fi

display=:$((90 + RANDOM % 100))
Xvfb "$display" -screen 0 800x700x24 -noreset >/dev/null 2>&1 &
xvfb=$!
sleep 1
DISPLAY=$display XDG_RUNTIME_DIR=$(mktemp -d) "$demo/pulsedesk" &
panel=$!
sleep 4
DISPLAY=$display import -window root "$demo/panel.png"
kill "$panel"
wait "$panel" 2>/dev/null || true
echo "No display: ran the panel in Xvfb. Screenshot: $demo/panel.png; reports: $demo/"
