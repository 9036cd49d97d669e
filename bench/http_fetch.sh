#!/usr/bin/env bash
# HTTP client measurements, run by hand (make bench):
#  1. a 200 MB body from nginx over loopback: corvina-cli fetch against curl -0
#     (HTTP/1.0), best of three runs each, in the same run;
#  2. the CPU time that waiting 3 s for a server that answers late costs.
set -euo pipefail
BUILD=${BUILD:-build}
CLI=$BUILD/src/cli/corvina-cli
[ -x "$CLI" ] || { echo "build first: $CLI missing" >&2; exit 1; }
command -v curl >/dev/null || { echo "curl missing" >&2; exit 1; }

work=$(mktemp -d /tmp/corvina-bench-XXXXXX)
chmod 755 "$work"
trap 'kill $(cat "$work/nginx.pid" 2>/dev/null) 2>/dev/null || true; kill ${late_pid:-} 2>/dev/null || true; rm -rf "$work"' EXIT

port=$(/usr/bin/python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])')
mkdir -p "$work/www" "$work/tmp"
head -c $((200*1024*1024)) /dev/urandom > "$work/www/big.bin"
cat > "$work/nginx.conf" <<CONF
$( [ "$(id -u)" = 0 ] && echo "user root;" )
worker_processes 1;
pid $work/nginx.pid;
error_log $work/error.log;
events { worker_connections 64; }
http {
  access_log off;
  client_body_temp_path $work/tmp/body;
  proxy_temp_path $work/tmp/proxy;
  fastcgi_temp_path $work/tmp/fastcgi;
  uwsgi_temp_path $work/tmp/uwsgi;
  scgi_temp_path $work/tmp/scgi;
  sendfile on;
  server { listen 127.0.0.1:$port; root $work/www; }
}
CONF
/usr/sbin/nginx -p "$work" -c "$work/nginx.conf"
for _ in $(seq 50); do curl -s -o /dev/null "http://127.0.0.1:$port/" && break; sleep 0.1; done

url="http://127.0.0.1:$port/big.bin"
best() { # command... -> best wall time in seconds of three runs
  local b=""
  for _ in 1 2 3; do
    local s e t
    s=$(date +%s.%N); "$@" > /dev/null; e=$(date +%s.%N)
    t=$(echo "$e - $s" | bc -l)
    if [ -z "$b" ] || [ "$(echo "$t < $b" | bc -l)" = 1 ]; then b=$t; fi
  done
  echo "$b"
}
size=$("$CLI" fetch --timeout 60000 "$url" | wc -c)
[ "$size" = $((200*1024*1024)) ] || { echo "corvina-cli fetch got $size bytes" >&2; exit 1; }
t_curl=$(best curl -s -0 -o /dev/null "$url")
t_cli=$(best "$CLI" fetch --timeout 60000 "$url")
printf '200 MB over loopback: curl -0 %.3f s, corvina-cli fetch %.3f s, ratio %.2f (target <= 1.5)\n' \
  "$t_curl" "$t_cli" "$(echo "$t_cli / $t_curl" | bc -l)"

# A server that accepts, waits 3 s, then answers.
lport=$(/usr/bin/python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])')
/usr/bin/python3 - "$lport" <<'PY' &
import socket, sys, time
s = socket.socket(); s.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
s.bind(("127.0.0.1", int(sys.argv[1]))); s.listen(1)
c, _ = s.accept(); c.recv(65536); time.sleep(3)
c.sendall(b"HTTP/1.0 200 OK\r\n\r\nlate"); c.close()
PY
late_pid=$!
sleep 0.3
/usr/bin/time -f '%U %S %e' -o "$work/time.txt" "$CLI" fetch --timeout 10000 "http://127.0.0.1:$lport/" > /dev/null
read -r user sys wall < "$work/time.txt"
printf 'waiting %.2f s for a late server: CPU %.3f s (user %.3f + sys %.3f; target < 0.1)\n' \
  "$wall" "$(echo "$user + $sys" | bc -l)" "$user" "$sys"
