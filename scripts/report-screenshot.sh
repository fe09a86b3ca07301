#!/usr/bin/env bash
# Takes the README's pictures of the report and the history workbook as LibreOffice Calc shows them,
# as a user makes them: in a home folder of its own, the model file samples/sample.mdl in
# ~/Documents/EIS with a measured spectrum beside it (the model's own, from 100 kHz down, with 1 %
# of ripple), the store in the user's data folder. qelmora-cli imports the model (and five variants
# of it with growing resistances), writes the report and the history workbook; Calc converts the
# report headless to PDF, and pdftoppm renders the summary's page and the pages of both Nyquist
# charts and of Bode |Z| side by side into docs/report-sheets.png; Calc shows the history workbook
# in Xvfb, scrolled to its charts, for docs/history-workbook.png. Needs `scripts/setup.sh --pictures` (LibreOffice Calc, poppler-utils and
# Carlito, the workbook font's metric twin, so that Calc lays the charts out as Excel does).
#
#   scripts/report-screenshot.sh [BUILD_DIR [DOCS_DIR]]   (default build/linux and docs; build first)
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build/linux}
docs=${2:-docs}

[ -x "$build/qelmora-cli" ] || { echo "no $build/qelmora-cli: build first" >&2; exit 1; }
for tool in soffice pdftoppm pdftotext Xvfb openbox xdotool import convert; do
  command -v "$tool" >/dev/null || { echo "$tool is missing: run scripts/setup.sh --pictures" >&2; exit 1; }
done
fc-list | grep -i carlito >/dev/null || { echo "Carlito is missing: run scripts/setup.sh --pictures" >&2; exit 1; }

work=$(mktemp -d)
pids=()
cleanup() {
  for ((i = ${#pids[@]} - 1; i >= 0; i--)); do kill "${pids[i]}" 2>/dev/null || true; done
  wait 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
# A home, a store and a LibreOffice profile of their own: nothing of yours is touched.
export HOME="$work/home" XDG_DATA_HOME="$work/home/.local/share" XDG_CONFIG_HOME="$work/home/.config"
documents="$HOME/Documents/EIS" store="$XDG_DATA_HOME/qelmora"
mkdir -p "$documents" "$store"
cli="$(realpath "$build/qelmora-cli")"
cp samples/sample.mdl "$documents/sample.mdl"
"$cli" --store "$store" init-store >/dev/null
"$cli" --store "$store" import "$documents/sample.mdl" >/dev/null 2>&1
"$cli" --store "$store" spectrum | awk -F, 'NR > 1 { sub(/\r$/, ""); f[NR] = $1; re[NR] = $2; im[NR] = $3; n = NR }
  END { print "Freq\tZreal\tZimag"; for (i = n; i > 1; i -= 2) { r = 1 + 0.01 * sin(3 * i)
        printf "%.6g\t%.6g\t%.6g\n", f[i], re[i] * r, im[i] * r } }' >"$documents/sample.txt"
"$cli" --store "$store" report --xlsx "$work/report.xlsx" >/dev/null 2>&1
# The history: the sample, then five imports whose resistances grow by 15 % each.
for i in 1 2 3 4 5; do
  awk -v f="$(awk -v i="$i" 'BEGIN { print 1 + 0.15 * i }')" 'BEGIN { ORS = "\r\n" } { sub(/\r$/, "") }
    /Name: R[0-3]/ { r = 1 } /Value:/ && r { printf "  Value: %g\r\n", $2 * f; r = 0; next } { print }' \
    samples/sample.mdl >"$documents/sample-$i.mdl"
  "$cli" --store "$store" import "$documents/sample-$i.mdl" >/dev/null 2>&1
done
"$cli" --store "$store" history --xlsx "$work/history.xlsx" >/dev/null 2>&1

# The report: the summary's page (the first that shows its title), then the pages of the two Nyquist
# charts and of Bode |Z|, each chart on a page of its own.
soffice --headless --norestore --convert-to pdf --outdir "$work" "$work/report.xlsx" >/dev/null 2>&1
pages=$(pdfinfo "$work/report.pdf" | awk '/^Pages:/ {print $2}')
chosen=()
for text in "qelmora 参数报告" "Nyquist" "Nyquist −Z″ ≥ 0" "Bode |Z|"; do
  for ((p = 1; p <= pages; p++)); do
    if pdftotext -f "$p" -l "$p" "$work/report.pdf" - | grep -Fx "$text" >/dev/null; then chosen+=("$p"); break; fi
  done
done
[ ${#chosen[@]} = 4 ] || { echo "not every page was found (${chosen[*]})" >&2; exit 1; }
shots=()
for p in "${chosen[@]}"; do
  pdftoppm -png -r 80 -f "$p" -l "$p" -singlefile "$work/report.pdf" "$work/page-$p"
  shots+=("$work/page-$p.png")
done
convert "${shots[@]}" -bordercolor '#888888' -border 1 +append -strip "$docs/report-sheets.png"
echo "$docs/report-sheets.png"

# The history workbook in Calc's window, scrolled to the charts beside the table.
display=99
while [ -e "/tmp/.X${display}-lock" ] || [ -e "/tmp/.X11-unix/X${display}" ]; do display=$((display + 1)); done
Xvfb ":$display" -screen 0 1600x1000x24 -nolisten tcp >"$work/xvfb.log" 2>&1 &
pids+=($!)
export DISPLAY=":$display"
for _ in $(seq 50); do xdpyinfo >/dev/null 2>&1 && break; sleep 0.1; done
openbox >"$work/openbox.log" 2>&1 &
pids+=($!)
soffice --calc --norestore --nologo "$work/history.xlsx" >"$work/calc.log" 2>&1 &
pids+=($!)
window=""
for _ in $(seq 120); do
  window=$(xdotool search --onlyvisible --name "history.xlsx" 2>/dev/null | head -1 || true)
  [ -n "$window" ] && break
  sleep 0.5
done
[ -n "$window" ] || { echo "Calc did not open the history workbook" >&2; exit 1; }
sleep 4
xdotool windowactivate --sync "$window"
xdotool windowsize "$window" 1600 1000
xdotool windowmove "$window" 0 0
sleep 1
# The Name Box: go to the column before the charts.
xdotool key ctrl+shift+F5 && sleep 0.5 && xdotool key ctrl+a && xdotool type "AG1" && xdotool key Return
sleep 2
import -window root "$work/history.png"
convert "$work/history.png" -crop 1600x940+0+0 -resize 1200x -strip "$docs/history-workbook.png"
echo "$docs/history-workbook.png"
