#!/usr/bin/env bash
# HTTPS measurements, run by hand (make bench):
#  1. a 200 MB body from nginx over TLS on loopback: corvina-cli fetch against
#     curl, both trusting the same test CA, best of three runs each;
#  2. the CPU time that waiting 3 s costs over TLS: for a server that stalls
#     in the handshake, and for one that answers late after it, beside the
#     CPU time of a fetch that does not wait.
set -euo pipefail
. "$(dirname "$0")/common.bash"
BUILD=${BUILD:-build}
CLI=$BUILD/src/cli/corvina-cli
[ -x "$CLI" ] || { echo "build first: $CLI missing" >&2; exit 1; }
bench_work curl openssl

# A CA of our own and a certificate for localhost and 127.0.0.1 signed by it.
make_bench_pki "$work" server "DNS:localhost,IP:127.0.0.1"

port=$(free_port)
head -c $((200*1024*1024)) /dev/urandom > "$work/www/big.bin"
NGINX_LISTEN_FLAGS=ssl start_nginx "$work" "$port" 64 \
  "ssl_certificate $work/server.pem;" "ssl_certificate_key $work/server.key;"

url="https://localhost:$port/big.bin"
size=$("$CLI" fetch --timeout 60000 --cacert "$work/ca.pem" "$url" | wc -c)
[ "$size" = $((200*1024*1024)) ] || { echo "corvina-cli fetch got $size bytes" >&2; exit 1; }
t_curl=$(best curl -s --cacert "$work/ca.pem" -o /dev/null "$url")
t_cli=$(best "$CLI" fetch --timeout 60000 --cacert "$work/ca.pem" "$url")
printf '200 MB over TLS on loopback: curl %.3f s, corvina-cli fetch %.3f s, ratio %.2f (target <= 1.3)\n' \
  "$t_curl" "$t_cli" "$(echo "$t_cli / $t_curl" | bc -l)"

# What a fetch costs without any wait (start-up, CA store, handshake), to
# set the waits below against.
echo small > "$work/www/small.txt"
/usr/bin/time -f '%U %S %e' -o "$work/time.txt" \
  "$CLI" fetch --cacert "$work/ca.pem" "https://localhost:$port/small.txt" > /dev/null
read -r user sys wall < "$work/time.txt"
printf 'a small page over TLS without waiting: %.2f s, CPU %.3f s\n' "$wall" "$(echo "$user + $sys" | bc -l)"

# A TLS server that waits 3 s, once before the handshake and once after the
# request, then answers.
lport=$(free_port)
/usr/bin/python3 - "$lport" "$work/server.pem" "$work/server.key" <<'PY' &
import socket, ssl, sys, time
ctx = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
ctx.load_cert_chain(sys.argv[2], sys.argv[3])
s = socket.socket(); s.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
s.bind(("127.0.0.1", int(sys.argv[1]))); s.listen(2)
for stall_in_handshake in (True, False):
    c, _ = s.accept()
    if stall_in_handshake:
        time.sleep(3)
    t = ctx.wrap_socket(c, server_side=True)
    request = b""
    while b"\r\n\r\n" not in request:
        request += t.recv(65536)
    if not stall_in_handshake:
        time.sleep(3)
    t.sendall(b"HTTP/1.0 200 OK\r\n\r\nlate"); t.close()
PY
bench_pids+=($!)
sleep 0.3
for what in "stalling in the handshake" "answering late"; do
  /usr/bin/time -f '%U %S %e' -o "$work/time.txt" \
    "$CLI" fetch --timeout 10000 --cacert "$work/ca.pem" "https://localhost:$lport/" > /dev/null
  read -r user sys wall < "$work/time.txt"
  printf 'waiting %.2f s for a TLS server %s: CPU %.3f s (user %.3f + sys %.3f; target < 0.1)\n' \
    "$wall" "$what" "$(echo "$user + $sys" | bc -l)" "$user" "$sys"
done
