#!/usr/bin/python3
"""A stand-in search engine and web for trying Corvina without the internet.

It is an HTTP/1.0 server on the loopback interface, meant to be the
program's HTTP proxy (http_proxy=http://127.0.0.1:PORT/), so every request
arrives with its whole URL:

  http://www.google.com/search?q=...[&start=N]       result pages in the
  http://www.google.com/search?as_q=...&as_sitesearch=D[&start=N]
  http://www.altavista.com/web/results?q=...[&stq=N]  shapes the program
  http://www.altavista.com/web/results?pg=aq&aqmode=s&aqa=...&rc=dmn&swd=D[&stq=N]
                                                      reads (link and count markers)
  http://ANY-HOST/search?q=...&format=json&pageno=N   JSON answers in the shape of
                                                      a self-hosted SearXNG
  https://api.mojeek.com/search?api_key=K&q=...&fmt=json&s=N&t=10[&site=D]
                                                      JSON answers of the Mojeek API
                                                      (fmt=json on any host too)
  any other URL                                       a small site page that
                                                      publishes a few addresses
                                                      (also over TLS, see below)

Every query has a result total derived from its key words (or --total); a
result page lists ten results from the offset on, each a link to a site of
this server. The chosen port is printed on the first line of standard output.

TLS (--tls): the script makes a demo certificate authority and a server
certificate for api.mojeek.com, localhost and 127.0.0.1 with the openssl
command (in --ca-dir, the CA as ca.pem), answers CONNECT on the proxy port by
speaking TLS itself with that certificate, and also serves HTTPS on a port of
its own; the second line of standard output then reads "tls PORT CA-FILE".
A client trusts the demo CA through SSL_CERT_FILE=CA-FILE. With --tls every
third result (except on AltaVista pages) links to an https:// site; the
stand-in makes its certificate on first use, signed by the demo CA, for the
host named in the CONNECT request (or in the TLS server name on the HTTPS
port).
"""
import argparse
import json
import os
import socketserver
import ssl
import subprocess
import sys
import tempfile
import threading
import time
import zlib
from http.server import BaseHTTPRequestHandler, ThreadingHTTPServer
from urllib.parse import parse_qs, urlsplit

GOOGLE = "www.google.com"
ALTAVISTA = "www.altavista.com"
MOJEEK = "api.mojeek.com"


def slug(words):
    s = "".join(c if c.isalnum() else "-" for c in words.lower()).strip("-")
    while "--" in s:
        s = s.replace("--", "-")
    return s[:40] or "web"


def site_name(url):
    return urlsplit(url).hostname[4:]


def thousands(n, sep):
    return f"{n:,}".replace(",", sep)


