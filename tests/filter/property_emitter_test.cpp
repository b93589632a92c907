// CPropertyEmitter over real compound files: which properties become value
// chunks and in what order, the chunk record's fields, the one-value-per-chunk
// rule, and files that cannot be opened.
#include <gtest/gtest.h>

#include <fstream>

#include "compat/ComPtr.h"
#include "filter/PropertyEmitter.h"
#include "support/com_object.h"
#include "support/compound_writer.h"
#include "support/test_env.h"

using arcwise_test::PropertySetWriter;

namespace {

// Owns a value handed out by GetValue, as the host would.
struct HostValue {
  PROPVARIANT* p = nullptr;
  ~HostValue() { Reset(); }
  void Reset() {
    if (p) {
      PropVariantClear(p);
      CoTaskMemFree(p);
      p = nullptr;
    }
  }
};

class PropertyEmitterTest : public ::testing::Test {
 protected:
  void SetUp() override { m_folder = arcwise_test::MakeTestFolder("emitter"); }

  WString Write(const std::string& name, const PropertySetWriter& summary) {
    std::string path = m_folder + "/" + name;
    EXPECT_TRUE(arcwise_test::WriteSummaryInformationFile(path, summary));
    return Utf8ToUtf16(path);
  }

  std::string m_folder;
};

TEST_F(PropertyEmitterTest, EmitsEachNonEmptyStringOnceInEnumerationOrder) {
  PropertySetWriter summary(FMTID_SummaryInformation, 1252);
  summary.Lpstr(PIDSI_TITLE, "Quarterly figures")
      .I4(PIDSI_PAGECOUNT, 7)
      .Lpstr(PIDSI_SUBJECT, "Finance")
      .FileTime(PIDSI_LASTSAVE_DTM, 0x01D9000000000000ull)
      .Lpstr(PIDSI_AUTHOR, "Ada")
      .Lpstr(PIDSI_KEYWORDS, "budget; forecast")
      .Lpstr(PIDSI_TEMPLATE, "")
      .Lpstr(PIDSI_COMMENTS, "Draft for review");
  CPropertyEmitter emitter;
  ASSERT_EQ(emitter.Open(Write("report.doc", summary).c_str(), FMTID_SummaryInformation), S_OK);

  const std::pair<PROPID, std::string> expected[] = {{PIDSI_TITLE, "Quarterly figures"},
                                                     {PIDSI_SUBJECT, "Finance"},
                                                     {PIDSI_AUTHOR, "Ada"},
                                                     {PIDSI_KEYWORDS, "budget; forecast"},
                                                     {PIDSI_COMMENTS, "Draft for review"}};
  for (const auto& [id, text] : expected) {
    STAT_CHUNK chunk;
    memset(&chunk, 0xCC, sizeof chunk);
    ASSERT_EQ(emitter.GetChunk(&chunk), S_OK) << id;
    EXPECT_EQ(chunk.idChunk, 0xFFFFFFFFu);
    EXPECT_EQ(chunk.breakType, CHUNK_EOP);
    EXPECT_EQ(chunk.flags, CHUNK_VALUE);
    EXPECT_EQ(chunk.locale, GetSystemDefaultLCID());
    EXPECT_EQ(chunk.attribute.guidPropSet, FMTID_SummaryInformation);
    EXPECT_EQ(chunk.attribute.psProperty.ulKind, ULONG(PRSPEC_PROPID));
    EXPECT_EQ(chunk.attribute.psProperty.propid, id);
    EXPECT_EQ(chunk.idChunkSource, 0xFFFFFFFFu);
    EXPECT_EQ(chunk.cwcStartSource, 0u);
    EXPECT_EQ(chunk.cwcLenSource, 0u);

    HostValue value;
    ASSERT_EQ(emitter.GetValue(&value.p), S_OK);
    ASSERT_NE(value.p, nullptr);
    ASSERT_EQ(value.p->vt, VT_LPSTR);
    EXPECT_EQ(std::string(value.p->pszVal), text);
  }
  STAT_CHUNK chunk;
  EXPECT_EQ(emitter.GetChunk(&chunk), S_FALSE);  // the end of the enumeration
  PROPVARIANT* value = nullptr;
  EXPECT_EQ(emitter.GetValue(&value), FILTER_E_NO_MORE_VALUES);
  EXPECT_EQ(value, nullptr);
  EXPECT_EQ(emitter.GetChunk(&chunk), E_FAIL);  // the set was closed at its end
  emitter.Close();
}

TEST_F(PropertyEmitterTest, DatesNumbersAndEmptyStringsYieldNoChunk) {
  PropertySetWriter summary(FMTID_SummaryInformation, 1252);
  summary.FileTime(PIDSI_CREATE_DTM, 0x01D9000000000000ull)
      .I4(PIDSI_WORDCOUNT, 1200)
      .Lpstr(PIDSI_TITLE, "")
      .Lpwstr(PIDSI_SUBJECT, u"")
      .Raw(PIDSI_AUTHOR, {VT_LPSTR, 0, 0, 0, 0, 0, 0, 0})  // a null string
      .Bool(40, true)
      .LpstrVector(41, {"in a vector, not a string value"});
  CPropertyEmitter emitter;
  ASSERT_EQ(emitter.Open(Write("numbers.doc", summary).c_str(), FMTID_SummaryInformation), S_OK);
  STAT_CHUNK chunk;
  EXPECT_EQ(emitter.GetChunk(&chunk), S_FALSE);
  PROPVARIANT* value = nullptr;
  EXPECT_EQ(emitter.GetValue(&value), FILTER_E_NO_MORE_VALUES);
}

TEST_F(PropertyEmitterTest, AnsiStringsKeepTheirCodePageBytesAndWideStringsTheirText) {
  PropertySetWriter summary(FMTID_SummaryInformation, 1252);
  summary.Lpstr(PIDSI_TITLE, "Caf\xE9 cr\xE8me \x80").Lpwstr(PIDSI_AUTHOR, u"\u00C5sa \u65E5\u672C \u20AC");
  CPropertyEmitter emitter;
  ASSERT_EQ(emitter.Open(Write("strings.doc", summary).c_str(), FMTID_SummaryInformation), S_OK);

  STAT_CHUNK chunk;
  ASSERT_EQ(emitter.GetChunk(&chunk), S_OK);
  HostValue title;
  ASSERT_EQ(emitter.GetValue(&title.p), S_OK);
  ASSERT_EQ(title.p->vt, VT_LPSTR);
  EXPECT_STREQ(title.p->pszVal, "Caf\xE9 cr\xE8me \x80");
  WCHAR decoded[32] = {};
  int n = MultiByteToWideChar(1252, 0, title.p->pszVal, -1, decoded, 32);
  EXPECT_GT(n, 0);
  EXPECT_EQ(WString(decoded), u"Caf\u00E9 cr\u00E8me \u20AC");

  ASSERT_EQ(emitter.GetChunk(&chunk), S_OK);
  EXPECT_EQ(chunk.attribute.psProperty.propid, PROPID(PIDSI_AUTHOR));
  HostValue author;
  ASSERT_EQ(emitter.GetValue(&author.p), S_OK);
  ASSERT_EQ(author.p->vt, VT_LPWSTR);
  EXPECT_EQ(WString(author.p->pwszVal), u"\u00C5sa \u65E5\u672C \u20AC");
}

TEST_F(PropertyEmitterTest, AValueIsHandedOutOncePerChunk) {
  PropertySetWriter summary(FMTID_SummaryInformation, 1252);
  summary.Lpstr(PIDSI_TITLE, "One").Lpstr(PIDSI_SUBJECT, "Two");
  CPropertyEmitter emitter;
  PROPVARIANT* none = nullptr;
  EXPECT_EQ(emitter.GetValue(&none), FILTER_E_NO_MORE_VALUES);  // closed after construction
  ASSERT_EQ(emitter.Open(Write("twice.doc", summary).c_str(), FMTID_SummaryInformation), S_OK);
  EXPECT_EQ(emitter.GetValue(&none), FILTER_E_NO_MORE_VALUES);  // open, but no chunk yet

  STAT_CHUNK chunk;
  ASSERT_EQ(emitter.GetChunk(&chunk), S_OK);
  HostValue first;
  ASSERT_EQ(emitter.GetValue(&first.p), S_OK);
  EXPECT_EQ(emitter.GetValue(&none), FILTER_E_NO_MORE_VALUES);
  EXPECT_EQ(none, nullptr);

  // A chunk whose value is never asked for does not hold back the next one.
  ASSERT_EQ(emitter.GetChunk(&chunk), S_OK);
  EXPECT_EQ(chunk.attribute.psProperty.propid, PROPID(PIDSI_SUBJECT));
  EXPECT_EQ(emitter.GetChunk(&chunk), S_FALSE);
  EXPECT_EQ(emitter.GetValue(&none), FILTER_E_NO_MORE_VALUES);
}

TEST_F(PropertyEmitterTest, FilesWithoutTheSetFailToOpenAndProduceNoChunk) {
  std::string text = m_folder + "/readme.txt";
  std::ofstream(text) << "plain text has no property sets here\n";
  std::string noSummary = m_folder + "/nosummary.doc";
  ASSERT_TRUE(arcwise_test::WriteCompoundFile(noSummary, {{"WordDocument", {1, 2, 3}}}));
  std::vector<uint8_t> damaged = PropertySetWriter(FMTID_SummaryInformation).Lpstr(PIDSI_TITLE, "x").Bytes();
  damaged[52] = 0xFF;  // property count far beyond the section
  damaged[53] = 0xFF;
  std::string corrupt = m_folder + "/corrupt.doc";
  ASSERT_TRUE(arcwise_test::WriteCompoundFile(corrupt, {{arcwise_test::kSummaryInformationStream, damaged}}));

  const std::pair<std::string, HRESULT> cases[] = {{text, STG_E_FILEALREADYEXISTS},
                                                   {m_folder + "/missing.doc", STG_E_FILENOTFOUND},
                                                   {noSummary, STG_E_FILENOTFOUND},
                                                   {corrupt, STG_E_INVALIDHEADER}};
  for (const auto& [path, code] : cases) {
    CPropertyEmitter emitter;
    EXPECT_EQ(emitter.Open(Utf8ToUtf16(path).c_str(), FMTID_SummaryInformation), code) << path;
    STAT_CHUNK chunk;
    EXPECT_EQ(emitter.GetChunk(&chunk), E_FAIL) << path;
    PROPVARIANT* value = nullptr;
    EXPECT_EQ(emitter.GetValue(&value), FILTER_E_NO_MORE_VALUES) << path;
    emitter.Close();
  }
}

// What a storage implementation may hand back. Some (Wine's, for one) give
// their IStorage whatever interface is asked for; the emitter must reach the
// property sets through QueryInterface, never by calling through that pointer.
enum class StorageShape { AnotherFace, NoPropertySets, NullObject };
StorageShape g_storageShape = StorageShape::AnotherFace;

// An object whose only table is not IPropertySetStorage's: a call through it
// as if it were lands in Unrelated*, which fails and counts.
struct IUnrelatedFace : public IUnknown {
  STDMETHOD(Unrelated1)() PURE;
  STDMETHOD(Unrelated2)() PURE;
  STDMETHOD(Unrelated3)() PURE;
  STDMETHOD(Unrelated4)() PURE;
};

const IID IID_IUnrelatedFace = {0x6B1D3F42, 0x9C0E, 0x4A57, {0x8E, 0x21, 0x3D, 0x70, 0xC4, 0x19, 0x55, 0xA8}};

}  // namespace

