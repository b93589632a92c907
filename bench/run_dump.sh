#!/usr/bin/env bash
# arcwise-dump against its peers on this machine, by hand (not by CI):
#   bench/run_dump.sh <build folder> [runs]
# Makes, in a private temporary folder removed at the end,
#   (a) one 200 MB text file in a zip,
#   (b) 20,000 text files of about 4 KB in 100 folders,
#   (c) 100,000 empty entries,
# and times, as the median of [runs] (default 3; the three commands take
# turns), with peak memory,
#   dump:  arcwise-dump --text ARCHIVE > /dev/null
#   tools: unzip -qq -d FRESH ARCHIVE; cat of every extracted file; rm -rf FRESH
#          (the same work on the same file system: extract, read, remove)
#   pipe:  unzip -p ARCHIVE > /dev/null (streaming: no file system at all)
# (b) runs twice: with the extraction folder (TMPDIR) on the disk and on
# tmpfs (/dev/shm). It prints dump/tools and dump/pipe, the CPU (user + sys)
# per small file with the file-system floor beside it (arcwise-fs-floor: the
# system calls alone that each file needs), and (d) the archives per second of
# arcwise-thread-bench walking 16 copies of a 2,000-file archive with 1, 2 and
# 4 filter objects on as many threads, against one thread (the counts take
# turns; median of at least 5 runs). The registry is a private one made on
# the first run. Needs GNU time (/usr/bin/time, Debian package "time").
set -euo pipefail
build=${1:?usage: run_dump.sh <build folder> [runs]}
runs=${2:-3}
build=$(cd "$build" && pwd)
dump="$build/bin/arcwise-dump"
threads="$build/bin/arcwise-thread-bench"
floor="$build/bin/arcwise-fs-floor"
[[ -x "$dump" ]] || { echo "build $dump first" >&2; exit 2; }
[[ -x /usr/bin/time ]] || { echo "GNU time measures the memory: apt-get install time" >&2; exit 2; }

work=$(mktemp -d "${TMPDIR:-/tmp}/arcwise-dump-bench-XXXXXX")
shm=""
if [[ -d /dev/shm ]] && [[ "$(stat -f -c %T /dev/shm)" == tmpfs ]]; then
  shm=$(mktemp -d /dev/shm/arcwise-dump-bench-XXXXXX)
fi
trap 'rm -rf "$work" ${shm:+"$shm"}' EXIT INT TERM
export ARCWISE_REGISTRY="$work/registry.db"
mkdir -p "$work/tmp"

echo "making archives in $work"
python3 - "$work" <<'PY'
import os, random, sys, zipfile
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
with zipfile.ZipFile(f'{work}/c.zip', 'w') as z:
    for i in range(100000):
        z.writestr(f'empty{i:06d}.txt', b'')
# (d): 2,000 of the small files in 20 folders, one archive per copy.
with zipfile.ZipFile(f'{work}/d.zip', 'w', zipfile.ZIP_DEFLATED) as z:
    for d in range(20):
        for i in range(100):
            z.write(f'{work}/b/folder{d:03d}/file{i:03d}.txt', f'folder{d:02d}/file{i:03d}.txt')
