#!/usr/bin/env bash
# The search and harvest sessions over loopback, run by hand (make bench):
#  1. 5,000 sites of about 20 KB with a few addresses each, served by nginx:
#     corvina-cli harvest (the harvest session) against curl -0 -s fetching
#     the same URLs in one process, best of three runs each; then the same
#     harvest in-process with a 10 ms timer on its thread (bench_sessions);
#  2. a "Search All pages" search over 1,000 result pages of the stand-in
#     engine: time per page at the start and at the end, memory per site.
set -euo pipefail
. "$(dirname "$0")/common.bash"
BUILD=${BUILD:-build}
CLI=$BUILD/src/cli/corvina-cli
BENCH=$BUILD/bench/bench_sessions
SITES=${SITES:-5000}
[ -x "$CLI" ] && [ -x "$BENCH" ] || { echo "build first: $CLI or $BENCH missing" >&2; exit 1; }
command -v curl >/dev/null || { echo "curl missing" >&2; exit 1; }

work=$(mktemp -d /tmp/corvina-bench-XXXXXX)
chmod 755 "$work"
trap 'kill $(cat "$work/nginx.pid" 2>/dev/null) 2>/dev/null || true; kill ${engine:-} 2>/dev/null || true; rm -rf "$work"' EXIT
port=$(free_port)
mkdir -p "$work/www" "$work/tmp"
/usr/bin/python3 - "$work/www" "$SITES" "$port" "$work/urls.txt" "$work/curl.cfg" <<'PY'
import random, sys
www, n, port, urls, cfg = sys.argv[1], int(sys.argv[2]), sys.argv[3], sys.argv[4], sys.argv[5]
rnd = random.Random(1)
words = "della pagina servizi informazioni prodotti azienda contatti notizie chi siamo dove".split()
with open(urls, "w") as u, open(cfg, "w") as c:
    for k in range(n):
        parts, size = [f"<html><head><title>Sito {k}</title></head><body>\n"], 0
        while size < 20000:
            line = "<p>" + " ".join(rnd.choice(words) for _ in range(14)) + "</p>\n"
            parts.append(line); size += len(line)
        for a in range(3):
            parts.insert(rnd.randrange(1, len(parts)), f"<p>Scrivete a info{a}@sito{k}.example.org</p>\n")
        parts.append("</body></html>\n")
        open(f"{www}/{k}.html", "w").write("".join(parts))
        url = f"http://127.0.0.1:{port}/{k}.html"
        u.write(url + "\n")
        c.write(f'url = "{url}"\noutput = "/dev/null"\n')
PY
start_nginx "$work" "$port" 256 "open_file_cache max=10000;"

found=$("$CLI" harvest --delay 0 "$work/urls.txt" | wc -l)
[ "$found" = $((SITES * 3)) ] || { echo "corvina-cli harvest found $found addresses, expected $((SITES * 3))" >&2; exit 1; }
t_curl=$(best curl -0 -s -K "$work/curl.cfg")
t_cli=$(best "$CLI" harvest --delay 0 "$work/urls.txt")
printf '%d sites of ~20 KB over loopback: curl -0 %.3f s, corvina-cli harvest %.3f s (%.0f sites/s, target >= 2000), ratio %.2f (target <= 1.5)\n' \
  "$SITES" "$t_curl" "$t_cli" "$(echo "$SITES / $t_cli" | bc -l)" "$(echo "$t_cli / $t_curl" | bc -l)"

enginefile="$work/engine.port"
/usr/bin/python3 scripts/standin-engine.py --total 10000 > "$enginefile" &
engine=$!
for _ in $(seq 50); do [ -s "$enginefile" ] && break; sleep 0.1; done
CORVINA_BENCH_SITES="$work/urls.txt" CORVINA_BENCH_ENGINE="127.0.0.1:$(head -n 1 "$enginefile")" "$BENCH"
