#!/bin/sh
# under_wine.sh PROGRAM [ARG...]: runs a Windows program under Wine for ctest
# (the emulator of the Windows builds), its output kept in a file and passed
# on when it ends. ctest counts a test as running until its output closes, and
# a Wine process that the program starts (the desktop, the system services)
# would hold that output open for as long as it lives, after the program.
out=$(mktemp)
wine "$@" >"$out" 2>&1
status=$?
cat "$out"
rm -f "$out"
exit $status
