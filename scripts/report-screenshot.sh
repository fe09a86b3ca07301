#!/usr/bin/env bash
# Takes a picture of the report's summary ("报告") and spectrum ("阻抗谱") sheets as LibreOffice Calc
# prints them: qelmora-cli writes the report of samples/sample.mdl, Calc converts it headless to
# PDF, pdftoppm renders the two sheets' first pages, and they are put side by side in
# docs/report-sheets.png. Installs LibreOffice Calc and poppler-utils when missing (they are needed
# for this picture only, not by the program).
#
#   scripts/report-screenshot.sh [BUILD_DIR [OUT]]   (default build/linux and docs/report-sheets.png;
#                                                     build first)
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build/linux}
out=${2:-docs/report-sheets.png}

[ -x "$build/qelmora-cli" ] || { echo "no $build/qelmora-cli: build first" >&2; exit 1; }
if ! command -v soffice >/dev/null || ! command -v pdftoppm >/dev/null; then
  sudo=""
  [ "$(id -u)" -eq 0 ] || sudo=sudo
  $sudo env DEBIAN_FRONTEND=noninteractive apt-get install -y --no-install-recommends libreoffice-calc poppler-utils
fi
command -v convert >/dev/null || { echo "convert (ImageMagick) is missing: run scripts/setup.sh" >&2; exit 1; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# A store, a home and a LibreOffice profile of their own: nothing of yours is touched.
export HOME="$work/home" XDG_DATA_HOME="$work/home/.local/share" XDG_CONFIG_HOME="$work/home/.config"
mkdir -p "$HOME"
cli="$build/qelmora-cli"
"$cli" --store "$work" init-store >/dev/null
"$cli" --store "$work" import samples/sample.mdl >/dev/null
"$cli" --store "$work" report --xlsx "$work/report.xlsx" >/dev/null
soffice --headless --norestore --convert-to pdf --outdir "$work" "$work/report.xlsx" >/dev/null 2>&1

# The first page of each sheet, found by its text.
pages=$(pdfinfo "$work/report.pdf" | awk '/^Pages:/ {print $2}')
first_page_with() {
  for ((p = 1; p <= pages; p++)); do
    if pdftotext -f "$p" -l "$p" "$work/report.pdf" - | grep -qF "$1"; then echo "$p"; return; fi
  done
  echo "no page shows $1" >&2
  exit 1
}
summary=$(first_page_with "qelmora 参数报告")
spectrum=$(first_page_with "Nyquist")
pdftoppm -png -r 90 -f "$summary" -l "$summary" -singlefile "$work/report.pdf" "$work/summary"
pdftoppm -png -r 90 -f "$spectrum" -l "$spectrum" -singlefile "$work/report.pdf" "$work/spectrum"
convert "$work/summary.png" "$work/spectrum.png" -bordercolor '#888888' -border 1 +append -strip "$out"
echo "$out"
