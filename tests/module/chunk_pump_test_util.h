// Shared pieces of the chunk-pump tests: a fixture that registers
// libarcwise.so by its own DllRegisterServer (so nested ".zip" files reach
// the module through the persistent handler), the stock text and compound
// filters by theirs, and the scriptable fake filter; and Drain, which pulls
// every chunk with its text or value the way an indexing host does.
// One thread.
#pragma once

#include "module_test_util.h"

#include <dlfcn.h>

#include <fstream>
#include <sstream>

#include <propidl.h>

#include "modules/fake_filter.h"
#include "support/compound_writer.h"

namespace pump_test {

using namespace module_test;

const GUID kFmtidStorage = {0xB725F130, 0x47EF, 0x101A, {0xA5, 0xF1, 0x02, 0x60, 0x8C, 0x9E, 0xEB, 0xAC}};

// One chunk as the host saw it, with the whole of its text or its value.
struct Chunk {
  ULONG id = 0;
  CHUNK_BREAKTYPE breakType = CHUNK_NO_BREAK;
  CHUNKSTATE flags = CHUNK_TEXT;
  GUID fmtid = {};
  PROPID propid = 0;
  ULONG idSource = 0;
  LCID locale = 0;
  std::string content;  // UTF-8 text, or the string value

  bool operator==(const Chunk& other) const {
    return id == other.id && breakType == other.breakType && flags == other.flags &&
           IsEqualGUID(fmtid, other.fmtid) && propid == other.propid && idSource == other.idSource &&
           locale == other.locale && content == other.content;
  }
};

inline std::ostream& operator<<(std::ostream& out, const Chunk& chunk) {
  return out << "{id " << chunk.id << ", break " << chunk.breakType << ", flags " << chunk.flags << ", "
             << Utf16ToUtf8(GuidToString(chunk.fmtid)) << "/" << chunk.propid << ", source " << chunk.idSource
             << ", locale 0x" << std::hex << chunk.locale << std::dec << ", \"" << chunk.content << "\"}";
}

inline Chunk TextChunk(ULONG id, CHUNK_BREAKTYPE breakType, const std::string& text) {
  Chunk chunk;
  chunk.id = chunk.idSource = id;
  chunk.breakType = breakType;
  chunk.flags = CHUNK_TEXT;
  chunk.fmtid = kFmtidStorage;
  chunk.propid = 19;
  chunk.locale = GetSystemDefaultLCID();
  chunk.content = text;
  return chunk;
}

inline Chunk ValueChunk(ULONG id, PROPID propid, const std::string& value) {
  Chunk chunk;
  chunk.id = chunk.idSource = id;
  chunk.breakType = CHUNK_EOP;
  chunk.flags = CHUNK_VALUE;
  chunk.fmtid = FMTID_SummaryInformation;
  chunk.propid = propid;
  chunk.locale = GetSystemDefaultLCID();
  chunk.content = value;
  return chunk;
}

// The string in a value the host received; frees the value.
inline std::string TakeString(PROPVARIANT* value) {
  std::string text;
  if (value->vt == VT_LPSTR && value->pszVal) text = value->pszVal;
  if (value->vt == VT_LPWSTR && value->pwszVal) text = Utf16ToUtf8(value->pwszVal);
  if (value->vt != VT_LPSTR && value->vt != VT_LPWSTR) text = "<vt " + std::to_string(value->vt) + ">";
  PropVariantClear(value);
  CoTaskMemFree(value);
  return text;
}

// Every chunk until GetChunk fails (*end receives that code), the text read
// in pieces of `piece` characters.
inline std::vector<Chunk> Drain(IFilter* filter, HRESULT* end = nullptr, ULONG piece = 5) {
  std::vector<Chunk> chunks;
  for (;;) {
    STAT_CHUNK stat;
    memset(&stat, 0xCD, sizeof stat);
    HRESULT hr = filter->GetChunk(&stat);
    if (hr != S_OK) {
      if (end) *end = hr;
      return chunks;
    }
    Chunk chunk;
    chunk.id = stat.idChunk;
    chunk.breakType = stat.breakType;
    chunk.flags = stat.flags;
    chunk.fmtid = stat.attribute.guidPropSet;
    chunk.propid = stat.attribute.psProperty.propid;
    chunk.idSource = stat.idChunkSource;
    chunk.locale = stat.locale;
    if (stat.flags & CHUNK_TEXT) {
      WString text;
      for (;;) {
        std::vector<WCHAR> buffer(piece);
        ULONG count = piece;
        hr = filter->GetText(&count, buffer.data());
        if (FAILED(hr)) break;
        text.append(buffer.data(), count);
        if (hr == FILTER_S_LAST_TEXT) break;
      }
      chunk.content = Utf16ToUtf8(text);
    } else {
      PROPVARIANT* value = nullptr;
      hr = filter->GetValue(&value);
      chunk.content = SUCCEEDED(hr) && value ? TakeString(value) : "<no value>";
    }
    chunks.push_back(chunk);
    if (chunks.size() > 100000) {
      ADD_FAILURE() << "GetChunk does not end";
      return chunks;
    }
  }
}

// Runs a module's own DllRegisterServer, as regsvr32 does.
inline void RunDllRegisterServer(const std::string& path) {
  void* handle = dlopen(path.c_str(), RTLD_NOW);
  ASSERT_NE(nullptr, handle) << dlerror();
  auto registerServer = reinterpret_cast<HRESULT (*)()>(dlsym(handle, "DllRegisterServer"));
  ASSERT_NE(nullptr, registerServer);
  EXPECT_EQ(S_OK, registerServer());
  dlclose(handle);
}

// Objects alive in the fake filter module (0 when it is not loaded).
inline LONG FakeLiveObjects() {
  void* handle = dlopen(ARCWISE_FAKE_FILTER_MODULE, RTLD_NOW | RTLD_NOLOAD);
  if (!handle) return 0;
  auto live = reinterpret_cast<PFN_ARCWISE_FAKE_COUNTER>(dlsym(handle, "ArcwiseFakeFilterLiveObjects"));
  LONG count = live ? live() : -1;
  dlclose(handle);
  return count;
}

inline std::string ReadBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream content;
  content << in.rdbuf();
  return content.str();
}

