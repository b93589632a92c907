#!/usr/bin/env bash
# Configures and builds one tree (every target, or only the TARGETs named).
#   scripts/build.sh [KIND [TARGET...]]
#   scripts/build.sh            normal build in build/
#   scripts/build.sh sanitize   AddressSanitizer + UndefinedBehaviorSanitizer build in build-sanitize/
#   scripts/build.sh tsan       ThreadSanitizer build in build-tsan/
# Warnings are errors (ARCWISE_WERROR=OFF in the environment allows them).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
kind=${1:-normal}
targets=("${@:2}")
jobs=${JOBS:-$(nproc)}

case "$kind" in
  normal)   dir="$root/build";          extra=(-DCMAKE_BUILD_TYPE=RelWithDebInfo) ;;
  sanitize) dir="$root/build-sanitize"; extra=(-DCMAKE_BUILD_TYPE=Debug -DARCWISE_SANITIZE=ON -DARCWISE_BUILD_BENCH=OFF) ;;
  tsan)     dir="$root/build-tsan";     extra=(-DCMAKE_BUILD_TYPE=RelWithDebInfo -DARCWISE_TSAN=ON -DARCWISE_BUILD_BENCH=OFF) ;;
  *) echo "usage: $0 [normal|sanitize|tsan]" >&2; exit 2 ;;
esac

cmake -S "$root" -B "$dir" "${extra[@]}" -DARCWISE_WERROR="${ARCWISE_WERROR:-ON}"
cmake --build "$dir" -j "$jobs" ${targets[@]:+--target "${targets[@]}"}
