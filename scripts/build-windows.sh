#!/usr/bin/env bash
# Cross-builds the Windows DLLs (arcwise.dll and the two stock filter DLLs)
# with mingw-w64, for 64-bit and 32-bit Windows:
#   scripts/build-windows.sh [x86_64|i686 ...]     (default: both)
# Output: build-windows/TRIPLE/bin/*.dll. Needs the packages that
# scripts/setup.sh installs (g++-mingw-w64 with posix threads,
# libz-mingw-w64-dev, dpkg-dev for the minizip and libdeflate sources). Warnings are errors
# (ARCWISE_WERROR=OFF in the environment allows them).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
jobs=${JOBS:-$(nproc)}
arches=("$@")
[ ${#arches[@]} -gt 0 ] || arches=(x86_64 i686)

for arch in "${arches[@]}"; do
  triple=$arch-w64-mingw32
  toolchain="$root/cmake/toolchains/$triple.cmake"
  if [ ! -f "$toolchain" ]; then
    echo "build-windows: no toolchain for '$arch' (x86_64 or i686)" >&2
    exit 2
  fi
  dir="$root/build-windows/$triple"
  echo "== Windows build, $triple =="
  "$root/scripts/build-archive-libraries-mingw.sh" "$triple" "$dir/archive-libraries"
  cmake -S "$root" -B "$dir" -DCMAKE_TOOLCHAIN_FILE="$toolchain" -DCMAKE_BUILD_TYPE=Release \
    -DARCWISE_WERROR="${ARCWISE_WERROR:-ON}" -DARCWISE_ARCHIVE_LIBRARIES_ROOT="$dir/archive-libraries" \
    -DCMAKE_RUNTIME_OUTPUT_DIRECTORY="$dir/bin" >/dev/null
  cmake --build "$dir" -j "$jobs"
done
