#!/usr/bin/env bash
# Several sites at once, run by hand (make bench): 200 sites on 200 loopback
# hosts (127.0.0.1 to 127.0.0.200, one port), each page answered after
# 250 ms, robots.txt answered 404 at once. Targets: corvina-cli harvest
# --parallel 16 --delay 0 at most 1.3 times curl --parallel --parallel-max 16
# over the same URLs, and the default (8 at once) within 7 s; one site at a
# time would take 50 s. Best of three runs each. With TLS=1 (and nginx) the
# same again over https, nginx in front of the same server with a CA made
# here.
set -euo pipefail
. "$(dirname "$0")/common.bash"
BUILD=${BUILD:-build}
CLI=$BUILD/src/cli/corvina-cli
[ -x "$CLI" ] || { echo "build first: $CLI missing" >&2; exit 1; }
HOSTS=200

work=$(mktemp -d /tmp/corvina-bench-XXXXXX)
chmod 755 "$work"
server_pid=""
cleanup() {
  [ -n "$server_pid" ] && kill "$server_pid" 2>/dev/null || true
  kill "$(cat "$work/nginx.pid" 2>/dev/null)" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

# One server process, one listening socket per address (nothing bound to
# the wildcard address): a port free on all of them is picked by binding
# 127.0.0.1 to port 0 and taking the same port on the others.
/usr/bin/python3 - "$work" "$HOSTS" <<'PY' &
import asyncio, os, socket, sys
work, hosts = sys.argv[1], int(sys.argv[2])

async def serve(reader, writer):
    try:
        while True:
            head = await reader.readuntil(b"\r\n\r\n")
            path = head.split(b" ", 2)[1]
            host = writer.get_extra_info("sockname")[0]
            if path == b"/robots.txt":
                status, body = b"404 Not Found", b"not here\n"
            else:
                await asyncio.sleep(0.25)
                site = host.rsplit(".", 1)[1]
                status = b"200 OK"
                body = (f"<html><body><p>Scrivete a <a href=\"mailto:ufficio@sito{site}.example.org\">"
                        f"ufficio@sito{site}.example.org</a></p></body></html>\n").encode()
            # An HTTP/1.0 client reads to the close unless it asked to keep
            # the connection.
            lines = head.lower().split(b"\r\n")
            keep = lines[0].endswith(b"http/1.1") and b"connection: close" not in lines \
                or b"connection: keep-alive" in lines
            writer.write(b"HTTP/1.1 " + status + b"\r\nContent-Type: text/html\r\nContent-Length: "
                         + str(len(body)).encode()
                         + (b"\r\n" if keep else b"\r\nConnection: close\r\n") + b"\r\n" + body)
            await writer.drain()
            if not keep:
                break
    except (asyncio.IncompleteReadError, ConnectionError, IndexError, asyncio.LimitOverrunError):
        pass
    finally:
        writer.close()

def bind_all():
    for _ in range(20):
        first = socket.socket()
        first.bind(("127.0.0.1", 0))
        port = first.getsockname()[1]
        socks = [first]
        try:
            for k in range(2, hosts + 1):
                s = socket.socket()
                s.bind((f"127.0.0.{k}", port))
                socks.append(s)
            return port, socks
        except OSError:
            for s in socks:
                s.close()
    raise SystemExit("no port free on every address")

async def main():
    port, socks = bind_all()
    for s in socks:
        s.listen(128)
        await asyncio.start_server(serve, sock=s)
    with open(f"{work}/port.tmp", "w") as f:
        f.write(str(port))
    os.rename(f"{work}/port.tmp", f"{work}/port")
    await asyncio.Event().wait()

asyncio.run(main())
PY
server_pid=$!
for _ in $(seq 100); do [ -f "$work/port" ] && break; sleep 0.1; done
port=$(cat "$work/port")

# urls_for SCHEME PORT FILE: the site list, and a curl config of the same.
urls_for() {
  local scheme=$1 p=$2 out=$3
  : > "$out.txt"
  : > "$out.curl"
  for k in $(seq "$HOSTS"); do
    echo "$scheme://127.0.0.$k:$p/index.html" >> "$out.txt"
    printf 'url = "%s://127.0.0.%d:%d/index.html"\noutput = "/dev/null"\n' "$scheme" "$k" "$p" >> "$out.curl"
  done
}

# curl_all URLS [OPTION...]: curl over the same URLs, 16 at once, quietly.
curl_all() {
  local list=$1
  shift
  curl -s --parallel --parallel-max 16 "$@" -K "$list.curl" 2>/dev/null
}

# run_set LABEL URLS [CLI OPTION...]: the three timings and the ratio.
run_set() {
  local label=$1 list=$2
  shift 2
  local found
  found=$("$CLI" harvest --parallel 16 --delay 0 "$@" "$list.txt" 2>/dev/null | wc -l)
  [ "$found" = "$HOSTS" ] || { echo "$label: corvina-cli harvest found $found addresses, expected $HOSTS" >&2; exit 1; }
  local tc t16 t8
  tc=$(best curl_all "$list" "$@")
  t16=$(best "$CLI" harvest --parallel 16 --delay 0 "$@" "$list.txt")
  t8=$(best "$CLI" harvest --delay 0 "$@" "$list.txt")
  printf '%s, %d sites on %d hosts, 250 ms a page: curl --parallel-max 16 %.2f s; corvina-cli --parallel 16 %.2f s, ratio %.2f (target <= 1.3); default (8 at once) %.2f s (target <= 7 s)\n' \
    "$label" "$HOSTS" "$HOSTS" "$tc" "$t16" "$(echo "$t16 / $tc" | bc -l)" "$t8"
}

urls_for http "$port" "$work/http"
run_set http "$work/http"

[ "${TLS:-1}" = 1 ] && [ -x /usr/sbin/nginx ] || exit 0
# nginx ends TLS on the same 200 addresses (another port) and passes each
# request on to the server above, host for host.
tport=$(free_port)
# Elliptic-curve keys, as most sites now use: a handshake costs both sides
# little next to the 250 ms a page.
sans=$(for k in $(seq "$HOSTS"); do printf 'IP:127.0.0.%d,' "$k"; done)
make_bench_pki "$work" site "${sans%,}"
servers=$(for k in $(seq "$HOSTS"); do
  printf 'server { listen 127.0.0.%d:%d ssl; location / { proxy_pass http://127.0.0.%d:%d; proxy_http_version 1.1; proxy_set_header Connection ""; } }' \
    "$k" "$tport" "$k" "$port"
done)
mkdir -p "$work/www"
start_nginx "$work" "$(free_port)" 1024 "ssl_certificate $work/site.pem;" "ssl_certificate_key $work/site.key;" "$servers"
urls_for https "$tport" "$work/https"
run_set https "$work/https" --cacert "$work/ca.pem"
