// The text extraction of the HTML and Office document filters on any bytes:
// the first byte chooses the extractor (even: HTML, odd: Office package),
// the rest is the document. Every input must end without a crash, a leak, a
// hang or text past the content's ceiling.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "DocumentContent.h"
#include "HtmlText.h"
#include "OfficeText.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  // A small ceiling, so the fuzzer also goes where the ceiling is reached.
  CDocumentContent content(4096);
  if (data[0] % 2 == 0) {
    ExtractHtmlText(data + 1, size - 1, &content);
  } else {
    ExtractOfficeText(data + 1, size - 1, &content);
  }
  if (content.Text().size() > 4096) abort();
  return 0;
}
