#!/usr/bin/env bash
# The whole check, as CI runs it: installs what is missing, builds, and runs
# every test on a normal build and on an ASan+UBSan build, then builds the
# Windows DLLs and tries them under Wine, and fuzzes.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
jobs=${JOBS:-$(nproc)}

"$root/scripts/setup.sh"

run_suite() {
  local kind=$1 dir=$2
  echo "== $kind build =="
  "$root/scripts/build.sh" "$kind"
  echo "== $kind tests =="
  (cd "$dir" && ctest --output-on-failure -j "$jobs" --timeout 600)
}

# Leaks are errors.
export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}

run_suite normal "$root/build"
run_suite sanitize "$root/build-sanitize"

echo "== Windows DLLs under Wine =="
"$root/scripts/test-windows.sh" "$root/build"

echo "== property-set parser fuzzing =="
"$root/scripts/fuzz.sh" "${FUZZ_SECONDS:-30}"
echo "== all tests passed (normal and sanitizer builds, Windows DLLs under Wine, fuzzing) =="
