#!/usr/bin/env bash
# Builds qelmora (linux preset, the two programs only: no tests or benchmarks, which need what only
# the test command installs) and runs it on the bundled sample model. Without a display it says so
# and does the same work with the command-line tool: import the sample, show the history, print the
# report as CSV. `cmake --preset linux` (the test command) turns the tests on again.
set -euo pipefail
cd "$(dirname "$0")/.."

cmake --preset linux -DQELMORA_TESTS=OFF -DQELMORA_BENCHMARKS=OFF >/dev/null
cmake --build --preset linux --target qelmora qelmora-cli

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
