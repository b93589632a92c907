#!/usr/bin/env bash
# Installs the Debian packages the build, the tests and the tools need.
# Safe to run again: it only installs what is missing.
set -euo pipefail

packages=(
  build-essential cmake pkg-config
  zlib1g-dev libminizip-dev libdeflate-dev libsqlite3-dev libgsf-1-dev libglib2.0-dev
  googletest libgtest-dev libgmock-dev libbenchmark-dev
  attr zip unzip
  clang libclang-rt-14-dev time python3
  # arcwise-dump's JSON Lines (header-only).
  nlohmann-json3-dev
  # The stock document filters: HTML and the XML of Office/OpenDocument
  # packages, PDF; dpkg-deb checks the package cpack makes.
  libxml2-dev libpoppler-cpp-dev dpkg
  # The Windows DLLs: cross compilers with posix threads, zlib for mingw,
  # dpkg-dev to unpack minizip's Debian source, and Wine to try them.
  g++-mingw-w64-x86-64-posix g++-mingw-w64-i686-posix libz-mingw-w64-dev dpkg-dev wine wine64
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  echo "setup: all packages present"
  exit 0
fi

echo "setup: installing ${missing[*]}"
SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -qq
$SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
