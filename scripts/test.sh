#!/usr/bin/env bash
# The whole check, as CI runs it: installs what is missing, builds, and runs
# every test on a normal build, builds the Debian package and tries it
# installed, runs every test on an ASan+UBSan build, the threaded and
# module-unloading tests and arcwise-dump on a ThreadSanitizer build, then
# builds the Windows DLLs and tries them under Wine, and fuzzes.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
jobs=${JOBS:-$(nproc)}
# Every build this check makes treats warnings as errors.
export ARCWISE_WERROR=ON

"$root/scripts/setup.sh"

# Each step says how long it took, so the time CI spends is visible per step.
step_started=$SECONDS
step_done() {
  echo "== $1 took $((SECONDS - step_started)) s =="
  step_started=$SECONDS
}

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
step_done "normal build and tests"
echo "== Debian package =="
"$root/scripts/test-deb.sh" "$root/build"
step_done "Debian package built, installed, tried and removed"
run_suite sanitize "$root/build-sanitize"
step_done "sanitizer build and tests"

# ThreadSanitizer: only the tests that run threads or load and unload modules,
# on a build of just what they need (the whole suite under it costs more than
# it finds). Any report ends the run.
tsan_tests=(
  module_concurrent_walk_test module_module_exit_test module_class_factory_test module_file_load_test
  platform_registry_concurrency_test platform_registry_read_cache_test platform_com_apartment_test platform_com_module_test
  platform_com_class_table_test platform_debug_sync_test platform_files_share_test platform_files_lock_test
  platform_files_temp_test platform_codepage_test platform_stg_storage_test
  diagnostics_debugger_test archive_hostile_archive_test registration_self_registration_test
)
echo "== ThreadSanitizer build =="
"$root/scripts/build.sh" tsan arcwise-dump arcwise-make-sample-doc "${tsan_tests[@]}"
echo "== ThreadSanitizer tests =="
(
  export TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1 suppressions=$root/scripts/tsan.supp ${TSAN_OPTIONS:-}"
  for test in "${tsan_tests[@]}"; do
    echo "-- $test"
    timeout 600 "$(find "$root/build-tsan/tests" -type f -name "$test")" --gtest_brief=1
  done
  # The modules' exit handlers run at process exit: the tool must end with 0.
  work=$(mktemp -d)
  trap 'rm -rf "$work"' EXIT
  "$root/examples/make-sample.sh" "$root/build-tsan" "$work/sample.zip"
  for load in "" --stream; do
    ARCWISE_REGISTRY="$work/registry.db" TMPDIR="$work" \
      "$root/build-tsan/bin/arcwise-dump" $load "$work/sample.zip" > /dev/null 2> "$work/stderr" ||
      { cat "$work/stderr" >&2; exit 1; }
  done
)
step_done "ThreadSanitizer build and tests"

echo "== Windows DLLs under Wine =="
"$root/scripts/test-windows.sh" "$root/build"
step_done "Windows DLLs under Wine"

echo "== fuzzing =="
"$root/scripts/fuzz.sh" "${FUZZ_SECONDS:-30}"
step_done "fuzzing"
echo "== all tests passed (normal, sanitizer and ThreadSanitizer builds, Windows DLLs under Wine, fuzzing) =="
