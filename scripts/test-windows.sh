#!/usr/bin/env bash
# The Windows half of the check: builds the DLLs for x86_64 and i686, checks
# their exports and imports, and tries the 64-bit ones under Wine on a fresh
# prefix, against what the Linux build does with the same input:
#   - regsvr32 registers each DLL, and the rows are the Linux build's;
#   - a host built against the real SDK walks a sample archive by path and
#     by stream; the chunks are the Linux build's (tests/windows/compare_walk.py);
#   - the log (DebugMode 3, OutputMode 2) is a qmk*.log with CR LF lines;
#   - nothing but the log is left in the working folder (no extraction folder,
#     stream copy, lock file or write probe);
#   - regsvr32 /u removes every row again.
# 32-bit DLLs are built and checked, not run: Wine runs 64-bit programs here.
#   scripts/test-windows.sh [LINUX_BUILD_DIR]     (default build/, which must be built)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
linux_build=${1:-$root/build}
started=$(date +%s)

for tool in arcwise-dump arcwise-reg arcwise-regsvr arcwise-make-sample-doc; do
  if [ ! -x "$linux_build/bin/$tool" ]; then
    echo "test-windows: $linux_build/bin/$tool is missing; build Linux first (scripts/build.sh)" >&2
    exit 1
  fi
done

"$root/scripts/build-windows.sh" x86_64 i686

echo "== Windows DLLs: format, exports, imports =="
for arch in x86_64 i686; do
  for dll in "$root/build-windows/$arch-w64-mingw32/bin/"*.dll; do
    python3 "$root/tests/windows/check_dll.py" "$arch-w64-mingw32" "$dll"
  done
done

work=$(mktemp -d "${TMPDIR:-/tmp}/arcwise-wine-XXXXXX")
export WINEPREFIX="$work/prefix"
cleanup() {
  wineserver -k >/dev/null 2>&1 || true
  rm -rf "$work"
}
trap cleanup EXIT

echo "== the Linux build's rows and walk, the expectation =="
linux_modules=("$linux_build/module/libarcwise.so" "$linux_build/filters/text/libarcwise-text-filter.so"
               "$linux_build/filters/compound/libarcwise-compound-filter.so")
(
  export ARCWISE_REGISTRY="$work/linux.db"
  for module in "${linux_modules[@]}"; do "$linux_build/bin/arcwise-regsvr" /s "$module"; done
  "$linux_build/bin/arcwise-reg" export 'HKLM\SOFTWARE\Classes' "$work/linux.reg" >/dev/null
  "$root/examples/make-sample.sh" "$linux_build" "$work/sample.zip" >/dev/null
  "$linux_build/bin/arcwise-dump" --json --no-register "$work/sample.zip" > "$work/linux-walk.jsonl"
)

echo "== the smoke host and the LoadIFilter stand-in =="
mingw=x86_64-w64-mingw32-g++-posix
flags=(-std=c++20 -O2 -Wall -Wextra -Werror -static)
"$mingw" "${flags[@]}" -municode -o "$work/smoke_host.exe" "$root/tests/windows/smoke_host.cpp" -lole32 -luuid
"$mingw" "${flags[@]}" -shared -o "$work/query.dll" "$root/tests/windows/query_standin.cpp" \
  "$root/tests/windows/query_standin.def" -lole32 -luuid -lshlwapi -ladvapi32

echo "== Wine: a fresh prefix =="
export WINEDEBUG=-all
# No Mono or Gecko: nothing here needs them, and their installers would ask;
# no menu builder, which would write desktop entries into the user's home.
base_overrides="mscoree,mshtml=;winemenubuilder.exe=d"
WINEDLLOVERRIDES=$base_overrides wineboot --init >"$work/wineboot.log" 2>&1 || {
  cat "$work/wineboot.log" >&2
  exit 1
}
drive="$WINEPREFIX/drive_c"
mkdir -p "$drive/arcwise" "$drive/arcwise-temp"
cp "$root/build-windows/x86_64-w64-mingw32/bin/"*.dll "$work/query.dll" "$work/smoke_host.exe" \
   "$work/sample.zip" "$drive/arcwise/"
# The stand-in is loaded only where asked for: the smoke host gets it, the
# registration runs get Wine's own query.dll.
with_system_query="$base_overrides;query=b"
with_standin_query="$base_overrides;query=n"

printf 'Windows Registry Editor Version 5.00\r\n\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Quillmark\\Arcwise]\r\n"DebugMode"=dword:00000003\r\n"OutputMode"=dword:00000002\r\n"TempPath"="C:\\\\arcwise-temp\\\\"\r\n' \
  > "$drive/settings.reg"
