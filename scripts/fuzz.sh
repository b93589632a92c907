#!/usr/bin/env bash
# Builds the libFuzzer targets with clang in build-fuzz/ and runs the
# property-set parser fuzzer for a while, starting from a generated seed corpus.
#   scripts/fuzz.sh [seconds]     (default 30)
# Crash inputs are kept in build-fuzz/fuzz-artifacts/; the working corpus is
# temporary. Needs clang and libclang-rt (Debian: clang, libclang-rt-14-dev).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
seconds=${1:-30}
jobs=${JOBS:-$(nproc)}
dir="$root/build-fuzz"

if ! command -v clang++ >/dev/null 2>&1; then
  echo "fuzz: clang++ not found (install clang and libclang-rt-14-dev)" >&2
  exit 1
fi

CC=clang CXX=clang++ cmake -S "$root" -B "$dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DARCWISE_FUZZ=ON -DARCWISE_BUILD_BENCH=OFF >/dev/null
cmake --build "$dir" -j "$jobs" --target property_set_fuzzer property_set_seeds

work=$(mktemp -d "${TMPDIR:-/tmp}/arcwise-fuzz-XXXXXX")
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/seeds" "$work/corpus" "$dir/fuzz-artifacts"
"$dir/tests/fuzz/property_set_seeds" "$work/seeds"

echo "== property-set fuzzer, ${seconds}s =="
"$dir/tests/fuzz/property_set_fuzzer" -max_total_time="$seconds" -max_len=4096 -rss_limit_mb=2048 \
  -artifact_prefix="$dir/fuzz-artifacts/" -print_final_stats=1 "$work/corpus" "$work/seeds"
