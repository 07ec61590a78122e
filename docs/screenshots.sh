#!/usr/bin/env bash
# Takes the window's pictures in docs/: the panel connected to a simulated
# barebone board on a virtual X display, at the default scale
# (docs/window.png) and at a scale factor of 2 (docs/window-scale2.png).
# Needs a build (scripts/test); installs Xvfb, xdotool and ImageMagick when
# they are missing.
# Usage: docs/screenshots.sh
set -euo pipefail
source "$(dirname "$0")/../scripts/common.sh"
ensure_packages xvfb xauth xdotool imagemagick
panel="$BUILD_DIR/app/atlys-panel"
sim="$BUILD_DIR/sim/atlys-sim"
[ -x "$panel" ] && [ -x "$sim" ] || { echo "build first: scripts/test" >&2; exit 1; }
title="Spartan 6 Atlys interface V2.0 - QOR 2016/2017"

work=$(mktemp -d /tmp/sXXX)  # short, so the port field shows the whole path
pids=()
cleanup() {
    for pid in "${pids[@]}"; do
        kill "$pid" 2>/dev/null || true
        wait "$pid" 2>/dev/null || true
    done
    rm -rf "$work"
}
trap cleanup EXIT

"$sim" --link "$work/board" >/dev/null &
pids+=($!)
for _ in $(seq 100); do [ -L "$work/board" ] && break; sleep 0.05; done
printf '%s  %d\r\n' "$work/board" 115200 > "$work/config.dat"

shoot() {  # shoot SCALE OUTPUT
    local scale=$1 out=$2 display=:$((90 + RANDOM % 100))
    Xvfb "$display" -screen 0 1600x1400x24 -nolisten tcp >/dev/null 2>&1 &
    local xvfb=$!
    pids+=("$xvfb")
    export DISPLAY=$display
    for _ in $(seq 100); do xdotool getdisplaygeometry >/dev/null 2>&1 && break; sleep 0.05; done

    (cd "$work" && exec env QT_SCALE_FACTOR="$scale" "$panel") >/dev/null 2>&1 &
    local app=$!
    pids+=("$app")
    local window
    window=$(xdotool search --sync --onlyvisible --name "$title" | head -1)
    eval "$(xdotool getwindowgeometry --shell "$window")"  # X, Y, WIDTH, HEIGHT

    # The first paint follows the map: take pictures until two agree.
    local previous="$work/previous.png" current="$work/current.png"
    import -window root -crop "${WIDTH}x${HEIGHT}+${X}+${Y}" +repage "$previous"
    for _ in $(seq 50); do
        sleep 0.1
        import -window root -crop "${WIDTH}x${HEIGHT}+${X}+${Y}" +repage "$current"
        [ "$(compare -metric AE "$previous" "$current" null: 2>&1 || true)" = 0 ] && break
        mv "$current" "$previous"
    done
    cp "$current" "$out"
    echo "$out: ${WIDTH}x${HEIGHT} at scale $scale"
    kill "$app" "$xvfb" 2>/dev/null || true
    wait "$app" "$xvfb" 2>/dev/null || true
}

shoot 1 "$ROOT/docs/window.png"
shoot 2 "$ROOT/docs/window-scale2.png"
