#!/usr/bin/env bash
# The panel process as the operator runs it, under Xvfb against pulsesim: time from start to
# the first status drawn, CPU while it polls an idle counter, and resident memory over a minute.
# Each figure beside its limit. Usage: scripts/bench-panel.sh [seconds of the memory run, 60]
set -euo pipefail
cd "$(dirname "$0")/.."
memory_seconds=${1:-60}
cmake --build build -j "$(nproc)" --target pulsedesk pulsesim app_bench >/dev/null

work=$(mktemp -d)
display=:$((300 + RANDOM % 100))
cleanup() { kill "${panel:-}" "${sim:-}" "${xvfb:-}" 2>/dev/null || true; rm -rf "$work"; }
trap cleanup EXIT
Xvfb "$display" -screen 0 800x700x24 -noreset >/dev/null 2>&1 & xvfb=$!
cp build/bin/pulsedesk build/bin/pulsedesk.msg "$work/"
sed "s#^COM-Port=.*#COM-Port=$work/counter#" build/bin/pulsedesk.cfg >"$work/pulsedesk.cfg"
build/bin/pulsesim --link "$work/counter" >/dev/null 2>&1 & sim=$!
for _ in $(seq 100); do [ -e "$work/counter" ] && xdpyinfo -display "$display" >/dev/null 2>&1 && break; sleep 0.05; done

now_ms() { echo $(( $(date +%s%N) / 1000000 )); }
start=$(now_ms)
DISPLAY=$display XDG_RUNTIME_DIR=$work PULSEDESK_TRACE=$work/trace.log "$work/pulsedesk" & panel=$!
until grep -q "> 01 31 <" "$work/trace.log" 2>/dev/null; do sleep 0.005; done
first=$(( $(now_ms) - start ))
echo "start to first status: ${first} ms (limit 500 ms, ratio $(awk "BEGIN{printf \"%.2f\", $first/500}"))"

ticks() { awk '{print $14 + $15}' "/proc/$panel/stat"; }
hz=$(getconf CLK_TCK)
sleep 2
t0=$(ticks); sleep 10; t1=$(ticks)
panel_cpu=$(awk "BEGIN{printf \"%.2f\", ($t1 - $t0) * 100 / $hz / 10}")
polling_cpu=$(build/bench/app_bench --benchmark_filter=PollingAlone 2>/dev/null |
              grep -o 'cpu_percent_of_core=[0-9.]*' | cut -d= -f2)
echo "CPU while polling an idle counter: panel ${panel_cpu} % of a core; polling alone ${polling_cpu} %;" \
     "beyond polling $(awk "BEGIN{printf \"%.2f\", $panel_cpu - $polling_cpu}") % (limit 1 %)"

rss() { awk '/VmRSS/{print $2}' "/proc/$panel/status"; }
early=$(rss); sleep "$memory_seconds"; late=$(rss)
echo "resident memory: ${early} kB after 12 s, ${late} kB after $((12 + memory_seconds)) s (growth $((late - early)) kB)"
