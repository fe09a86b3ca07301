#!/usr/bin/env bash
# Which Wine this machine can run, found in one place for every script and test that starts Wine.
#
# Debian's `wine` starts Wine's 32-bit loader (wine32:i386) whenever it is installed, and some
# kernels cannot execute 32-bit programs at all: the loader answers "Exec format error", and so does
# every `wine` command. There the 64-bit loader is run directly and named in WINELOADER (as Debian's
# `wine` does when wine32 is missing): 64-bit programs run, 32-bit programs cannot.
#
#   source scripts/wine-kind.sh   sets QELMORA_WINE (the command that runs a Windows program),
#                                 QELMORA_WINE32 (1 when 32-bit programs run under Wine here, else 0)
#                                 and QELMORA_WINE_KIND (one line saying which); exports WINELOADER
#                                 when the 64-bit loader is run directly
#   scripts/wine-kind.sh          prints QELMORA_WINE_KIND
#   scripts/wine-kind.sh --32     the same, and exits 0 only when 32-bit programs run under Wine
#   scripts/wine-kind.sh --wine   prints QELMORA_WINE

qelmora_wine_kind() {
  # Debian's loaders (wine32:i386 and wine64); another layout keeps its own `wine`.
  local loader32=/usr/lib/wine/wine loader64=/usr/lib/wine/wine64 answer status
  QELMORA_WINE=wine
  QELMORA_WINE32=1
  QELMORA_WINE_KIND="Wine runs 32-bit and 64-bit programs (wine)"
  if [ ! -x "$loader64" ]; then
    return 0
  fi
  if [ ! -x "$loader32" ]; then
    QELMORA_WINE32=0
    QELMORA_WINE_KIND="Wine's 32-bit loader is not installed (wine32:i386): 64-bit programs only ($loader64)"
  else
    status=0
    answer="$("$loader32" --version 2>&1)" || status=$?
    [ "$status" -eq 0 ] && return 0
    QELMORA_WINE32=0
    case "$answer" in
      *"Exec format error"*)
        QELMORA_WINE_KIND="this computer cannot run 32-bit programs (Wine's 32-bit loader: Exec format error): 64-bit programs only ($loader64)" ;;
      *)
        QELMORA_WINE_KIND="Wine's 32-bit loader does not start (status $status): 64-bit programs only ($loader64)" ;;
    esac
  fi
  QELMORA_WINE="$loader64"
  export WINELOADER="$loader64"
}

qelmora_wine_kind

if [ "${BASH_SOURCE[0]}" = "$0" ]; then
  case "${1:-}" in
    --wine) echo "$QELMORA_WINE" ;;
    --32) echo "$QELMORA_WINE_KIND"; [ "$QELMORA_WINE32" = 1 ] ;;
    *) echo "$QELMORA_WINE_KIND" ;;
  esac
fi
