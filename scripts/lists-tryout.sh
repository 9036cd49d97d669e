#!/usr/bin/env bash
# Starts Corvina under a virtual X server with a session bus and AT-SPI on,
# then runs scripts/lists-tryout.py against it: list operations and list
# files through the mouse, the keyboard and the real file dialogs.
# Needs xvfb, dbus, at-spi2-core, python3-pyatspi, xdotool, x11-apps (xwd)
# and netpbm (xwdtopnm, pnmtopng):
#   scripts/install-deps.sh xvfb dbus at-spi2-core python3-pyatspi xdotool x11-apps netpbm
set -euo pipefail
cd "$(dirname "$0")/.."
BIN=${BIN:-build/src/app/corvina}
DISPLAY_NUM=${DISPLAY_NUM:-:96}
export TRYOUT_DIR=${TRYOUT_DIR:-/tmp/corvina-lists-tryout}
export SHOTS_DIR=${SHOTS_DIR:-$TRYOUT_DIR}
mkdir -p "$TRYOUT_DIR" "$SHOTS_DIR"

Xvfb "$DISPLAY_NUM" -screen 0 1280x800x24 -nolisten tcp &
xvfb=$!
trap 'kill $xvfb 2>/dev/null || true' EXIT
sleep 1
export DISPLAY="$DISPLAY_NUM" QT_QPA_PLATFORM=xcb QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1 QT_ACCESSIBILITY=1
# The program reads user.dat from its own directory; run a copy from the
# scratch folder so the try-out leaves the build tree alone.
cp "$BIN" "$TRYOUT_DIR/corvina"
dbus-run-session -- bash -c '
  "$TRYOUT_DIR/corvina" & app=$!
  sleep 5
  /usr/bin/python3 scripts/lists-tryout.py; rc=$?
  kill $app 2>/dev/null || true
  wait $app 2>/dev/null || true
  exit $rc
'
