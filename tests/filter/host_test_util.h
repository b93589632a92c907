// What every test that plays an indexing host shares, whether it creates the
// filter object directly (tests/filter) or through libarcwise.so
// (tests/module): registry values of the product key, a private working
// folder (TempPath) and the lock files in it, ZIP archives and compound
// documents in the test folder, the stock and fake nested filters registered
// as a machine has them, Drain, which pulls every chunk with its text or
// value the way a host does, and TestStream, a scriptable IStream.
// No product code: how the filter object is made is the fixture's business.
// One thread at a time, except TestStream's reference count.
#pragma once

#include <gtest/gtest.h>

#include <dlfcn.h>
#include <strings.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <optional>
#include <ostream>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "compat/ComPtr.h"
#include <filter.h>
#include <objbase.h>
#include <propidl.h>
#include <shlwapi.h>

#include "modules/fake_filter.h"
#include "support/com_object.h"
#include "support/compound_writer.h"
#include "support/files.h"
#include "support/loaded_module.h"
#include "support/registry_util.h"
#include "support/test_env.h"
#include "support/zip_writer.h"

namespace host_test {

const WString kProductKey = W("SOFTWARE\\Quillmark\\Arcwise");
const GUID kFmtidStorage = {0xB725F130, 0x47EF, 0x101A, {0xA5, 0xF1, 0x02, 0x60, 0x8C, 0x9E, 0xEB, 0xAC}};

using arcwise_test::ReadAll;
using arcwise_test::SetString;

inline void SetProductDword(LPCWSTR name, DWORD value) {
  arcwise_test::SetDword(HKEY_LOCAL_MACHINE, kProductKey, name, value);
}

inline size_t CountLines(const std::vector<WString>& lines, const WString& needle) {
  return static_cast<size_t>(std::count_if(lines.begin(), lines.end(), [&](const WString& line) {
    return line.find(needle) != WString::npos;
  }));
}

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
  EXPECT_EQ(S_OK, arcwise_test::CallLoadingIt<HRESULT>(path, "DllRegisterServer", E_FAIL, E_NOTIMPL)) << path;
}

// Objects alive in the fake filter module (0 when it is not loaded).
inline LONG FakeLiveObjects() {
  return arcwise_test::CallIfLoaded<LONG>(ARCWISE_FAKE_FILTER_MODULE, "ArcwiseFakeFilterLiveObjects", 0, -1);
}

// The working folder (TempPath) is a private folder of the test and the
// calling thread is in the multithreaded apartment. After each test no claim
// on a temporary item may be left. The fixture below decides how a filter
// object is made.
class HostTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(S_OK, CoInitializeEx(nullptr, COINIT_MULTITHREADED));
    m_work = arcwise_test::MakeTestFolder("work");
    SetString(HKEY_LOCAL_MACHINE, kProductKey, W("TempPath"), arcwise_test::WideFolder(m_work));
  }

  void TearDown() override {
    EXPECT_TRUE(LockFiles().empty()) << "a claim on a temporary item outlived its object";
    SHDeleteKeyW(HKEY_LOCAL_MACHINE, kProductKey.c_str());
    CoUninitialize();
  }

  // A new filter object, answering riid, as the host obtains one.
  virtual HRESULT CreateObject(REFIID riid, void** object) = 0;

  template <class T>
  HRESULT Create(ComPtr<T>& object) {
    return CreateObject(IID_PPV_ARGS(&object));
  }

  // The stock text and compound filters registered by their own
  // DllRegisterServer, and the scriptable fake filter by fake_filter.h.
  void RegisterNestedFilters() {
    RunDllRegisterServer(ARCWISE_TEXT_FILTER_PATH);
    RunDllRegisterServer(ARCWISE_COMPOUND_FILTER_PATH);
    ASSERT_EQ(ERROR_SUCCESS, arcwise_fake::RegisterFakeFilters(Utf8ToUtf16(ARCWISE_FAKE_FILTER_MODULE)));
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

  // Names in the working folder that start with prefix (case-insensitive,
  // as the platform's temporary names are upper-case on disk), without the
  // lock files that claim them.
  std::vector<std::string> WorkEntries(const std::string& prefix) const {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(m_work)) {
      std::string name = entry.path().filename().string();
      if (IsLockFile(name)) continue;
      if (name.size() >= prefix.size() &&
          strncasecmp(name.c_str(), prefix.c_str(), prefix.size()) == 0) {
        names.push_back(name);
      }
    }
    std::sort(names.begin(), names.end());
    return names;
  }

  std::vector<std::string> LockFiles() const {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(m_work)) {
      if (IsLockFile(entry.path().filename().string())) names.push_back(entry.path().filename().string());
    }
    return names;
  }
  static bool IsLockFile(const std::string& name) {
    return name.size() > 5 && name.compare(name.size() - 5, 5, ".lock") == 0;
  }

  // A ZIP archive in the test's folder (outside the working folder).
  std::string MakeArchive(const std::string& name,
                          const std::vector<std::pair<std::string, std::string>>& entries) {
    const std::string folder = arcwise_test::TestRoot() + "/archives";
    std::filesystem::create_directories(folder);
    arcwise_test::ZipWriter writer;
    for (const auto& [entryName, data] : entries) writer.Add(entryName, data);
    const std::string path = folder + "/" + name;
    EXPECT_TRUE(writer.WriteTo(path));
    return path;
  }

  // The bytes of a compound document whose summary information is summary.
  std::string CompoundDocument(const arcwise_test::PropertySetWriter& summary) {
    const std::string path = arcwise_test::TestRoot() + "/compound-" + std::to_string(++m_compoundCount);
    EXPECT_TRUE(arcwise_test::WriteSummaryInformationFile(path, summary));
    std::string bytes = ReadAll(path);
    std::filesystem::remove(path);
    return bytes;
  }

  std::string m_work;
  int m_compoundCount = 0;
};

