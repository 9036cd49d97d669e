#!/usr/bin/env bash
# corvina-cli reading and writing speed, run by hand (make bench):
#  1. scan over a 100 MB real-text corpus (the licence texts and manual pages
#     of this machine, with an address every 4 KiB);
#  2. links over a 10 MB result page.
# For each: the best of five runs, as MB/s of wall time and of CPU time (user
# + system), output to /dev/null. The CPU figure is the steadier one on a
# shared machine. SIZE_MB changes the corpus size.
set -euo pipefail
BUILD=${BUILD:-build}
CLI=$BUILD/src/cli/corvina-cli
SIZE_MB=${SIZE_MB:-100}
[ -x "$CLI" ] || { echo "build first: $CLI missing" >&2; exit 1; }

work=$(mktemp -d /tmp/corvina-bench-XXXXXX)
trap 'rm -rf "$work"' EXIT

/usr/bin/python3 - "$work" "$SIZE_MB" <<'PY'
import glob, gzip, os, random, sys
work, size = sys.argv[1], int(sys.argv[2]) << 20
rng = random.Random(7)
texts = [open(p, 'rb').read() for p in sorted(glob.glob('/usr/share/common-licenses/*')) if os.path.isfile(p)]
total = sum(map(len, texts))
for p in sorted(glob.glob('/usr/share/man/man*/*.gz')):
    if total > size:
        break
    try:
        t = gzip.open(p).read()
    except Exception:
        continue
    texts.append(t)
    total += len(t)
if total == 0:
    sys.exit('no licence texts or manual pages to build the corpus from')
words = [w for w in b' '.join(texts[:40]).split() if w.isalpha()][:50000] or [b'corvina']
with open(os.path.join(work, 'corpus.txt'), 'wb') as f:
    n = 0
    while n < size:
        for t in texts:
            if n >= size:
                break
            chunk = bytearray()
            for i in range(0, len(t), 4096):
                chunk += t[i:i + 4096]
                chunk += b' <%s.%d@mail%d.example.org> ' % (rng.choice(words)[:12].lower(), rng.randrange(1000),
                                                            rng.randrange(100))
            chunk = chunk[:size - n]
            f.write(chunk)
            n += len(chunk)
# Result pages: the engine's own links, then ten results each with a marked
# link, a title, a snippet and a cached-copy link.
W = lambda: rng.choice(words).decode('latin-1')
out, n = [], 0
while n < 10 << 20:
    p = ['<html><head><title>Risultati</title></head><body>\n<table width=100%><tr><td>'
         '<a href=http://www.google.com/preferences?hl=it>Preferenze</a> '
         '<a href=http://images.google.it/images?q=x>Immagini</a></td></tr></table>\n']
    for r in range(10):
        host = 'www.%s%d.it' % (W().lower(), rng.randrange(1000))
        url = 'http://%s/%s%s' % (host, W(), rng.choice(['.html', '.htm', '.php?id=12&p=3', '/', '.pdf', '.txt']))
        p.append('<p class=g><a href=%s><b>%s</b> %s</a><br><font size=-1>%s<br><font color=green>%s/ - 12k</font>'
                 ' - <a href=http://www.google.com/search?q=cache:%s>Copia cache</a></font></p>\n'
                 % (url, W(), W(), ' '.join(W() for _ in range(30)), host, host))
    p.append('</body></html>\n')
    s = ''.join(p).encode('latin-1')
    out.append(s)
    n += len(s)
open(os.path.join(work, 'page.html'), 'wb').write(b''.join(out)[:10 << 20])
PY

# measure NAME FILE COMMAND...: best of five runs.
measure() {
  local name=$1 file=$2
  shift 2
  /usr/bin/python3 - "$name" "$file" "$@" <<'PY'
import os, resource, subprocess, sys, time
name, file, cmd = sys.argv[1], sys.argv[2], sys.argv[3:]
size = os.path.getsize(file)
subprocess.run(cmd, stdout=subprocess.DEVNULL, check=True)  # warm the page cache
best_wall = best_cpu = None
for _ in range(5):
    before = resource.getrusage(resource.RUSAGE_CHILDREN)
    t = time.perf_counter()
    subprocess.run(cmd, stdout=subprocess.DEVNULL, check=True)
    wall = time.perf_counter() - t
    after = resource.getrusage(resource.RUSAGE_CHILDREN)
    cpu = (after.ru_utime - before.ru_utime) + (after.ru_stime - before.ru_stime)
    best_wall = wall if best_wall is None else min(best_wall, wall)
    best_cpu = cpu if best_cpu is None else min(best_cpu, cpu)
mb = size / 1e6
print('%-6s %6.1f MB: wall %7.1f ms = %6.0f MB/s, CPU %7.1f ms = %6.0f MB/s (target >= 1000)'
      % (name, mb, best_wall * 1e3, mb / best_wall, best_cpu * 1e3, mb / max(best_cpu, 1e-6)))
PY
}

found=$("$CLI" scan "$work/corpus.txt" | wc -l)
links=$("$CLI" links --engine google "$work/page.html" | wc -l)
echo "corpus: $found addresses; result page: $links links"
measure scan "$work/corpus.txt" "$CLI" scan "$work/corpus.txt"
measure links "$work/page.html" "$CLI" links --engine google "$work/page.html"
# The same corpus through a pipe, as in "fetch | scan" (cat's own time counted).
measure "cat|scan" "$work/corpus.txt" sh -c 'cat "$1" | "$0" scan' "$CLI" "$work/corpus.txt"