// libarcwise.so registered by itself (its class, the ".zip" persistent
// handler), the stock filters and the fake filter, debug output at level 3
// captured from the module's first load on.
class PumpTest : public ModuleTest {
 protected:
  void SetUp() override {
    ModuleTest::SetUp();
    if (HasFatalFailure()) return;
    SetProductDword(W("DebugMode"), 3);
    RunDllRegisterServer(kModulePath);
    RunDllRegisterServer(ARCWISE_TEXT_FILTER_PATH);
    RunDllRegisterServer(ARCWISE_COMPOUND_FILTER_PATH);
    ASSERT_EQ(ERROR_SUCCESS, arcwise_fake::RegisterFakeFilters(Utf8ToUtf16(ARCWISE_FAKE_FILTER_MODULE)));
    ASSERT_FALSE(IsLoaded()) << "registering left the module loaded";
  }

  void TearDown() override {
    ModuleTest::TearDown();
    EXPECT_EQ(0, FakeLiveObjects()) << "a fake filter object was not released";
  }

  // A filter object loaded with the archive at path.
  ComPtr<IFilter> LoadArchive(const std::string& path) {
    ComPtr<IFilter> filter;
    EXPECT_EQ(S_OK, Create(filter));
    if (!filter) return filter;
    ComPtr<IPersistFile> file;
    EXPECT_EQ(S_OK, filter.As(&file));
    EXPECT_EQ(S_OK, file->Load(Utf8ToUtf16(path).c_str(), STGM_READ));
    return filter;
  }

  static HRESULT InitDefault(IFilter* filter) {
    ULONG flags = 0xFFFF;
    HRESULT hr = filter->Init(IFILTER_INIT_CANON_PARAGRAPHS | IFILTER_INIT_APPLY_INDEX_ATTRIBUTES, 0, nullptr,
                              &flags);
    EXPECT_EQ(0u, flags);
    return hr;
  }

  // The bytes of a compound document whose summary information is summary.
  std::string CompoundDocument(const arcwise_test::PropertySetWriter& summary) {
    const std::string path = arcwise_test::TestRoot() + "/compound-" + std::to_string(++m_compoundCount);
    EXPECT_TRUE(arcwise_test::WriteSummaryInformationFile(path, summary));
    std::string bytes = ReadBytes(path);
    std::filesystem::remove(path);
    return bytes;
  }

  arcwise_test::DebugCapture m_capture;
  int m_compoundCount = 0;
};

}  // namespace pump_test
