#!/usr/bin/env bash
# The whole job on this machine without the internet: starts the stand-in
# search engine (scripts/standin-engine.py) on a free loopback port, runs
# Corvina with http_proxy pointing at it, and stops the engine when Corvina
# ends. Extra arguments go to the engine (--total N, --site-size BYTES,
# --delay MS to try Stop Search, --no-estimate, --refuse-json, -v).
# All four engines answer: SearXNG at its default address, Mojeek with any
# key typed in Options > Engines. The stand-in also speaks TLS with a demo CA
# of its own (the Mojeek API, and the https sites among the results), which
# Corvina is given through SSL_CERT_FILE. It prints the corvina-cli commands
# that try each engine and a harvest from another terminal.
#   make demo            or   scripts/demo.sh [BUILD_DIR] [engine options]
set -euo pipefail
cd "$(dirname "$0")/.."
BUILD=${1:-build}
[ $# -gt 0 ] && shift
BIN=${BIN:-$BUILD/src/app/corvina}
[ -x "$BIN" ] || { echo "demo: build first ($BIN is missing)" >&2; exit 1; }

portfile=$(mktemp /tmp/corvina-demo-XXXXXX)
cadir=$(mktemp -d /tmp/corvina-demo-ca-XXXXXX)
/usr/bin/python3 scripts/standin-engine.py --tls --ca-dir "$cadir" "$@" > "$portfile" &
engine=$!
trap 'kill $engine 2>/dev/null || true; wait $engine 2>/dev/null || true; rm -rf "$portfile" "$cadir"' EXIT
for _ in $(seq 100); do [ "$(wc -l < "$portfile")" -ge 2 ] && break; sleep 0.1; done
port=$(head -n 1 "$portfile")
[ -n "$port" ] || { echo "demo: the stand-in engine did not start" >&2; exit 1; }
ca=$(sed -n '2s/^tls [0-9]* //p' "$portfile")
echo "demo: stand-in engine on 127.0.0.1:$port; type key words and press Search !"
cli=$(realpath -m "${CLI:-$BUILD/src/cli/corvina-cli}")
if [ -n "$ca" ] && [ -x "$cli" ]; then
  # The same sessions in corvina-cli, for another terminal while this one runs.
  cat <<HINT
demo: every third result is an https site (TLS with the demo CA $ca).
demo: in another terminal, while Corvina is open:
  export http_proxy=http://127.0.0.1:$port/ https_proxy=http://127.0.0.1:$port/ SSL_CERT_FILE=$ca
  $cli search --engine google corvi neri        (or altavista)
  $cli search --engine searxng corvi neri
  $cli search --engine mojeek --api-key demo corvi neri
  $cli search corvi neri | $cli harvest --delay 0
HINT
fi
env ${ca:+SSL_CERT_FILE="$ca"} https_proxy="http://127.0.0.1:$port/" http_proxy="http://127.0.0.1:$port/" "$BIN"
