#!/usr/bin/env bash
# Builds minizip for a mingw-w64 target from Debian's own source package, the
# same source that Debian's libminizip-dev is built from (Debian ships no mingw
# build of it). Nothing is fetched from anywhere but the machine's configured
# Debian archives, and nothing third-party is kept in the repository.
#   scripts/build-minizip-mingw.sh TRIPLE PREFIX
# leaves PREFIX/include/minizip/{unzip,ioapi}.h and PREFIX/lib/libminizip.a.
# A PREFIX that already holds a build of the same source version is kept.
set -euo pipefail
triple=${1:?usage: $0 TRIPLE PREFIX}
prefix=${2:?usage: $0 TRIPLE PREFIX}
package=minizip

# The version of libminizip-dev installed here (scripts/setup.sh installs it):
# the Windows DLLs then read archives with the code the Linux build links.
version=$(dpkg-query -W -f='${Version}' libminizip-dev 2>/dev/null || true)
if [ -z "$version" ]; then
  echo "build-minizip-mingw: libminizip-dev is not installed (run scripts/setup.sh)" >&2
  exit 1
fi
stamp="$prefix/.source-version"
if [ -f "$prefix/lib/libminizip.a" ] && [ "$(cat "$stamp" 2>/dev/null)" = "$package $version $triple" ]; then
  exit 0
fi

work=$(mktemp -d "${TMPDIR:-/tmp}/arcwise-minizip-XXXXXX")
trap 'rm -rf "$work"' EXIT

# A private apt configuration whose source list is the machine's own binary
# sources turned into source ones; the machine's apt set-up is left as it is.
mkdir -p "$work/apt/parts" "$work/apt/lists/partial" "$work/apt/cache/archives/partial"
: > "$work/apt/sources.list"
for list in /etc/apt/sources.list /etc/apt/sources.list.d/*.list; do
  [ -f "$list" ] || continue
  sed -n -E 's/^[[:space:]]*deb[[:space:]]/deb-src /p' "$list" >> "$work/apt/sources.list"
done
for sources in /etc/apt/sources.list.d/*.sources; do
  [ -f "$sources" ] || continue
  sed -E 's/^Types:.*/Types: deb-src/' "$sources" > "$work/apt/parts/$(basename "$sources")"
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
  echo "build-minizip-mingw: some source indexes could not be read:" >&2
  grep -E '^(E|W):' "$work/update.log" >&2 || true
fi
(cd "$work" && apt-get "${apt_options[@]}" source -qq "$package=$version" >"$work/source.log" 2>&1) || {
  echo "build-minizip-mingw: could not get the source of $package $version:" >&2
  cat "$work/source.log" >&2
  exit 1
}
src=$(find "$work" -mindepth 1 -maxdepth 1 -type d -name "$package-*" | head -n1)

# unzip.c and ioapi.c are all the reader needs: the product passes its own
# file functions, so neither the Win32 nor the zip-writing parts are built.
mkdir -p "$work/obj" "$prefix/include/minizip" "$prefix/lib"
for unit in unzip ioapi; do
  "$triple-gcc-posix" -O2 -Wall -c "$src/$unit.c" -o "$work/obj/$unit.o"
done
rm -f "$prefix/lib/libminizip.a"
"$triple-ar" rcs "$prefix/lib/libminizip.a" "$work/obj/unzip.o" "$work/obj/ioapi.o"
cp "$src/unzip.h" "$src/ioapi.h" "$prefix/include/minizip/"
echo "$package $version $triple" > "$stamp"
echo "build-minizip-mingw: built $package $version for $triple in $prefix"
