#!/usr/bin/env bash
# Memory of a hostile page, run by hand: a 32 MB page made of "a.@a.@..."
# (one candidate every three bytes, all alike) through corvina-cli scan and
# through a harvest of the same page served by nginx, with and without
# --keep-all; a page of 32 MB of distinct candidates ("a1.@a2.@...") and
# one of 32 MB of distinct addresses ("u1@x.it u2@x.it ...") through a
# harvest. Prints the peak resident size of each run (GNU time);
# the alike page must stay under 450 MB.
set -euo pipefail
. "$(dirname "$0")/common.bash"
BUILD=${BUILD:-build}
CLI=$BUILD/src/cli/corvina-cli
[ -x "$CLI" ] || { echo "build first: $CLI missing" >&2; exit 1; }
[ -x /usr/bin/time ] || { echo "/usr/bin/time missing (Debian package time)" >&2; exit 1; }

work=$(mktemp -d /tmp/corvina-bench-XXXXXX)
chmod 755 "$work"
trap 'kill $(cat "$work/nginx.pid" 2>/dev/null) 2>/dev/null || true; rm -rf "$work"' EXIT

size=$((32 * 1024 * 1024))
mkdir -p "$work/www"
/usr/bin/python3 - "$work/www" "$size" <<'PY'
import sys
folder, size = sys.argv[1], int(sys.argv[2])
with open(folder + "/alike.html", "w") as f:
    f.write("a.@" * (size // 3))
parts, total, n = [], 0, 0
while total < size:
    piece = "a%d.@" % n
    parts.append(piece)
    total += len(piece)
    n += 1
with open(folder + "/distinct.html", "w") as f:
    f.write("".join(parts))
parts, total, n = [], 0, 0
while total < size:
    piece = "u%d@x.it " % n
    parts.append(piece)
    total += len(piece)
    n += 1
with open(folder + "/addresses.html", "w") as f:
    f.write("".join(parts))
PY
port=$(free_port)
start_nginx "$work" "$port" 16

fail=0
# measure LABEL LIMIT_MB COMMAND...: runs the command, prints its peak
# resident size, and marks a failure when a limit is given and passed.
measure() {
  local label=$1 limit=$2
  shift 2
  local lines kb secs
  lines=$(/usr/bin/time -v -o "$work/time" "$@" | wc -l) || true
  kb=$(awk -F': ' '/Maximum resident set size/ {print $2}' "$work/time")
  secs=$(awk -F': ' '/Elapsed \(wall clock\)/ {n = split($2, t, ":"); s = 0; for (i = 1; i <= n; i++) s = s * 60 + t[i]; print s}' "$work/time")
  local mb=$((kb / 1024))
  printf '%-44s peak %5d MB  %6.2f s  %8d lines' "$label" "$mb" "$secs" "$lines"
  if [ "$limit" -gt 0 ]; then
    if [ "$mb" -lt "$limit" ]; then printf '  (target < %d MB: ok)\n' "$limit"
    else printf '  (target < %d MB: FAILED)\n' "$limit"; fail=1; fi
  else
    printf '\n'
  fi
}

alike="http://127.0.0.1:$port/alike.html"
distinct="http://127.0.0.1:$port/distinct.html"
addresses="http://127.0.0.1:$port/addresses.html"
measure "scan, 32 MB of a.@a.@" 450 "$CLI" scan "$work/www/alike.html"
measure "scan --keep-all, 32 MB of a.@a.@" 450 "$CLI" scan --keep-all "$work/www/alike.html"
measure "harvest, 32 MB of a.@a.@" 450 "$CLI" harvest --timeout 60000 <<< "$alike"
measure "harvest --keep-all, 32 MB of a.@a.@" 450 "$CLI" harvest --timeout 60000 --keep-all <<< "$alike"
measure "harvest, 32 MB of a1.@a2.@" 450 "$CLI" harvest --timeout 60000 <<< "$distinct"
measure "harvest --keep-all, 32 MB of a1.@a2.@" 0 "$CLI" harvest --timeout 60000 --keep-all <<< "$distinct"
measure "harvest, 32 MB of distinct u1@x.it" 0 "$CLI" harvest --timeout 60000 <<< "$addresses"
exit $fail
