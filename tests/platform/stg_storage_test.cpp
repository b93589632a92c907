// StgOpenStorageEx and the property-set interfaces over real compound files
// written by the test fixtures: opening, failure codes for plain and missing
// files, enumeration (Next, Skip, Reset, Clone), ReadMultiple's values in
// caller-owned memory, and PropVariantClear.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <thread>

#include "compat/ComPtr.h"
#include <propidl.h>

#include "support/compound_writer.h"
#include "support/scoped_env.h"
#include "support/test_env.h"

using arcwise_test::CompoundStream;
using arcwise_test::PropertySetWriter;

namespace {

WString Wide(const std::string& path) { return Utf8ToUtf16(path); }

HRESULT OpenSetStorage(const std::string& path, IPropertySetStorage** storage,
                       DWORD mode = STGM_READ | STGM_SHARE_DENY_WRITE, STGFMT format = STGFMT_ANY) {
  return StgOpenStorageEx(Wide(path).c_str(), mode, format, 0, nullptr, nullptr, IID_IPropertySetStorage,
                          reinterpret_cast<void**>(storage));
}

// The summary set of the file at path, opened read-only as the property
// emitter opens it; a failure fails the test.
void OpenSummary(const std::string& path, IPropertyStorage** props) {
  ComPtr<IPropertySetStorage> storage;
  ASSERT_EQ(OpenSetStorage(path, &storage), S_OK);
  ASSERT_EQ(storage->Open(FMTID_SummaryInformation, STGM_READ | STGM_SHARE_EXCLUSIVE, props), S_OK);
}

class StgStorageTest : public ::testing::Test {
 protected:
  void SetUp() override { m_folder = arcwise_test::MakeTestFolder("stg"); }

  std::string Path(const std::string& name) const { return m_folder + "/" + name; }

  // A summary set with several types, in this order.
  std::string WriteSample() {
    std::string path = Path("sample.doc");
    PropertySetWriter summary(FMTID_SummaryInformation, 1252);
    summary.Lpstr(PIDSI_TITLE, "Caf\xE9 report")
        .I4(PIDSI_PAGECOUNT, 12)
        .Lpwstr(PIDSI_AUTHOR, u"J\u00F6rg \u20AC")
        .FileTime(PIDSI_CREATE_DTM, 0x01D9000000000000ull)
        .LpstrVector(40, {"x", "yz"});
    PropertySetWriter doc(FMTID_DocSummaryInformation);
    doc.Lpstr(PIDDSI_COMPANY, "Quillmark");
    PropertySetWriter user(FMTID_UserDefinedProperties, 1200);
    user.Lpwstr(2, u"custom");
    EXPECT_TRUE(arcwise_test::WriteCompoundFile(
        path, {{"WordDocument", {1, 2, 3}},
               {arcwise_test::kSummaryInformationStream, summary.Bytes()},
               {arcwise_test::kDocumentSummaryInformationStream, doc.BytesWith(user)}}));
    return path;
  }

