#!/usr/bin/env bash
# A harvest over https, run by hand (make bench): 200 pages of about 20 KB
# with a few addresses each, served by nginx over TLS on loopback with a CA
# made here. corvina-cli harvest --delay 0 --parallel 1 against curl fetching
# the same URLs in one process (-K), both trusting the same CA, best of three
# runs each; the target is at most 1.5 times curl's time. The harvest asks
# in HTTP/1.0, a connection (and a TLS handshake) a page, where curl -K keeps
# one connection for all: curl -0 -K, a connection a page too, is measured
# beside it. The default --parallel 8 figure is printed too (one host: the
# harvest never asks one host twice at once, so the pages still go one by one).
set -euo pipefail
. "$(dirname "$0")/common.bash"
BUILD=${BUILD:-build}
CLI=$BUILD/src/cli/corvina-cli
PAGES=${PAGES:-200}
[ -x "$CLI" ] || { echo "build first: $CLI missing" >&2; exit 1; }
bench_work curl openssl /usr/sbin/nginx

# A CA of our own and a certificate for localhost and 127.0.0.1 signed by it.
make_bench_pki "$work" server "DNS:localhost,IP:127.0.0.1"

port=$(free_port)
# The harvest asks each origin for robots.txt once: let it allow everything.
printf 'User-agent: *\nDisallow:\n' > "$work/www/robots.txt"
make_site_pages "$work/www" "$PAGES" "https://localhost:$port" "$work/urls.txt" "$work/curl.cfg"
NGINX_LISTEN_FLAGS=ssl start_nginx "$work" "$port" 256 "open_file_cache max=10000;" \
  "ssl_certificate $work/server.pem;" "ssl_certificate_key $work/server.key;"

harvest() { "$CLI" harvest --cacert "$work/ca.pem" --delay 0 "$@" "$work/urls.txt"; }
found=$(harvest --parallel 1 | wc -l)
[ "$found" = $((PAGES * 3)) ] || { echo "corvina-cli harvest found $found addresses, expected $((PAGES * 3))" >&2; exit 1; }
t_curl=$(best curl -s --cacert "$work/ca.pem" -K "$work/curl.cfg")
t_curl0=$(best curl -0 -s --cacert "$work/ca.pem" -K "$work/curl.cfg")
t_cli=$(best harvest --parallel 1)
t_cli8=$(best harvest)
printf '%d pages of ~20 KB over TLS on loopback: curl -K %.3f s, curl -0 -K (a connection a page) %.3f s\n' \
  "$PAGES" "$t_curl" "$t_curl0"
printf '  corvina-cli harvest --parallel 1 %.3f s: ratio %.2f to curl -K (target <= 1.5), %.2f to curl -0 -K\n' \
  "$t_cli" "$(echo "$t_cli / $t_curl" | bc -l)" "$(echo "$t_cli / $t_curl0" | bc -l)"
printf '  corvina-cli harvest (default --parallel 8) %.3f s\n' "$t_cli8"
