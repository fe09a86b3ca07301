#!/usr/bin/env bash
# Builds everything and runs every test: the Linux build, the same under the sanitizers, the
# Windows builds (64-bit and the 32-bit release build) under Wine, and a short run of each fuzzer.
# Each stage ends with a line saying what ran. On a machine that cannot run 32-bit programs
# (scripts/wine-kind.sh) Wine runs through its 64-bit loader, and the 32-bit build is built and
# checked without being run.
set -euo pipefail
cd "$(dirname "$0")/.."
# shellcheck source=wine-kind.sh
source scripts/wine-kind.sh

step() { printf '\n=== %s\n' "$*"; }
ran() { printf -- '--- %s\n' "$*"; }
# The number of tests of a preset, and of its checks that run no program (label no-execution).
count() { ctest --preset "$1" -N | sed -n 's/^Total Tests: //p'; }
unrun_checks() { ctest --preset "$1" -N -L no-execution | sed -n 's/^Total Tests: //p'; }

step "Layers"
scripts/check-layers.sh
ran "Layers: every include of the program's folders goes to its own folder or a lower one"

step "Linux build and tests"
cmake --preset linux >/dev/null
cmake --build --preset linux
ctest --preset linux
ran "Linux: all $(count linux) tests of the linux preset ran; Wine: $QELMORA_WINE_KIND"

step "Debian package"
scripts/package-test.sh
ran "Debian package: built and checked (files, Depends, lintian, desktop entry, AppStream, a new user's store and association)"

step "Linux build and tests under AddressSanitizer and UndefinedBehaviorSanitizer"
cmake --preset linux-asan >/dev/null
cmake --build --preset linux-asan
ctest --preset linux-asan
ran "Linux under the sanitizers: all $(count linux-asan) tests ran"

if [ -f cmake/toolchain-mingw64.cmake ]; then
  step "Windows build (MinGW-w64) and tests under Wine"
  cmake --preset windows >/dev/null
  cmake --build --preset windows
  ctest --preset windows
  ran "Windows 64-bit: all $(count windows) tests ran under Wine ($QELMORA_WINE)"
  if [ "$QELMORA_WINE32" = 1 ]; then
    step "Windows 32-bit release build and the same tests under 32-bit Wine"
  else
    step "Windows 32-bit release build, checked without running it: $QELMORA_WINE_KIND"
  fi
  cmake --preset windows-x86 >/dev/null
  cmake --build --preset windows-x86
  ctest --preset windows-x86
  if [ "$QELMORA_WINE32" = 1 ]; then
    ran "Windows 32-bit: all $(count windows-x86) tests ran under Wine's 32-bit loader"
  else
    total=$(count windows-x86)
    ran "Windows 32-bit: built; its $((total - $(unrun_checks windows-x86))) Wine tests were not run ($QELMORA_WINE_KIND);" \
        "ran only the check that needs no execution (PE for i386, imports, resources, read with i686-w64-mingw32-objdump)"
  fi
fi

if [ -x scripts/fuzz.sh ]; then
  step "Fuzzing (short run)"
  scripts/fuzz.sh short
  ran "Fuzzing: a short run of each fuzzer"
fi
