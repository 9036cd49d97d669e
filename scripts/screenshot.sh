#!/usr/bin/env bash
# Takes the README's screenshot tour in one run, under a virtual X server
# with a window manager (openbox: focus for menus and dialogs):
#   docs/main-window.png  the main window after a real search and harvest:
#                         make demo's set-up (scripts/demo.sh, the stand-in
#                         engine as the proxy), key words "corvi neri",
#                         Search, Next twice, Select All on the Found Sites,
#                         Search Email
#   docs/options.png      the Options dialog
#   docs/send-mail.png    the send-mail dialog mid-send: three addresses
#                         ticked, a message to a local aiosmtpd that takes
#                         1.5 s over each message (tests/support/smtp_sink.py)
# and prints the messages the server received, as Python's email package
# reads them. The packages it needs are installed by scripts/install-deps.sh.
#   scripts/screenshot.sh [BUILD_DIR]        OUT=dir for the pictures
set -euo pipefail
cd "$(dirname "$0")/.."
BUILD=${1:-build}
OUT=${OUT:-docs}
DISPLAY_NUM=${DISPLAY_NUM:-:97}
bash scripts/install-deps.sh xvfb openbox xdotool x11-apps netpbm
[ -x "$BUILD/src/app/corvina" ] || { echo "screenshot: build first ($BUILD/src/app/corvina is missing)" >&2; exit 1; }
mkdir -p "$OUT"
work=$(mktemp -d /tmp/corvina-tour-XXXXXX)
mkdir -p "$work/received"

# The mail server reads its standard input until this script ends.
mkfifo "$work/stop"
/usr/bin/python3 tests/support/smtp_sink.py serve "$work/received" 1.5 < "$work/stop" > "$work/port" &
server=$!
exec 3> "$work/stop"
Xvfb "$DISPLAY_NUM" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 3>&- &
xvfb=$!
app=
wm=
demo=
trap 'kill $app $wm $xvfb $server 2>/dev/null || true; wait $demo 2>/dev/null || true; rm -rf "$work"' EXIT
for _ in $(seq 50); do [ -s "$work/port" ] && break; sleep 0.1; done
sleep 1
export DISPLAY="$DISPLAY_NUM" QT_QPA_PLATFORM=xcb XDG_CONFIG_HOME="$work/config"
openbox >/dev/null 2>&1 3>&- &
wm=$!
sleep 1

# A copy runs from the scratch folder, where its user.dat names the server.
cp "$BUILD/src/app/corvina" "$work/corvina"
printf '127.0.0.1:%s\r\ntour.example\r\nann@example.org\r\nAnn Bee\r\n' "$(cat "$work/port")" > "$work/user.dat"
BIN="$work/corvina" bash scripts/demo.sh "$BUILD" > /dev/null 3>&- &
demo=$!
# The main window is the wide one of that name (the splash shares it).
main=
for _ in $(seq 100); do
  for w in $(xdotool search --onlyvisible --name '^Corvina$' 2>/dev/null); do
    eval "$(xdotool getwindowgeometry --shell "$w" 2>/dev/null)" || continue
    [ "${WIDTH:-0}" -ge 800 ] && main=$w && break 2
  done
  sleep 0.2
done
[ -n "$main" ] || { echo "screenshot: the main window did not open" >&2; exit 1; }
app=$(xdotool getwindowpid "$main")
sleep 2   # the first paint
xdotool windowactivate --sync "$main"
eval "$(xdotool getwindowgeometry --shell "$main")"  # X, Y, WIDTH, HEIGHT

geometry() { # geometry WINDOW-ID: sets x, y (on the screen), w and h
  eval "$(xwininfo -id "$1" | sed -n \
    -e 's/^ *Absolute upper-left X: *\(-*[0-9]*\)/x=\1/p' -e 's/^ *Absolute upper-left Y: *\(-*[0-9]*\)/y=\1/p' \
    -e 's/^ *Width: *\([0-9]*\)/w=\1/p' -e 's/^ *Height: *\([0-9]*\)/h=\1/p')"
}
shot() { # shot WINDOW-ID FILE: the window as the window manager frames it.
  # The frame (the window's parent) is cut from the screen and the window's
  # own picture pasted into it: a screen grab leaves a dialog's inside black.
  local frame x y w h fx fy
  frame=$(xwininfo -tree -id "$1" | sed -n 's/^ *Parent window id: \(0x[0-9a-f]*\).*/\1/p')
  geometry "${frame:-$1}"; fx=$x; fy=$y
  xwd -root -silent | xwdtopnm 2>/dev/null | pnmcut -left "$x" -top "$y" -width "$w" -height "$h" >"$work/frame.pnm"
  geometry "$1"
  xwd -id "$1" -silent | xwdtopnm 2>/dev/null >"$work/inside.pnm"
  pnmpaste "$work/inside.pnm" $((x - fx)) $((y - fy)) "$work/frame.pnm" | pnmtopng >"$2"
  echo "wrote $2"
}

# Search, Next twice, then every site ticked through the Found Sites' context
# menu (its first "s" item, "Seleziona Tutti") and Search Email. The focus
# starts in Key Words.
xdotool type --delay 30 "corvi neri"; xdotool key Return; sleep 1.5
xdotool key alt+n; sleep 1
xdotool key alt+n; sleep 1
xdotool mousemove $((X + WIDTH / 4)) $((Y + HEIGHT * 40 / 100)) click 3; sleep 1
xdotool key s Return; sleep 0.5
xdotool key alt+e; sleep 4
xdotool mousemove $((X + WIDTH / 2)) $((Y + HEIGHT - 5)); sleep 0.5
shot "$main" "$OUT/main-window.png"

# The Options dialog, from the main menu.
xdotool key alt+o; sleep 0.5; xdotool key Return; sleep 2
options=$(xdotool search --onlyvisible --name '^Options$' | tail -1)
shot "$options" "$OUT/options.png"
xdotool key Escape; sleep 0.5

# Three addresses ticked: a click on the Results list highlights the entry
# under the pointer, Space ticks it; then Send Email with > Corvina from the
# list's context menu (its first "i" item, "Invia Email utilizzando").
xdotool windowactivate --sync "$main"
xdotool mousemove $((X + WIDTH * 3 / 4)) $((Y + HEIGHT * 30 / 100)) click 1; sleep 0.3
xdotool key space Down space Down space; sleep 0.3
xdotool click 3; sleep 1
xdotool key i Right c; sleep 1.5
dialog=$(xdotool search --onlyvisible --name '^Send Email$' | tail -1)
xdotool type --delay 15 'Meeting on Friday & the agenda'; xdotool key Tab
xdotool type --delay 15 'Hello,'; xdotool key Return
xdotool type --delay 15 '.this line starts with a dot'; xdotool key Return
xdotool type --delay 15 'Regards, Ann'
xdotool key alt+s; sleep 2.2
shot "$dialog" "$OUT/send-mail.png"
# The run ends with "Operation Completed!".
for _ in $(seq 50); do [ "$(ls "$work/received" | grep -c '\.eml$')" -ge 3 ] && break; sleep 0.2; done
sleep 1
xdotool key Return; sleep 0.5
for f in "$work"/received/*.eml; do
  /usr/bin/python3 tests/support/smtp_sink.py parse "$f"; echo
done

# File > Exit ends the program, and the demo stops its engine.
xdotool windowactivate --sync "$main" 2>/dev/null
xdotool key alt+f; sleep 0.5; xdotool key e
wait $demo || true
app=
