// The property-set stream parser on its own: what each supported type decodes
// to, and a table of damaged streams that must each give an error (and,
// under the sanitizers, no read outside the bytes).
#include <gtest/gtest.h>

#include <cctype>
#include <cstring>
#include <memory>

#include "../../platform/src/stg_property_set.h"
#include "support/compound_writer.h"

using arcwise_platform::stg::ParsedProperty;
using arcwise_platform::stg::ParsedSection;
using arcwise_platform::stg::ParsePropertySetStream;
using arcwise_platform::stg::PropertySetHeader;
using arcwise_test::PropertySetWriter;

namespace {

using Bytes = std::vector<uint8_t>;

uint32_t GetU32(const Bytes& b, size_t at) {
  return uint32_t(b[at]) | (uint32_t(b[at + 1]) << 8) | (uint32_t(b[at + 2]) << 16) | (uint32_t(b[at + 3]) << 24);
}
void SetU32(Bytes& b, size_t at, uint32_t v) {
  for (int i = 0; i < 4; ++i) b[at + i] = uint8_t(v >> (8 * i));
}
void SetU16(Bytes& b, size_t at, uint16_t v) {
  b[at] = uint8_t(v);
  b[at + 1] = uint8_t(v >> 8);
}
// Absolute offset of the n-th property's value (type word) in a one-section stream.
size_t ValueOffset(const Bytes& b, size_t n) {
  return PropertySetWriter::kSectionOffset + GetU32(b, PropertySetWriter::TableEntryOffset(n) + 4);
}

HRESULT Parse(const Bytes& bytes, std::vector<ParsedSection>* sections) {
  PropertySetHeader header;
  return ParsePropertySetStream(bytes.data(), bytes.size(), &header, sections);
}

const ParsedProperty* Find(const ParsedSection& section, PROPID id) {
  for (const auto& p : section.properties) {
    if (p.id == id) return &p;
  }
  return nullptr;
}

TEST(PropertySetParser, DecodesEachSupportedType) {
  Bytes bytes = PropertySetWriter(FMTID_SummaryInformation, 1252)
                    .Lpstr(2, "Caf\xE9")
                    .Lpwstr(3, u"Gr\u00FC\u00DFe \u20AC")
                    .I2(4, -7)
                    .I4(5, -123456)
                    .UI4(6, 0xDEADBEEF)
                    .Bool(7, true)
                    .FileTime(8, 0x01D9000012345678ull)
                    .Blob(9, std::string("\x01\x00\x02", 3))
                    .ClipData(10, -1, "WMF")
                    .LpstrVector(11, {"one", "", "three"})
                    .LpwstrVector(12, {u"alpha", u"beta"})
                    .I4Vector(13, {1, -2, 3})
                    .Bytes();
  std::vector<ParsedSection> sections;
  ASSERT_EQ(Parse(bytes, &sections), S_OK);
  ASSERT_EQ(sections.size(), 1u);
  const ParsedSection& s = sections[0];
  EXPECT_EQ(s.fmtid, FMTID_SummaryInformation);
  EXPECT_TRUE(s.hasCodePage);
  EXPECT_EQ(s.codePage, 1252);
  ASSERT_EQ(s.properties.size(), 13u);  // code page included, in stream order
  EXPECT_EQ(s.properties[0].id, PID_CODEPAGE);
  for (size_t i = 1; i < s.properties.size(); ++i) EXPECT_EQ(s.properties[i].id, PROPID(i + 1));

  EXPECT_EQ(Find(s, 2)->value.vt, VT_LPSTR);
  EXPECT_EQ(Find(s, 2)->value.strings.at(0).bytes, "Caf\xE9");  // the code page's bytes, not converted
  EXPECT_EQ(Find(s, 3)->value.strings.at(0).text, u"Gr\u00FC\u00DFe \u20AC");
  EXPECT_EQ(int16_t(Find(s, 4)->value.numbers.at(0)), -7);
  EXPECT_EQ(int32_t(Find(s, 5)->value.numbers.at(0)), -123456);
  EXPECT_EQ(Find(s, 6)->value.numbers.at(0), 0xDEADBEEFu);
  EXPECT_EQ(Find(s, 7)->value.numbers.at(0), 0xFFFFu);
  EXPECT_EQ(Find(s, 8)->value.numbers.at(0), 0x01D9000012345678ull);
  EXPECT_EQ(Find(s, 9)->value.strings.at(0).bytes, std::string("\x01\x00\x02", 3));
  EXPECT_EQ(Find(s, 10)->value.strings.at(0).clipFormat, -1);
  EXPECT_EQ(Find(s, 10)->value.strings.at(0).bytes, "WMF");
  const auto& ansiVector = Find(s, 11)->value;
  EXPECT_EQ(ansiVector.vt, VT_VECTOR | VT_LPSTR);
  ASSERT_EQ(ansiVector.strings.size(), 3u);
  EXPECT_EQ(ansiVector.strings[0].bytes, "one");
  EXPECT_EQ(ansiVector.strings[1].bytes, "");
  EXPECT_TRUE(ansiVector.strings[1].present);
  EXPECT_EQ(ansiVector.strings[2].bytes, "three");
  ASSERT_EQ(Find(s, 12)->value.strings.size(), 2u);
  EXPECT_EQ(Find(s, 12)->value.strings[1].text, u"beta");
  ASSERT_EQ(Find(s, 13)->value.numbers.size(), 3u);
  EXPECT_EQ(int32_t(Find(s, 13)->value.numbers[1]), -2);
}

TEST(PropertySetParser, UnicodeSetStoresAnsiTypedStringsAsUtf16) {
  Bytes bytes = PropertySetWriter(FMTID_SummaryInformation, 1200).LpstrUnicode(2, u"\u65E5\u672C").Bytes();
  std::vector<ParsedSection> sections;
  ASSERT_EQ(Parse(bytes, &sections), S_OK);
  EXPECT_EQ(sections[0].codePage, 1200);
  EXPECT_EQ(Find(sections[0], 2)->value.strings.at(0).text, u"\u65E5\u672C");
}

TEST(PropertySetParser, CodePageStoredAsNegativeShortReadsBack) {
  // 65001 does not fit a signed 16-bit value; writers store it as -535.
  Bytes bytes = PropertySetWriter(FMTID_SummaryInformation, 65001).Lpstr(2, "x").Bytes();
  std::vector<ParsedSection> sections;
  ASSERT_EQ(Parse(bytes, &sections), S_OK);
  EXPECT_EQ(sections[0].codePage, 65001);
}

TEST(PropertySetParser, NullStringsTrailingNullsAndMissingCodePage) {
  Bytes nullString = {VT_LPSTR, 0, 0, 0, 0, 0, 0, 0};  // size 0: a null string
  Bytes padded = {VT_LPSTR, 0, 0, 0, 8, 0, 0, 0, 'a', 'b', 0, 0, 0, 0, 0, 0};
  Bytes bytes = PropertySetWriter(FMTID_SummaryInformation, -1).Raw(2, nullString).Raw(3, padded).Bytes();
  std::vector<ParsedSection> sections;
  ASSERT_EQ(Parse(bytes, &sections), S_OK);
  EXPECT_FALSE(sections[0].hasCodePage);
  EXPECT_FALSE(Find(sections[0], 2)->value.strings.at(0).present);
  EXPECT_EQ(Find(sections[0], 3)->value.strings.at(0).bytes, "ab");
}

TEST(PropertySetParser, SkipsDictionaryAndUndecodedTypesButKeepsTheRest) {
  Bytes dictionary = {1, 0, 0, 0, 5, 0, 0, 0, 4, 0, 0, 0, 'n', 'a', 'm', 0};
  Bytes variantVector = {0x0C, 0x10, 0, 0, 0xFF, 0xFF, 0xFF, 0x7F};  // VT_VECTOR|VT_VARIANT, huge count
  Bytes bytes = PropertySetWriter(FMTID_DocSummaryInformation)
                    .Raw(PID_DICTIONARY, dictionary)
                    .Raw(PIDDSI_HEADINGPAIR, variantVector)
                    .Lpstr(PIDDSI_COMPANY, "Quillmark")
                    .Bytes();
  std::vector<ParsedSection> sections;
  ASSERT_EQ(Parse(bytes, &sections), S_OK);
  EXPECT_EQ(Find(sections[0], PID_DICTIONARY), nullptr);
  EXPECT_EQ(Find(sections[0], PIDDSI_HEADINGPAIR), nullptr);
  ASSERT_NE(Find(sections[0], PIDDSI_COMPANY), nullptr);
  EXPECT_EQ(Find(sections[0], PIDDSI_COMPANY)->value.strings.at(0).bytes, "Quillmark");
}

TEST(PropertySetParser, ReadsBothSectionsOfATwoSectionStream) {
  PropertySetWriter doc(FMTID_DocSummaryInformation);
  doc.Lpstr(PIDDSI_CATEGORY, "Reports");
  PropertySetWriter user(FMTID_UserDefinedProperties);
  user.Lpwstr(2, u"custom");
  std::vector<ParsedSection> sections;
  ASSERT_EQ(Parse(doc.BytesWith(user), &sections), S_OK);
  ASSERT_EQ(sections.size(), 2u);
  EXPECT_EQ(sections[0].fmtid, FMTID_DocSummaryInformation);
  EXPECT_EQ(sections[1].fmtid, FMTID_UserDefinedProperties);
  EXPECT_EQ(Find(sections[1], 2)->value.strings.at(0).text, u"custom");
}

// ---- Damaged streams ----------------------------------------------------------

struct DamageCase {
  const char* name;
  void (*damage)(Bytes& bytes);  // applied to the base stream below
  HRESULT expected;
};

// Code page, then a title (LPSTR), a Unicode comment, a vector of strings and
// a vector of numbers: table entries 0..4.
Bytes BaseStream(int codePage = 1252) {
  return PropertySetWriter(FMTID_SummaryInformation, codePage)
      .Lpstr(PIDSI_TITLE, "Title")
      .Lpwstr(PIDSI_COMMENTS, u"Comment")
      .LpstrVector(20, {"a", "b"})
      .I4Vector(21, {1, 2})
      .Bytes();
}

const DamageCase kDamageCases[] = {
    {"empty stream", [](Bytes& b) { b.clear(); }, STG_E_INVALIDHEADER},
    {"header cut short", [](Bytes& b) { b.resize(27); }, STG_E_INVALIDHEADER},
    {"section reference cut short", [](Bytes& b) { b.resize(40); }, STG_E_INVALIDHEADER},
    {"wrong byte order mark", [](Bytes& b) { SetU16(b, 0, 0xFEFF); }, STG_E_INVALIDHEADER},
    {"unknown version", [](Bytes& b) { SetU16(b, 2, 2); }, STG_E_INVALIDHEADER},
    {"no sections", [](Bytes& b) { SetU32(b, 24, 0); }, STG_E_INVALIDHEADER},
    {"section count of billions", [](Bytes& b) { SetU32(b, 24, 0xFFFFFFFF); }, STG_E_INVALIDHEADER},
    {"two sections, one reference", [](Bytes& b) { SetU32(b, 24, 2); b.resize(60); }, STG_E_INVALIDHEADER},
    {"section offset past the end", [](Bytes& b) { SetU32(b, 44, uint32_t(b.size()) + 16); }, STG_E_INVALIDHEADER},
    {"section offset of billions", [](Bytes& b) { SetU32(b, 44, 0xFFFFFFF0); }, STG_E_INVALIDHEADER},
    {"section header cut by the end", [](Bytes& b) { SetU32(b, 44, uint32_t(b.size()) - 4); }, STG_E_INVALIDHEADER},
    {"section size past the end", [](Bytes& b) { SetU32(b, 48, uint32_t(b.size())); }, STG_E_INVALIDHEADER},
    {"section size below its own header", [](Bytes& b) { SetU32(b, 48, 4); }, STG_E_INVALIDHEADER},
    {"property count of billions", [](Bytes& b) { SetU32(b, 52, 0xFFFFFFF0); }, STG_E_INVALIDHEADER},
    {"property count overflowing 32 bits", [](Bytes& b) { SetU32(b, 52, 0x20000001); }, STG_E_INVALIDHEADER},
    {"truncated stream", [](Bytes& b) { b.resize(b.size() - 10); }, STG_E_INVALIDHEADER},
    {"property offset past the section",
     [](Bytes& b) { SetU32(b, PropertySetWriter::TableEntryOffset(1) + 4, 0x7FFFFFFF); }, STG_E_DOCFILECORRUPT},
    {"property type cut by the section end",
     [](Bytes& b) { SetU32(b, PropertySetWriter::TableEntryOffset(1) + 4, GetU32(b, 48) - 2); },
     STG_E_DOCFILECORRUPT},
    {"string length of billions", [](Bytes& b) { SetU32(b, ValueOffset(b, 1) + 4, 0xFFFFFFFF); },
     STG_E_DOCFILECORRUPT},
    {"string one byte longer than the section",
     [](Bytes& b) { SetU32(b, ValueOffset(b, 1) + 4, GetU32(b, 48) - uint32_t(ValueOffset(b, 1) - 48) - 7); },
     STG_E_DOCFILECORRUPT},
    {"wide string count that doubles past 32 bits", [](Bytes& b) { SetU32(b, ValueOffset(b, 2) + 4, 0x80000001); },
     STG_E_DOCFILECORRUPT},
    {"string vector count of billions", [](Bytes& b) { SetU32(b, ValueOffset(b, 3) + 4, 0xFFFFFFFF); },
     STG_E_DOCFILECORRUPT},
    {"number vector count that quadruples past 32 bits",
     [](Bytes& b) { SetU32(b, ValueOffset(b, 4) + 4, 0x40000001); }, STG_E_DOCFILECORRUPT},
    {"code page of the wrong type", [](Bytes& b) { SetU16(b, ValueOffset(b, 0), VT_LPSTR); }, STG_E_INVALIDHEADER},
    {"code page value cut by the section end",
     [](Bytes& b) { SetU32(b, PropertySetWriter::TableEntryOffset(0) + 4, GetU32(b, 48) - 4); },
     STG_E_INVALIDHEADER},
    {"Unicode code page with an odd string size",
     [](Bytes& b) {
       SetU16(b, ValueOffset(b, 0) + 4, 1200);
       SetU32(b, ValueOffset(b, 1) + 4, 5);
     },
     STG_E_DOCFILECORRUPT},
    {"repeated property id", [](Bytes& b) { SetU32(b, PropertySetWriter::TableEntryOffset(2), PIDSI_TITLE); },
     STG_E_INVALIDHEADER},
    {"clipboard data shorter than its format",
     [](Bytes& b) {
       SetU16(b, ValueOffset(b, 1), VT_CF);
       SetU32(b, ValueOffset(b, 1) + 4, 2);
     },
     STG_E_DOCFILECORRUPT},
};

class DamagedStream : public ::testing::TestWithParam<DamageCase> {};

TEST_P(DamagedStream, GivesAnErrorAndNoSections) {
  Bytes bytes = BaseStream();
  GetParam().damage(bytes);
  // The exact-size copy lets AddressSanitizer catch any read past the end.
  auto exact = std::make_unique<uint8_t[]>(bytes.size() + 1);
  if (!bytes.empty()) memcpy(exact.get(), bytes.data(), bytes.size());
  PropertySetHeader header;
  std::vector<ParsedSection> sections(1);
  HRESULT hr = ParsePropertySetStream(bytes.empty() ? nullptr : exact.get(), bytes.size(), &header, &sections);
  EXPECT_EQ(hr, GetParam().expected) << std::hex << hr;
  EXPECT_TRUE(sections.empty());
}

INSTANTIATE_TEST_SUITE_P(Table, DamagedStream, ::testing::ValuesIn(kDamageCases),
                         [](const ::testing::TestParamInfo<DamageCase>& info) {
                           std::string name;
                           for (const char* p = info.param.name; *p; ++p) {
                             name += isalnum(static_cast<unsigned char>(*p)) ? *p : '_';
                           }
                           return name;
                         });

TEST(PropertySetParser, TheBaseStreamOfTheDamageTableIsSound) {
  std::vector<ParsedSection> sections;
  ASSERT_EQ(Parse(BaseStream(), &sections), S_OK);
  EXPECT_EQ(sections[0].properties.size(), 5u);
}

TEST(PropertySetParser, EveryPrefixOfAStreamParsesOrFailsCleanly) {
  Bytes full = BaseStream();
  size_t failures = 0;
  for (size_t n = 0; n < full.size(); ++n) {
    auto exact = std::make_unique<uint8_t[]>(n + 1);
    memcpy(exact.get(), full.data(), n);
    PropertySetHeader header;
    std::vector<ParsedSection> sections;
    if (FAILED(ParsePropertySetStream(exact.get(), n, &header, &sections))) ++failures;
  }
  // The section size names the whole stream, so every shorter prefix is damaged.
  EXPECT_EQ(failures, full.size());
}

TEST(PropertySetParser, EverySingleByteCorruptionIsHandled) {
  Bytes full = BaseStream();
  for (size_t at = 0; at < full.size(); ++at) {
    for (uint8_t value : {uint8_t(0x00), uint8_t(0x7F), uint8_t(0xFF)}) {
      Bytes bytes = full;
      bytes[at] = value;
      auto exact = std::make_unique<uint8_t[]>(bytes.size());
      memcpy(exact.get(), bytes.data(), bytes.size());
      PropertySetHeader header;
      std::vector<ParsedSection> sections;
      HRESULT hr = ParsePropertySetStream(exact.get(), bytes.size(), &header, &sections);
      EXPECT_TRUE(hr == S_OK || hr == STG_E_INVALIDHEADER || hr == STG_E_DOCFILECORRUPT) << at;
      if (FAILED(hr)) {
        EXPECT_TRUE(sections.empty());
      }
    }
  }
}

}  // namespace