  std::string m_folder;
};

TEST_F(StgStorageTest, PlainAndMissingFilesFailWithTheWindowsCodes) {
  std::string text = Path("notes.txt");
  std::ofstream(text) << "just text, not a compound file\n";
  std::string empty = Path("empty.doc");
  std::ofstream(empty).flush();

  ComPtr<IPropertySetStorage> storage;
  EXPECT_EQ(OpenSetStorage(text, &storage), STG_E_FILEALREADYEXISTS);
  EXPECT_FALSE(storage);
  EXPECT_EQ(OpenSetStorage(empty, &storage), STG_E_FILEALREADYEXISTS);
  EXPECT_EQ(OpenSetStorage(Path("missing.doc"), &storage), STG_E_FILENOTFOUND);
  EXPECT_EQ(OpenSetStorage(Path("no-folder/missing.doc"), &storage), STG_E_PATHNOTFOUND);
  EXPECT_FALSE(storage);
}

TEST_F(StgStorageTest, ACompoundSignatureOverGarbageIsReportedCorrupt) {
  std::string path = Path("broken.doc");
  std::ofstream out(path, std::ios::binary);
  const unsigned char signature[8] = {0xD0, 0xCF, 0x11, 0xE0, 0xA1, 0xB1, 0x1A, 0xE1};
  out.write(reinterpret_cast<const char*>(signature), 8);
  out << std::string(600, '\x5A');
  out.close();
  ComPtr<IPropertySetStorage> storage;
  EXPECT_EQ(OpenSetStorage(path, &storage), STG_E_DOCFILECORRUPT);
  EXPECT_FALSE(storage);
}

TEST_F(StgStorageTest, ArgumentsOutsideTheReadOnlySubsetAreRefused) {
  std::string path = WriteSample();
  ComPtr<IPropertySetStorage> storage;
  EXPECT_EQ(OpenSetStorage(path, &storage, STGM_READWRITE | STGM_SHARE_EXCLUSIVE), STG_E_ACCESSDENIED);
  EXPECT_EQ(OpenSetStorage(path, &storage, STGM_READ, STGFMT_FILE), STG_E_INVALIDPARAMETER);
  EXPECT_EQ(StgOpenStorageEx(Wide(path).c_str(), STGM_READ, STGFMT_ANY, 0, nullptr, nullptr, IID_IStream,
                             reinterpret_cast<void**>(&storage)),
            E_NOINTERFACE);
  EXPECT_EQ(StgOpenStorageEx(Wide(path).c_str(), STGM_READ, STGFMT_ANY, 0, nullptr, nullptr,
                             IID_IPropertySetStorage, nullptr),
            STG_E_INVALIDPOINTER);
  EXPECT_FALSE(storage);
}

TEST_F(StgStorageTest, EnumeratesSummaryPropertiesInStreamOrderWithoutTheCodePage) {
  ComPtr<IPropertyStorage> props;
  ASSERT_NO_FATAL_FAILURE(OpenSummary(WriteSample(), &props));
  ComPtr<IEnumSTATPROPSTG> e;
  ASSERT_EQ(props->Enum(&e), S_OK);

  STATPROPSTG stats[8] = {};
  ULONG fetched = 0;
  EXPECT_EQ(e->Next(8, stats, &fetched), S_FALSE);
  ASSERT_EQ(fetched, 5u);
  const PROPID ids[] = {PIDSI_TITLE, PIDSI_PAGECOUNT, PIDSI_AUTHOR, PIDSI_CREATE_DTM, 40};
  const VARTYPE types[] = {VT_LPSTR, VT_I4, VT_LPWSTR, VT_FILETIME, VT_VECTOR | VT_LPSTR};
  for (ULONG i = 0; i < fetched; ++i) {
    EXPECT_EQ(stats[i].propid, ids[i]);
    EXPECT_EQ(stats[i].vt, types[i]);
    EXPECT_EQ(stats[i].lpwstrName, nullptr);
  }
  EXPECT_EQ(e->Next(1, stats, nullptr), S_FALSE);
}

TEST_F(StgStorageTest, EnumeratorSkipResetAndCloneKeepTheirOwnPositions) {
  ComPtr<IPropertyStorage> props;
  ASSERT_NO_FATAL_FAILURE(OpenSummary(WriteSample(), &props));
  ComPtr<IEnumSTATPROPSTG> e;
  ASSERT_EQ(props->Enum(&e), S_OK);
  props.Reset();  // the enumeration keeps what it walks alive

  STATPROPSTG stat = {};
  EXPECT_EQ(e->Skip(2), S_OK);
  ASSERT_EQ(e->Next(1, &stat, nullptr), S_OK);
  EXPECT_EQ(stat.propid, PROPID(PIDSI_AUTHOR));

  ComPtr<IEnumSTATPROPSTG> clone;
  ASSERT_EQ(e->Clone(&clone), S_OK);
  ASSERT_EQ(clone->Next(1, &stat, nullptr), S_OK);
  EXPECT_EQ(stat.propid, PROPID(PIDSI_CREATE_DTM));
  EXPECT_EQ(e->Skip(10), S_FALSE);  // runs past the end
  EXPECT_EQ(e->Next(1, &stat, nullptr), S_FALSE);
  ASSERT_EQ(clone->Next(1, &stat, nullptr), S_OK);  // the clone did not move with it
  EXPECT_EQ(stat.propid, 40u);

  EXPECT_EQ(e->Reset(), S_OK);
  ASSERT_EQ(e->Next(1, &stat, nullptr), S_OK);
  EXPECT_EQ(stat.propid, PROPID(PIDSI_TITLE));
  ULONG fetched = 7;
  EXPECT_EQ(e->Next(2, nullptr, &fetched), E_INVALIDARG);
  EXPECT_EQ(e->Next(2, &stat, nullptr), E_INVALIDARG);  // more than one needs a count
}

TEST_F(StgStorageTest, ReadMultipleGivesCallerOwnedValues) {
  ComPtr<IPropertyStorage> props;
  ASSERT_NO_FATAL_FAILURE(OpenSummary(WriteSample(), &props));

  PROPSPEC specs[7] = {};
  const PROPID ids[] = {PIDSI_TITLE, PIDSI_PAGECOUNT, PIDSI_AUTHOR, PIDSI_CREATE_DTM, 40, PID_CODEPAGE,
                        PIDSI_SUBJECT};
  for (int i = 0; i < 7; ++i) {
    specs[i].ulKind = PRSPEC_PROPID;
    specs[i].propid = ids[i];
  }
  PROPVARIANT values[7];
  ASSERT_EQ(props->ReadMultiple(7, specs, values), S_OK);
  ASSERT_EQ(values[0].vt, VT_LPSTR);
  EXPECT_STREQ(values[0].pszVal, "Caf\xE9 report");  // bytes of code page 1252, as stored
  ASSERT_EQ(values[1].vt, VT_I4);
  EXPECT_EQ(values[1].lVal, 12);
  ASSERT_EQ(values[2].vt, VT_LPWSTR);
  EXPECT_EQ(WString(values[2].pwszVal), u"J\u00F6rg \u20AC");
  ASSERT_EQ(values[3].vt, VT_FILETIME);
  EXPECT_EQ(values[3].filetime.dwHighDateTime, 0x01D90000u);
  EXPECT_EQ(values[3].filetime.dwLowDateTime, 0u);
  ASSERT_EQ(values[4].vt, VT_VECTOR | VT_LPSTR);
  ASSERT_EQ(values[4].calpstr.cElems, 2u);
  EXPECT_STREQ(values[4].calpstr.pElems[1], "yz");
  ASSERT_EQ(values[5].vt, VT_I2);
  EXPECT_EQ(USHORT(values[5].iVal), 1252);
  EXPECT_EQ(values[6].vt, VT_EMPTY);  // absent property
  EXPECT_EQ(FreePropVariantArray(7, values), S_OK);
  for (const auto& v : values) EXPECT_EQ(v.vt, VT_EMPTY);

  PROPSPEC missing = {};
  missing.ulKind = PRSPEC_PROPID;
  missing.propid = 99;
  PROPVARIANT value;
  EXPECT_EQ(props->ReadMultiple(1, &missing, &value), S_FALSE);
  EXPECT_EQ(value.vt, VT_EMPTY);
}

TEST_F(StgStorageTest, UnicodeSetsAndTheSecondSectionOpenByFormatId) {
  ComPtr<IPropertySetStorage> storage;
  ASSERT_EQ(OpenSetStorage(WriteSample(), &storage), S_OK);

  ComPtr<IEnumSTATPROPSETSTG> sets;
  ASSERT_EQ(storage->Enum(&sets), S_OK);
  std::vector<FMTID> found;
  STATPROPSETSTG stat;
  while (sets->Next(1, &stat, nullptr) == S_OK) found.push_back(stat.fmtid);
  ASSERT_EQ(found.size(), 3u);
  EXPECT_NE(std::find(found.begin(), found.end(), FMTID_SummaryInformation), found.end());
  EXPECT_NE(std::find(found.begin(), found.end(), FMTID_DocSummaryInformation), found.end());
  EXPECT_NE(std::find(found.begin(), found.end(), FMTID_UserDefinedProperties), found.end());

  ComPtr<IPropertyStorage> user;
  ASSERT_EQ(storage->Open(FMTID_UserDefinedProperties, STGM_READ | STGM_SHARE_EXCLUSIVE, &user), S_OK);
  ASSERT_EQ(user->Stat(&stat), S_OK);
  EXPECT_EQ(stat.fmtid, FMTID_UserDefinedProperties);
  EXPECT_EQ(stat.grfFlags, DWORD(PROPSETFLAG_DEFAULT));  // code page 1200: not ANSI
  ComPtr<IPropertyStorage> summary;
  ASSERT_EQ(storage->Open(FMTID_SummaryInformation, STGM_READ | STGM_SHARE_EXCLUSIVE, &summary), S_OK);
  ASSERT_EQ(summary->Stat(&stat), S_OK);
  EXPECT_EQ(stat.grfFlags, DWORD(PROPSETFLAG_ANSI));
  EXPECT_EQ(stat.dwOSVersion, 0x00020006u);
}

TEST_F(StgStorageTest, AnsiTypedStringsOfAUnicodeSetComeOutInTheAnsiCodePage) {
  arcwise_test::ScopedEnv acp("ARCWISE_ACP", "1252");
  std::string path = Path("unicode.doc");
  PropertySetWriter summary(FMTID_SummaryInformation, 1200);
  summary.LpstrUnicode(PIDSI_TITLE, u"Caf\u00E9");
  ASSERT_TRUE(arcwise_test::WriteSummaryInformationFile(path, summary));
  ComPtr<IPropertyStorage> props;
  ASSERT_NO_FATAL_FAILURE(OpenSummary(path, &props));
  PROPSPEC titleSpec = {};
  titleSpec.ulKind = PRSPEC_PROPID;
  titleSpec.propid = PIDSI_TITLE;
  PROPVARIANT value;
  ASSERT_EQ(props->ReadMultiple(1, &titleSpec, &value), S_OK);
  ASSERT_EQ(value.vt, VT_LPSTR);
  EXPECT_STREQ(value.pszVal, "Caf\xE9");
  PropVariantClear(&value);
}

TEST_F(StgStorageTest, MissingAndDamagedSetsFailToOpenWithoutHidingSoundOnes) {
  std::string noSets = Path("nosets.doc");
  ASSERT_TRUE(arcwise_test::WriteCompoundFile(noSets, {{"WordDocument", {1, 2, 3, 4}}}));
  ComPtr<IPropertySetStorage> storage;
  ASSERT_EQ(OpenSetStorage(noSets, &storage), S_OK);
  ComPtr<IPropertyStorage> props;
  EXPECT_EQ(storage->Open(FMTID_SummaryInformation, STGM_READ | STGM_SHARE_EXCLUSIVE, &props),
            STG_E_FILENOTFOUND);
  EXPECT_FALSE(props);

  // A summary set whose title claims more bytes than there are, beside a
  // document summary stream whose header is garbage.
  std::vector<uint8_t> bad = PropertySetWriter(FMTID_SummaryInformation).Lpstr(PIDSI_TITLE, "t").Bytes();
  bad[bad.size() - 8] = 0xFF;  // the title's length field
  PropertySetWriter doc(FMTID_DocSummaryInformation);
  doc.Lpstr(PIDDSI_COMPANY, "Quillmark");
  std::string damaged = Path("damaged.doc");
  ASSERT_TRUE(arcwise_test::WriteCompoundFile(
      damaged, {{arcwise_test::kSummaryInformationStream, bad},
                {arcwise_test::kDocumentSummaryInformationStream, doc.Bytes()},
                {"\005Garbage", {0xFE, 0xFF, 9, 9}}}));
  ASSERT_EQ(OpenSetStorage(damaged, &storage), S_OK);
  EXPECT_EQ(storage->Open(FMTID_SummaryInformation, STGM_READ | STGM_SHARE_EXCLUSIVE, &props),
            STG_E_DOCFILECORRUPT);
  EXPECT_EQ(storage->Open(FMTID_DocSummaryInformation, STGM_READ | STGM_SHARE_EXCLUSIVE, &props), S_OK);
  EXPECT_TRUE(props);
}

TEST_F(StgStorageTest, WritingMethodsAreRefusedOnTheReadOnlyStorage) {
  ComPtr<IPropertySetStorage> storage;
  ASSERT_EQ(OpenSetStorage(WriteSample(), &storage), S_OK);
  ComPtr<IPropertyStorage> props;
  EXPECT_EQ(storage->Create(FMTID_SummaryInformation, nullptr, PROPSETFLAG_DEFAULT, STGM_READWRITE, &props),
            STG_E_ACCESSDENIED);
  EXPECT_EQ(storage->Open(FMTID_SummaryInformation, STGM_READWRITE | STGM_SHARE_EXCLUSIVE, &props),
            STG_E_ACCESSDENIED);
  EXPECT_EQ(storage->Delete(FMTID_SummaryInformation), STG_E_ACCESSDENIED);
  ASSERT_EQ(storage->Open(FMTID_SummaryInformation, STGM_READ | STGM_SHARE_EXCLUSIVE, &props), S_OK);
  PROPSPEC titleSpec = {};
  titleSpec.ulKind = PRSPEC_PROPID;
  titleSpec.propid = PIDSI_TITLE;
  PROPVARIANT value;
  PropVariantInit(&value);
  EXPECT_EQ(props->WriteMultiple(1, &titleSpec, &value, PID_FIRST_USABLE), STG_E_ACCESSDENIED);
  EXPECT_EQ(props->DeleteMultiple(1, &titleSpec), STG_E_ACCESSDENIED);
  EXPECT_EQ(props->SetClass(CLSID_NULL), STG_E_ACCESSDENIED);
}

TEST_F(StgStorageTest, BackslashPathsAndParallelOpensReadTheSameValues) {
  std::string path = WriteSample();
  const WString windowsPath = arcwise_test::WindowsPath(path);
  // Each thread opens the file on its own, as filter objects on different
  // threads do; every one must see the whole set.
  std::vector<std::thread> threads;
  std::atomic<int> sound{0};
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&] {
      for (int round = 0; round < 10; ++round) {
        ComPtr<IPropertySetStorage> storage;
        if (StgOpenStorageEx(windowsPath.c_str(), STGM_READ | STGM_SHARE_DENY_WRITE, STGFMT_ANY, 0, nullptr,
                             nullptr, IID_IPropertySetStorage, reinterpret_cast<void**>(&storage)) != S_OK) {
          return;
        }
        ComPtr<IPropertyStorage> props;
        if (storage->Open(FMTID_SummaryInformation, STGM_READ | STGM_SHARE_EXCLUSIVE, &props) != S_OK) return;
        PROPSPEC titleSpec = {};
        titleSpec.ulKind = PRSPEC_PROPID;
        titleSpec.propid = PIDSI_TITLE;
        PROPVARIANT value;
        if (props->ReadMultiple(1, &titleSpec, &value) != S_OK) return;
        bool same = value.vt == VT_LPSTR && strcmp(value.pszVal, "Caf\xE9 report") == 0;
        PropVariantClear(&value);
        if (!same) return;
      }
      ++sound;
    });
  }
  for (auto& thread : threads) thread.join();
  EXPECT_EQ(sound.load(), 4);
}

