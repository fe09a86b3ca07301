#!/usr/bin/env bash
# Runs a Windows program under Wine in the build directory's own prefix:
#   scripts/wine-run.sh PROGRAM.exe [ARGS...]
# CMake uses it as the emulator of the cross build, so CTest runs every Windows test through it.
#
# The prefix and HOME live under the build directory (never ~/.wine): BUILD/wine/prefix and
# BUILD/wine/home, where BUILD is $QELMORA_WINE_ROOT or else the nearest directory above the program
# that holds a CMakeCache.txt. The prefix is created once (wineboot -i) under a lock, so tests that
# start at the same time do not race, and its non-client fonts are set to a CJK face so that window
# captions show Chinese. Programs run in code page 936 (LC_ALL=zh_CN.UTF-8), or in the locale
# QELMORA_WINE_LOCALE names.
#
# Wine is started as scripts/wine-kind.sh finds it: `wine`, or Wine's 64-bit loader where this machine
# cannot run 32-bit programs; a 32-bit program is then refused with a message saying so (status 3).
#
# QELMORA_WINE_INIT_ONLY=1 only prepares the prefix (no program needed).
# QELMORA_WINE_XVFB=1 runs the program on an Xvfb display of its own when there is no DISPLAY.
set -euo pipefail

script_dir="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
# shellcheck source=wine-kind.sh
source "$script_dir/wine-kind.sh"

if [ "${QELMORA_WINE_INIT_ONLY:-0}" != 1 ] && [ $# -lt 1 ]; then
  echo "usage: $0 PROGRAM.exe [ARGS...]" >&2
  exit 2
fi

find_build_dir() {
  local dir="$1"
  while [ -n "$dir" ] && [ "$dir" != / ]; do
    if [ -f "$dir/CMakeCache.txt" ]; then
      echo "$dir"
      return 0
    fi
    dir="$(dirname "$dir")"
  done
  return 1
}

if [ -n "${QELMORA_WINE_ROOT:-}" ]; then
  root="$QELMORA_WINE_ROOT"
elif [ $# -ge 1 ] && root="$(find_build_dir "$(cd "$(dirname "$1")" 2>/dev/null && pwd)")"; then
  :
elif root="$(find_build_dir "$PWD")"; then
  :
else
  echo "wine-run.sh: no build directory found above the program; set QELMORA_WINE_ROOT" >&2
  exit 2
fi

wine_dir="$root/wine"
mkdir -p "$wine_dir/home"

export WINEPREFIX="$wine_dir/prefix"
export HOME="$wine_dir/home"
export WINEARCH=win64
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
export LC_ALL="${QELMORA_WINE_LOCALE:-zh_CN.UTF-8}"
# The user's XDG folders follow HOME, so nothing of the real user's desktop is touched.
unset XDG_CONFIG_HOME XDG_DATA_HOME XDG_CACHE_HOME XDG_DESKTOP_DIR

mingw_cc=x86_64-w64-mingw32-gcc-posix
command -v "$mingw_cc" >/dev/null 2>&1 || mingw_cc=x86_64-w64-mingw32-gcc

# Creates the prefix once. Everything under one lock: a second test waits until the first has
# finished the set-up, then finds the marker.
(
  flock 9
  if [ ! -f "$WINEPREFIX/.qelmora-ready" ]; then
    rm -rf "$WINEPREFIX"
    # No window of wineboot's own: it must not need a display.
    DISPLAY= "$QELMORA_WINE" wineboot -i >/dev/null 2>&1 || true
    wineserver -w
    if [ ! -f "$WINEPREFIX/system.reg" ]; then
      echo "wine-run.sh: wineboot did not create the prefix $WINEPREFIX" >&2
      exit 1
    fi
    "$mingw_cc" -O1 -municode -mwindows -o "$wine_dir/cjk-fonts.exe" "$script_dir/wine-cjk-fonts.c"
    DISPLAY= "$QELMORA_WINE" "$wine_dir/cjk-fonts.exe" >/dev/null 2>&1 || {
      echo "wine-run.sh: setting the CJK fonts in the prefix failed" >&2
      exit 1
    }
    wineserver -w
    touch "$WINEPREFIX/.qelmora-ready"
  fi
) 9>"$wine_dir/prefix.lock"

if [ "${QELMORA_WINE_INIT_ONLY:-0}" = 1 ]; then
  exit 0
fi

# The machine field of the COFF header after "PE\0\0" (at the offset stored at 0x3C): 014c is i386.
if [ "$QELMORA_WINE32" != 1 ] && [ -f "$1" ] &&
   [ "$(od -An -tx1 -j "$(( $(od -An -tu4 -j 60 -N 4 "$1") + 4 ))" -N 2 "$1" 2>/dev/null | tr -d ' ')" = 4c01 ]; then
  echo "wine-run.sh: $1 is a 32-bit program and not run: $QELMORA_WINE_KIND" >&2
  exit 3
fi

# QELMORA_WINE_XVFB=1: the program shows windows; without a display it gets one of its own.
if [ "${QELMORA_WINE_XVFB:-0}" = 1 ] && [ -z "${DISPLAY:-}" ] && command -v xvfb-run >/dev/null 2>&1; then
  exec xvfb-run -a -s "-screen 0 1024x768x24 -nolisten tcp" "$QELMORA_WINE" "$@"
fi
exec "$QELMORA_WINE" "$@"
