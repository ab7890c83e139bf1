#!/usr/bin/env bash
# with_display.sh COMMAND...: runs COMMAND with an X display of its own
# (Xvfb, 1024x768, 24 bits); Wine leaves before the display closes.
exec xvfb-run -a -s "-screen 0 1024x768x24" bash -c '"$@"; rc=$?; timeout 20 wineserver -k 2>/dev/null; timeout 20 wineserver -w 2>/dev/null; exit $rc' _ "$@"
