#!/usr/bin/env bash
# Time from "Transfer data" to the start of a Windows simulator under Wine, through qelmora-cli
# handoff (the same steps as the button): the Windows stand-in of the tests is installed as
# sim/Kambrisolve.exe beside a copy of the tool, and the time is taken until the tool returns and
# until the stand-in has run (its record appears). Cold: no wineserver running in the prefix
# (wine has to start it twice, to find the temporary directory and to run the program); warm: one
# is running. Uses the build tree's own prefix (BUILD/wine), never ~/.wine.
#   bench/handoff_wine_start.sh [BUILD] [RUNS]     (BUILD defaults to build/linux, RUNS to 5)
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="$(cd "${1:-$root/build/linux}" && pwd)"
runs="${2:-5}"
stand_in="$build/tests/handoff/win_stand_in_simulator.exe"
[ -f "$stand_in" ] || { echo "no $stand_in: build the Linux tests first (needs MinGW)" >&2; exit 2; }

QELMORA_WINE_ROOT="$build" QELMORA_WINE_INIT_ONLY=1 "$root/scripts/wine-run.sh"
export WINEPREFIX="$build/wine/prefix" HOME="$build/wine/home" WINEARCH=win64 WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d" LC_ALL=zh_CN.UTF-8
unset DISPLAY

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/sim" "$work/tmp"
cp "$build/qelmora-cli" "$work/"
cp "$stand_in" "$work/sim/Kambrisolve.exe"
export TMPDIR="$work/tmp"
"$work/qelmora-cli" init-store >/dev/null
"$work/qelmora-cli" import "$root/samples/sample.mdl" >/dev/null

ms() { echo $(( ($(date +%s%N) - $1) / 1000000 )); }

one_run() {
  rm -f "$work/sim/record.txt"
  local t0 returned started
  t0=$(date +%s%N)
  "$work/qelmora-cli" handoff >/dev/null
  returned=$(ms "$t0")
  until [ -f "$work/sim/record.txt" ]; do sleep 0.005; done
  started=$(ms "$t0")
  echo "$returned $started"
}

report() {
  sort -n -k2 | awk -v label="$1" '{ r[NR] = $1; s[NR] = $2 }
    END { m = int((NR + 1) / 2); printf "%-5s runs %d  tool returns after %d ms, simulator started after %d ms (median; fastest %d, slowest %d)\n", label, NR, r[m], s[m], s[1], s[NR] }'
}

for _ in $(seq "$runs"); do
  wineserver -k 2>/dev/null || true
  wineserver -w
  one_run
done | report cold

wineserver -p 60 || true  # stays up for a minute after its last client
one_run >/dev/null
for _ in $(seq "$runs"); do one_run; done | report warm
wineserver -k 2>/dev/null || true
