#!/usr/bin/env python3
"""Documents of realistic size and shape for bench/run_documents.sh.

  realistic_documents.py FOLDER
      writes into FOLDER, each with about 1.3 million characters of prose
      (a 400-page book), varied words so that compression is as in real files:
        book.html   an HTML page: headings, paragraphs with inline markup and
                    links, a table, a script and a style sheet
        book.pdf    a PDF of 400 pages of 45 lines, Flate-compressed content
                    streams, Helvetica, as office suites print text documents
        book.docx   a Word document: paragraphs of several runs, headings,
                    a table, core properties
        book.xlsx   a workbook of 40,000 rows of 4 cells, 50,000 shared strings
        book.odt    an OpenDocument text of the same paragraphs
"""
import os
import random
import sys
import zipfile
import zlib

random.seed(7)
WORDS = ("archive index search filter chunk property value budget entry folder stream report quarter "
         "revenue market customer delivery schedule review meeting decision project team policy "
         "security storage network server client request response document section chapter figure "
         "table summary result analysis method sample measure growth region north south east west").split()


def sentence():
    words = [random.choice(WORDS) for _ in range(random.randint(6, 18))]
    words[0] = words[0].capitalize()
    return " ".join(words) + "."


def paragraphs(n):
    return [" ".join(sentence() for _ in range(random.randint(3, 7))) for _ in range(n)]


def esc(text):
    return text.replace("&", "&amp;").replace("<", "&lt;")


