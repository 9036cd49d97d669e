# Shared by the benchmark scripts (sourced, not run): a scratch folder
# cleaned up on exit, a free loopback port, an nginx of our own serving a
# folder, pages of a site to harvest, and the best of three timed runs.

# bench_work [TOOL...]: stops unless every TOOL is on PATH; then makes the
# scratch folder $work with $work/www for the pages (readable by nginx's
# workers, whatever user they run as). On exit the nginx serving it and the
# background helpers whose pids the script adds to bench_pids are stopped
# and the folder is removed.
bench_pids=()
bench_work() {
  local tool
  for tool in "$@"; do
    command -v "$tool" >/dev/null || { echo "$tool missing" >&2; exit 1; }
  done
  work=$(mktemp -d /tmp/corvina-bench-XXXXXX)
  chmod 755 "$work"
  mkdir -p "$work/www"
  trap bench_cleanup EXIT
}

bench_cleanup() {
  kill $(cat "$work/nginx.pid" 2>/dev/null) 2>/dev/null || true
  if [ ${#bench_pids[@]} -gt 0 ]; then kill "${bench_pids[@]}" 2>/dev/null || true; fi
  rm -rf "$work"
}

free_port() {
  /usr/bin/python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])'
}

# start_nginx WORK PORT CONNECTIONS [DIRECTIVE...]: serves WORK/www on
# 127.0.0.1:PORT, its pid in WORK/nginx.pid; extra http-level directives may
# follow (ssl_certificate ... with NGINX_LISTEN_FLAGS=ssl serves TLS).
# Returns once the server answers.
start_nginx() {
  local work=$1 port=$2 connections=$3
  shift 3
  mkdir -p "$work/www" "$work/tmp"
  cat > "$work/nginx.conf" <<CONF
$( [ "$(id -u)" = 0 ] && echo "user root;" )
worker_processes 1;
pid $work/nginx.pid;
error_log $work/error.log;
events { worker_connections $connections; }
http {
  access_log off;
  client_body_temp_path $work/tmp/body;
  proxy_temp_path $work/tmp/proxy;
  fastcgi_temp_path $work/tmp/fastcgi;
  uwsgi_temp_path $work/tmp/uwsgi;
  scgi_temp_path $work/tmp/scgi;
  $(printf '%s\n  ' "$@")
  server { listen 127.0.0.1:$port backlog=1024 ${NGINX_LISTEN_FLAGS:-}; root $work/www; }
}
CONF
  /usr/sbin/nginx -p "$work" -c "$work/nginx.conf"
  for _ in $(seq 50); do curl -s -o /dev/null "http://127.0.0.1:$port/" && return 0; sleep 0.1; done
}

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

# make_bench_pki WORK NAME SANS: a CA of our own (WORK/ca.pem) and a
# certificate for the subject alternative names SANS ("DNS:localhost,
# IP:127.0.0.1") signed by it (WORK/NAME.pem, key WORK/NAME.key); elliptic-
# curve keys, as most sites now use.
make_bench_pki() {
  local work=$1 name=$2 sans=$3
  openssl req -x509 -newkey ec -pkeyopt ec_paramgen_curve:P-256 -nodes -days 2 -subj "/CN=Bench CA" \
    -addext "basicConstraints=critical,CA:TRUE" -addext "keyUsage=critical,keyCertSign" \
    -keyout "$work/ca.key" -out "$work/ca.pem" 2>/dev/null
  openssl req -newkey ec -pkeyopt ec_paramgen_curve:P-256 -nodes -subj "/CN=Bench site" \
    -keyout "$work/$name.key" -out "$work/$name.csr" 2>/dev/null
  printf 'subjectAltName=%s\n' "$sans" > "$work/$name.san"
  openssl x509 -req -in "$work/$name.csr" -CA "$work/ca.pem" -CAkey "$work/ca.key" -CAcreateserial -days 2 \
    -extfile "$work/$name.san" -out "$work/$name.pem" 2>/dev/null
}

# make_site_pages WWW COUNT URLBASE URLS CURLCFG: COUNT pages of about 20 KB
# of random words (the same on every run), WWW/K.html, each with three
# addresses infoA@sitoK.example.org; their URLs (URLBASE/K.html) one a line
# in URLS, and as a curl -K config that writes them to /dev/null in CURLCFG.
make_site_pages() {
  /usr/bin/python3 - "$@" <<'PY'
import random, sys
www, n, base, urls, cfg = sys.argv[1], int(sys.argv[2]), sys.argv[3], sys.argv[4], sys.argv[5]
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
        url = f"{base}/{k}.html"
        u.write(url + "\n")
        c.write(f'url = "{url}"\noutput = "/dev/null"\n')
PY
}
