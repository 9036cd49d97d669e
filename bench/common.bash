# Shared by the benchmark scripts (sourced, not run): a free loopback port,
# an nginx of our own serving a folder, and the best of three timed runs.

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
