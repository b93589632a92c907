// Writes property-set streams byte by byte and stores them in compound files
// through libgsf; see compound_writer.h.
#include "support/compound_writer.h"

#include <mutex>

#include <gsf/gsf-outfile-msole.h>
#include <gsf/gsf-outfile.h>
#include <gsf/gsf-output-stdio.h>
#include <gsf/gsf-output.h>
#include <gsf/gsf-utils.h>

namespace arcwise_test {

const char kSummaryInformationStream[] = "\005SummaryInformation";
const char kDocumentSummaryInformationStream[] = "\005DocumentSummaryInformation";

namespace {

void PutU16(std::vector<uint8_t>& out, uint16_t v) {
  out.push_back(uint8_t(v));
  out.push_back(uint8_t(v >> 8));
}
void PutU32(std::vector<uint8_t>& out, uint32_t v) {
  for (int i = 0; i < 4; ++i) out.push_back(uint8_t(v >> (8 * i)));
}
void PutGuid(std::vector<uint8_t>& out, const GUID& g) {
  PutU32(out, g.Data1);
  PutU16(out, g.Data2);
  PutU16(out, g.Data3);
  out.insert(out.end(), g.Data4, g.Data4 + 8);
}
void Pad(std::vector<uint8_t>& out) {
  while (out.size() % 4 != 0) out.push_back(0);
}
void PutUtf16(std::vector<uint8_t>& out, const std::u16string& text) {
  for (char16_t c : text) PutU16(out, uint16_t(c));
  PutU16(out, 0);
}

std::vector<uint8_t> Typed(uint16_t vt) {
  std::vector<uint8_t> v;
  PutU16(v, vt);
  PutU16(v, 0);
  return v;
}

void PutAnsiString(std::vector<uint8_t>& v, const std::string& bytes) {
  PutU32(v, uint32_t(bytes.size() + 1));
  v.insert(v.end(), bytes.begin(), bytes.end());
  v.push_back(0);
  Pad(v);
}

void PutWideString(std::vector<uint8_t>& v, const std::u16string& text) {
  PutU32(v, uint32_t(text.size() + 1));
  PutUtf16(v, text);
  Pad(v);
}

void InitGsfOnce() {
  static std::once_flag once;
  std::call_once(once, [] { gsf_init(); });
}

}  // namespace

PropertySetWriter::PropertySetWriter(const FMTID& fmtid, int codePage) : m_fmtid(fmtid) {
  if (codePage >= 0) I2(PID_CODEPAGE, int16_t(uint16_t(codePage)));
}

PropertySetWriter& PropertySetWriter::Lpstr(PROPID id, const std::string& bytes) {
  auto v = Typed(VT_LPSTR);
  PutAnsiString(v, bytes);
  return Raw(id, v);
}

PropertySetWriter& PropertySetWriter::LpstrUnicode(PROPID id, const std::u16string& text) {
  auto v = Typed(VT_LPSTR);
  PutU32(v, uint32_t((text.size() + 1) * 2));
  PutUtf16(v, text);
  Pad(v);
  return Raw(id, v);
}

PropertySetWriter& PropertySetWriter::Lpwstr(PROPID id, const std::u16string& text) {
  auto v = Typed(VT_LPWSTR);
  PutWideString(v, text);
  return Raw(id, v);
}

PropertySetWriter& PropertySetWriter::I2(PROPID id, int16_t value) {
  auto v = Typed(VT_I2);
  PutU16(v, uint16_t(value));
  Pad(v);
  return Raw(id, v);
}

PropertySetWriter& PropertySetWriter::I4(PROPID id, int32_t value) {
  auto v = Typed(VT_I4);
  PutU32(v, uint32_t(value));
  return Raw(id, v);
}

PropertySetWriter& PropertySetWriter::UI4(PROPID id, uint32_t value) {
  auto v = Typed(VT_UI4);
  PutU32(v, value);
  return Raw(id, v);
}

PropertySetWriter& PropertySetWriter::Bool(PROPID id, bool value) {
  auto v = Typed(VT_BOOL);
  PutU16(v, value ? 0xFFFF : 0);
  Pad(v);
  return Raw(id, v);
}

PropertySetWriter& PropertySetWriter::FileTime(PROPID id, uint64_t ticks) {
  auto v = Typed(VT_FILETIME);
  PutU32(v, uint32_t(ticks));
  PutU32(v, uint32_t(ticks >> 32));
  return Raw(id, v);
}

PropertySetWriter& PropertySetWriter::Blob(PROPID id, const std::string& bytes) {
  auto v = Typed(VT_BLOB);
  PutU32(v, uint32_t(bytes.size()));
  v.insert(v.end(), bytes.begin(), bytes.end());
  Pad(v);
  return Raw(id, v);
}

PropertySetWriter& PropertySetWriter::ClipData(PROPID id, int32_t format, const std::string& bytes) {
  auto v = Typed(VT_CF);
  PutU32(v, uint32_t(bytes.size() + 4));
  PutU32(v, uint32_t(format));
  v.insert(v.end(), bytes.begin(), bytes.end());
  Pad(v);
  return Raw(id, v);
}

PropertySetWriter& PropertySetWriter::LpstrVector(PROPID id, const std::vector<std::string>& values) {
  auto v = Typed(VT_VECTOR | VT_LPSTR);
  PutU32(v, uint32_t(values.size()));
  for (const auto& s : values) PutAnsiString(v, s);
  return Raw(id, v);
}

PropertySetWriter& PropertySetWriter::LpwstrVector(PROPID id, const std::vector<std::u16string>& values) {
  auto v = Typed(VT_VECTOR | VT_LPWSTR);
  PutU32(v, uint32_t(values.size()));
  for (const auto& s : values) PutWideString(v, s);
  return Raw(id, v);
}

PropertySetWriter& PropertySetWriter::I4Vector(PROPID id, const std::vector<int32_t>& values) {
  auto v = Typed(VT_VECTOR | VT_I4);
  PutU32(v, uint32_t(values.size()));
  for (int32_t x : values) PutU32(v, uint32_t(x));
  return Raw(id, v);
}

PropertySetWriter& PropertySetWriter::Raw(PROPID id, const std::vector<uint8_t>& typedValue) {
  m_properties.emplace_back(id, typedValue);
  return *this;
}

std::vector<uint8_t> PropertySetWriter::Section() const {
  std::vector<uint8_t> table;
  std::vector<uint8_t> values;
  size_t valuesStart = 8 + 8 * m_properties.size();
  for (const auto& [id, value] : m_properties) {
    PutU32(table, id);
    PutU32(table, uint32_t(valuesStart + values.size()));
    values.insert(values.end(), value.begin(), value.end());
    Pad(values);
  }
  std::vector<uint8_t> section;
  PutU32(section, uint32_t(valuesStart + values.size()));
  PutU32(section, uint32_t(m_properties.size()));
  section.insert(section.end(), table.begin(), table.end());
  section.insert(section.end(), values.begin(), values.end());
  return section;
}

namespace {

std::vector<uint8_t> Stream(const std::vector<std::pair<FMTID, std::vector<uint8_t>>>& sections) {
  std::vector<uint8_t> out;
  PutU16(out, 0xFFFE);                  // byte order mark
  PutU16(out, 0);                       // version
  PutU32(out, 0x00020006);              // system identifier: Windows 6.2
  PutGuid(out, GUID{});                 // class id
  PutU32(out, uint32_t(sections.size()));
  size_t offset = 28 + 20 * sections.size();
  for (const auto& [fmtid, bytes] : sections) {
    PutGuid(out, fmtid);
    PutU32(out, uint32_t(offset));
    offset += bytes.size();
  }
  for (const auto& section : sections) out.insert(out.end(), section.second.begin(), section.second.end());
  return out;
}

}  // namespace

std::vector<uint8_t> PropertySetWriter::Bytes() const { return Stream({{m_fmtid, Section()}}); }

std::vector<uint8_t> PropertySetWriter::BytesWith(const PropertySetWriter& second) const {
  return Stream({{m_fmtid, Section()}, {second.m_fmtid, second.Section()}});
}

bool WriteCompoundFile(const std::string& path, const std::vector<CompoundStream>& streams) {
  InitGsfOnce();
  GError* error = nullptr;
  GsfOutput* sink = gsf_output_stdio_new(path.c_str(), &error);
  if (!sink) {
    if (error) g_error_free(error);
    return false;
  }
  GsfOutfile* outfile = gsf_outfile_msole_new(sink);
  g_object_unref(sink);  // the compound-file writer keeps its own reference
  if (!outfile) return false;
  bool ok = true;
  for (const auto& stream : streams) {
    GsfOutput* child = gsf_outfile_new_child(outfile, stream.name.c_str(), FALSE);
    if (!child) {
      ok = false;
      break;
    }
    if (!stream.bytes.empty()) ok = gsf_output_write(child, stream.bytes.size(), stream.bytes.data()) && ok;
    ok = gsf_output_close(child) && ok;
    g_object_unref(child);
  }
  ok = gsf_output_close(GSF_OUTPUT(outfile)) && ok;
  g_object_unref(outfile);
  return ok;
}

bool WriteSummaryInformationFile(const std::string& path, const PropertySetWriter& summary) {
  std::string body = "Document body text.";
  return WriteCompoundFile(path, {{"WordDocument", std::vector<uint8_t>(body.begin(), body.end())},
                                  {kSummaryInformationStream, summary.Bytes()}});
}

}  // namespace arcwise_test
