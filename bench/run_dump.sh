#!/usr/bin/env bash
# arcwise-dump benchmark, run by hand (not by CI):
#   bench/run_dump.sh <build folder> [runs]
# Makes two archives with `zip` in a private temporary folder (removed at the
# end): (a) one 200 MB text file, (b) 20,000 text files of about 4 KB in 100
# folders; then, in the same run, times and measures the peak memory of
#   dump:  arcwise-dump --text ARCHIVE > /dev/null
#   tools: unzip -qq -d FRESH ARCHIVE; cat of every extracted file; rm -rf FRESH
#   pipe:  unzip -p ARCHIVE > /dev/null              (no disk, for reference)
# reporting the median of [runs] (default 3) and the ratios dump/tools and
# dump/pipe. Then the per-file costs: arcwise-dump on the 20,000 files
# unpacked (one LoadIFilter, registry look-up and Init per file) against cat,
# and the start-up cost (process, registry, loading the modules) of one run
# on one small file. The registry is a private one made on the first run.
# Needs GNU time (/usr/bin/time, Debian package "time") for peak memory.
set -euo pipefail
build=${1:?usage: run_dump.sh <build folder> [runs]}
runs=${2:-3}
dump="$(cd "$build" && pwd)/bin/arcwise-dump"
[[ -x "$dump" ]] || { echo "build $dump first" >&2; exit 2; }
[[ -x /usr/bin/time ]] || { echo "GNU time measures the memory: apt-get install time" >&2; exit 2; }

work=$(mktemp -d "${TMPDIR:-/tmp}/arcwise-dump-bench-XXXXXX")
trap 'rm -rf "$work"' EXIT INT TERM
export ARCWISE_REGISTRY="$work/registry.db"
export TMPDIR="$work/tmp"
mkdir -p "$TMPDIR"

echo "making archives in $work"
python3 - "$work" <<'PY'
import os, random, sys
random.seed(7)
work = sys.argv[1]
words = [''.join(random.choice('abcdefghijklmnopqrstuvwxyz') for _ in range(random.randint(2, 10)))
         for _ in range(5000)]
def text(size):
    out, n = [], 0
    while n < size:
        line = ' '.join(random.choice(words) for _ in range(12)) + '\n'
        out.append(line); n += len(line)
    return ''.join(out)
os.makedirs(f'{work}/a')
block = text(1 << 20)
with open(f'{work}/a/big.txt', 'w') as f:
    for i in range(200):
        f.write(block)
for d in range(100):
    folder = f'{work}/b/folder{d:03d}'
    os.makedirs(folder)
    for i in range(200):
        with open(f'{folder}/file{i:03d}.txt', 'w') as f:
            f.write(text(4096))
PY
(cd "$work/a" && zip -qr ../a.zip big.txt)
(cd "$work/b" && zip -qr ../b.zip .)
ls -l "$work/a.zip" "$work/b.zip"

# Warm-up (first-run registration, page cache), and a check that the dump
# does the same work: its text is the file's text, then the entry name.
"$dump" --text "$work/a.zip" > "$work/a.out"
{ cat "$work/a/big.txt"; printf '\nbig.txt\n'; } | cmp -s - "$work/a.out" ||
  { echo "arcwise-dump --text does not reproduce big.txt" >&2; exit 1; }
rm -f "$work/a.out"
cat "$work/a.zip" "$work/b.zip" > /dev/null

python3 - "$work" "$dump" "$runs" <<'PY'
import os, statistics, subprocess, sys, time
work, dump, runs = sys.argv[1], sys.argv[2], int(sys.argv[3])

def measure(cmd):
    """Wall time and peak RSS in KB (largest of the command's processes) of one shell command.
    GNU time measures the memory: a process keeps the high-water mark of the
    process it was forked from, so this Python's own size would show instead."""
    rss_file = f'{work}/rss'
    start = time.perf_counter()
    status = subprocess.call(['/usr/bin/time', '-f', '%M', '-o', rss_file, 'bash', '-c', cmd])
    elapsed = time.perf_counter() - start
    if status != 0:
        sys.exit(f'failed: {cmd}')
    with open(rss_file) as f:
        return elapsed, int(f.read().split()[-1])

def median_of(cmd):
    results = [measure(cmd) for _ in range(runs)]
    return statistics.median(r[0] for r in results), max(r[1] for r in results)

def tools(archive):
    fresh = f'{work}/fresh'
    return (f'unzip -qq -d {fresh} {archive} && find {fresh} -type f -exec cat {{}} + > /dev/null '
            f'&& rm -rf {fresh}')

print(f'\nmedian of {runs} runs; peak RSS in MB (largest process)')
print(f'{"case":<28}{"dump s":>9}{"tools s":>9}{"pipe s":>9}{"dump/tools":>12}{"dump/pipe":>11}'
      f'{"dump MB":>9}{"tools MB":>9}')
for name, archive in (('(a) 200 MB text file', f'{work}/a.zip'),
                      ('(b) 20,000 files/100 dirs', f'{work}/b.zip')):
    d, dm = median_of(f'{dump} --text {archive} > /dev/null')
    t, tm = median_of(tools(archive))
    p, _ = median_of(f'unzip -p {archive} > /dev/null')
    print(f'{name:<28}{d:9.2f}{t:9.2f}{p:9.2f}{d / t:12.2f}{d / p:11.2f}{dm / 1024:9.1f}{tm / 1024:9.1f}')

# Per-file costs: the same 20,000 files, unpacked, each given to arcwise-dump
# (LoadIFilter: extension -> handler -> class look-ups, CoCreateInstance,
# Load, Init, chunks) against cat of the same files.
files_root = f'{work}/b'
with open(f'{work}/list', 'w') as f:
    for folder in sorted(os.listdir(files_root)):
        for name in sorted(os.listdir(f'{files_root}/{folder}')):
            f.write(f'{files_root}/{folder}/{name}\n')
d, _ = median_of(f'xargs -a {work}/list {dump} --text > /dev/null')
c, _ = median_of(f'xargs -a {work}/list cat > /dev/null')
print(f'\nper file, 20,000 loose files: arcwise-dump {d:.2f} s, cat {c:.2f} s -> '
      f'{(d - c) / 20000 * 1e6:.0f} us per file for look-up, load, Init and walk')
small = f'{files_root}/folder000/file000.txt'
s, _ = median_of(f'for i in $(seq 20); do {dump} --text {small} > /dev/null; done')
_, small_rss = median_of(f'{dump} --text {small} > /dev/null')
h, _ = median_of(f'for i in $(seq 20); do {dump} --help > /dev/null; done')
print(f'start-up: one small file {s / 20 * 1000:.1f} ms per process, --help {h / 20 * 1000:.1f} ms '
      f'-> {(s - h) / 20 * 1000:.1f} ms for COM, the registry and loading the modules once; '
      f'peak RSS {small_rss / 1024:.1f} MB')
PY
