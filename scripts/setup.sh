#!/usr/bin/env bash
# Installs everything the build, the program and the tests need on Debian 12.
#   scripts/setup.sh [--pictures]   --pictures: also LibreOffice Calc, poppler-utils and Carlito (the
#                                   workbook font's metric twin, so that Calc lays out as Excel), which
#                                   scripts/report-screenshot.sh needs for the README's pictures
set -euo pipefail
SUDO=""
if [ "$(id -u)" != 0 ]; then SUDO=sudo; fi
export DEBIAN_FRONTEND=noninteractive
PKGS=(
  build-essential cmake ninja-build pkg-config git ccache
  libgtest-dev libgmock-dev googletest libbenchmark-dev
  qt6-base-dev qt6-base-dev-tools libgl-dev
  libsqlcipher-dev sqlcipher
  libpq-dev postgresql postgresql-common
  libxlsxwriter-dev
  libglib2.0-dev libglib2.0-bin
  shared-mime-info desktop-file-utils xdg-utils
  clang libclang-rt-14-dev
  g++-mingw-w64-x86-64-posix g++-mingw-w64-i686-posix binutils-mingw-w64
  wine wine64 wine32:i386
  xvfb xdotool x11-utils imagemagick fonts-wqy-microhei locales
  python3 python3-openpyxl
  libeigen3-dev libboost-dev nlohmann-json3-dev
  qt6-translations-l10n
  openbox
  lintian appstream
)
if [ "${1:-}" = --pictures ]; then PKGS+=(libreoffice-calc poppler-utils fonts-crosextra-carlito); fi
stamp=/var/lib/apt/periodic/qelmora-setup
# The 32-bit Windows build runs under Wine's 32-bit loader, a package of the i386 architecture.
if ! dpkg --print-foreign-architectures | grep -qx i386; then
  $SUDO dpkg --add-architecture i386
fi
missing=()
for p in "${PKGS[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  $SUDO apt-get update -q
  $SUDO apt-get install -y -q --no-install-recommends "${missing[@]}"
fi
# Wine tests run in code page 936.
if ! locale -a 2>/dev/null | grep -qi '^zh_CN.utf8$'; then
  $SUDO sed -i 's/^# *zh_CN.UTF-8 UTF-8/zh_CN.UTF-8 UTF-8/' /etc/locale.gen
  grep -q '^zh_CN.UTF-8 UTF-8' /etc/locale.gen || echo 'zh_CN.UTF-8 UTF-8' | $SUDO tee -a /etc/locale.gen >/dev/null
  $SUDO locale-gen >/dev/null
fi
# The number parsing tests run under a German locale (decimal comma).
if ! locale -a 2>/dev/null | grep -qi '^de_DE.utf8$'; then
  $SUDO sed -i 's/^# *de_DE.UTF-8 UTF-8/de_DE.UTF-8 UTF-8/' /etc/locale.gen
  grep -q '^de_DE.UTF-8 UTF-8' /etc/locale.gen || echo 'de_DE.UTF-8 UTF-8' | $SUDO tee -a /etc/locale.gen >/dev/null
  $SUDO locale-gen >/dev/null
fi
