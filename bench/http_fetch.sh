#!/usr/bin/env bash
# HTTP client measurements, run by hand (make bench):
#  1. a 200 MB body from nginx over loopback: corvina-cli fetch against curl -0
#     (HTTP/1.0), best of three runs each, in the same run;
#  2. the CPU time that waiting 3 s for a server that answers late costs.
set -euo pipefail
. "$(dirname "$0")/common.bash"
BUILD=${BUILD:-build}
CLI=$BUILD/src/cli/corvina-cli
[ -x "$CLI" ] || { echo "build first: $CLI missing" >&2; exit 1; }
bench_work curl

port=$(free_port)
head -c $((200*1024*1024)) /dev/urandom > "$work/www/big.bin"
start_nginx "$work" "$port" 64 "sendfile on;"

url="http://127.0.0.1:$port/big.bin"
size=$("$CLI" fetch --timeout 60000 "$url" | wc -c)
[ "$size" = $((200*1024*1024)) ] || { echo "corvina-cli fetch got $size bytes" >&2; exit 1; }
t_curl=$(best curl -s -0 -o /dev/null "$url")
t_cli=$(best "$CLI" fetch --timeout 60000 "$url")
printf '200 MB over loopback: curl -0 %.3f s, corvina-cli fetch %.3f s, ratio %.2f (target <= 1.5)\n' \
  "$t_curl" "$t_cli" "$(echo "$t_cli / $t_curl" | bc -l)"

# A server that accepts, waits 3 s, then answers.
lport=$(free_port)
/usr/bin/python3 - "$lport" <<'PY' &
import socket, sys, time
s = socket.socket(); s.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
s.bind(("127.0.0.1", int(sys.argv[1]))); s.listen(1)
c, _ = s.accept(); c.recv(65536); time.sleep(3)
c.sendall(b"HTTP/1.0 200 OK\r\n\r\nlate"); c.close()
PY
bench_pids+=($!)
sleep 0.3
/usr/bin/time -f '%U %S %e' -o "$work/time.txt" "$CLI" fetch --timeout 10000 "http://127.0.0.1:$lport/" > /dev/null
read -r user sys wall < "$work/time.txt"
printf 'waiting %.2f s for a late server: CPU %.3f s (user %.3f + sys %.3f; target < 0.1)\n' \
  "$wall" "$(echo "$user + $sys" | bc -l)" "$user" "$sys"
