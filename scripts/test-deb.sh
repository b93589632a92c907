#!/usr/bin/env bash
# Builds the Debian package, installs it with dpkg -i, runs the installed
# arcwise-dump on the sample archive and on a .jar bound by the installed
# zip-containers.reg, and removes the package again.
#   scripts/test-deb.sh [BUILD_DIR]
# BUILD_DIR (default build/) provides the sample's generator. Needs root or
# sudo; a machine that already has the package installed keeps it, and the
# check is skipped.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build}
package=quillmark-arcwise

SUDO=""
if [ "$(id -u)" -ne 0 ]; then
  if sudo -n true 2>/dev/null; then SUDO="sudo -n"; else
    echo "test-deb: skipped: installing a package needs root or password-less sudo"; exit 0
  fi
fi
if dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed"; then
  echo "test-deb: skipped: $package is already installed here and is left as it is"; exit 0
fi

deb=$("$root/scripts/package-deb.sh" | tail -1)
echo "test-deb: installing $deb"
work=$(mktemp -d)
cleanup() {
  $SUDO dpkg --purge "$package" > /dev/null 2>&1 || true
  rm -rf "$work"
}
trap cleanup EXIT
$SUDO dpkg -i "$deb" > "$work/dpkg.log" 2>&1 || { cat "$work/dpkg.log" >&2; exit 1; }

export ARCWISE_REGISTRY="$work/registry.db" TMPDIR="$work"
"$root/examples/make-sample.sh" "$build" "$work/sample.zip" > /dev/null
/usr/bin/arcwise-dump --text "$work/sample.zip" > "$work/out.txt" 2> "$work/err.txt"
for want in "Welcome to the Arcwise sample archive." "swordfish" "Minutes: the budget" "All milestones are on track"; do
  grep -qF "$want" "$work/out.txt" || { echo "test-deb: '$want' missing from the installed dump:" >&2; cat "$work/out.txt" "$work/err.txt" >&2; exit 1; }
done
# The first run registered the installed modules, not those of a build tree.
grep -q "registered /usr/lib/.*/quillmark-arcwise/libarcwise.so" "$work/err.txt" ||
  { echo "test-deb: the first run did not register the installed modules:" >&2; cat "$work/err.txt" >&2; exit 1; }

/usr/bin/arcwise-reg import /usr/share/quillmark-arcwise/zip-containers.reg > /dev/null
mkdir -p "$work/jar/META-INF"
printf 'Main-Class: org.example.Installed\n' > "$work/jar/META-INF/MANIFEST.MF"
(cd "$work/jar" && zip -qrX "$work/app.jar" META-INF)
/usr/bin/arcwise-dump --text "$work/app.jar" | grep -qF "Main-Class: org.example.Installed" ||
  { echo "test-deb: the installed .jar binding gave no text" >&2; exit 1; }
echo "test-deb: the installed package works; removing it"
