#!/usr/bin/env bash
# Prints the panel's start-up figures: time from launch to the window shown
# with no board attached, resident memory of the idle panel (median of runs).
# Needs a build (scripts/test) and Xvfb, xdotool (installed when missing).
# Usage: bench/panel_figures.sh [runs]
set -euo pipefail
source "$(dirname "$0")/../scripts/common.sh"
runs=${1:-7}
ensure_packages xvfb xauth xdotool
panel="$BUILD_DIR/app/atlys-panel"
[ -x "$panel" ] || { echo "build first: scripts/test" >&2; exit 1; }

work=$(mktemp -d)
display=:$((90 + RANDOM % 100))
Xvfb "$display" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
xvfb=$!
trap 'kill $xvfb 2>/dev/null || true; rm -rf "$work"' EXIT
export DISPLAY=$display
for _ in $(seq 100); do xdotool getdisplaygeometry >/dev/null 2>&1 && break; sleep 0.05; done

# No board: the port named in config.dat does not exist.
printf '%s  %d\r\n' "$work/no-board" 115200 > "$work/config.dat"
title="Spartan 6 Atlys interface V2.0 - QOR 2016/2017"
shown=() rss=()
cd "$work"
for _ in $(seq "$runs"); do
    start=$(date +%s%N)
    "$panel" >/dev/null 2>&1 &
    pid=$!
    # Poll every few milliseconds (xdotool's own --sync waits half a second a try).
    until xdotool search --onlyvisible --name "$title" >/dev/null 2>&1; do sleep 0.005; done
    end=$(date +%s%N)
    shown+=($(( (end - start) / 1000000 )))
    sleep 1 # idle
    rss+=($(awk '/VmRSS/ {print $2}' /proc/$pid/status))
    kill $pid; wait $pid 2>/dev/null || true
done
median() { printf '%s\n' "$@" | sort -n | awk '{a[NR]=$1} END {print a[int((NR+1)/2)]}'; }
echo "launch to window shown: median $(median "${shown[@]}") ms over $runs runs (${shown[*]})"
echo "idle resident memory:   median $(( $(median "${rss[@]}") / 1024 )) MB (${rss[*]} kB)"
