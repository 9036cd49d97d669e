#!/usr/bin/env bash
# SMTP client measurements, run by hand (make bench), against one local
# aiosmtpd server that accepts everything:
#  1. 1,000 messages over one connection: Python's smtplib in one process,
#     then the program's client (bench_smtp), best of three each;
#  2. a 20 MB attachment: memory beyond the attachment and progress steps.
set -euo pipefail
BUILD=${BUILD:-build}
BENCH=$BUILD/bench/bench_smtp
[ -x "$BENCH" ] || { echo "build first: $BENCH missing" >&2; exit 1; }
here=$(cd "$(dirname "$0")" && pwd)

portfile=$(mktemp /tmp/corvina-smtp-XXXXXX)
stop=$(mktemp -u /tmp/corvina-smtp-stop-XXXXXX)
mkfifo "$stop"
# The server reads its standard input until this script ends.
/usr/bin/python3 "$here/../tests/support/smtp_sink.py" discard < "$stop" > "$portfile" &
server=$!
exec 3> "$stop"
rm -f "$stop"
trap 'kill $server 2>/dev/null || true; rm -f "$portfile"' EXIT
for _ in $(seq 50); do [ -s "$portfile" ] && break; sleep 0.1; done
port=$(cat "$portfile")
echo "server: aiosmtpd on 127.0.0.1:$port"

echo "== Python smtplib, 1,000 messages over one connection (best of 3)"
/usr/bin/python3 - "$port" <<'PY'
import smtplib, sys, time
from email.message import EmailMessage
port = int(sys.argv[1])
best = None
for run in range(3):
    t = time.perf_counter()
    s = smtplib.SMTP("127.0.0.1", port, local_hostname="bench.example")
    for i in range(1000):
        msg = ("From: Ann Bee<ann@example.org>\r\nTo: reader%d@example.org\r\nSubject: News from the bench\r\n"
               "X-Mailer: Corvina\r\nMime-Version: 1.0\r\nContent-Type: text/plain; charset=us-ascii\r\n\r\n"
               "Dear reader,\r\nthis is a short message of a few lines,\r\nas a mailing usually is.\r\n\r\nRegards\r\n" % i)
        s.sendmail("ann@example.org", ["reader%d@example.org" % i], msg)
    s.quit()
    e = time.perf_counter() - t
    best = e if best is None else min(best, e)
print("smtplib: %.0f ms for 1000 messages, %.0f messages/s" % (best * 1000, 1000 / best))
PY

echo "== Corvina's client"
CORVINA_SMTP_SERVER=127.0.0.1:$port "$BENCH" --benchmark_repetitions=3 --benchmark_report_aggregates_only=false \
  --benchmark_filter=OnePerAddress
CORVINA_SMTP_SERVER=127.0.0.1:$port "$BENCH" --benchmark_filter=Attachment
