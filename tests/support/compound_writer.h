// Test fixtures for structured storage: PropertySetWriter serializes one
// property-set stream with chosen properties in the published format (byte
// order mark, one section, code page property first, then the properties in
// the order they were added), and WriteCompoundFile stores such streams in a
// real compound file through libgsf's writer. Raw() and the byte vector from
// Bytes() let tests build damaged streams on purpose. Single-threaded use.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include <propidl.h>

namespace arcwise_test {

// Root stream names of the two summary property sets.
extern const char kSummaryInformationStream[];         // "\005SummaryInformation"
extern const char kDocumentSummaryInformationStream[];  // "\005DocumentSummaryInformation"

class PropertySetWriter {
 public:
  // codePage < 0 leaves the code page property out.
  explicit PropertySetWriter(const FMTID& fmtid, int codePage = 1252);

  // VT_LPSTR with these bytes (in the set's code page) and a terminator.
  PropertySetWriter& Lpstr(PROPID id, const std::string& bytes);
  // VT_LPSTR of a Unicode (1200) set: UTF-16 units, size counted in bytes.
  PropertySetWriter& LpstrUnicode(PROPID id, const std::u16string& text);
  PropertySetWriter& Lpwstr(PROPID id, const std::u16string& text);
  PropertySetWriter& I2(PROPID id, int16_t value);
  PropertySetWriter& I4(PROPID id, int32_t value);
  PropertySetWriter& UI4(PROPID id, uint32_t value);
  PropertySetWriter& Bool(PROPID id, bool value);
  PropertySetWriter& FileTime(PROPID id, uint64_t ticks);
  PropertySetWriter& Blob(PROPID id, const std::string& bytes);
  PropertySetWriter& ClipData(PROPID id, int32_t format, const std::string& bytes);
  PropertySetWriter& LpstrVector(PROPID id, const std::vector<std::string>& values);
  PropertySetWriter& LpwstrVector(PROPID id, const std::vector<std::u16string>& values);
  PropertySetWriter& I4Vector(PROPID id, const std::vector<int32_t>& values);
  // A value stored verbatim: the type word, two padding bytes, then the data.
  PropertySetWriter& Raw(PROPID id, const std::vector<uint8_t>& typedValue);

  // The whole stream: header with this one section.
  std::vector<uint8_t> Bytes() const;
  // The whole stream with this section first and `second` after it, as the
  // document summary stream holds the user-defined set.
  std::vector<uint8_t> BytesWith(const PropertySetWriter& second) const;

  // Offsets inside Bytes(), for tests that damage a stream on purpose.
  static constexpr size_t kSectionOffset = 48;  // header (28) + one section reference (20)
  // Offset of the n-th property's (id, offset) entry, counted with the code page first.
  static size_t TableEntryOffset(size_t n) { return kSectionOffset + 8 + 8 * n; }

 private:
  std::vector<uint8_t> Section() const;

  FMTID m_fmtid;
  std::vector<std::pair<PROPID, std::vector<uint8_t>>> m_properties;
};

struct CompoundStream {
  std::string name;  // UTF-8, e.g. kSummaryInformationStream
  std::vector<uint8_t> bytes;
};

// Writes a compound file whose root holds these streams; false on failure.
bool WriteCompoundFile(const std::string& path, const std::vector<CompoundStream>& streams);

// A compound file holding one summary-information stream and a small
// "WordDocument" stream, the way a word-processor file would.
bool WriteSummaryInformationFile(const std::string& path, const PropertySetWriter& summary);

}  // namespace arcwise_test
