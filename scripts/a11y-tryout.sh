#!/usr/bin/env bash
# Starts Corvina under a virtual X server with a session bus and AT-SPI on,
# then runs scripts/a11y-tryout.py against it. Needs xvfb, dbus, at-spi2-core
# and python3-pyatspi.
set -euo pipefail
cd "$(dirname "$0")/.."
BIN=${BIN:-build/src/app/corvina}
DISPLAY_NUM=${DISPLAY_NUM:-:98}

Xvfb "$DISPLAY_NUM" -screen 0 1280x800x24 -nolisten tcp &
xvfb=$!
trap 'kill $xvfb 2>/dev/null || true' EXIT
sleep 1
export DISPLAY="$DISPLAY_NUM" QT_QPA_PLATFORM=xcb QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1 QT_ACCESSIBILITY=1
dbus-run-session -- bash -c '
  "'"$BIN"'" & app=$!
  sleep 5
  /usr/bin/python3 scripts/a11y-tryout.py; rc=$?
  kill $app 2>/dev/null || true
  wait $app 2>/dev/null || true
  exit $rc
'
