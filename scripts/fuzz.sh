#!/usr/bin/env bash
# Builds the libFuzzer targets with clang in build-fuzz/ and runs each for a
# while, starting from a seed corpus generated for the run.
#   scripts/fuzz.sh [--keep-corpus] [seconds] [target...]     (default 30 s, all targets)
# Targets: property_set_fuzzer zip_document_fuzzer wide_format_fuzzer reg_file_fuzzer
# document_text_fuzzer.
# Crash, leak, timeout and out-of-memory inputs are kept in build-fuzz/fuzz-artifacts/.
# The working corpora are temporary; --keep-corpus keeps them in
# build-fuzz/fuzz-corpus/<target>/, FUZZ_CORPUS_DIR=<folder> in <folder>/<target>/,
# and a kept corpus is where the next run starts. The zip seeds include the
# shared third-party archives (ARCWISE_CORPUS_DIR, default ../shared/corpus
# beside the clone) when they are there. For a long run on every core,
# FUZZ_FORK=<processes> runs libFuzzer's fork mode (one campaign, one corpus,
# executions counted over all processes) and FUZZ_RUNS=<executions> ends the
# run after that many executions instead of after the given seconds.
# Needs clang and libclang-rt (Debian: clang, libclang-rt-14-dev).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
dir="$root/build-fuzz"
jobs=${JOBS:-$(nproc)}
all_targets=(property_set_fuzzer zip_document_fuzzer wide_format_fuzzer reg_file_fuzzer document_text_fuzzer)

keep=0
if [[ ${1:-} == --keep-corpus ]]; then
  keep=1
  shift
fi
seconds=${1:-30}
shift || true
targets=("$@")
[[ ${#targets[@]} -gt 0 ]] || targets=("${all_targets[@]}")

# The largest input per target: a property set, a format line or a .reg file
# of a few keys is small (and parsing time grows with the length); a zip
# needs room for its central directory behind the entries.
declare -A max_len=([property_set_fuzzer]=4096 [zip_document_fuzzer]=32768 [wide_format_fuzzer]=4096
                    [reg_file_fuzzer]=4096 [document_text_fuzzer]=32768)
declare -A seeder=([property_set_fuzzer]=property_set_seeds [zip_document_fuzzer]=zip_document_seeds
                   [wide_format_fuzzer]=wide_format_seeds [reg_file_fuzzer]=reg_file_seeds
                   [document_text_fuzzer]=document_text_seeds)
for target in "${targets[@]}"; do
  if [[ -z ${seeder[$target]:-} ]]; then
    echo "fuzz: unknown target $target (known: ${all_targets[*]})" >&2
    exit 2
  fi
done

if ! command -v clang++ >/dev/null 2>&1; then
  echo "fuzz: clang++ not found (install clang and libclang-rt-14-dev)" >&2
  exit 1
fi

build_targets=()
for target in "${targets[@]}"; do build_targets+=("$target" "${seeder[$target]}"); done
CC=clang CXX=clang++ cmake -S "$root" -B "$dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DARCWISE_FUZZ=ON -DARCWISE_BUILD_BENCH=OFF -DARCWISE_WERROR="${ARCWISE_WERROR:-ON}" >/dev/null
cmake --build "$dir" -j "$jobs" --target "${build_targets[@]}"

# Everything of the run lives on tmpfs when there is one: the zip target
# writes every input and its extraction there.
tmp_base=${TMPDIR:-/tmp}
[[ -d /dev/shm && -w /dev/shm ]] && tmp_base=/dev/shm
work=$(mktemp -d "$tmp_base/arcwise-fuzz-XXXXXX")
trap 'rm -rf "$work"' EXIT
mkdir -p "$dir/fuzz-artifacts"
corpus_root="$work/corpus"
[[ $keep == 1 ]] && corpus_root="$dir/fuzz-corpus"
[[ -n ${FUZZ_CORPUS_DIR:-} ]] && corpus_root=$FUZZ_CORPUS_DIR
shared_corpus=${ARCWISE_CORPUS_DIR:-$root/../shared/corpus}

export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
# Every input allocates and frees afresh; with AddressSanitizer's default
# quarantine of 256 MB each run touches new pages, and the targets run at
# half their speed or less. A use after free is still caught within the last
# 16 MB freed, far more than one input uses. Options given win.
asan_options="quarantine_size_mb=16${ASAN_OPTIONS:+:$ASAN_OPTIONS}"
failed=()
for target in "${targets[@]}"; do
  seeds="$work/seeds/$target"
  corpus="$corpus_root/$target"
  mkdir -p "$seeds" "$corpus" "$work/tmp/$target"
  extra=()
  [[ $target == zip_document_fuzzer ]] && extra=("$shared_corpus" "${max_len[$target]}")
  "$dir/tests/fuzz/${seeder[$target]}" "$seeds" "${extra[@]}"

  limit=(-max_total_time="$seconds")
  [[ -n ${FUZZ_RUNS:-} ]] && limit=(-runs="$FUZZ_RUNS")
  [[ -n ${FUZZ_FORK:-} ]] && limit+=(-fork="$FUZZ_FORK")
  echo "== $target, ${limit[*]} =="
  # A hang of 10 s or 2 GB of memory is a finding, like a crash.
  if ! ASAN_OPTIONS=$asan_options ARCWISE_FUZZ_TMPDIR="$work/tmp/$target" "$dir/tests/fuzz/$target" "${limit[@]}" \
      -max_len="${max_len[$target]}" -timeout=10 -rss_limit_mb=2048 -artifact_prefix="$dir/fuzz-artifacts/" \
      -print_final_stats=1 "$corpus" "$seeds"; then
    failed+=("$target")
  fi
done

if [[ ${#failed[@]} -gt 0 ]]; then
  echo "fuzz: findings in ${failed[*]}; inputs in $dir/fuzz-artifacts/" >&2
  exit 1
fi
