#!/usr/bin/env bash
# Builds everything and runs every test: the Linux build, the same under the sanitizers, the
# Windows builds (64-bit and the 32-bit release build) under Wine, and a short run of each fuzzer.
set -euo pipefail
cd "$(dirname "$0")/.."

step() { printf '\n=== %s\n' "$*"; }

step "Linux build and tests"
cmake --preset linux >/dev/null
cmake --build --preset linux
ctest --preset linux

step "Debian package"
scripts/package-test.sh

step "Linux build and tests under AddressSanitizer and UndefinedBehaviorSanitizer"
cmake --preset linux-asan >/dev/null
cmake --build --preset linux-asan
ctest --preset linux-asan

if [ -f cmake/toolchain-mingw64.cmake ]; then
  step "Windows build (MinGW-w64) and tests under Wine"
  cmake --preset windows >/dev/null
  cmake --build --preset windows
  ctest --preset windows
  step "Windows 32-bit release build and the same tests under 32-bit Wine"
  cmake --preset windows-x86 >/dev/null
  cmake --build --preset windows-x86
  ctest --preset windows-x86
fi

if [ -x scripts/fuzz.sh ]; then
  step "Fuzzing (short run)"
  scripts/fuzz.sh short
fi