def html(paras):
    out = ["<!DOCTYPE html><html><head><meta charset=\"utf-8\"><title>The Book</title>",
           "<style>body { font: 12pt serif } .note { color: #555 }</style>",
           "<script>document.addEventListener('load', function () { console.log('ready'); });</script></head><body>"]
    for i, p in enumerate(paras):
        if i % 20 == 0:
            out.append("<h2>Chapter %d</h2>" % (i // 20 + 1))
        words = p.split(" ")
        words[3] = "<b>%s</b>" % words[3]
        words[7] = "<a href=\"#s%d\">%s</a>" % (i, words[7])
        out.append("<p class=\"note\">%s</p>" % " ".join(words))
    out.append("<table>" + "".join("<tr><td>%d</td><td>%s</td></tr>" % (i, random.choice(WORDS)) for i in range(500))
               + "</table></body></html>")
    return "\n".join(out).encode()


def pdf(paras, pages=400, lines=45):
    text = " ".join(paras).split(" ")
    objects = ["<< /Type /Catalog /Pages 2 0 R >>", None]
    kids = []
    font = 3 + 2 * pages
    at = 0
    for page in range(pages):
        kids.append("%d 0 R" % (3 + 2 * page))
        ops = ["BT /F1 10 Tf 13 TL 56 780 Td"]
        for _ in range(lines):
            line = []
            while at < len(text) and len(" ".join(line)) < 95:
                line.append(text[at])
                at += 1
            ops.append("(%s) '" % " ".join(line).replace("\\", "\\\\").replace("(", "\\(").replace(")", "\\)"))
        ops.append("ET")
        stream = zlib.compress("\n".join(ops).encode("latin-1"))
        objects.append("<< /Type /Page /Parent 2 0 R /MediaBox [0 0 612 792] /Contents %d 0 R "
                       "/Resources << /Font << /F1 %d 0 R >> >> >>" % (4 + 2 * page, font))
        objects.append(b"<< /Length %d /Filter /FlateDecode >>\nstream\n" % len(stream) + stream + b"\nendstream")
    objects[1] = "<< /Type /Pages /Kids [%s] /Count %d >>" % (" ".join(kids), pages)
    objects.append("<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica /Encoding /WinAnsiEncoding >>")
    objects.append("<< /Title (The Book) /Author (A. Writer) >>")
    out = bytearray(b"%PDF-1.5\n")
    offsets = []
    for i, obj in enumerate(objects):
        offsets.append(len(out))
        body = obj if isinstance(obj, bytes) else obj.encode()
        out += b"%d 0 obj\n" % (i + 1) + body + b"\nendobj\n"
    xref = len(out)
    out += b"xref\n0 %d\n0000000000 65535 f \n" % (len(objects) + 1)
    for o in offsets:
        out += b"%010d 00000 n \n" % o
    out += b"trailer\n<< /Size %d /Root 1 0 R /Info %d 0 R >>\nstartxref\n%d\n%%%%EOF\n" % (
        len(objects) + 1, len(objects), xref)
    return bytes(out)


W = "xmlns:w=\"http://schemas.openxmlformats.org/wordprocessingml/2006/main\""


def docx(path, paras):
    body = []
    for i, p in enumerate(paras):
        if i % 20 == 0:
            body.append("<w:p><w:pPr><w:pStyle w:val=\"Heading1\"/></w:pPr><w:r><w:t>Chapter %d</w:t></w:r></w:p>"
                        % (i // 20 + 1))
        words = p.split(" ")
        runs = []
        for j in range(0, len(words), 9):
            bold = "<w:rPr><w:b/></w:rPr>" if j % 18 == 9 else ""
            runs.append("<w:r>%s<w:t xml:space=\"preserve\">%s </w:t></w:r>" % (bold, esc(" ".join(words[j:j + 9]))))
        body.append("<w:p><w:pPr><w:spacing w:after=\"120\"/></w:pPr>%s</w:p>" % "".join(runs))
    rows = "".join("<w:tr><w:tc><w:p><w:r><w:t>%d</w:t></w:r></w:p></w:tc><w:tc><w:p><w:r><w:t>%s</w:t></w:r></w:p>"
                   "</w:tc></w:tr>" % (i, random.choice(WORDS)) for i in range(500))
    document = "<?xml version=\"1.0\"?><w:document %s><w:body>%s<w:tbl>%s</w:tbl></w:body></w:document>" % (
        W, "".join(body), rows)
    with zipfile.ZipFile(path, "w", zipfile.ZIP_DEFLATED) as z:
        z.writestr("[Content_Types].xml", "<Types/>")
        z.writestr("word/document.xml", document)
        z.writestr("docProps/core.xml", "<cp:coreProperties xmlns:cp=\"cp\" xmlns:dc=\"dc\"><dc:title>The Book"
                   "</dc:title><dc:creator>A. Writer</dc:creator></cp:coreProperties>")


def xlsx(path):
    strings = ["%s %s %d" % (random.choice(WORDS), random.choice(WORDS), i) for i in range(50000)]
    sst = "<sst xmlns=\"s\">" + "".join("<si><t>%s</t></si>" % s for s in strings) + "</sst>"
    rows = []
    for r in range(1, 40001):
        cells = "".join("<c r=\"%s%d\" t=\"s\"><v>%d</v></c>" % (c, r, random.randrange(50000)) for c in "ABC")
        rows.append("<row r=\"%d\">%s<c r=\"D%d\"><v>%d</v></c></row>" % (r, cells, r, random.randrange(10 ** 6)))
    sheet = "<worksheet xmlns=\"s\"><sheetData>" + "".join(rows) + "</sheetData></worksheet>"
    with zipfile.ZipFile(path, "w", zipfile.ZIP_DEFLATED) as z:
        z.writestr("[Content_Types].xml", "<Types/>")
        z.writestr("xl/workbook.xml", "<workbook/>")
        z.writestr("xl/sharedStrings.xml", sst)
        z.writestr("xl/worksheets/sheet1.xml", sheet)


def odt(path, paras):
    body = "".join("<text:p text:style-name=\"P1\">%s <text:span text:style-name=\"T1\">%s</text:span></text:p>"
                   % (esc(p[:len(p) // 2]), esc(p[len(p) // 2:])) for p in paras)
    content = ("<?xml version=\"1.0\"?><office:document-content xmlns:office=\"o\" xmlns:text=\"t\"><office:body>"
               "<office:text>%s</office:text></office:body></office:document-content>" % body)
    with zipfile.ZipFile(path, "w", zipfile.ZIP_DEFLATED) as z:
        z.writestr("mimetype", "application/vnd.oasis.opendocument.text", zipfile.ZIP_STORED)
        z.writestr("content.xml", content)
        z.writestr("meta.xml", "<office:document-meta xmlns:office=\"o\" xmlns:dc=\"dc\"><office:meta><dc:title>"
                   "The Book</dc:title></office:meta></office:document-meta>")


def main():
    folder = sys.argv[1]
    os.makedirs(folder, exist_ok=True)
    paras = paragraphs(3000)
    with open(os.path.join(folder, "book.html"), "wb") as f:
        f.write(html(paras))
    with open(os.path.join(folder, "book.pdf"), "wb") as f:
        f.write(pdf(paras))
    docx(os.path.join(folder, "book.docx"), paras)
    xlsx(os.path.join(folder, "book.xlsx"))
    odt(os.path.join(folder, "book.odt"), paras)


if __name__ == "__main__":
    main()
