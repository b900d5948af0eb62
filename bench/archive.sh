#!/usr/bin/env bash
# Archiving benchmark: the archiver component (driven by vykonar through a
# PARADOX_R task) against `zip -r -6` and `bsdtar -a -cf x.zip` on the same
# generated folder of about 500 MB, in the same run: wall time, peak memory
# (maximum resident set size) and archive size, with ratios against zip.
#
#   bench/archive.sh [build-folder] [rounds]
#
# The data lives in <build>/bench-archive (kept between runs; delete it to
# generate it again). Not part of the test suite. With ARCHIVE_ROWS=1 the
# result is printed as rows "figure|ours|baseline|ratio|target|met" for
# bench/report (bench/report.d/archive.sh).
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-$here/build}" && pwd)
rounds=${2:-3}
work="$build/bench-archive"
data="$work/data"
out="$work/out"

for tool in /usr/bin/time zip bsdtar unzip python3; do
  command -v "$tool" >/dev/null || { echo "archive.sh: $tool is missing" >&2; exit 1; }
done
[ -x "$build/runner/vykonar" ] && [ -f "$build/archiver/znx-archivace.so" ] ||
  { echo "archive.sh: build vykonar and znx-archivace in $build first" >&2; exit 1; }

if [ ! -f "$work/.generated" ]; then
  echo "generating the data in $data ..." >&2
  rm -rf "$work"
  mkdir -p "$data"
  python3 - "$data" <<'PY'
import os, random, sys
root = sys.argv[1]
rnd = random.Random(20241)
names = ["Novák", "Svoboda", "Dvořák", "Černý", "Procházka", "Kučera", "Veselý", "Horák", "Němec", "Marek"]
towns = ["Praha", "Brno", "Ostrava", "Plzeň", "Liberec", "Olomouc", "Zlín", "Kladno"]
items = ["šroub M6", "matice M6", "podložka", "hřebík 80", "kolík", "vrut 4x40", "hmoždinka"]
def chunk(seed, size):
    r = random.Random(seed)
    rows, n, i = [], 0, 0
    while n < size:
        i += 1
        row = "%08d;%s;%s;%04d-%02d-%02d;%10.2f;%s;%5d;%s\r\n" % (
            i, r.choice(names), r.choice(towns), r.randint(2015, 2024), r.randint(1, 12),
            r.randint(1, 28), r.uniform(0, 99999), r.choice(items), r.randint(0, 20000), r.choice("ABCDX"))
        rows.append(row)
        n += len(row.encode())
    return "".join(rows).encode()[:size]
