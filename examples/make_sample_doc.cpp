// arcwise-make-sample-doc: writes the sample archive's compound document, a
// word-processor-like file with a "WordDocument" stream and a summary
// information property set (title, subject, author, keywords, comments) in
// code page 1252, using libgsf's compound-file writer.
//
//   arcwise-make-sample-doc OUTPUT.doc
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include <gsf/gsf-outfile-msole.h>
#include <gsf/gsf-outfile.h>
#include <gsf/gsf-output-stdio.h>
#include <gsf/gsf-utils.h>

namespace {

void PutU16(std::vector<uint8_t>& out, uint16_t v) {
  out.push_back(uint8_t(v));
  out.push_back(uint8_t(v >> 8));
}
void PutU32(std::vector<uint8_t>& out, uint32_t v) {
  for (int i = 0; i < 4; ++i) out.push_back(uint8_t(v >> (8 * i)));
}

// {F29F85E0-4FF9-1068-AB91-08002B27B3D9} in its stored byte order.
const uint8_t kSummaryFmtid[16] = {0xE0, 0x85, 0x9F, 0xF2, 0xF9, 0x4F, 0x68, 0x10,
                                   0xAB, 0x91, 0x08, 0x00, 0x2B, 0x27, 0xB3, 0xD9};

struct Property {
  uint32_t id;
  std::vector<uint8_t> typed;  // type word, padding, data, padded to 4
};

Property CodePage(uint16_t codePage) {
  Property p{1, {}};
  PutU16(p.typed, 2);  // VT_I2
  PutU16(p.typed, 0);
  PutU16(p.typed, codePage);
  PutU16(p.typed, 0);
  return p;
}

Property Text(uint32_t id, const std::string& text) {
  Property p{id, {}};
  PutU16(p.typed, 30);  // VT_LPSTR
  PutU16(p.typed, 0);
  PutU32(p.typed, uint32_t(text.size() + 1));
  p.typed.insert(p.typed.end(), text.begin(), text.end());
  p.typed.push_back(0);
  while (p.typed.size() % 4) p.typed.push_back(0);
  return p;
}

// The published property-set stream: header, one section reference, the
// section with its (id, offset) table and the values.
std::vector<uint8_t> SummaryStream(const std::vector<Property>& properties) {
  std::vector<uint8_t> section;
  uint32_t offset = 8 + 8 * uint32_t(properties.size());
  std::vector<uint8_t> table, values;
  for (const Property& p : properties) {
    PutU32(table, p.id);
    PutU32(table, offset + uint32_t(values.size()));
    values.insert(values.end(), p.typed.begin(), p.typed.end());
  }
  PutU32(section, offset + uint32_t(values.size()));
  PutU32(section, uint32_t(properties.size()));
  section.insert(section.end(), table.begin(), table.end());
  section.insert(section.end(), values.begin(), values.end());

  std::vector<uint8_t> stream;
  PutU16(stream, 0xFFFE);      // byte order
  PutU16(stream, 0);           // format version
  PutU32(stream, 0x00020006);  // system identifier
  stream.insert(stream.end(), 16, 0);  // class id
  PutU32(stream, 1);                   // one section
  stream.insert(stream.end(), kSummaryFmtid, kSummaryFmtid + 16);
  PutU32(stream, 48);
  stream.insert(stream.end(), section.begin(), section.end());
  return stream;
}

bool WriteChild(GsfOutfile* outfile, const char* name, const std::vector<uint8_t>& bytes) {
  GsfOutput* child = gsf_outfile_new_child(outfile, name, FALSE);
  if (!child) return false;
  bool ok = gsf_output_write(child, bytes.size(), bytes.data());
  ok = gsf_output_close(child) && ok;
  g_object_unref(child);
  return ok;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "Usage: arcwise-make-sample-doc OUTPUT.doc\n");
    return 2;
  }
  gsf_init();
  GError* error = nullptr;
  GsfOutput* sink = gsf_output_stdio_new(argv[1], &error);
  if (!sink) {
    std::fprintf(stderr, "arcwise-make-sample-doc: cannot create %s: %s\n", argv[1],
                 error ? error->message : "unknown error");
    if (error) g_error_free(error);
    gsf_shutdown();
    return 1;
  }
  GsfOutfile* outfile = gsf_outfile_msole_new(sink);
  g_object_unref(sink);

  std::vector<uint8_t> summary = SummaryStream({
      CodePage(1252),
      Text(2, "Quarterly report Q3"),
      Text(3, "Sales figures for the third quarter"),
      Text(4, "Ada Lovelace"),
      Text(5, "sales; quarterly; sample"),
      Text(6, "Made by the Arcwise sample script"),
  });
  std::string body = "Quarterly report: revenue grew in every region.";
  bool ok = WriteChild(outfile, "\005SummaryInformation", summary) &&
            WriteChild(outfile, "WordDocument", std::vector<uint8_t>(body.begin(), body.end()));
  ok = gsf_output_close(GSF_OUTPUT(outfile)) && ok;
  g_object_unref(outfile);
  gsf_shutdown();
  if (!ok) {
    std::fprintf(stderr, "arcwise-make-sample-doc: writing %s failed\n", argv[1]);
    return 1;
  }
  return 0;
}