// The IID lookup is specialised where its template lives.
ARCWISE_DECLARE_IID(IUnrelatedFace, IID_IUnrelatedFace);

namespace {

class OtherFaceStorage final : public arcwise_test::ComObject<IUnrelatedFace> {
 public:
  explicit OtherFaceStorage(IUnknown* pInner, bool offersPropertySets)
      : m_inner(pInner), m_offersPropertySets(offersPropertySets) {}
  // The property sets are the inner storage's, as a wrapper hands them out.
  STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override {
    if (ppv && riid == IID_IPropertySetStorage && m_offersPropertySets) return m_inner->QueryInterface(riid, ppv);
    return ComObject::QueryInterface(riid, ppv);
  }
  STDMETHODIMP Unrelated1() override { return Wrong(); }
  STDMETHODIMP Unrelated2() override { return Wrong(); }
  STDMETHODIMP Unrelated3() override { return Wrong(); }
  STDMETHODIMP Unrelated4() override { return Wrong(); }

  static inline int s_wrongCalls = 0;

 private:
  HRESULT Wrong() {
    ++s_wrongCalls;
    return E_UNEXPECTED;
  }
  ComPtr<IUnknown> m_inner;
  bool m_offersPropertySets;
};

HRESULT STDAPICALLTYPE OpenOtherShape(const WCHAR* name, DWORD mode, STGFMT format, DWORD attributes,
                                      STGOPTIONS* options, PSECURITY_DESCRIPTOR security, REFIID,
                                      void** ppv) {
  *ppv = nullptr;
  if (g_storageShape == StorageShape::NullObject) return S_OK;
  ComPtr<IUnknown> inner;
  HRESULT hr = StgOpenStorageEx(name, mode, format, attributes, options, security, IID_IUnknown,
                                reinterpret_cast<void**>(&inner));
  if (FAILED(hr)) return hr;
  *ppv = static_cast<IUnrelatedFace*>(
      new OtherFaceStorage(inner.Get(), g_storageShape == StorageShape::AnotherFace));
  return S_OK;
}

TEST_F(PropertyEmitterTest, ReachesThePropertySetsWhateverInterfaceTheStorageHandsBack) {
  PropertySetWriter summary(FMTID_SummaryInformation, 1252);
  summary.Lpstr(PIDSI_TITLE, "Through the right table");
  const WString path = Write("faces.doc", summary);
  const struct {
    StorageShape shape;
    HRESULT open;
    HRESULT firstChunk;
  } cases[] = {{StorageShape::AnotherFace, S_OK, S_OK},
               {StorageShape::NoPropertySets, E_NOINTERFACE, E_FAIL},
               {StorageShape::NullObject, E_UNEXPECTED, E_FAIL}};
  for (const auto& c : cases) {
    g_storageShape = c.shape;
    OtherFaceStorage::s_wrongCalls = 0;
    CPropertyEmitter emitter(&OpenOtherShape);
    EXPECT_EQ(emitter.Open(path.c_str(), FMTID_SummaryInformation), c.open) << int(c.shape);
    STAT_CHUNK chunk;
    EXPECT_EQ(emitter.GetChunk(&chunk), c.firstChunk) << int(c.shape);
    if (c.firstChunk == S_OK) {
      HostValue title;
      ASSERT_EQ(emitter.GetValue(&title.p), S_OK);
      EXPECT_STREQ(title.p->pszVal, "Through the right table");
    }
    emitter.Close();
    EXPECT_EQ(OtherFaceStorage::s_wrongCalls, 0) << int(c.shape);
  }
}

TEST_F(PropertyEmitterTest, OpenAgainStartsOverAndCloseEndsEverything) {
  PropertySetWriter first(FMTID_SummaryInformation, 1252);
  first.Lpstr(PIDSI_TITLE, "First").Lpstr(PIDSI_SUBJECT, "Unread");
  PropertySetWriter second(FMTID_SummaryInformation, 1252);
  second.Lpstr(PIDSI_COMMENTS, "Second");
  CPropertyEmitter emitter;
  ASSERT_EQ(emitter.Open(Write("a.doc", first).c_str(), FMTID_SummaryInformation), S_OK);
  STAT_CHUNK chunk;
  ASSERT_EQ(emitter.GetChunk(&chunk), S_OK);

  ASSERT_EQ(emitter.Open(Write("b.doc", second).c_str(), FMTID_SummaryInformation), S_OK);
  PROPVARIANT* none = nullptr;
  EXPECT_EQ(emitter.GetValue(&none), FILTER_E_NO_MORE_VALUES);  // reopening drops the pending value
  ASSERT_EQ(emitter.GetChunk(&chunk), S_OK);
  EXPECT_EQ(chunk.attribute.psProperty.propid, PROPID(PIDSI_COMMENTS));

  emitter.Close();
  EXPECT_EQ(emitter.GetValue(&none), FILTER_E_NO_MORE_VALUES);
  EXPECT_EQ(emitter.GetChunk(&chunk), E_FAIL);
}

TEST_F(PropertyEmitterTest, OtherSetsAreReadUnderTheirOwnFormatId) {
  PropertySetWriter doc(FMTID_DocSummaryInformation, 1252);
  doc.Lpstr(PIDDSI_COMPANY, "Quillmark").I4(PIDDSI_LINECOUNT, 3);
  std::string path = m_folder + "/doc.xls";
  ASSERT_TRUE(
      arcwise_test::WriteCompoundFile(path, {{arcwise_test::kDocumentSummaryInformationStream, doc.Bytes()}}));
  CPropertyEmitter emitter;
  ASSERT_EQ(emitter.Open(Utf8ToUtf16(path).c_str(), FMTID_DocSummaryInformation), S_OK);
  STAT_CHUNK chunk;
  ASSERT_EQ(emitter.GetChunk(&chunk), S_OK);
  EXPECT_EQ(chunk.attribute.guidPropSet, FMTID_DocSummaryInformation);
  EXPECT_EQ(chunk.attribute.psProperty.propid, PROPID(PIDDSI_COMPANY));
  EXPECT_EQ(emitter.GetChunk(&chunk), S_FALSE);
}

}  // namespace
