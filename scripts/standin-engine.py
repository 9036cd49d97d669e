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
  any other URL                                       a small site page that
                                                      publishes a few addresses

Every query has a result total derived from its key words (or --total); a
result page lists ten results from the offset on, each a link to a site of
this server. The chosen port is printed on the first line of standard output.
"""
import argparse
import sys
import zlib
from http.server import BaseHTTPRequestHandler, ThreadingHTTPServer
from urllib.parse import parse_qs, urlsplit

GOOGLE = "www.google.com"
ALTAVISTA = "www.altavista.com"


def slug(words):
    s = "".join(c if c.isalnum() else "-" for c in words.lower()).strip("-")
    while "--" in s:
        s = s.replace("--", "-")
    return s[:40] or "web"


def thousands(n, sep):
    return f"{n:,}".replace(",", sep)


class Engine:
    def __init__(self, total, site_size):
        self.total = total
        self.site_size = site_size

    def total_for(self, words):
        if self.total is not None:
            return self.total
        return 40 + zlib.crc32(words.encode("utf-8", "surrogateescape")) % 160

    def results(self, words, domain, offset):
        total = self.total_for(words)
        tld = domain if domain.startswith(".") else ("." + domain if domain else ".example.org")
        base = slug(words)
        return total, [f"http://www.{base}-{i + 1}{tld}/contatti.html" for i in range(offset, min(offset + 10, total))]

    def google(self, query):
        words = query.get("q", query.get("as_q", [""]))[0]
        domain = query.get("as_sitesearch", [""])[0]
        offset = int(query.get("start", ["0"])[0] or 0)
        total, links = self.results(words, domain, offset)
        rows = "\n".join(
            f"<p class=g><a href={url}>{url[11:].split('/')[0]}</a><br><font size=-1>Pagina dei contatti</font></p>"
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
        total, links = self.results(words, domain, offset)
        rows = "\n".join(
            f"<a href=\"{url}\" onMouseOver=\"window.status='{url}'; return true;\">{url}</a><br>"
            for url in links)
        return (f"<html><head><title>AltaVista: {words}</title></head><body>\n"
                f"<font size=-1><b>AltaVista ha trovato {thousands(total, ',')} risultati</b></font>\n"
                f"{rows}\n</body></html>\n")

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

    def do_GET(self):
        url = urlsplit(self.path)
        host = (url.hostname or self.headers.get("Host", "localhost")).lower()
        query = parse_qs(url.query, keep_blank_values=True)
        engine = self.server.engine
        if host == GOOGLE and url.path == "/search":
            body = engine.google(query)
        elif host == ALTAVISTA and url.path == "/web/results":
            body = engine.altavista(query)
        else:
            body = engine.site(host, url.path)
        data = body.encode("utf-8")
        self.send_response(200)
        self.send_header("Content-Type", "text/html; charset=utf-8")
        self.send_header("Content-Length", str(len(data)))
        self.end_headers()
        self.wfile.write(data)

    def log_message(self, fmt, *args):
        if self.server.verbose:
            sys.stderr.write("stand-in: " + (fmt % args) + "\n")


def main():
    ap = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    ap.add_argument("--port", type=int, default=0, help="port to listen on (default: a free one)")
    ap.add_argument("--total", type=int, default=None, help="result total of every query")
    ap.add_argument("--site-size", type=int, default=0, help="pad site pages to about this many bytes")
    ap.add_argument("-v", "--verbose", action="store_true", help="log every request on standard error")
    args = ap.parse_args()
    server = ThreadingHTTPServer(("127.0.0.1", args.port), Handler)
    server.daemon_threads = True
    server.engine = Engine(args.total, args.site_size)
    server.verbose = args.verbose
    print(server.server_address[1], flush=True)
    try:
        server.serve_forever()
    except KeyboardInterrupt:
        pass


if __name__ == "__main__":
    main()
