#!/usr/bin/env bash
# Builds examples/sample.zip: text files in folders, a compound document with
# summary properties, an HTML page, a Word document, and a nested zip.
#   examples/make-sample.sh [BUILD_DIR [OUTPUT]]
# BUILD_DIR (default build/) must hold bin/arcwise-make-sample-doc
# (scripts/build.sh makes it); OUTPUT defaults to examples/sample.zip.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build}
generator="$build/bin/arcwise-make-sample-doc"
out=$(realpath -m "${2:-$root/examples/sample.zip}")
if [[ ! -x "$generator" ]]; then
  echo "make-sample.sh: $generator is missing; build first (scripts/build.sh)" >&2
  exit 1
fi

work=$(mktemp -d "${TMPDIR:-/tmp}/arcwise-sample.XXXXXX")
trap 'rm -rf "$work"' EXIT

mkdir -p "$work/tree/docs/notes" "$work/tree/logs" "$work/tree/src" "$work/tree/reports" \
         "$work/tree/nested" "$work/inner/inner"
cat > "$work/tree/docs/readme.txt" <<'TEXT'
Welcome to the Arcwise sample archive.
Every file in here should show up in arcwise-dump's output.
TEXT
cat > "$work/tree/docs/notes/meeting.md" <<'TEXT'
# Planning meeting

- ship the archive filter
- index the nested archives too
TEXT
printf '2026-12-01 10:00:00 INFO service started\n2026-12-01 10:05:00 WARN disk almost full\n' \
  > "$work/tree/logs/app.log"
printf '#include <stdio.h>\nint main(void) { puts("hello from the sample"); return 0; }\n' \
  > "$work/tree/src/hello.c"
"$generator" "$work/tree/reports/quarterly.doc"
cat > "$work/tree/reports/status.html" <<'HTML'
<!DOCTYPE html>
<html><head><title>Project status</title><style>h1 { color: navy }</style></head>
<body><h1>Status</h1><p>All milestones are on track; the next review is in January.</p></body></html>
HTML
# A minimal Word document: its parts are plain XML in a ZIP package.
mkdir -p "$work/docx/word" "$work/docx/docProps"
echo '<Types xmlns="http://schemas.openxmlformats.org/package/2006/content-types"/>' \
  > "$work/docx/[Content_Types].xml"
cat > "$work/docx/word/document.xml" <<'XML'
<w:document xmlns:w="http://schemas.openxmlformats.org/wordprocessingml/2006/main"><w:body>
<w:p><w:r><w:t>Minutes: the budget for next year was approved.</w:t></w:r></w:p></w:body></w:document>
XML
cat > "$work/docx/docProps/core.xml" <<'XML'
<cp:coreProperties xmlns:cp="http://schemas.openxmlformats.org/package/2006/metadata/core-properties"
 xmlns:dc="http://purl.org/dc/elements/1.1/"><dc:title>Board minutes</dc:title></cp:coreProperties>
XML
(cd "$work/docx" && zip -qrX "$work/tree/reports/minutes.docx" '[Content_Types].xml' word docProps)
printf 'The inner archive keeps a secret: swordfish.\n' > "$work/inner/inner/secret.txt"
(cd "$work/inner" && zip -qrX "$work/tree/nested/inner.zip" inner)

rm -f "$out"
(cd "$work/tree" && zip -qrX "$out" docs logs src reports nested)
echo "wrote $out"
