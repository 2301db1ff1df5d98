#!/usr/bin/env bash
# Takes the README's screenshots from the real panel in Xvfb against pulsesim:
# docs/panel-no-study.png, docs/count-time-dialog.png, docs/series-running.png.
# Needs a build (build/bin) and xvfb, xdotool, imagemagick.
set -euo pipefail
cd "$(dirname "$0")/.."
work=$(mktemp -d)
cp build/bin/pulsedesk build/bin/pulsedesk.msg "$work/"
sed -e "s#^COM-Port=.*#COM-Port=$work/counter#" -e "s#^TarlinkSupport=.*#TarlinkSupport=0#" \
    -e "s#^Repeat_Counter=.*#Repeat_Counter=3#" build/bin/pulsedesk.cfg >"$work/pulsedesk.cfg"
pids=()
cleanup() { for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done; rm -rf "$work"; }
trap cleanup EXIT

build/bin/pulsesim --link "$work/counter" --rate 300 </dev/null >/dev/null 2>&1 &
pids+=($!)
exec 5<> <(:)
Xvfb -displayfd 5 -screen 0 800x700x24 -nolisten tcp >/dev/null 2>&1 &
pids+=($!)
read -r -t 10 number <&5
export DISPLAY=:$number XDG_RUNTIME_DIR=$work
for _ in $(seq 50); do [ -e "$work/counter" ] && break; sleep 0.1; done
"$work/pulsedesk" 2>"$work/panel.err" &
pids+=($!)
for _ in $(seq 100); do xdotool search --class pulsedesk >/dev/null 2>&1 && break; sleep 0.1; done
sleep 2  # the first polls and the identification

shot() { import -window root -crop 600x600+0+0 +repage "docs/$1.png"; }
click() { xdotool mousemove "$1" "$2" click 1; sleep "${3:-0.7}"; }

shot panel-no-study
click 135 61                                  # СОЗДАТЬ НОВУЮ ЗАПИСЬ
click 300 120 0.3                             # into the memo
xdotool type --delay 40 "Sample 17, water, 2 ml"
click 464 61                                  # НАЧАТЬ ИССЛЕДОВАНИЕ
click 455 201                                 # mode 1: count for the count time
click 476 401 1.5                             # count time ТОЧНО: the dialog
shot count-time-dialog
xdotool key Escape
sleep 0.7
click 479 565 4                               # ПУСК: a series of ПОВТОР measurements
shot series-running
