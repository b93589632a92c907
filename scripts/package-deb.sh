#!/usr/bin/env bash
# Builds the Debian package of the tools, the modules and the platform
# library in build-deb/ (a release build of the product alone) and prints
# its path.
#   scripts/package-deb.sh
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
dir="$root/build-deb"
jobs=${JOBS:-$(nproc)}
cmake -S "$root" -B "$dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_INSTALL_PREFIX=/usr \
  -DARCWISE_BUILD_TESTS=OFF -DARCWISE_BUILD_BENCH=OFF -DARCWISE_WERROR="${ARCWISE_WERROR:-ON}" > /dev/null
cmake --build "$dir" -j "$jobs" > /dev/null
(cd "$dir" && rm -f ./*.deb && cpack -G DEB > /dev/null)
ls "$dir"/*.deb