class Engine:
    def __init__(self, total, site_size):
        self.total = total
        self.site_size = site_size
        self.delay = 0.0
        self.no_estimate = False
        self.refuse_json = False
        self.mojeek_key = None
        self.https_sites = False

    def pause(self):
        """The slow mode: every result page waits before it is answered."""
        if self.delay > 0:
            time.sleep(self.delay)

    def total_for(self, words):
        if self.total is not None:
            return self.total
        return 40 + zlib.crc32(words.encode("utf-8", "surrogateescape")) % 160

    def results(self, words, domain, offset, https=True):
        total = self.total_for(words)
        tld = domain if domain.startswith(".") else ("." + domain if domain else ".example.org")
        base = slug(words)
        scheme = lambda i: "https" if https and self.https_sites and i % 3 == 2 else "http"
        return total, [f"{scheme(i)}://www.{base}-{i + 1}{tld}/contatti.html"
                       for i in range(offset, min(offset + 10, total))]

    def google(self, query):
        words = query.get("q", query.get("as_q", [""]))[0]
        domain = query.get("as_sitesearch", [""])[0]
        offset = int(query.get("start", ["0"])[0] or 0)
        total, links = self.results(words, domain, offset)
        rows = "\n".join(
            f"<p class=g><a href={url}>{site_name(url)}</a><br><font size=-1>Pagina dei contatti</font></p>"
            for url in links)
        return (f"<html><head><title>Ricerca: {words}</title></head><body>\n"
                f"<a href=http://www.google.com/intl/it/about.html>Tutto su Google</a>\n"
                f"<p>Risultati <b>{offset + 1}</b> - <b>{offset + len(links)}</b> di circa "
                f"<b>{thousands(total, '.')}</b> per <b>{words}</b></p>\n{rows}\n"
                f"<a href=http://www.google.com/search?q={words}&start={offset + 10}>Avanti</a>\n</body></html>\n")

    def altavista(self, query):
        words = query.get("q", query.get("aqa", [""]))[0]
        domain = query.get("swd", [""])[0]
        offset = int(query.get("stq", ["0"])[0] or 0)
        # The AltaVista link marker is "status='http://": its pages list
        # http sites only, or an https result would go missing.
        total, links = self.results(words, domain, offset, https=False)
        rows = "\n".join(
            f"<a href=\"{url}\" onMouseOver=\"window.status='{url}'; return true;\">{url}</a><br>"
            for url in links)
        return (f"<html><head><title>AltaVista: {words}</title></head><body>\n"
                f"<font size=-1><b>AltaVista ha trovato {thousands(total, ',')} risultati</b></font>\n"
                f"{rows}\n</body></html>\n")

    def searxng(self, query):
        words = query.get("q", [""])[0]
        domain = ""
        if " site:" in words:
            words, domain = words.rsplit(" site:", 1)
        page = max(1, int(query.get("pageno", ["1"])[0] or 1))
        total, links = self.results(words, domain, (page - 1) * 10)
        return {"query": query.get("q", [""])[0],
                "number_of_results": 0 if self.no_estimate else total,
                "results": [{"url": u, "title": site_name(u), "content": "Pagina dei contatti",
                             "engine": "stand-in"} for u in links],
                "answers": [], "corrections": [], "infoboxes": [], "suggestions": [],
                "unresponsive_engines": []}

    def mojeek(self, query):
        key = query.get("api_key", [""])[0]
        if not key or (self.mojeek_key is not None and key != self.mojeek_key):
            return 403, {"response": {"status": "ERROR: Invalid API key"}}
        words = query.get("q", [""])[0]
        domain = query.get("site", [""])[0]
        start = max(1, int(query.get("s", ["1"])[0] or 1))
        total, links = self.results(words, domain, start - 1)
        return 200, {"response": {"status": "OK",
                                  "head": {"query": words, "start": start, "return": len(links),
                                           "results": total},
                                  "results": [{"url": u, "title": site_name(u),
                                               "desc": "Pagina dei contatti"} for u in links]}}

    def site(self, host, path):
        name = host[4:] if host.startswith("www.") else host
        page = (f"<html><head><title>{name}</title></head><body>\n<h1>{name}</h1>\n"
                f"<p>Per informazioni scrivete a info@{name} oppure al responsabile "
                f"<a href=\"mailto:%20vendite@{name}\">vendite</a>.</p>\n"
                f"<p>Webmaster: webmaster@{name}</p>\n")
        filler = "<p>Lorem ipsum dolor sit amet, consectetur adipiscing elit, sed do eiusmod tempor.</p>\n"
        while len(page) < self.site_size:
            page += filler
        return page + "</body></html>\n"


