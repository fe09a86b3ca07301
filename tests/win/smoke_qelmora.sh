#!/usr/bin/env bash
# Smoke test of the real Windows program under Xvfb and Wine:
#   smoke_qelmora.sh BUILD_DIR QELMORA_EXE
# The program is copied into a fresh program folder (no database there, so the start-up reports the
# failed connection first); the test answers that message, waits for the main dialog, saves a
# screenshot as BUILD_DIR/screenshot-windows.png, presses Esc and expects the program to end.
# Exit code 77 (skipped) when Xvfb or xdotool is missing.
set -euo pipefail

build_dir="$1"
exe="$2"
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
runner="$here/../../scripts/wine-run.sh"

for tool in Xvfb xdotool import; do
  command -v "$tool" >/dev/null 2>&1 || { echo "SKIP: $tool is not installed"; exit 77; }
done

work="$(mktemp -d "$build_dir/smoke.XXXXXX")"
xvfb_pid=""
app_pid=""
cleanup() {
  [ -n "$app_pid" ] && kill "$app_pid" 2>/dev/null || true
  [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

# Prepare the prefix before the clock of the test starts.
QELMORA_WINE_ROOT="$build_dir" QELMORA_WINE_INIT_ONLY=1 "$runner"

# A display of our own.
exec 5> "$work/displayfd"
Xvfb -displayfd 5 -screen 0 1024x768x24 -nolisten tcp >"$work/xvfb.log" 2>&1 &
xvfb_pid=$!
for _ in $(seq 50); do
  [ -s "$work/displayfd" ] && break
  sleep 0.1
done
display_number="$(head -n1 "$work/displayfd" | tr -d '[:space:]')"
[ -n "$display_number" ] || { echo "Xvfb did not start"; cat "$work/xvfb.log"; exit 1; }
export DISPLAY=":$display_number"

mkdir -p "$work/program"
cp "$exe" "$work/program/qelmora.exe"
QELMORA_WINE_ROOT="$build_dir" "$runner" "$work/program/qelmora.exe" >"$work/app.log" 2>&1 &
app_pid=$!

# Windows of the program (Chinese captions are not found by --name; the class is the exe's name).
windows() { xdotool search --onlyvisible --class qelmora.exe 2>/dev/null || true; }
wait_for_window() {  # wait_for_window MIN_WIDTH: the first visible window at least that wide
  local min_width="$1"
  for _ in $(seq 300); do
    for w in $(windows); do
      local width
      width="$(xdotool getwindowgeometry "$w" 2>/dev/null | sed -n 's/.*Geometry: \([0-9]*\)x.*/\1/p')"
      if [ -n "$width" ] && [ "$width" -ge "$min_width" ]; then
        echo "$w"
        return 0
      fi
    done
    kill -0 "$app_pid" 2>/dev/null || return 1
    sleep 0.1
  done
  return 1
}

# The start-up message (the database is missing): a small window. Answer it with Enter.
box="$(wait_for_window 100)" || { echo "no window appeared"; cat "$work/app.log"; exit 1; }
sleep 0.5
import -window root "$build_dir/screenshot-windows-startup.png"
# No window manager runs: focus the window, then type (XTEST) into it.
xdotool windowfocus --sync "$box"
xdotool key Return

for _ in $(seq 100); do
  windows | grep -qx "$box" || break
  sleep 0.1
done
if windows | grep -qx "$box"; then echo "the start-up message did not close"; exit 1; fi

# The main dialog: 320 × 200 dialog units, wider than the start-up message.
dialog="$(wait_for_window 400)" || {
  echo "the main dialog did not appear"
  for w in $(windows); do xdotool getwindowgeometry "$w"; done
  cat "$work/app.log"
  exit 1
}
sleep 1
# The dialog with a margin around it.
eval "$(xdotool getwindowgeometry --shell "$dialog")"
import -window root -crop "$((WIDTH + 40))x$((HEIGHT + 40))+$((X - 20))+$((Y - 20))" +repage \
  "$build_dir/screenshot-windows.png"
echo "screenshot: $build_dir/screenshot-windows.png"

# Esc ends the dialog and with it the program.
xdotool windowfocus --sync "$dialog"
xdotool key Escape
for _ in $(seq 100); do
  kill -0 "$app_pid" 2>/dev/null || break
  sleep 0.1
done
if kill -0 "$app_pid" 2>/dev/null; then
  echo "the program did not end after Esc"
  exit 1
fi
status=0
wait "$app_pid" || status=$?
app_pid=""
[ "$status" -eq 0 ] || { echo "the program ended with status $status"; cat "$work/app.log"; exit 1; }
# The location record was written by the start-up: the program's path padded to 1000 bytes. A 32-bit
# program (machine 014c in its PE header) sees syswow64 of the 64-bit prefix as its system directory.
pe_offset="$(od -An -tu4 -j60 -N4 "$exe" | tr -d ' ')"
machine="$(od -An -tx2 -j"$((pe_offset + 4))" -N2 "$exe" | tr -d ' ')"
system_dir=system32
[ "$machine" = 014c ] && system_dir=syswow64
record="$build_dir/wine/prefix/drive_c/windows/$system_dir/121125.stp"
[ "$(stat -c %s "$record")" -eq 1000 ] || { echo "121125.stp is not 1000 bytes"; exit 1; }
echo "ok"
