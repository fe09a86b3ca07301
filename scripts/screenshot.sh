#!/usr/bin/env bash
# Takes screenshots of qelmora as a user sees it, on a private Xvfb display with a window manager
# (openbox): the main dialog, its About box, a message box (the import's) and the Open dialog of
# "...". They are put together in docs/screenshot-linux.png, each in its window frame.
#
#   scripts/screenshot.sh [BUILD_DIR [OUT]]   (default build/linux and docs/screenshot-linux.png;
#                                              build first)
#
# The program runs from a copy in a temporary directory with a store of its own, on a copy of
# samples/sample.mdl; nothing of yours is touched. QT_SCALE_FACTOR=1.5 in the environment shows it
# at 150 %; KEEP_SHOTS=DIR keeps the single pictures there.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build/linux}
out=${2:-docs/screenshot-linux.png}

[ -x "$build/qelmora" ] || { echo "no $build/qelmora: build first (cmake --preset linux && cmake --build --preset linux)" >&2; exit 1; }
for tool in Xvfb openbox xdotool import convert; do
  command -v "$tool" >/dev/null || { echo "$tool is missing: run scripts/setup.sh" >&2; exit 1; }
done

work=$(mktemp -d)
pids=()
cleanup() {
  for ((i = ${#pids[@]} - 1; i >= 0; i--)); do kill "${pids[i]}" 2>/dev/null || true; done
  wait 2>/dev/null || true
  if [ -n "${KEEP_SHOTS:-}" ]; then cp "$work"/*.png "$KEEP_SHOTS"/ 2>/dev/null || true; fi
  rm -rf "$work"
}
trap cleanup EXIT

# The program beside a store of its own; the model file in a folder of its own.
mkdir -p "$work/qelmora" "$work/models" "$work/home" "$work/config" "$work/data"
cp "$build/qelmora" "$work/qelmora/qelmora"
"$build/qelmora-cli" --store "$work/qelmora/" init-store >/dev/null
cp samples/sample.mdl "$work/models/sample.mdl"
export HOME="$work/home" XDG_CONFIG_HOME="$work/config" XDG_DATA_HOME="$work/data" XDG_RUNTIME_DIR="$work"

# A free display number.
display=99
while [ -e "/tmp/.X${display}-lock" ] || [ -e "/tmp/.X11-unix/X${display}" ]; do display=$((display + 1)); done
Xvfb ":$display" -screen 0 1024x768x24 -nolisten tcp >"$work/xvfb.log" 2>&1 &
pids+=($!)
export DISPLAY=":$display"
for _ in $(seq 50); do xdpyinfo >/dev/null 2>&1 && break; sleep 0.1; done
openbox >"$work/openbox.log" 2>&1 &
pids+=($!)
sleep 1

# As on a Chinese desktop: dates and file types in the Open dialog are the system's.
LC_ALL=zh_CN.UTF-8 QT_QPA_PLATFORM=xcb "$work/qelmora/qelmora" "$work/models/sample.mdl" >"$work/app.log" 2>&1 &
app=$!
pids+=("$app")

seen=()
# Waits for a visible window of the program, titled as the pattern says, that is not in seen and
# prints its id.
next_window() {
  for _ in $(seq 100); do
    for id in $(xdotool search --onlyvisible --pid "$app" --name "$1" 2>/dev/null); do
      [[ " ${seen[*]} " == *" $id "* ]] && continue
      echo "$id"
      return 0
    done
    sleep 0.1
  done
  echo "no window titled $1 appeared; the program said:" >&2
  cat "$work/app.log" >&2
  return 1
}
# Grabs a window with its frame, once the window manager has framed it and it has painted.
shoot() {
  for _ in $(seq 50); do
    xprop -id "$1" _NET_FRAME_EXTENTS 2>/dev/null | grep -q '=' && break
    sleep 0.1
  done
  sleep 1
  import -frame -window "$1" "$work/$2.png"
}

# Waits for the window that was just opened, titled as the pattern says, takes its picture and
# closes it with the key given.
capture() {  # NAME TITLE_PATTERN CLOSING_KEY
  local id
  id=$(next_window "$2")
  seen+=("$id")
  shoot "$id" "$1"
  xdotool key "$3"
  sleep 0.5
  xdotool windowactivate --sync "$dialog" 2>/dev/null || true
}

dialog=$(next_window '^qelmora$')
seen+=("$dialog")
xdotool windowactivate --sync "$dialog" 2>/dev/null || xdotool windowfocus --sync "$dialog"
shoot "$dialog" dialog

# The About box, from the right-click menu.
xdotool mousemove --window "$dialog" 20 20 click 3
sleep 0.5
xdotool key Down Return
capture about '^关于 qelmora$' Return

# The Open dialog of "..." (Tab from OK: Cancel, the path box, "..."); it starts in the model's folder.
xdotool key --clearmodifiers Tab Tab Tab space
capture files '/$' Escape

# OK imports the model file and says so.
xdotool key --clearmodifiers shift+Tab shift+Tab shift+Tab Return
capture box '^qelmora$' Return

# Dialog and About box on the left, the message box under the Open dialog on the right.
convert -background white \
  \( "$work/dialog.png" -size 1x16 xc:white "$work/about.png" -append \) \
  -size 16x1 xc:white \
  \( "$work/files.png" -size 1x16 xc:white "$work/box.png" -append \) \
  -gravity north +append -bordercolor white -border 8 "$out"
echo "wrote $out ($(identify -format '%wx%h' "$out"))"
