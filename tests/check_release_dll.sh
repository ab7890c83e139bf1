#!/usr/bin/env bash
# Static checks of the release: PE32 for i386 and imports from Windows system
# DLLs only, each a function Windows 7 has (the list beside this script); the
# DLL exports exactly the host's 23 names with no decoration, and the probe
# (--program) is a console program.
# Usage: check_release_dll.sh [--program] FILE [OBJDUMP]
set -euo pipefail
program=0
if [ "${1:-}" = --program ]; then program=1; shift; fi
file=$1
objdump=${2:-i686-w64-mingw32-objdump}
dump=$("$objdump" -p "$file")
fail=0

grep -q 'file format pei-i386' <<<"$dump" || { echo "not a PE file for i386"; fail=1; }
grep -qE '^Magic[[:space:]]+010b' <<<"$dump" || { echo "not PE32 (optional header magic is not 010b)"; fail=1; }

# The header's characteristics, one a line, up to the first blank line.
characteristics=$(awk '/^Characteristics/{on=1; next} on && /^[[:space:]]/{sub(/^[[:space:]]+/, ""); print; next} on{exit}' <<<"$dump")
if ((program)); then
  grep -qE '^Subsystem[[:space:]]+0+3[[:space:]]' <<<"$dump" || { echo "not a console program"; fail=1; }
  ! grep -qx DLL <<<"$characteristics" || { echo "a DLL, not a program"; fail=1; }
else
  grep -qx DLL <<<"$characteristics" || { echo "not a DLL"; fail=1; }
expected="Config DllCanUnloadNow DllGetClassObject DllRegisterServer DllUnregisterServer DoDwell Home InitControl \
JogOff JogOn PostInitControl Probe Purge Reset SetCode SetDoButton SetGetDRO SetGetLED SetProName SetSetDRO SetSetLED \
StopPlug Update"
actual=$(awk '/\[Ordinal\/Name Pointer\] Table/{on=1; next} on && /^[[:space:]]*\[/{print $NF; next} on{on=0}' <<<"$dump" | LC_ALL=C sort | tr '\n' ' ' | sed 's/ $//')
if [ "$actual" != "$expected" ]; then
  echo "export names differ"
  echo "  expected: $expected"
  echo "  actual:   $actual"
  fail=1
fi
fi

allowed='^(kernel32|user32|gdi32|advapi32|ole32|oleaut32|ws2_32|wsock32|setupapi|hid|msvcrt|shell32|comctl32|comdlg32|ntdll)\.dll$'
while read -r name; do
  lower=$(tr 'A-Z' 'a-z' <<<"$name")
  if ! grep -qE "$allowed" <<<"$lower"; then
    echo "imports a DLL that is not a Windows system DLL: $name"
    fail=1
  fi
done < <(awk '/DLL Name:/{print $3}' <<<"$dump")

# dll:function for every import, and the same for the list of Windows 7's.
windows7=$(awk '/^[a-z0-9_]+\.dll:$/{dll=$1; next} /^[[:space:]]/{for (i = 1; i <= NF; ++i) print dll $i}' \
  "$(dirname "$0")/windows7_imports.txt")
while read -r import; do
  if ! grep -qxF "$import" <<<"$windows7"; then
    echo "imports a function not on the list of Windows 7's (tests/windows7_imports.txt): $import"
    fail=1
  fi
done < <(awk '/DLL Name:/{dll=tolower($3); next} /^\t[0-9a-f]+\t +[0-9]+  [A-Za-z_]/{print dll ":" $3}' <<<"$dump")

if [ $fail = 0 ]; then
  if ((program)); then
    echo "$(basename "$file"): PE32 i386 console program, system imports only, all in Windows 7"
  else
    echo "$(basename "$file"): PE32 i386, 23 undecorated exports, system imports only, all in Windows 7"
  fi
fi
exit $fail
