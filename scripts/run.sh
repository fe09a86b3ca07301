#!/usr/bin/env bash
# Builds qelmora (linux preset) and runs it on the bundled sample model. Without a display it says so
# and does the same work with the command-line tool: import the sample, show the history, print the
# report as CSV.
set -euo pipefail
cd "$(dirname "$0")/.."

cmake --preset linux >/dev/null
cmake --build --preset linux

build=build/linux
sample="$PWD/samples/sample.mdl"
if [ -n "${DISPLAY:-}" ] || [ -n "${WAYLAND_DISPLAY:-}" ]; then
  exec "$build/qelmora" "$sample"
fi

echo "No display (neither DISPLAY nor WAYLAND_DISPLAY is set): doing the same work with qelmora-cli."
cli="$build/qelmora-cli"
[ -e "$build/dravo.mdb" ] || "$cli" --store "$build/" init-store
echo "== import $sample"
"$cli" --store "$build/" import "$sample"
echo "== history"
"$cli" --store "$build/" history
echo "== report --csv"
status=0
"$cli" --store "$build/" report --csv || status=$?
[ "$status" -eq 0 ] || echo "(the report ended with status $status)"
