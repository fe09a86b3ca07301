#!/usr/bin/env bash
# Reads the .mdl association back from outside the program with Wine's own `reg query`, after the
# association test has written it for a tool whose path has blanks in it.
#   reg_query_association.sh WINE_RUN BUILD_DIR TEST_EXE
set -euo pipefail
run="$1"
export QELMORA_WINE_ROOT="$2"
exe="$3"

tool='C:\Program Files\Qelmora Tools\app.exe'

"$run" "$exe" --gtest_brief=1 --gtest_filter=MdlAssociation.LeavesTheValuesOfAToolWithBlanksInItsPath

failures=0
# Checks the default value of KEY ("(默认)" in Chinese, as reg prints it in code page 936): its type
# and its data, exactly.
check() {
  local key="$1" type="$2" expected="$3" output line actual
  output="$("$run" reg query "$key" /ve | iconv -f GBK -t UTF-8 | tr -d '\r')"
  line="$(printf '%s\n' "$output" | grep -F "    (默认)    $type    " || true)"
  actual="${line#*    "$type"    }"
  if [ -z "$line" ] || [ "$actual" != "$expected" ]; then
    echo "FAIL: $key: expected $type [$expected]; reg query gave:" >&2
    printf '%s\n' "$output" >&2
    failures=$((failures + 1))
  else
    echo "ok: $key = $type [$actual]"
  fi
}

check 'HKCR\.mdl' REG_SZ 'mdlfile'
check 'HKCR\mdlfile\shell\open\command' REG_EXPAND_SZ "\"$tool\"  \"%1\""
check 'HKCR\mdlfile\DefaultIcon' REG_EXPAND_SZ "$tool,0"
exit "$failures"
