#!/usr/bin/env bash
# Takes screenshots of the main dialog and of its About box on a private Xvfb display and puts them
# together in docs/screenshot-linux.png.
#
#   scripts/screenshot.sh [BUILD_DIR]     (default build/linux; build it first)
#
# The dialog starts on samples/sample.mdl with the store of the build directory. The location record
# goes to a temporary data directory, not into yours.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build/linux}
program="$build/qelmora"
out=docs/screenshot-linux.png

[ -x "$program" ] || { echo "no $program: build first (cmake --preset linux && cmake --build --preset linux)" >&2; exit 1; }
[ -e "$build/dravo.mdb" ] || "$build/qelmora-cli" --store "$build/" init-store

work=$(mktemp -d)
xvfb_pid=""
app_pid=""
cleanup() {
  [ -n "$app_pid" ] && kill "$app_pid" 2>/dev/null || true
  [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

# A free display number.
display=99
while [ -e "/tmp/.X${display}-lock" ] || [ -e "/tmp/.X11-unix/X${display}" ]; do display=$((display + 1)); done
Xvfb ":$display" -screen 0 800x600x24 -nolisten tcp >"$work/xvfb.log" 2>&1 &
xvfb_pid=$!
export DISPLAY=":$display"
for _ in $(seq 50); do xdpyinfo >/dev/null 2>&1 && break; sleep 0.1; done

XDG_DATA_HOME="$work/data" XDG_RUNTIME_DIR="$work" QT_QPA_PLATFORM=xcb \
  "$program" "$PWD/samples/sample.mdl" >"$work/app.log" 2>&1 &
app_pid=$!

# Wait for the dialog's window, then let it paint.
window=$(timeout 20 xdotool search --sync --onlyvisible --name '^qelmora$' | head -n 1)
[ -n "$window" ] || { echo "the dialog did not appear" >&2; cat "$work/app.log" >&2; exit 1; }
sleep 1
import -window "$window" "$work/dialog.png"
# Open the About box through the context menu (right click, then the menu's one item), so that the
# picture shows the Chinese texts too. There is no window manager: both windows are shown framed one
# above the other.
xdotool mousemove --window "$window" 20 20 click 3
sleep 0.5
xdotool key Down Return
about=$(timeout 10 xdotool search --sync --onlyvisible --name '^关于 qelmora$' | head -n 1) || true
if [ -n "$about" ]; then
  sleep 1
  import -window "$about" "$work/about.png"
  convert -bordercolor gray55 -background white \( "$work/dialog.png" -border 1 \) \
    -size 1x12 xc:white \( "$work/about.png" -border 1 \) -append "$out"
else
  echo "the About box did not appear; the picture shows the dialog alone" >&2
  cp "$work/dialog.png" "$out"
fi
echo "wrote $out ($(identify -format '%wx%h' "$out"))"
