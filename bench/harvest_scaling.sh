#!/usr/bin/env bash
# The harvest's cost as the Results list grows, run by hand (make bench):
# 1,000 and then 4,000 small sites of 50 distinct addresses each, served by
# nginx over loopback, harvested by corvina-cli (best of three runs each).
# Linear work makes the second four times the first; the target is at most
# 4.8 times, and the 4,000 sites in under 1.2 s.
set -euo pipefail
. "$(dirname "$0")/common.bash"
BUILD=${BUILD:-build}
CLI=$BUILD/src/cli/corvina-cli
[ -x "$CLI" ] || { echo "build first: $CLI missing" >&2; exit 1; }

work=$(mktemp -d /tmp/corvina-bench-XXXXXX)
chmod 755 "$work"
trap 'kill $(cat "$work/nginx.pid" 2>/dev/null) 2>/dev/null || true; rm -rf "$work"' EXIT
port=$(free_port)
mkdir -p "$work/www"
/usr/bin/python3 - "$work" "$port" <<'PY'
import sys
work, port = sys.argv[1], sys.argv[2]
with open(f"{work}/urls4000.txt", "w") as all4, open(f"{work}/urls1000.txt", "w") as first:
    for k in range(4000):
        body = "".join(f"<p>Ufficio {a}: <a href=\"mailto:ufficio{a}.sito{k}@azienda{k % 97}.example.org\">scrivete</a></p>\n"
                       for a in range(50))
        open(f"{work}/www/{k}.html", "w").write(f"<html><body>\n{body}</body></html>\n")
        url = f"http://127.0.0.1:{port}/{k}.html\n"
        all4.write(url)
        if k < 1000:
            first.write(url)
PY
start_nginx "$work" "$port" 256 "open_file_cache max=10000;"

# --delay 0: the sites share one host, and the default pause of 1 s between
# two requests to a host would be all that is measured.
harvest() { "$CLI" harvest --delay 0 ${HARVEST_ARGS:-} "$1"; }
found=$(harvest "$work/urls4000.txt" | wc -l)
[ "$found" = 200000 ] || { echo "corvina-cli harvest found $found addresses, expected 200000" >&2; exit 1; }
t1=$(best harvest "$work/urls1000.txt")
t4=$(best harvest "$work/urls4000.txt")
printf '1,000 sites x 50 addresses: %.3f s; 4,000 sites: %.3f s (target < 1.2 s); ratio %.2f (target <= 4.8)\n' \
  "$t1" "$t4" "$(echo "$t4 / $t1" | bc -l)"