TEST(PropVariantClearTest, FreesEveryOwnedShapeAndRefusesUnknownTypes) {
  // Built by hand with task memory; LeakSanitizer checks that all of it goes.
  PROPVARIANT v;
  PropVariantInit(&v);
  v.vt = VT_LPWSTR;
  v.pwszVal = static_cast<LPWSTR>(CoTaskMemAlloc(4));
  EXPECT_EQ(PropVariantClear(&v), S_OK);
  EXPECT_EQ(v.vt, VT_EMPTY);
  EXPECT_EQ(v.pwszVal, nullptr);

  v.vt = VT_CF;
  v.pclipdata = static_cast<CLIPDATA*>(CoTaskMemAlloc(sizeof(CLIPDATA)));
  v.pclipdata->cbSize = 8;
  v.pclipdata->ulClipFmt = -1;
  v.pclipdata->pClipData = static_cast<BYTE*>(CoTaskMemAlloc(4));
  EXPECT_EQ(PropVariantClear(&v), S_OK);

  v.vt = VT_VECTOR | VT_LPSTR;
  v.calpstr.cElems = 2;
  v.calpstr.pElems = static_cast<LPSTR*>(CoTaskMemAlloc(2 * sizeof(LPSTR)));
  v.calpstr.pElems[0] = static_cast<LPSTR>(CoTaskMemAlloc(3));
  v.calpstr.pElems[1] = nullptr;
  EXPECT_EQ(PropVariantClear(&v), S_OK);

  v.vt = VT_VECTOR | VT_I4;
  v.cal.cElems = 3;
  v.cal.pElems = static_cast<LONG*>(CoTaskMemAlloc(3 * sizeof(LONG)));
  EXPECT_EQ(PropVariantClear(&v), S_OK);

  v.vt = VT_BSTR;  // no BSTR allocator here: left alone
  v.pwszVal = nullptr;
  EXPECT_EQ(PropVariantClear(&v), DISP_E_BADVARTYPE);
  EXPECT_EQ(v.vt, VT_BSTR);
  EXPECT_EQ(PropVariantClear(nullptr), S_OK);
}

}  // namespace
