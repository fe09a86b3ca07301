#!/usr/bin/env bash
# Installs what qelmora needs on Debian 12.
#   scripts/setup.sh            everything: the build, the program and every test (the test command)
#   scripts/setup.sh --run      only what building and running the program needs (the run command):
#                               no cross compilers, Wine, sanitizer run-times, test tools or office suite
#   scripts/setup.sh --pictures everything, and LibreOffice Calc, poppler-utils and Carlito (the
#                               workbook font's metric twin, so that Calc lays out as Excel), which
#                               scripts/report-screenshot.sh needs for the README's pictures
set -euo pipefail
SUDO=""
if [ "$(id -u)" != 0 ]; then SUDO=sudo; fi
export DEBIAN_FRONTEND=noninteractive
mode="${1:-all}"
case "$mode" in
  all | --run | --pictures) ;;
  *) echo "usage: $0 [--run | --pictures]" >&2; exit 2 ;;
esac
# Building and running the program: compilers and build tools, the libraries it links, Qt's
# translations, a Chinese font, and the desktop tools that the association and the launcher use.
RUN_PKGS=(
  build-essential cmake ninja-build pkg-config ccache
  qt6-base-dev qt6-base-dev-tools libgl-dev qt6-translations-l10n
  libsqlcipher-dev
  libpq-dev
  libxlsxwriter-dev nlohmann-json3-dev libzip-dev libeigen3-dev libboost-dev
  libglib2.0-dev libglib2.0-bin
  shared-mime-info desktop-file-utils xdg-utils libfile-mimeinfo-perl
  fonts-wqy-microhei
)
# The tests, the sanitizer and fuzzing builds, the Windows builds under Wine and the package checks.
TEST_PKGS=(
  git
  libgtest-dev libgmock-dev googletest libbenchmark-dev
  sqlcipher
  postgresql postgresql-common
  unixodbc odbc-postgresql libodbc2:i386 odbc-postgresql:i386
  clang libclang-rt-14-dev
  g++-mingw-w64-x86-64-posix g++-mingw-w64-i686-posix binutils-mingw-w64
  wine wine64 wine32:i386
  xvfb xdotool x11-utils imagemagick locales
  python3 python3-openpyxl
  openbox
  lintian appstream
)
PKGS=("${RUN_PKGS[@]}")
if [ "$mode" != --run ]; then PKGS+=("${TEST_PKGS[@]}"); fi
if [ "$mode" = --pictures ]; then PKGS+=(libreoffice-calc poppler-utils fonts-crosextra-carlito); fi
stamp=/var/lib/apt/periodic/qelmora-setup
# The 32-bit Windows build runs under Wine's 32-bit loader, a package of the i386 architecture
# (installed even where the kernel cannot run it: scripts/wine-kind.sh tells which kind of machine it is).
if [ "$mode" != --run ] && ! dpkg --print-foreign-architectures | grep -qx i386; then
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
if [ "$mode" = --run ]; then exit 0; fi
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
