#!/usr/bin/env bash
# Screenshot of the open configuration dialog, cropped to the dialog.
# Needs an X display (run it under xvfb-run) and WINEPREFIX in the environment.
#   take_screenshot.sh BUILD_DIR/tests/wine_dialog/dialog_test.exe docs/dialog.png
set -euo pipefail
exe=$1
out=$2
log=$(mktemp)
trap 'rm -f "$log"' EXIT

# No window manager runs under Xvfb: let Wine draw the caption bar itself.
wine reg add 'HKCU\Software\Wine\AppDefaults\dialog_test.exe\X11 Driver' /v Decorated /d N /f >/dev/null 2>&1
wine "$exe" --hold-open 5000 >"$log" 2>/dev/null &
pid=$!
for _ in $(seq 1 200); do
  grep -q '^dialog ' "$log" && break
  sleep 0.1
done
read -r _ x y w h < <(grep '^dialog ' "$log" | tr -d '\r') || { echo "the dialog did not open" >&2; kill "$pid"; exit 1; }
sleep 1  # let it paint
import -window root -crop "${w}x${h}+${x}+${y}" +repage "$out"
wait "$pid"
echo "$out: ${w}x${h}"
