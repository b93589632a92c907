#!/usr/bin/env bash
# Hostile-archive benchmark, run by hand (not by CI):
#   bench/run_hostile.sh <build folder>
# Makes three archives in a private temporary folder (removed at the end):
# a 42.zip-shaped tree of nested archives, an overlapping-entry bomb and one
# 4 GiB entry of zeros (see hostile_archives.py), then runs
# `arcwise-dump --text` on each with the default limits and prints the wall
# time, the peak disk use of the working folder, the peak RSS and the bytes
# of output. The targets: each under 10 s, peak disk within the byte budget
# (MaxExtractedMB, 2048 MB), nothing left in the working folder. The
# registry is a private one made on the first run.
set -euo pipefail
build=${1:?usage: run_hostile.sh <build folder>}
dump="$(cd "$build" && pwd)/bin/arcwise-dump"
[[ -x "$dump" ]] || { echo "build $dump first" >&2; exit 2; }
here=$(cd "$(dirname "$0")" && pwd)

work=$(mktemp -d "${TMPDIR:-/tmp}/arcwise-hostile-XXXXXX")
trap 'rm -rf "$work"' EXIT INT TERM
export ARCWISE_REGISTRY="$work/registry.db"

echo "making archives in $work"
python3 "$here/hostile_archives.py" make "$work/archives"
ls -l "$work/archives"

for archive in nested42 overlap zeros4g; do
  echo "--- $archive.zip"
  python3 "$here/hostile_archives.py" run "$work/tmp-$archive" "$dump" --text "$work/archives/$archive.zip"
done
