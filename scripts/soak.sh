#!/usr/bin/env bash
# Soak run: the real panel in Xvfb with a study open and series of 99 counts of 2 s, while
# pulsesim misbehaves at random; at the end scripts/soak-check.py holds the report against the
# simulator's log of finished counts. Usage: scripts/soak.sh [--mux] [--load] [MINUTES]
# (default 15). --mux puts muxserver between the panel and the counter and restarts it at random;
# --load keeps both cores busy (nice'd) for the whole run. Everything the run leaves (logs,
# report, memory samples) stays in its folder, printed at the start.
# Exit code: 0 when every check holds, 1 when one fails, 2 for a bad argument.
set -euo pipefail
usage="usage: scripts/soak.sh [--mux] [--load] [MINUTES]   (whole minutes, default 15)"
minutes=15 mux=0 load=0
for arg in "$@"; do
  case $arg in
    --mux) mux=1 ;;
    --load) load=1 ;;
    *) if [[ $arg =~ ^[0-9]+$ ]] && [ "$arg" -ge 1 ]; then minutes=$arg; else echo "$usage" >&2; exit 2; fi ;;
  esac
done
cd "$(dirname "$0")/.."
bash scripts/deps.sh
[ -f build/CMakeCache.txt ] || cmake --preset default >/dev/null
cmake --build build -j2 --target pulsedesk pulsesim muxserver muxclient >/dev/null

count_time=2        # seconds; the panel's count-time ◄ from the device's 100 s takes 6 steps
longest_fault=3     # pulsesim's chaos: 0.2 to 3 s per fault
stall_after=$((3 * count_time + longest_fault + 3))  # seconds without a new count in a series
seed=${PULSEDESK_SOAK_SEED:-$RANDOM}
run=$(mktemp -d /tmp/pulsedesk-soak.XXXXXX)
echo "soak: $minutes min$([ $mux = 1 ] && echo ", through muxserver")$([ $load = 1 ] && echo ", both cores loaded"), chaos seed $seed, everything in $run"

stamp() { date +%Y-%m-%dT%H:%M:%S.%3N; }
event() { echo "at=$(stamp) event=$*" >>"$run/events.log"; }
# The panel's standard error, each line stamped as it comes.
stamp_lines() { while IFS= read -r line; do echo "at=$(stamp) $line"; done; }

sim="" panel="" xvfb="" server="" loaders=""
cleanup() {
  exec 3>&-  # the simulator's console
  for pid in $panel $server $sim $xvfb $loaders; do kill "$pid" 2>/dev/null || true; done
  wait 2>/dev/null || true
}
trap cleanup EXIT

# A bench folder like scripts/demo.sh makes: the program, its messages, settings of its own.
cp build/bin/pulsedesk build/bin/pulsedesk.msg "$run/"
mkdir -p "$run/work" "$run/config" "$run/data"
mkdir -m 700 "$run/xdg-run"
sed -e "s#^COM-Port=.*#COM-Port=$run/counter\r#" -e "s#^TarlinkSupport=.*#TarlinkSupport=$mux\r#" \
    -e "s#^Work_Folder=.*#Work_Folder=$run/work\r#" -e "s#^Repeat_Counter=.*#Repeat_Counter=99\r#" \
    build/bin/pulsedesk.cfg >"$run/pulsedesk.cfg"

Xvfb -displayfd 4 -screen 0 800x700x24 -nolisten tcp -noreset 4>"$run/display" 2>"$run/xvfb.err" &
xvfb=$!
for _ in $(seq 100); do [ -s "$run/display" ] && break; sleep 0.1; done
DISPLAY=":$(head -1 "$run/display")"
export DISPLAY

mkfifo "$run/sim.in"
build/bin/pulsesim --link "$run/counter" --rate 50000 --seed "$seed" --chaos "$seed" \
  --chaos-log "$run/faults.log" --log-finished "$run/finished.log" \
  <"$run/sim.in" >"$run/sim.out" 2>"$run/sim.err" &
sim=$!
exec 3>"$run/sim.in"
echo "chaos off" >&3  # at once: the chaos waits at least a second before its first fault
for _ in $(seq 50); do [ -e "$run/counter" ] && break; sleep 0.1; done

# The shared-port server, started again at random moments of the run when --mux is given.
start_server() {
  build/bin/muxserver --port "$run/counter" --listen "unix:$run/mux.sock" >>"$run/mux.log" 2>&1 &
  server=$!
  for _ in $(seq 50); do [ -S "$run/mux.sock" ] && break; sleep 0.1; done
}
restart_server() {
  local down_ms=$((200 + RANDOM % 2801))
  echo "at=$(stamp) fault=mux-restart duration=$((down_ms / 1000)).$(printf %03d $((down_ms % 1000)))" >>"$run/mux-faults.log"
  kill -TERM "$server" 2>/dev/null || true
  wait "$server" 2>/dev/null || true
  sleep "$((down_ms / 1000)).$(printf %03d $((down_ms % 1000)))"
  start_server
}
if [ $mux = 1 ]; then
  cp build/bin/libmuxclient.so "$run/"
  start_server
  export PULSEDESK_MUX="unix:$run/mux.sock"
fi
if [ $load = 1 ]; then
  for _ in 1 2; do nice -n 19 bash -c 'while :; do :; done' & loaders="$loaders $!"; done
