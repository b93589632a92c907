// Writes the fuzzer's seed corpus: sound property-set streams of every shape
// the parser decodes, one file each, into the folder named on the command line.
#include <cstdio>
#include <fstream>
#include <string>

#include "support/compound_writer.h"

using arcwise_test::PropertySetWriter;

int main(int argc, char** argv) {
  if (argc != 2) {
    fprintf(stderr, "usage: %s <output folder>\n", argv[0]);
    return 2;
  }
  PropertySetWriter summary(FMTID_SummaryInformation, 1252);
  summary.Lpstr(PIDSI_TITLE, "Title")
      .Lpstr(PIDSI_SUBJECT, "Caf\xE9")
      .Lpwstr(PIDSI_AUTHOR, u"Author \u20AC")
      .I2(40, -2)
      .I4(PIDSI_PAGECOUNT, 3)
      .UI4(41, 7)
      .Bool(42, true)
      .FileTime(PIDSI_CREATE_DTM, 0x01D9000000000000ull)
      .Blob(43, "blob")
      .ClipData(PIDSI_THUMBNAIL, -1, "clip")
      .LpstrVector(44, {"a", "bc"})
      .LpwstrVector(45, {u"d", u"ef"})
      .I4Vector(46, {1, 2, 3});
  PropertySetWriter unicode(FMTID_SummaryInformation, 1200);
  unicode.LpstrUnicode(PIDSI_TITLE, u"\u65E5\u672C").Lpwstr(PIDSI_COMMENTS, u"wide");
  PropertySetWriter doc(FMTID_DocSummaryInformation, 1252);
  doc.Raw(0, {1, 0, 0, 0, 5, 0, 0, 0, 4, 0, 0, 0, 'n', 'a', 'm', 0}).Lpstr(PIDDSI_COMPANY, "Quillmark");
  PropertySetWriter user(FMTID_UserDefinedProperties, 65001);
  user.Lpstr(5, "utf-8 \xC3\xA9");
  PropertySetWriter bare(FMTID_SummaryInformation, -1);
  bare.Raw(PIDSI_TITLE, {VT_LPSTR, 0, 0, 0, 0, 0, 0, 0});

  const std::pair<const char*, std::vector<uint8_t>> seeds[] = {
      {"summary.bin", summary.Bytes()}, {"unicode.bin", unicode.Bytes()},
      {"two-sections.bin", doc.BytesWith(user)}, {"bare.bin", bare.Bytes()}};
  for (const auto& [name, bytes] : seeds) {
    std::ofstream out(std::string(argv[1]) + "/" + name, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
    if (!out) {
      fprintf(stderr, "cannot write %s\n", name);
      return 1;
    }
  }
  return 0;
}
