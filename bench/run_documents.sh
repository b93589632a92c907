#!/usr/bin/env bash
# Speed of the stock document filters, run by hand (not by CI):
#   bench/run_documents.sh <build folder> [runs]
# Writes a book-sized HTML page, PDF, Word document, workbook and
# OpenDocument text (bench/realistic_documents.py) into a private temporary
# folder, then times `arcwise-dump --text` on each with hyperfine (default 5
# runs after a warm-up) and prints, per file, its size, the characters of
# text it gives, the median time and the throughput (file bytes and text
# characters per second, the start of arcwise-dump included). PDFs found under
# /usr/share/doc (real ones, made by TeX and office suites) are timed too.
# The registry is a private one made on the warm-up run.
set -euo pipefail
build=${1:?usage: run_documents.sh <build folder> [runs]}
runs=${2:-5}
dump="$(cd "$build" && pwd)/bin/arcwise-dump"
[[ -x "$dump" ]] || { echo "build $dump first" >&2; exit 2; }
command -v hyperfine > /dev/null || { echo "run_documents.sh needs hyperfine (apt-get install hyperfine)" >&2; exit 2; }
here=$(cd "$(dirname "$0")" && pwd)

work=$(mktemp -d "${TMPDIR:-/tmp}/arcwise-documents-XXXXXX")
trap 'rm -rf "$work"' EXIT INT TERM
export ARCWISE_REGISTRY="$work/registry.db" TMPDIR="$work"
python3 "$here/realistic_documents.py" "$work/files"
files=("$work"/files/book.*)
while IFS= read -r pdf; do files+=("$pdf"); done < <(find /usr/share/doc -name '*.pdf' -size +100k 2>/dev/null | sort | head -3)

printf '| file | bytes | text chars | median s | MB/s of file | M chars/s |\n|---|---|---|---|---|---|\n'
for file in "${files[@]}"; do
  "$dump" --text "$file" > "$work/out.txt" 2> "$work/err.txt" || { cat "$work/err.txt" >&2; exit 1; }
  chars=$(wc -m < "$work/out.txt")
  hyperfine --runs "$runs" --warmup 1 --export-json "$work/t.json" "'$dump' --text '$file'" > /dev/null 2>&1
  median=$(python3 -c "import json,sys; print('%.3f' % json.load(open(sys.argv[1]))['results'][0]['median'])" "$work/t.json")
  bytes=$(stat -c %s "$file")
  rate=$(python3 -c "import sys; print('%.1f' % (int(sys.argv[1]) / 1e6 / float(sys.argv[2])))" "$bytes" "$median")
  text_rate=$(python3 -c "import sys; print('%.1f' % (int(sys.argv[1]) / 1e6 / float(sys.argv[2])))" "$chars" "$median")
  printf '| %s | %s | %s | %s | %s | %s |\n' "$(basename "$file")" "$bytes" "$chars" "$median" "$rate" "$text_rate"
done
