#!/bin/sh
# Extraction benchmark, run by hand (not by CI):
#   bench/run_extract.sh <build folder> [runs]
# The archives and extractions go to TMPDIR (default /tmp); TMPDIR=/dev/shm
# measures the extraction work without the disk's write-back noise.
# Makes the archives with `zip` in a private temporary folder (removed at the
# end), then times ZipDocument against `unzip -qq -o -d` on each:
#   (a) one 200 MB text file, deflated;
#   (b) 20,000 files of 4 KB in 100 folders, deflated;
# and measures the peak memory of extraction alone at 10 MB and 1 GB.
set -eu
build=${1:?usage: run_extract.sh <build folder> [runs]}
runs=${2:-5}
bench="$build/bench/arcwise_extract_bench"
[ -x "$bench" ] || { echo "build $bench first" >&2; exit 2; }

work=$(mktemp -d "${TMPDIR:-/tmp}/arcwise-bench-XXXXXX")
trap 'rm -rf "$work"' EXIT INT TERM

# Text of words, so it compresses like prose (about 3:1).
make_text() {  # make_text <file> <megabytes>
  python3 - "$1" "$2" <<'PY'
import random, sys
random.seed(7)
words = [''.join(random.choice('abcdefghijklmnopqrstuvwxyz') for _ in range(random.randint(2, 10)))
         for _ in range(5000)]
target = int(sys.argv[2]) * 1024 * 1024
with open(sys.argv[1], 'w') as out:
    written = 0
    while written < target:
        line = ' '.join(random.choice(words) for _ in range(12)) + '\n'
        out.write(line)
        written += len(line)
PY
}

echo "making archives in $work"
mkdir -p "$work/a" "$work/b" "$work/m10" "$work/m1g"
make_text "$work/a/big.txt" 200
(cd "$work/a" && zip -q ../a.zip big.txt)
python3 - "$work/b" <<'PY'
import os, random, sys
random.seed(11)
root = sys.argv[1]
for d in range(100):
    folder = os.path.join(root, 'folder%03d' % d)
    os.makedirs(folder)
    for f in range(200):
        text = ''.join(random.choice('abcdefghij klmnop\n') for _ in range(4096))
        with open(os.path.join(folder, 'file%03d.txt' % f), 'w') as out:
            out.write(text)
PY
(cd "$work/b" && zip -q -r ../b.zip .)
make_text "$work/m10/ten.txt" 10
(cd "$work/m10" && zip -q ../m10.zip ten.txt)
for i in 1 2 3 4 5; do cat "$work/a/big.txt"; done | head -c 1073741824 > "$work/m1g/one.txt"
(cd "$work/m1g" && zip -q -1 ../m1g.zip one.txt)
rm -rf "$work/a" "$work/b" "$work/m10" "$work/m1g"
ls -l "$work"/*.zip

unzip_peak() {  # peak resident memory of one unzip run, KiB
  /usr/bin/time -f "%M" -o "$work/rss" unzip -qq -o -d "$work/unzip-rss" "$1"
  rm -rf "$work/unzip-rss"
  echo "  peak RSS unzip      $(cat "$work/rss") KiB"
}

echo "--- (a) one 200 MB text file"
"$bench" "$work/a.zip" "$work/run" "$runs"
unzip_peak "$work/a.zip"
echo "--- (b) 20,000 files of 4 KB in 100 folders"
"$bench" "$work/b.zip" "$work/run" "$runs"
unzip_peak "$work/b.zip"
echo "--- peak memory of extraction alone"
"$bench" "$work/m10.zip" "$work/run" 1 --ours-only
"$bench" "$work/m1g.zip" "$work/run" 1 --ours-only