chunks = [chunk(s, 4 << 20) for s in range(8)]
def table(path, mb):
    with open(path, "wb") as f:
        for k in range(mb // 4):
            f.write(chunks[rnd.randrange(len(chunks))])
def blob(path, size):
    with open(path, "wb") as f:
        left = size
        while left:
            n = min(left, 8 << 20)
            f.write(os.urandom(n))
            left -= n
os.makedirs(f"{root}/tabulky", exist_ok=True)
os.makedirs(f"{root}/prilohy", exist_ok=True)
os.makedirs(f"{root}/male", exist_ok=True)
for i in range(48):
    table(f"{root}/tabulky/T{i:03d}.DB", 4)                 # 192 MB of tables
table(f"{root}/tabulky/HLAVNI.DB", 100)                    # one large table
for i in range(40):
    blob(f"{root}/prilohy/scan{i:03d}.jpg", 1 << 20)       # 40 MB of small blobs
blob(f"{root}/prilohy/video.bin", 120 << 20)               # one large blob
for i in range(2000):
    with open(f"{root}/male/z{i:04d}.txt", "wb") as f:     # many small files
        f.write(chunks[i % 8][i * 997 % (1 << 20):][:rnd.randint(100, 20000)])
for i in range(5):
    with open(f"{root}/tabulky/T{i:03d}.LCK", "wb") as f:
        f.write(b"lock")
PY
  touch "$work/.generated"
fi
log() { [ "${ARCHIVE_ROWS:-}" = 1 ] || echo "$@"; }
log "data: $(du -sb "$data" | cut -f1) bytes in $(find "$data" -type f | wc -l) files"
find "$data" -type f -exec cat {} + >/dev/null # warm the page cache

mkdir -p "$out"
runner="$work/runner"
rm -rf "$runner"
mkdir -p "$runner"
cp "$build/runner/vykonar" "$runner/"
cp "$build/archiver/znx-archivace.so" "$runner/"
printf '[BENCH]\r\nNAME=bench\r\nTYPE=PARADOX_R\r\nSQL=BACKUP REPORT "%s" ZIP\r\nCATALOG0=%s\r\n' "$out" "$data" >"$runner/vykonar.ini"

# measure <label> <archive> <command...>: one timed run; prints
# "label wall-seconds cpu-seconds peak-kbytes size"
measure() {
  local label=$1 archive=$2
  shift 2
  rm -f "$archive"
  /usr/bin/time -v -o "$work/time.txt" "$@" >/dev/null 2>&1
  local wall cpu rss size
  wall=$(awk -F': ' '/Elapsed \(wall clock\)/ {n=split($2,p,":"); s=0; for(i=1;i<=n;i++) s=s*60+p[i]; print s}' "$work/time.txt")
  cpu=$(awk -F': ' '/User time|System time/ {s+=$2} END {print s}' "$work/time.txt")
  rss=$(awk -F': ' '/Maximum resident set size/ {print $2}' "$work/time.txt")
  size=$(stat -c %s "$archive")
  echo "$label $wall $cpu $rss $size"
}

results="$work/results.txt"
: >"$results"
for ((r = 1; r <= rounds; r++)); do
  measure component "$out/REPORT.ZIP" "$runner/vykonar" >>"$results"
  grep -q "proběhlo OK" "$runner/vykonar.log" || { echo "the component run failed:"; cat "$runner/vykonar.log"; exit 1; }
  : >"$runner/vykonar.log"
  (cd "$work" && measure zip "$out/zip.zip" zip -r -6 -q "$out/zip.zip" data) >>"$results"
  (cd "$work" && measure bsdtar "$out/bsdtar.zip" bsdtar -a -cf "$out/bsdtar.zip" data) >>"$results"
done
unzip -tq "$out/REPORT.ZIP" >/dev/null || { echo "the component's archive does not test OK" >&2; exit 1; }

if [ "${ARCHIVE_ROWS:-}" = 1 ]; then
  python3 - "$results" <<'PY'
import statistics, sys
runs = {}
for line in open(sys.argv[1]):
    label, wall, cpu, rss, size = line.split()
    runs.setdefault(label, []).append((float(wall), float(cpu), int(rss), int(size)))
w = {k: statistics.median(x[0] for x in v) for k, v in runs.items()}
peak = max(x[2] for x in runs["component"]) / 1024
size = {k: v[-1][3] for k, v in runs.items()}
yes = lambda ok: "yes" if ok else "NO"
print("archive ~500 MB: component vs zip -r -6 (s)|%.2f|%.2f|%.2f|<= 1.00|%s" % (w["component"], w["zip"], w["component"] / w["zip"], yes(w["component"] <= w["zip"])))
print("archive ~500 MB: bsdtar -a (s, for reference)|%.2f|%.2f|%.2f|-|-" % (w["bsdtar"], w["zip"], w["bsdtar"] / w["zip"]))
print("archive ~500 MB: size, component vs zip (MB)|%.1f|%.1f|%.3f|<= 1.05|%s" % (size["component"] / 1e6, size["zip"] / 1e6, size["component"] / size["zip"], yes(size["component"] <= 1.05 * size["zip"])))
print("archive ~500 MB: component peak memory (MB)|%.1f|-|-|< 64|%s" % (peak, yes(peak < 64)))
PY
  exit 0
fi

echo
echo "median of $rounds rounds (peak memory: the largest)"
printf '%-10s %9s %9s %9s %13s %10s %10s %10s\n' tool "wall s" "cpu s" "peak MB" "archive bytes" "wall/zip" "cpu/zip" "size/zip"
python3 - "$results" <<'PY'
import statistics, sys
runs = {}
for line in open(sys.argv[1]):
    label, wall, cpu, rss, size = line.split()
    runs.setdefault(label, []).append((float(wall), float(cpu), int(rss), int(size)))
med = {k: (statistics.median(x[0] for x in v), statistics.median(x[1] for x in v), max(x[2] for x in v), v[-1][3])
       for k, v in runs.items()}
zw, zc, _, zs = med["zip"]
for k in ("component", "zip", "bsdtar"):
    w, c, r, s = med[k]
    print("%-10s %9.2f %9.2f %9.1f %13d %10.2f %10.2f %10.3f" % (k, w, c, r / 1024, s, w / zw, c / zc, s / zs))
PY
