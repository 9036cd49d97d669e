#!/usr/bin/env bash
# Takes the README's screenshots under a virtual X server:
#   docs/main-window.png  the main window with a site list and an address
#                         list loaded from files (through the lists' own
#                         context menus and the real open dialog)
#   docs/options.png      the Options dialog
#   docs/send-mail.png    the send-mail dialog (when the program opens it)
# Needs xvfb, a window manager (openbox: focus for menus and dialogs),
# xdotool, x11-apps (xwd) and netpbm:
#   scripts/install-deps.sh xvfb openbox xdotool x11-apps netpbm
set -euo pipefail
cd "$(dirname "$0")/.."
BIN=${BIN:-build/src/app/corvina}
OUT=${OUT:-docs}
DISPLAY_NUM=${DISPLAY_NUM:-:97}
mkdir -p "$OUT"
work=$(mktemp -d)

# The lists to show: made-up sites and addresses of reserved domains.
cat >"$work/sites.txt" <<'LIST'
http://www.birdwatch.example.org/corvids/index.html
http://ravens.example.com/contact.htm
http://www.example.net/nature/crows-and-ravens.html
http://magpie-club.example.org/members.html
http://www.example.com/wildlife/jackdaw.htm
http://blog.example.net/2026/11/corvid-intelligence.html
http://rooks.example.org/
http://www.example.org/birding/clubs.htm
LIST
cat >"$work/mails.txt" <<'LIST'
info@birdwatch.example.org
secretary@magpie-club.example.org
anna.rossi@example.com
ravens@example.com
editor@blog.example.net
j.kowalski@example.net
contact@rooks.example.org
caff\303\250@example.org
LIST
printf '%b' "$(cat "$work/mails.txt")" >"$work/mails.txt.tmp" && mv "$work/mails.txt.tmp" "$work/mails.txt"

Xvfb "$DISPLAY_NUM" -screen 0 1280x800x24 -nolisten tcp &
xvfb=$!
app=
wm=
trap 'kill $app $wm $xvfb 2>/dev/null || true; rm -rf "$work"' EXIT
sleep 1
export DISPLAY="$DISPLAY_NUM" QT_QPA_PLATFORM=xcb XDG_CONFIG_HOME="$work/config"
openbox >/dev/null 2>&1 &
wm=$!
sleep 1
# A copy runs from the scratch folder, so user.dat stays out of the tree.
cp "$BIN" "$work/corvina"
"$work/corvina" &
app=$!
sleep 6   # splash hold (2-3 s) and the first paint

shot() { # shot WINDOW-NAME FILE
  xwd -name "$1" -silent | xwdtopnm 2>/dev/null | pnmtopng >"$2"
  echo "wrote $2"
}

# The main window (Qt's other windows of that name are not shown).
main=$(xdotool search --onlyvisible --name '^Corvina$' | head -1)
eval "$(xdotool getwindowgeometry --shell "$main")"
# Opens a list's context menu (fx: fraction of the window's width) and
# picks its "Apri ... da File..." item, then names the file in the dialog.
open_list() {
  xdotool mousemove $((X + WIDTH * $1 / 100)) $((Y + HEIGHT * 40 / 100)) click 3
  sleep 1
  xdotool key a
  sleep 3
  xdotool type --delay 15 "$2"
  xdotool key Return
  sleep 2
}
open_list 25 "$work/sites.txt"
open_list 75 "$work/mails.txt"
# Tick every site (the first "s" item of the menu, "Seleziona Tutti").
xdotool mousemove $((X + WIDTH * 25 / 100)) $((Y + HEIGHT * 40 / 100)) click 3
sleep 1
xdotool key s Return
sleep 1
xdotool mousemove $((X + WIDTH / 2)) $((Y + HEIGHT - 5))
sleep 2
shot Corvina "$OUT/main-window.png"

# The Options dialog, from the main menu.
xdotool windowactivate --sync "$main"
xdotool key alt+o
sleep 1
xdotool key Return
sleep 4
shot Options "$OUT/options.png"
xdotool key Escape
sleep 0.5

# The send-mail dialog, from the Results list's menu ("Invia Email
# utilizzando", "Corvina").
xdotool mousemove $((X + WIDTH * 75 / 100)) $((Y + HEIGHT * 40 / 100)) click 3
sleep 0.8
xdotool key i Right c
sleep 4
if xdotool search --onlyvisible --name '^Send Email$' >/dev/null 2>&1; then
  shot "Send Email" "$OUT/send-mail.png"
else
  echo "note: the send-mail dialog did not open; docs/send-mail.png not taken" >&2
fi