if ! WINEDLLOVERRIDES=$base_overrides wine reg import 'C:\settings.reg' >/dev/null 2>&1; then
  echo "test-windows: Wine's reg.exe could not import the product settings" >&2
  exit 1
fi

dlls=(arcwise.dll arcwise-text-filter.dll arcwise-compound-filter.dll)
export_classes() {
  rm -f "$drive/classes.reg"
  WINEDLLOVERRIDES=$base_overrides wine reg export 'HKLM\Software\Classes' 'C:\classes.reg' /y >/dev/null 2>&1
  cp "$drive/classes.reg" "$1"
}

echo "== Wine: regsvr32 =="
for dll in "${dlls[@]}"; do
  if ! WINEDLLOVERRIDES=$with_system_query wine regsvr32 /s "C:\\arcwise\\$dll" >/dev/null 2>&1; then
    echo "test-windows: regsvr32 $dll failed" >&2
    exit 1
  fi
done
export_classes "$work/wine-registered.reg"
python3 "$root/tests/windows/compare_registry.py" "$work/linux.reg" "$work/wine-registered.reg"

echo "== Wine: the smoke host walks the sample by path and by stream =="
if ! (cd "$drive/arcwise" && WINEDLLOVERRIDES=$with_standin_query \
      wine smoke_host.exe 'C:\arcwise\sample.zip' > "$work/wine-walk.jsonl" 2>"$work/smoke.err"); then
  grep -v '^wine: \|wine32\|multiarch\|dpkg --add-architecture\|apt-get install' "$work/smoke.err" >&2 || true
  echo "test-windows: the smoke host failed" >&2
  exit 1
fi
python3 "$root/tests/windows/compare_walk.py" "$work/linux-walk.jsonl" "$work/wine-walk.jsonl"

echo "== Wine: the log and the working folder =="
logs=("$drive/arcwise-temp/"qmk*.log)
if [ ! -f "${logs[0]}" ]; then
  echo "test-windows: no qmk*.log in the TempPath folder" >&2
  exit 1
fi
walk_log=$(grep -l 'INFO: loading for C:\\arcwise\\sample.zip' "${logs[@]}" | head -n1 || true)
if [ -z "$walk_log" ]; then
  echo "test-windows: no log names the archive the smoke host loaded" >&2
  exit 1
fi
python3 - "$walk_log" <<'PY'
import sys
data = open(sys.argv[1], "rb").read()
lines = data.split(b"\r\n")
problems = []
if not data.endswith(b"\r\n"):
    problems.append("the log does not end with CR LF")
if any(b"\n" in line or b"\r" in line for line in lines):
    problems.append("a line ends otherwise than with CR LF")
if not all(line.startswith(b"Quillmark Arcwise Filter:") for line in lines[:-1]):
    problems.append("a line lacks the prefix")
for needed in (b"INFO: DLL was loaded", b"INFO: AppTempDir is set to C:\\arcwise-temp\\", b"INFO: DLL was unloaded"):
    if not any(needed in line for line in lines):
        problems.append("no line with " + needed.decode())
for problem in problems:
    print("test-windows: log %s: %s" % (sys.argv[1], problem), file=sys.stderr)
print("test-windows: log %s: %d lines, CR LF" % (sys.argv[1].rsplit("/", 1)[-1], len(lines) - 1))
sys.exit(1 if problems else 0)
PY
# Only the log may stay: no extraction folder, stream copy (qmkNNNN.tmp),
# claim (*.lock) or write probe.
left=$(find "$drive/arcwise-temp" -mindepth 1 ! -iname 'qmk*.log' -print)
if [ -n "$left" ]; then
  echo "test-windows: left in the working folder after Release:" >&2
  echo "$left" >&2
  exit 1
fi
echo "test-windows: nothing but the log left in the working folder"

echo "== Wine: regsvr32 /u =="
for dll in "${dlls[@]}"; do
  if ! WINEDLLOVERRIDES=$with_system_query wine regsvr32 /u /s "C:\\arcwise\\$dll" >/dev/null 2>&1; then
    echo "test-windows: regsvr32 /u $dll failed" >&2
    exit 1
  fi
done
export_classes "$work/wine-unregistered.reg"
python3 "$root/tests/windows/compare_registry.py" --absent "$work/linux.reg" "$work/wine-unregistered.reg"

echo "== Windows check passed in $(( $(date +%s) - started )) s =="
