#!/usr/bin/env bash
# What can be checked of a Windows build without running it (the 32-bit build on a machine that
# cannot run 32-bit programs), read back with MinGW's objdump:
#   pe_image_check.sh OBJDUMP BUILD_DIR FORMAT
# - every program and DLL of the build is a PE image of FORMAT (pei-i386, pei-x86-64);
# - qelmora.exe imports the system functions it calls, from system DLLs only (no MinGW run-time DLL);
# - qelmora.exe carries its resources in Chinese (PRC, 2052): the dialogs 100 and 102, the string
#   table block of string 101, the icon group 128 and its icons.
set -euo pipefail
objdump="$1"
build="$2"
format="$3"

failures=0
fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }

exe="$build/qelmora.exe"
[ -f "$exe" ] || { echo "FAIL: no $exe" >&2; exit 1; }

images=0
while IFS= read -r -d '' image; do
  images=$((images + 1))
  actual="$("$objdump" -f "$image" | sed -n 's/.*file format //p')"
  [ "$actual" = "$format" ] || fail "$image is '$actual', not $format"
done < <(find "$build" \( -path "$build/wine" -o -path "$build/CMakeFiles" \) -prune -o -type f \( -name '*.exe' -o -name '*.dll' \) -print0)
echo "ok: $images programs and DLLs are $format"

private="$("$objdump" -p "$exe")"
dlls="$(sed -n 's/^\tDLL Name: //p' <<<"$private" | tr '[:upper:]' '[:lower:]' | sort -u)"
for dll in kernel32.dll user32.dll advapi32.dll shell32.dll comdlg32.dll ole32.dll oleaut32.dll; do
  grep -qxF "$dll" <<<"$dlls" || fail "qelmora.exe does not import $dll"
done
if grep -E '^(libstdc\+\+|libgcc|libwinpthread)' <<<"$dlls"; then fail "qelmora.exe needs MinGW run-time DLLs"; fi
# The import table lists each function as "<address> <hint> <name>" under its DLL.
functions="$(awk '/^\tDLL Name:/ {inside = 1; next} inside && NF == 3 && $2 ~ /^[0-9]+$/ {print $3}' <<<"$private" | sort -u)"
for f in CreateFileA GetModuleFileNameA GetSystemDirectoryA GetTempPathA GetTempFileNameA DialogBoxParamA \
         MessageBoxA LoadIconA SendMessageA RegSetValueExA ShellExecuteA SHChangeNotify CoCreateInstance \
         OleInitialize SysAllocStringLen VariantInit; do
  grep -qxF "$f" <<<"$functions" || fail "qelmora.exe does not import $f"
done
echo "ok: qelmora.exe imports from $(wc -l <<<"$dlls") system DLLs: $(tr '\n' ' ' <<<"$dlls")"

# The resource tree as TYPE/NAME/LANGUAGE, from the indentation of its entries (the offset, then two
# blanks more for each level).
resources="$(sed -n '/Resource Directory section/,$p' <<<"$private" |
  while IFS= read -r line; do
    [[ "$line" =~ ^[0-9a-f]+(\ +)Entry:\ ID:\ 0x([0-9a-f]+) ]] || continue
    id=$((16#${BASH_REMATCH[2]}))
    case "${#BASH_REMATCH[1]}" in
      3) type=$id ;;
      5) name=$id ;;
      7) echo "$type/$name/$id" ;;
    esac
  done)"
for r in 5/100/2052 5/102/2052 6/7/2052 14/128/2052; do
  grep -qxF "$r" <<<"$resources" || fail "qelmora.exe has no resource $r (type/name/language)"
done
grep -qE '^3/[0-9]+/2052$' <<<"$resources" || fail "qelmora.exe has no icon image in language 2052"
echo "ok: qelmora.exe resources: $(tr '\n' ' ' <<<"$resources")"

[ "$failures" -eq 0 ] || exit 1
echo "pe_image_check: $exe and $images images checked without running them"
