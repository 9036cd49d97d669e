#!/usr/bin/env bash
# Sends a message from the send-mail dialog the way a user does, under a
# virtual X server, to a local aiosmtpd that takes 1.5 s per message: the
# mail settings are in user.dat, the addresses are opened from a text file
# through the real file dialog, ticked with the mouse, and the dialog is
# opened from the Search Results menu. Takes a screenshot of the dialog
# mid-send and prints what the server received, as Python's email package
# reads it.
# Needs xvfb, xdotool, x11-apps (xwd), netpbm and python3-aiosmtpd:
#   scripts/install-deps.sh xvfb xdotool x11-apps netpbm
set -euo pipefail
cd "$(dirname "$0")/.."
BIN=${BIN:-build/src/app/corvina}
DISPLAY_NUM=${DISPLAY_NUM:-:95}
WORK=${TRYOUT_DIR:-/tmp/corvina-mail-tryout}
OUT=${OUT:-$WORK/send-mail-mid-send.png}
rm -rf "$WORK"
mkdir -p "$WORK/received"
cp "$BIN" "$WORK/corvina"

cat > "$WORK/server.py" <<'PY'
import asyncio, os, socket, sys
from aiosmtpd.controller import Controller
out = sys.argv[1]
class Slow:
    n = 0
    async def handle_DATA(self, server, session, envelope):
        await asyncio.sleep(1.5)
        with open(os.path.join(out, "%02d.eml" % Slow.n), "wb") as f:
            f.write(envelope.original_content or envelope.content)
        Slow.n += 1
        return "250 OK"
s = socket.socket(); s.bind(("127.0.0.1", 0)); port = s.getsockname()[1]; s.close()
c = Controller(Slow(), hostname="127.0.0.1", port=port); c.start()
print(port, flush=True)
sys.stdin.read()
PY
# The server reads its standard input until this script ends.
mkfifo "$WORK/stop"
/usr/bin/python3 "$WORK/server.py" "$WORK/received" < "$WORK/stop" > "$WORK/port" &
server=$!
exec 3> "$WORK/stop"
Xvfb "$DISPLAY_NUM" -screen 0 1280x800x24 -nolisten tcp >/dev/null 2>&1 3>&- &
xvfb=$!
trap 'kill ${app:-} $xvfb $server 2>/dev/null || true' EXIT
for _ in $(seq 50); do [ -s "$WORK/port" ] && break; sleep 0.1; done
printf '127.0.0.1:%s\r\ntryout.example\r\nann@example.org\r\nAnn Bee\r\n' "$(cat "$WORK/port")" > "$WORK/user.dat"
printf 'bob@example.org\r\ncid@example.org\r\ndee@example.org\r\n' > "$WORK/addresses.txt"

export DISPLAY=$DISPLAY_NUM QT_QPA_PLATFORM=xcb
(cd "$WORK" && ./corvina 3>&-) &
app=$!
sleep 6
main=$(xdotool search --onlyvisible --name '^Corvina$' | head -1)
eval "$(xdotool getwindowgeometry --shell "$main")"  # X, Y of the main window
menu() { xdotool mousemove $((X + 249)) $((Y + 8)) click 1; sleep 0.7; }
# Search Results > Open Email list from > Text File, then the file name.
menu; xdotool key Down Down Right Return; sleep 1.5
xdotool type --delay 20 "$WORK/addresses.txt"; xdotool key Return; sleep 1.5
for row in 0 1 2; do xdotool mousemove $((X + 519)) $((Y + 136 + 14 * row)) click 1; sleep 0.3; done
# Search Results > Send Email with > Corvina.
menu; xdotool key Down Down Down Right Return; sleep 1.5
dialog=$(xdotool search --onlyvisible --name '^Send Email$' | tail -1)
xdotool type --delay 15 'Meeting on Friday & the agenda'; xdotool key Tab
xdotool type --delay 15 'Hello,'; xdotool key Return
xdotool type --delay 15 '.this line starts with a dot'; xdotool key Return
xdotool type --delay 15 'Regards, Ann'
eval "$(xdotool getwindowgeometry --shell "$dialog")"
xdotool mousemove $((X + 57)) $((Y + 337)) click 1
sleep 2.2
xwd -id "$dialog" -silent | xwdtopnm 2>/dev/null | pnmtopng > "$OUT"
echo "screenshot: $OUT"
sleep 4
for f in "$WORK"/received/*.eml; do
  /usr/bin/python3 tests/support/smtp_sink.py parse "$f"; echo
done
