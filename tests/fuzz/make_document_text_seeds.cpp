// Writes the document fuzzer's seed corpus: HTML and XHTML pages and the
// packages of each Office and OpenDocument kind, each behind the byte that
// chooses its extractor.
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "support/document_writer.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    fprintf(stderr, "usage: %s <output folder>\n", argv[0]);
    return 2;
  }
  using namespace arcwise_test;
  const std::vector<std::string> html = {
      "<html><head><title>T</title><meta name=author content=A><script>x()</script></head>"
      "<body><h1>Head &amp; more</h1><p>a <b>b</b></p><table><tr><td>1<td>2</table><pre> p  q</pre></body></html>",
      "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?><html xmlns=\"http://www.w3.org/1999/xhtml\"><body><p>na\xEFve</p><br/></body></html>",
      "<meta charset=\"windows-1252\"><p>caf\xE9</p>",
  };
  const std::vector<std::string> office = {
      Docx("<w:p><w:pPr><w:tabs><w:tab/></w:tabs></w:pPr><w:r><w:t>x</w:t><w:tab/><w:br/></w:r></w:p>", "T", "C"),
      Xlsx({"one", "two"}),
      Package({{"ppt/presentation.xml", "<p/>"}, {"ppt/slides/slide1.xml", "<a:p xmlns:a=\"a\"><a:t>s</a:t></a:p>"}}),
      Odt("<text:h>H</text:h><text:p>a<text:s text:c=\"2\"/>b<text:tab/></text:p>", "Title"),
  };
  int n = 0;
  auto write = [&](char selector, const std::string& bytes) {
    std::ofstream(std::string(argv[1]) + "/seed" + std::to_string(n++), std::ios::binary) << selector << bytes;
  };
  for (const std::string& page : html) write('\0', page);
  for (const std::string& package : office) write('\1', package);
  return 0;
}
