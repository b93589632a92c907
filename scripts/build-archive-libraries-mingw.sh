#!/usr/bin/env bash
# Builds the archive reader's libraries, minizip and libdeflate, for a
# mingw-w64 target from Debian's own source packages, the same sources that
# Debian's libminizip-dev and libdeflate-dev are built from (Debian ships no
# mingw build of either). Nothing is fetched from anywhere but the machine's
# configured Debian archives, and nothing third-party is kept in the
# repository.
#   scripts/build-archive-libraries-mingw.sh TRIPLE PREFIX
# leaves PREFIX/include/minizip/{unzip,ioapi}.h, PREFIX/include/libdeflate.h,
# PREFIX/lib/libminizip.a and PREFIX/lib/libdeflate.a. A PREFIX that already
# holds a build of the same source versions is kept.
set -euo pipefail
triple=${1:?usage: $0 TRIPLE PREFIX}
prefix=${2:?usage: $0 TRIPLE PREFIX}
name=build-archive-libraries-mingw

# The versions installed here (scripts/setup.sh installs them): the Windows
# DLLs then read archives with the code the Linux build links.
sources=()
for pair in minizip:libminizip-dev libdeflate:libdeflate-dev; do
  package=${pair%%:*}
  dev=${pair#*:}
  version=$(dpkg-query -W -f='${Version}' "$dev" 2>/dev/null || true)
  if [ -z "$version" ]; then
    echo "$name: $dev is not installed (run scripts/setup.sh)" >&2
    exit 1
  fi
  sources+=("$package=$version")
done
stamp="$prefix/.source-version"
if [ -f "$prefix/lib/libminizip.a" ] && [ -f "$prefix/lib/libdeflate.a" ] &&
  [ "$(cat "$stamp" 2>/dev/null)" = "${sources[*]} $triple" ]; then
  exit 0
fi

work=$(mktemp -d "${TMPDIR:-/tmp}/arcwise-archive-libraries-XXXXXX")
trap 'rm -rf "$work"' EXIT

# A private apt configuration whose source list is the machine's own binary
# sources turned into source ones; the machine's apt set-up is left as it is.
mkdir -p "$work/apt/parts" "$work/apt/lists/partial" "$work/apt/cache/archives/partial"
: > "$work/apt/sources.list"
for list in /etc/apt/sources.list /etc/apt/sources.list.d/*.list; do
  [ -f "$list" ] || continue
  sed -n -E 's/^[[:space:]]*deb[[:space:]]/deb-src /p' "$list" >> "$work/apt/sources.list"
done
for part in /etc/apt/sources.list.d/*.sources; do
  [ -f "$part" ] || continue
  sed -E 's/^Types:.*/Types: deb-src/' "$part" > "$work/apt/parts/$(basename "$part")"
done
apt_options=(
  -o "Dir::Etc::SourceList=$work/apt/sources.list"
  -o "Dir::Etc::SourceParts=$work/apt/parts"
  -o "Dir::State::Lists=$work/apt/lists"
  -o "Dir::Cache=$work/apt/cache"
  -o "APT::Sandbox::User=root"
)
if ! apt-get "${apt_options[@]}" update -qq >"$work/update.log" 2>&1; then
  # A third-party archive without sources is no reason to stop, as long as
  # Debian's own source index arrived; apt-get source says so if it did not.
  echo "$name: some source indexes could not be read:" >&2
  grep -E '^(E|W):' "$work/update.log" >&2 || true
fi
for source in "${sources[@]}"; do
  (cd "$work" && apt-get "${apt_options[@]}" source -qq "$source" >"$work/source.log" 2>&1) || {
    echo "$name: could not get the source of $source:" >&2
    cat "$work/source.log" >&2
    exit 1
  }
done
minizip=$(find "$work" -mindepth 1 -maxdepth 1 -type d -name "minizip-*" | head -n1)
libdeflate=$(find "$work" -mindepth 1 -maxdepth 1 -type d -name "libdeflate-*" | head -n1)
mkdir -p "$work/obj" "$prefix/include/minizip" "$prefix/lib"

# unzip.c and ioapi.c are all the reader needs: the product passes its own
# file functions, so neither the Win32 nor the zip-writing parts are built.
for unit in unzip ioapi; do
  "$triple-gcc-posix" -O2 -Wall -c "$minizip/$unit.c" -o "$work/obj/minizip-$unit.o"
done
rm -f "$prefix/lib/libminizip.a"
"$triple-ar" rcs "$prefix/lib/libminizip.a" "$work/obj"/minizip-*.o
cp "$minizip/unzip.h" "$minizip/ioapi.h" "$prefix/include/minizip/"

# Of libdeflate, the inflater and the CRC-32 with what they share: no
# compressor. The x86 unit picks the CPU's fast paths at run time.
for unit in deflate_decompress crc32 utils x86/cpu_features; do
  "$triple-gcc-posix" -O2 -Wall -I"$libdeflate" -c "$libdeflate/lib/$unit.c" \
    -o "$work/obj/libdeflate-${unit//\//-}.o"
done
rm -f "$prefix/lib/libdeflate.a"
"$triple-ar" rcs "$prefix/lib/libdeflate.a" "$work/obj"/libdeflate-*.o
cp "$libdeflate/libdeflate.h" "$prefix/include/"
echo "${sources[*]} $triple" > "$stamp"
echo "$name: built ${sources[*]} for $triple in $prefix"
