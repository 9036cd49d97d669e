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
bench_work curl
port=$(free_port)
make_site_pages "$work/www" "$SITES" "http://127.0.0.1:$port" "$work/urls.txt" "$work/curl.cfg"
start_nginx "$work" "$port" 256 "open_file_cache max=10000;"

found=$("$CLI" harvest --delay 0 "$work/urls.txt" | wc -l)
[ "$found" = $((SITES * 3)) ] || { echo "corvina-cli harvest found $found addresses, expected $((SITES * 3))" >&2; exit 1; }
t_curl=$(best curl -0 -s -K "$work/curl.cfg")
t_cli=$(best "$CLI" harvest --delay 0 "$work/urls.txt")
printf '%d sites of ~20 KB over loopback: curl -0 %.3f s, corvina-cli harvest %.3f s (%.0f sites/s, target >= 2000), ratio %.2f (target <= 1.5)\n' \
  "$SITES" "$t_curl" "$t_cli" "$(echo "$SITES / $t_cli" | bc -l)" "$(echo "$t_cli / $t_curl" | bc -l)"

enginefile="$work/engine.port"
/usr/bin/python3 scripts/standin-engine.py --total 10000 > "$enginefile" &
bench_pids+=($!)
for _ in $(seq 50); do [ -s "$enginefile" ] && break; sleep 0.1; done
CORVINA_BENCH_SITES="$work/urls.txt" CORVINA_BENCH_ENGINE="127.0.0.1:$(head -n 1 "$enginefile")" "$BENCH"