class Handler(BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.0"
    server_version = "StandIn/1.0"

    tunnel_host = None

    def do_GET(self):
        url = urlsplit(self.path)
        host = (url.hostname or self.tunnel_host or self.headers.get("Host", "localhost").split(":")[0]).lower()
        query = parse_qs(url.query, keep_blank_values=True)
        engine = self.server.engine
        if url.path == "/robots.txt":
            self.answer(200, b"User-agent: *\nDisallow:\n", "text/plain")
            return
        status, kind = 200, "text/html; charset=utf-8"
        if url.path.endswith("/search") and (host == MOJEEK or query.get("fmt", [""])[0] == "json"):
            engine.pause()
            status, answer = engine.mojeek(query)
            body, kind = json.dumps(answer), "application/json"
        elif url.path.endswith("/search") and query.get("format", [""])[0] == "json":
            engine.pause()
            if engine.refuse_json:
                status, body = 403, "<html><body><h1>403 Forbidden</h1></body></html>\n"
            else:
                body, kind = json.dumps(engine.searxng(query)), "application/json"
        elif host == GOOGLE and url.path == "/search":
            engine.pause()
            body = engine.google(query)
        elif host == ALTAVISTA and url.path == "/web/results":
            engine.pause()
            body = engine.altavista(query)
        else:
            body = engine.site(host, url.path)
        self.answer(status, body.encode("utf-8"), kind)

    def answer(self, status, data, content_type):
        self.send_response(status)
        self.send_header("Content-Type", content_type)
        self.send_header("Content-Length", str(len(data)))
        self.end_headers()
        self.wfile.write(data)

    def do_CONNECT(self):
        """A tunnel through the proxy: the stand-in speaks TLS itself, with
        its demo certificate, and answers the requests inside."""
        certificates = self.server.certificates
        if certificates is None:
            self.send_error(501, "TLS is off (start the stand-in with --tls)")
            return
        self.tunnel_host = self.path.rsplit(":", 1)[0].strip("[]").lower()
        try:
            context = certificates.context_for(self.tunnel_host)
        except (OSError, subprocess.CalledProcessError, ssl.SSLError) as e:
            self.send_error(502, f"no certificate for {self.tunnel_host}: {e}")
            return
        self.send_response(200, "Connection established")
        self.end_headers()
        self.wfile.flush()
        self.use_tls(context)
        self.close_connection = False

    def use_tls(self, context):
        self.connection.settimeout(30)
        tls = context.wrap_socket(self.connection, server_side=True)
        self.connection = self.request = tls
        self.rfile = tls.makefile("rb", self.rbufsize)
        self.wfile = socketserver._SocketWriter(tls)

    def finish(self):
        super().finish()
        if isinstance(self.connection, ssl.SSLSocket):
            try:
                self.connection.settimeout(2)
                self.connection.unwrap()
            except (OSError, ValueError):
                pass

    def log_message(self, fmt, *args):
        if self.server.verbose:
            sys.stderr.write("stand-in: " + (fmt % args) + "\n")


class TlsHandler(Handler):
    """HTTPS on a port of its own: TLS from the first byte."""

    def setup(self):
        super().setup()
        self.use_tls(self.server.certificates.default)


class Certificates:
    """The server certificates signed by the demo CA: the one made with the CA
    (api.mojeek.com, localhost, 127.0.0.1), and one per other host name made on
    first use with the same key. Serves the TLS server name too (SNI)."""

    def __init__(self, folder):
        self.folder = folder
        self.ca, cert, self.key = make_demo_ca(folder)
        self.default = self.server_context(cert)
        self.default.sni_callback = self.choose
        self.by_host = {}
        self.lock = threading.Lock()

    def server_context(self, cert):
        context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
        context.load_cert_chain(cert, self.key)
        return context

    def context_for(self, host):
        if host in (MOJEEK, "localhost", "127.0.0.1"):
            return self.default
        with self.lock:
            if host not in self.by_host:
                self.by_host[host] = self.server_context(sign_for_host(self.folder, host))
            return self.by_host[host]

    def choose(self, tls, server_name, _context):
        if server_name:
            try:
                tls.context = self.context_for(server_name.lower())
            except (OSError, subprocess.CalledProcessError, ssl.SSLError):
                return ssl.ALERT_DESCRIPTION_INTERNAL_ERROR
        return None


def sign_for_host(folder, host):
    """A certificate for HOST, with the server key, signed by the demo CA."""
    safe = "".join(c if c.isalnum() or c in ".-" else "_" for c in host)
    cert = os.path.join(folder, f"site-{safe}.pem")
    san = f"IP:{host}" if host.replace(".", "").isdigit() or ":" in host else f"DNS:{host}"
    subprocess.run(["openssl", "req", "-new", "-key", os.path.join(folder, "server.key"), "-subj", "/CN=" + host[:64],
                    "-CA", os.path.join(folder, "ca.pem"), "-CAkey", os.path.join(folder, "ca.key"),
                    "-days", "30", "-out", cert,
                    "-addext", f"subjectAltName={san}", "-addext", "basicConstraints=CA:FALSE",
                    "-addext", "extendedKeyUsage=serverAuth"],
                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, check=True)
    return cert


def make_demo_ca(folder):
    """The demo CA (ca.pem) and a server certificate it signed for the names
    the stand-in answers to over TLS. Returns (ca, certificate, key)."""
    os.makedirs(folder, exist_ok=True)
    ca, ca_key = os.path.join(folder, "ca.pem"), os.path.join(folder, "ca.key")
    cert, key = os.path.join(folder, "server.pem"), os.path.join(folder, "server.key")
    csr, ext = os.path.join(folder, "server.csr"), os.path.join(folder, "server.ext")
    quiet = {"stdout": subprocess.DEVNULL, "stderr": subprocess.DEVNULL, "check": True}
    subprocess.run(["openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-keyout", ca_key, "-out", ca,
                    "-days", "30", "-subj", "/CN=Corvina demo CA",
                    "-addext", "basicConstraints=critical,CA:TRUE",
                    "-addext", "keyUsage=critical,keyCertSign,cRLSign"], **quiet)
    with open(ext, "w") as f:
        f.write(f"subjectAltName=DNS:{MOJEEK},DNS:localhost,IP:127.0.0.1\n"
                "basicConstraints=CA:FALSE\nkeyUsage=digitalSignature,keyEncipherment\n"
                "extendedKeyUsage=serverAuth\n")
    subprocess.run(["openssl", "req", "-newkey", "rsa:2048", "-nodes", "-keyout", key, "-out", csr,
                    "-subj", f"/CN={MOJEEK}"], **quiet)
    subprocess.run(["openssl", "x509", "-req", "-in", csr, "-CA", ca, "-CAkey", ca_key, "-CAcreateserial",
                    "-out", cert, "-days", "30", "-extfile", ext], **quiet)
    return ca, cert, key


def main():
    ap = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    ap.add_argument("--port", type=int, default=0, help="port to listen on (default: a free one)")
    ap.add_argument("--total", type=int, default=None, help="result total of every query")
    ap.add_argument("--site-size", type=int, default=0, help="pad site pages to about this many bytes")
    ap.add_argument("--delay", type=int, default=0, metavar="MS",
                    help="wait this many milliseconds before every result page (to try Stop Search)")
    ap.add_argument("--no-estimate", action="store_true",
                    help="SearXNG answers give no total (number_of_results 0): paging ends at an empty page")
    ap.add_argument("--refuse-json", action="store_true",
                    help="SearXNG queries get 403, as from an instance without the JSON format")
    ap.add_argument("--mojeek-key", default=None, help="the only Mojeek API key accepted (default: any)")
    ap.add_argument("--tls", action="store_true", help="make a demo CA and serve TLS (CONNECT and a port of its own)")
    ap.add_argument("--tls-port", type=int, default=0, help="the HTTPS port with --tls (default: a free one)")
    ap.add_argument("--ca-dir", default=None, help="where --tls keeps the demo CA (default: a new temporary folder)")
    ap.add_argument("-v", "--verbose", action="store_true", help="log every request on standard error")
    args = ap.parse_args()
    engine = Engine(args.total, args.site_size)
    engine.delay = args.delay / 1000.0
    engine.no_estimate = args.no_estimate
    engine.refuse_json = args.refuse_json
    engine.mojeek_key = args.mojeek_key
    certificates = None
    if args.tls:
        try:
            certificates = Certificates(args.ca_dir or tempfile.mkdtemp(prefix="corvina-demo-ca-"))
            engine.https_sites = True
        except (OSError, subprocess.CalledProcessError, ssl.SSLError) as e:
            sys.stderr.write(f"stand-in: no TLS, the demo CA could not be made: {e}\n")
    server = ThreadingHTTPServer(("127.0.0.1", args.port), Handler)
    server.daemon_threads = True
    server.engine = engine
    server.verbose = args.verbose
    server.certificates = certificates
    print(server.server_address[1], flush=True)
    if certificates is not None:
        tls_server = ThreadingHTTPServer(("127.0.0.1", args.tls_port), TlsHandler)
        tls_server.daemon_threads = True
        tls_server.engine = engine
        tls_server.verbose = args.verbose
        tls_server.certificates = certificates
        threading.Thread(target=tls_server.serve_forever, daemon=True).start()
        print(f"tls {tls_server.server_address[1]} {certificates.ca}", flush=True)
    elif args.tls:
        print("tls off", flush=True)
    try:
        server.serve_forever()
    except KeyboardInterrupt:
        pass


if __name__ == "__main__":
    main()