// A scriptable stream over a byte string: an optional Stat name, a Stat that
// may fail, a Read that may fail after some bytes, and the end reported
// either as a short read or as HRESULT_FROM_WIN32(ERROR_HANDLE_EOF). Records
// every Read. Only Read, Seek and Stat do anything.
class TestStream final : public arcwise_test::ComObject<IStream, arcwise_test::AlsoAnswers<ISequentialStream>> {
 public:
  struct ReadCall {
    ULONG requested;
    ULONG delivered;
  };

  explicit TestStream(std::string data) : m_data(std::move(data)) {}

  std::optional<WString> name;
  HRESULT statResult = S_OK;
  std::optional<size_t> failReadAt;  // a Read starting at this offset fails
  HRESULT failReadCode = STG_E_READFAULT;
  bool endWithEofCode = false;
  std::function<void()> onRead;
  std::vector<ReadCall> reads;

  STDMETHODIMP Read(void* pv, ULONG cb, ULONG* pcbRead) override {
    if (onRead) onRead();
    if (failReadAt && m_position >= *failReadAt) {
      reads.push_back({cb, 0});
      return failReadCode;
    }
    size_t available = m_data.size() - m_position;
    ULONG n = static_cast<ULONG>(std::min<size_t>(cb, available));
    if (failReadAt) n = static_cast<ULONG>(std::min<size_t>(n, *failReadAt - m_position));
    memcpy(pv, m_data.data() + m_position, n);
    m_position += n;
    if (pcbRead) *pcbRead = n;
    reads.push_back({cb, n});
    if (n == 0 && endWithEofCode) return HRESULT_FROM_WIN32(ERROR_HANDLE_EOF);
    return n < cb ? S_FALSE : S_OK;
  }
  STDMETHODIMP Write(const void*, ULONG, ULONG*) override { return STG_E_ACCESSDENIED; }
  STDMETHODIMP Seek(LARGE_INTEGER move, DWORD origin, ULARGE_INTEGER* newPosition) override {
    if (origin != STREAM_SEEK_CUR || move.QuadPart != 0) return E_NOTIMPL;
    if (newPosition) newPosition->QuadPart = m_position;
    return S_OK;
  }
  STDMETHODIMP SetSize(ULARGE_INTEGER) override { return E_NOTIMPL; }
  STDMETHODIMP CopyTo(IStream*, ULARGE_INTEGER, ULARGE_INTEGER*, ULARGE_INTEGER*) override {
    return E_NOTIMPL;
  }
  STDMETHODIMP Commit(DWORD) override { return E_NOTIMPL; }
  STDMETHODIMP Revert() override { return E_NOTIMPL; }
  STDMETHODIMP LockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) override { return E_NOTIMPL; }
  STDMETHODIMP UnlockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) override { return E_NOTIMPL; }
  STDMETHODIMP Stat(STATSTG* pstatstg, DWORD grfStatFlag) override {
    if (FAILED(statResult)) return statResult;
    *pstatstg = STATSTG{};
    pstatstg->type = STGTY_STREAM;
    pstatstg->cbSize.QuadPart = m_data.size();
    if (name && !(grfStatFlag & STATFLAG_NONAME)) {
      const size_t bytes = (name->size() + 1) * sizeof(WCHAR);
      pstatstg->pwcsName = static_cast<LPOLESTR>(CoTaskMemAlloc(bytes));
      memcpy(pstatstg->pwcsName, name->c_str(), bytes);
    }
    return S_OK;
  }
  STDMETHODIMP Clone(IStream**) override { return E_NOTIMPL; }

  size_t Position() const { return m_position; }

 private:
  ~TestStream() = default;
  std::string m_data;
  size_t m_position = 0;
};

// A new TestStream held by a ComPtr (the ComPtr owns the first reference).
inline ComPtr<TestStream> MakeTestStream(std::string data) {
  ComPtr<TestStream> stream;
  stream.Attach(new TestStream(std::move(data)));
  return stream;
}

}  // namespace host_test
