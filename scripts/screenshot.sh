#!/usr/bin/env bash
# Takes a screenshot of the main window under a virtual X server and writes
# it to docs/main-window.png. Needs xvfb, x11-apps (xwd) and netpbm:
#   apt-get install -y xvfb x11-apps netpbm
set -euo pipefail
cd "$(dirname "$0")/.."
BIN=${BIN:-build/src/app/corvina}
OUT=${OUT:-docs/main-window.png}
DISPLAY_NUM=${DISPLAY_NUM:-:97}
mkdir -p "$(dirname "$OUT")"

Xvfb "$DISPLAY_NUM" -screen 0 1280x800x24 -nolisten tcp &
xvfb=$!
trap 'kill $app $xvfb 2>/dev/null || true' EXIT
sleep 1
DISPLAY="$DISPLAY_NUM" QT_QPA_PLATFORM=xcb "$BIN" &
app=$!
sleep 6   # splash hold (2-3 s) and the first paint
DISPLAY="$DISPLAY_NUM" xwd -name Corvina -silent | xwdtopnm 2>/dev/null | pnmtopng > "$OUT"
echo "wrote $OUT"
