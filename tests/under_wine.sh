#!/bin/sh
# under_wine.sh PROGRAM [ARG...]: runs a Windows program under Wine for ctest
# (the emulator of the Windows builds), its output kept in a file and passed
# on when it ends. ctest counts a test as running until its output closes, and
# a Wine process that the program starts (the desktop, the system services)
# would hold that output open for as long as it lives, after the program.
# Wine's own word on a DLL that would not load or an exception nobody caught
# is let through: without it such a test fails with no line at all.
out=$(mktemp)
WINEDEBUG="${WINEDEBUG:+$WINEDEBUG,}err+module,err+seh" wine "$@" >"$out" 2>&1
status=$?
cat "$out"
rm -f "$out"
[ $status -eq 0 ] || echo "under_wine: $(basename "$1") ended with status $status"
exit $status