PY
(cd "$work/a" && zip -qr ../a.zip big.txt)
(cd "$work/b" && zip -qr ../b.zip .)
ls -l "$work"/*.zip

# Warm-up (first-run registration, page cache), and a check that the dump
# does the same work: its text is the file's text, then the entry name.
TMPDIR="$work/tmp" "$dump" --text "$work/a.zip" > "$work/a.out"
{ cat "$work/a/big.txt"; printf '\nbig.txt\n'; } | cmp -s - "$work/a.out" ||
  { echo "arcwise-dump --text does not reproduce big.txt" >&2; exit 1; }
rm -f "$work/a.out"
cat "$work"/*.zip > /dev/null

python3 - "$work" "$shm" "$dump" "$threads" "$runs" "$floor" <<'PY'
import os, statistics, subprocess, sys, time
work, shm, dump, threads, runs = sys.argv[1], sys.argv[2], sys.argv[3], sys.argv[4], int(sys.argv[5])
floor = sys.argv[6]

def measure(cmd, tmp):
    """Wall time, CPU (user + sys) and peak RSS in KB (largest of the command's
    processes) of one shell command run with TMPDIR=tmp. GNU time measures the
    memory: a process keeps the high-water mark of the process it was forked
    from, so this Python's own size would show instead."""
    out = f'{work}/time'
    env = dict(os.environ, TMPDIR=tmp)
    start = time.perf_counter()
    status = subprocess.call(['/usr/bin/time', '-f', '%U %S %M', '-o', out, 'bash', '-c', cmd], env=env)
    elapsed = time.perf_counter() - start
    if status != 0:
        sys.exit(f'failed: {cmd}')
    with open(out) as f:
        user, system, rss = f.read().split()[-3:]
    return elapsed, float(user) + float(system), int(rss)

def interleaved_medians(archive, tmp):
    """dump, tools and pipe take turns, run by run, so that a busy spell on a
    shared machine falls on all three alike: (dump s, dump CPU, dump peak KB,
    tools s, pipe s), medians of the runs."""
    dump_runs, tool_runs, pipe_runs = [], [], []
    for _ in range(runs):
        dump_runs.append(measure(f'{dump} --text {archive} > /dev/null', tmp))
        tool_runs.append(measure(tools(archive, tmp), tmp))
        pipe_runs.append(measure(f'unzip -p {archive} > /dev/null', tmp))
    return (statistics.median(r[0] for r in dump_runs), statistics.median(r[1] for r in dump_runs),
            max(r[2] for r in dump_runs), statistics.median(r[0] for r in tool_runs),
            statistics.median(r[0] for r in pipe_runs))

def tools(archive, where):
    fresh = f'{where}/fresh'
    return (f'unzip -qq -d {fresh} {archive} && find {fresh} -type f -exec cat {{}} + > /dev/null '
            f'&& rm -rf {fresh}')

print(f'\nmedian of {runs} runs; CPU = user + sys; peak RSS in MB (largest process)')
print(f'{"case":<34}{"dump s":>8}{"tools s":>9}{"pipe s":>8}{"dump/tools":>11}{"dump/pipe":>10}'
      f'{"dump CPU":>9}{"dump MB":>8}')
disk_tmp = f'{work}/tmp'
cases = [('(a) 200 MB text file, disk', 'a', disk_tmp),
         ('(b) 20,000 x 4 KB, disk', 'b', disk_tmp)]
if shm:
    os.makedirs(f'{shm}/tmp', exist_ok=True)
    cases.append(('(b) 20,000 x 4 KB, tmpfs', 'b', f'{shm}/tmp'))
else:
    print('(no tmpfs at /dev/shm: the tmpfs row is left out)')
cases.append(('(c) 100,000 empty entries, disk', 'c', disk_tmp))
per_file = {}
for name, key, tmp in cases:
    archive = f'{work}/{key}.zip'
    d, dcpu, dm, t, p = interleaved_medians(archive, tmp)
    print(f'{name:<34}{d:8.2f}{t:9.2f}{p:8.2f}{d / t:11.2f}{d / p:10.2f}{dcpu:9.2f}{dm / 1024:8.1f}')
    if key == 'b':
        per_file[name] = (dcpu / 20000 * 1e6, tmp, p)
for name, (us, tmp, pipe) in per_file.items():
    print(f'CPU per small file, {name[4:]}: {us:.0f} us')
    # What no code of ours can remove: the system calls alone that each
    # extracted and filtered file needs.
    if os.access(floor, os.X_OK):
        f = statistics.median(measure(f'{floor} {tmp}/floor 20000 4150', tmp)[0] for _ in range(runs))
        print(f'  file-system floor (arcwise-fs-floor, the same calls alone): {f:.2f} s, {f / pipe:.2f}x pipe')

if os.access(threads, os.X_OK):
    copies = 16
    archives = ' '.join([f'{work}/d.zip'] * copies)
    tmp = f'{shm}/tmp' if shm else disk_tmp
    print(f'\n(d) arcwise-thread-bench, {copies} walks of a 2,000-file archive, TMPDIR on '
          f'{"tmpfs" if shm else "disk"}')
    # The thread counts take turns, run by run, so that a noisy spell on a
    # shared machine falls on all of them alike; the figure is each one's
    # median of max(runs, 5).
    counts = (1, 2, 4)
    timed = {n: [] for n in counts}
    for _ in range(max(runs, 5)):
        for n in counts:
            timed[n].append(measure(f'{threads} --threads {n} {archives} > /dev/null', tmp))
    base = None
    for n in counts:
        w = statistics.median(r[0] for r in timed[n])
        cpu = statistics.median(r[1] for r in timed[n])
        rate = copies / w
        base = base or rate
        print(f'  {n} thread{"s" if n > 1 else " "}: {w:6.2f} s, {rate:6.2f} archives/s, CPU {cpu:6.2f} s, '
              f'{rate / base:4.2f}x one thread')
else:
    print(f'\n(d) left out: build {threads} first')
PY