fi

(cd "$run" && XDG_RUNTIME_DIR="$run/xdg-run" XDG_CONFIG_HOME="$run/config" \
  XDG_DATA_HOME="$run/data" exec ./pulsedesk) 2> >(stamp_lines >"$run/panel.err") &
panel=$!

# The simulator's status line, asked for on its console.
sim_status() {
  local before
  before=$(wc -l <"$run/sim.out")
  echo status >&3
  for _ in $(seq 50); do
    tail -n +"$((before + 1))" "$run/sim.out" | grep '^mode ' | tail -1 | grep . && return
    sleep 0.05
  done
}
fail_setup() {
  echo "soak: $1; the panel said: $(cat "$run/panel.err")" >&2
  exit 1
}
# Clicks at (x, y) until the simulator's status matches, a few times at most.
click_until() {
  local x=$1 y=$2 pattern=$3 tries=${4:-5}
  for _ in $(seq "$tries"); do
    sim_status | grep -q "$pattern" && return
    xdotool mousemove "$x" "$y" click 1
    sleep 0.7
  done
  sim_status | grep -q "$pattern" || fail_setup "the device did not get to \"$pattern\""
}

main=""
for _ in $(seq 150); do
  main=$(xdotool search --onlyvisible --name '^QEV-C2$' 2>/dev/null | head -1) && [ -n "$main" ] && break
  sleep 0.2
done
[ -n "$main" ] || fail_setup "no panel window"
sleep 1
xdotool mousemove 464 61 click 1  # НАЧАТЬ ИССЛЕДОВАНИЕ
for _ in $(seq 50); do
  grep -aqs '^<[0-9]\{6\}>  ;' "$run"/work/*/*.rep && break
  sleep 0.1
done
grep -aqs '^<[0-9]\{6\}>  ;' "$run"/work/*/*.rep || fail_setup "the study did not open"
click_until 455 201 'mode 1'                         # mode 1: count time
click_until 421 401 "time $count_time s" 12          # count time ◄
click_until 479 565 'counting'                       # ПУСК
event "press reason=start"
echo "chaos on" >&3
event "chaos-on"

# Boxes the panel opens are noted (they are how it tells of a lost count) and closed with Enter.
close_boxes() {
  local w
  for w in $(xdotool search --onlyvisible --pid "$panel" 2>/dev/null); do
    [ "$w" = "$main" ] && continue
    event "box window=$w title=$(xdotool getwindowname "$w" 2>/dev/null | tr ' ' _)"
    timeout 5 xdotool windowfocus --sync "$w" key Return 2>/dev/null || true
  done
}
# ПУСК, pressed again while nothing counts: a fault at the moment of the press greys the button.
press_start() {
  local before
  before=$(wc -l <"$run/finished.log" 2>/dev/null || echo 0)
  event "press reason=$1"
  for _ in $(seq 5); do
    xdotool mousemove 479 565 click 1
    sleep 1
    sim_status | grep -q counting && return
    [ "$(wc -l <"$run/finished.log" 2>/dev/null || echo 0)" -gt "$before" ] && return
  done
}
rss_kib() { awk '/^VmRSS:/ {print $2}' "/proc/$panel/status" 2>/dev/null; }

start=$SECONDS
end=$((start + minutes * 60))
finished_at_press=0
idle_since=$SECONDS
next_sample=$SECONDS
next_restart=$((SECONDS + 20 + RANDOM % 41))
while [ $SECONDS -lt $end ]; do
  if [ $mux = 1 ] && [ $SECONDS -ge $next_restart ]; then
    restart_server
    next_restart=$((SECONDS + 20 + RANDOM % 41))
  fi
  kill -0 "$panel" 2>/dev/null || { event "panel-gone"; echo "soak: the panel ended" >&2; break; }
  close_boxes
  if [ $SECONDS -ge $next_sample ]; then
    echo "at=$(stamp) t=$((SECONDS - start)) rss_kib=$(rss_kib)" >>"$run/memory.log"
    next_sample=$((SECONDS + 5))
  fi
  # A series of 99 that ended is started again at once; one that stopped short is started
  # again only after a stall, which the checker then counts.
  if sim_status | grep -q counting; then
    idle_since=$SECONDS
  else
    finished=$(wc -l <"$run/finished.log" 2>/dev/null || echo 0)
    idle=$((SECONDS - idle_since))
    reason=""
    if [ $((finished - finished_at_press)) -ge 99 ] && [ $idle -ge 3 ]; then
      reason=series-end
    elif [ $idle -ge $((stall_after + 2)) ]; then
      reason=after-stall
    fi
    if [ -n "$reason" ]; then
      press_start "$reason"
      finished_at_press=$finished
      idle_since=$SECONDS
    fi
  fi
  sleep 1
done

# A quiet end: no fault, the count under way finishes and is written.
echo "chaos off" >&3
event "chaos-off"
sleep $((longest_fault + 1))
event "end"
sleep $((2 * count_time + 3))
close_boxes
echo "at=$(stamp) t=$((SECONDS - start)) rss_kib=$(rss_kib)" >>"$run/memory.log"

/usr/bin/python3 scripts/soak-check.py "$run" --count-time "$count_time" --repeat 99 \
  --stall-after "$stall_after"
