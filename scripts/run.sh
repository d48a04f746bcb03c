#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Installs what is missing, builds, and runs the band scope against the
# built-in radio simulator in a scratch working directory (its own COM1 link
# and its own qv-7m.ini). With no display, it runs on a virtual screen
# (Xvfb), starts a scan, saves a PNG screenshot of the window and says where.
set -euo pipefail
top="$(cd "$(dirname "$0")/.." && pwd)"
cd "$top"
bash scripts/setup.sh
jobs=$(nproc 2>/dev/null || echo 2)
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j"$jobs" --target qv7m qv7m-radio qv7m-screenshot

work="$(mktemp -d "${TMPDIR:-/tmp}/qv7m-run.XXXXXX")"
cd "$work"
pids=()
cleanup() {
  for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done
  wait 2>/dev/null || true
}
trap cleanup EXIT

# The simulated radio puts its port at ./COM1 and says when it is ready.
"$top/build/sim/qv7m-radio" --link COM1 --log "$work/radio.log" >"$work/radio.out" 2>&1 &
pids+=($!)
for _ in $(seq 1 100); do
  grep -q "ready" "$work/radio.out" 2>/dev/null && break
  sleep 0.1
done
grep -q "ready" "$work/radio.out" || { echo "run: the radio simulator did not start:"; cat "$work/radio.out"; exit 1; }
echo "run: working directory $work (radio simulator on ./COM1, log in radio.log)"

if [ -n "${DISPLAY:-}" ] && [ -z "${QV7M_HEADLESS:-}" ]; then
  "$top/build/app/qv7m"
  exit 0
fi

# No display: a virtual screen, a scan, a screenshot.
# Xvfb picks a free display and writes its number once it takes clients:
# its socket file appears before that, and a program started then fails.
Xvfb -displayfd 3 -screen 0 720x520x24 -dpi 96 -nolisten tcp 3>"$work/display" >"$work/xvfb.log" 2>&1 &
pids+=($!)
for _ in $(seq 1 100); do [ "$(wc -l <"$work/display")" -ge 1 ] && break; sleep 0.1; done
disp=$(head -n 1 "$work/display")
[ -n "$disp" ] || { echo "run: the virtual screen did not start:"; cat "$work/xvfb.log"; exit 1; }
export DISPLAY=":$disp"
unset QT_QPA_PLATFORM

"$top/build/app/qv7m" >"$work/qv7m.log" 2>&1 &
app=$!
pids+=($app)
win=""
for _ in $(seq 1 100); do
  win=$(xdotool search --name "Bandscope QV-7M" 2>/dev/null | head -n 1 || true)
  [ -n "$win" ] && break
  sleep 0.1
done
[ -n "$win" ] || { echo "run: the window did not appear"; cat "$work/qv7m.log"; exit 1; }
sleep 1
# "Start scan" sits at 8,48 (105 x 36 pixels) in the window.
eval "$(xdotool getwindowgeometry --shell "$win")"
xdotool mousemove $((X + 60)) $((Y + 66)) click 1
sleep "${QV7M_SCAN_SECONDS:-12}"
shot="$work/qv7m-screenshot.png"
eval "$(xdotool getwindowgeometry --shell "$win")"
"$top/build/tools/qv7m-screenshot" "$shot" "$X" "$Y" "$WIDTH" "$HEIGHT"
echo "run: screenshot saved to $shot"
