"""Figures from the logs of run.py: usage: analyse.py LOGS NAME SECONDS"""
import sys, bisect
def load(path):
    rows = [l.split() for l in open(path)]
    return [(r[0], int(r[1]), int(r[2]), int(r[3]), int(r[4]) if len(r) > 4 else 0) for r in rows if len(r) >= 4]
logs, name, seconds = sys.argv[1], sys.argv[2], float(sys.argv[3])
dev = sorted(t for tag, t, n, w, b in load("%s/dev-%s.log" % (logs, name)) if tag == "dev")
app = load("%s/app-%s.log" % (logs, name))
pubs = {n: t for tag, t, n, w, b in app if tag == "pub"}
paints = [(t, n, w, b) for tag, t, n, w, b in app if tag == "paint"]
start = paints[0][0] + 8e6            # streaming for a while
end = start + seconds * 1e6
window = [p for p in paints if start <= p[0] < end]
counts = {}
for t, n, w, b in window: counts[n] = counts.get(n, 0) + 1
first = {}
for t, n, w, b in window: first.setdefault(n, t)
published = [n for n, t in pubs.items() if start <= t < end - 0.1e6]
skipped = [n for n in published if n not in counts]
twice = [n for n, c in counts.items() if c > 1]
lat = []
split = []
pubtimes = sorted((t, n) for n, t in pubs.items())
for k, d in enumerate(dev):
    nxt = dev[k + 1] if k + 1 < len(dev) else float("inf")
    i = bisect.bisect_left(pubtimes, (d, 0))
    if i < len(pubtimes) and pubtimes[i][0] < nxt and pubtimes[i][1] in first:
        lat.append((first[pubtimes[i][1]] - d) / 1000)
        split.append(((pubtimes[i][0] - d) / 1000, (first[pubtimes[i][1]] - pubtimes[i][0]) / 1000))
lat.sort()
q = lambda p: lat[min(len(lat) - 1, int(p * len(lat)))]
waits = (window[-1][2] - window[0][2]) / ((window[-1][0] - window[0][0]) / 1e6)
blocked = (window[-1][3] - window[0][3]) / ((window[-1][0] - window[0][0]) / 1e6)
devn = len([t for t in dev if start <= t < end])
print("%s: %.0f s, device FRAMEs %d, published %d, painted %d (paints %d), skipped %d, painted twice %d; "
      "worker waits/s %.0f (of them over 0.2 ms %.0f); device->painted ms p50 %.2f p90 %.2f p99 %.2f max %.2f (n=%d)"
      % (name, seconds, devn, len(published), len(counts), len(window), len(skipped), len(twice), waits, blocked,
         q(.5), q(.9), q(.99), lat[-1], len(lat)))
a = sorted(x for x, y in split); b = sorted(y for x, y in split)
r = lambda v, p: v[min(len(v) - 1, int(p * len(v)))]
print("   device->published p50 %.2f p99 %.2f; published->painted p50 %.2f p99 %.2f" % (r(a, .5), r(a, .99), r(b, .5), r(b, .99)))
