// A search host in miniature, built against the real Windows SDK headers and
// run under Wine: it creates the registered archive filter, loads one archive
// by path (IPersistFile) and the same bytes from an HGLOBAL stream
// (IPersistStream), and walks each to the end with GetChunk, GetText and
// GetValue. Every chunk is printed as one JSON line, so the caller can compare
// the walk with the Linux build's; the protocol rules a host relies on are
// checked here and any break is reported on stderr with exit code 1.
//
//   smoke_host.exe ARCHIVE
#include <windows.h>
#include <objbase.h>
#include <propidl.h>
#include <filter.h>
#include <filterr.h>
#include <fcntl.h>
#include <io.h>

#include <cstdio>
#include <string>
#include <vector>

namespace {

// {356CE73D-53A5-4029-B5D3-9E4950B8BEDD}
const CLSID kArchiveFilter = {0x356CE73D, 0x53A5, 0x4029, {0xB5, 0xD3, 0x9E, 0x49, 0x50, 0xB8, 0xBE, 0xDD}};
// Chunks a walk may have before it counts as endless.
const ULONG kMaxChunks = 100000;

int g_failures = 0;

void Fail(const char* route, ULONG id, const std::string& what) {
  std::fprintf(stderr, "smoke_host: %s route, chunk %lu: %s\n", route, static_cast<unsigned long>(id),
               what.c_str());
  ++g_failures;
}

std::string Hex(HRESULT hr) {
  char text[16];
  std::snprintf(text, sizeof(text), "0x%08lx", static_cast<unsigned long>(hr));
  return text;
}

std::string Utf8(const std::wstring& text) {
  if (text.empty()) return std::string();
  const int size = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0,
                                       nullptr, nullptr);
  std::string out(static_cast<size_t>(size), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), size, nullptr,
                      nullptr);
  return out;
}

std::string JsonString(const std::string& utf8) {
  std::string out = "\"";
  for (unsigned char c : utf8) {
    switch (c) {
      case '"': out += "\\\""; break;
      case '\\': out += "\\\\"; break;
      case '\n': out += "\\n"; break;
      case '\r': out += "\\r"; break;
      case '\t': out += "\\t"; break;
      default:
        if (c < 0x20) {
          char escaped[8];
          std::snprintf(escaped, sizeof(escaped), "\\u%04x", c);
          out += escaped;
        } else {
          out += static_cast<char>(c);
        }
    }
  }
  return out + "\"";
}

std::string GuidText(REFGUID guid) {
  WCHAR text[40] = {};
  StringFromGUID2(guid, text, 40);
  return Utf8(text);
}

const char* BreakTypeName(CHUNK_BREAKTYPE breakType) {
  switch (breakType) {
    case CHUNK_NO_BREAK: return "NO_BREAK";
    case CHUNK_EOW: return "EOW";
    case CHUNK_EOS: return "EOS";
    case CHUNK_EOP: return "EOP";
    case CHUNK_EOC: return "EOC";
  }
  return "?";
}

// The value as {"type":..,"value":..}; strings only, which is all the
// archive filter relays from the summary information.
std::string ValueJson(const PROPVARIANT& value) {
  switch (value.vt) {
    case VT_LPSTR: {
      const int size = MultiByteToWideChar(CP_ACP, 0, value.pszVal, -1, nullptr, 0);
      std::wstring wide(static_cast<size_t>(size > 0 ? size - 1 : 0), L'\0');
      if (size > 1) MultiByteToWideChar(CP_ACP, 0, value.pszVal, -1, wide.data(), size);
      return "{\"type\":\"VT_LPSTR\",\"value\":" + JsonString(Utf8(wide)) + "}";
    }
    case VT_LPWSTR: return "{\"type\":\"VT_LPWSTR\",\"value\":" + JsonString(Utf8(value.pwszVal)) + "}";
    default: return "{\"type\":" + std::to_string(value.vt) + "}";
  }
}

// The whole text of the current chunk, asked for in small pieces so that
// the filter's hand-over across calls is exercised too.
std::wstring ChunkText(IFilter* filter, const char* route, ULONG id) {
  std::wstring text;
  for (int calls = 0; calls < 1000000; ++calls) {
    WCHAR buffer[17];
    ULONG count = 16;
    const HRESULT hr = filter->GetText(&count, buffer);
    if (hr == FILTER_E_NO_MORE_TEXT) return text;
    if (hr != S_OK && hr != FILTER_S_LAST_TEXT) {
      Fail(route, id, "GetText answered " + Hex(hr));
      return text;
    }
    if (count > 16) {
      Fail(route, id, "GetText reported more characters than the buffer holds");
      return text;
    }
    text.append(buffer, count);
    if (hr == FILTER_S_LAST_TEXT) {
      ULONG none = 16;
      if (filter->GetText(&none, buffer) != FILTER_E_NO_MORE_TEXT)
        Fail(route, id, "text after FILTER_S_LAST_TEXT");
      return text;
    }
  }
  Fail(route, id, "GetText never ended");
  return text;
}

void Walk(IFilter* filter, const char* route) {
  ULONG flags = 0;
  HRESULT hr =
      filter->Init(IFILTER_INIT_CANON_PARAGRAPHS | IFILTER_INIT_HARD_LINE_BREAKS, 0, nullptr, &flags);
  if (FAILED(hr)) {
    Fail(route, 0, "Init answered " + Hex(hr));
    return;
  }
  ULONG expectedId = 1;
  for (;;) {
    STAT_CHUNK chunk = {};
    hr = filter->GetChunk(&chunk);
    if (hr == FILTER_E_END_OF_CHUNKS) break;
    if (FAILED(hr)) {
      Fail(route, expectedId, "GetChunk answered " + Hex(hr));
      return;
    }
    if (expectedId > kMaxChunks) {
      Fail(route, expectedId, "the walk does not end");
      return;
    }
    if (chunk.idChunk != expectedId) Fail(route, expectedId, "id " + std::to_string(chunk.idChunk));
    if (chunk.idChunkSource != chunk.idChunk) Fail(route, expectedId, "idChunkSource differs from idChunk");
    ++expectedId;

    std::string line = std::string("{\"route\":\"") + route + "\",\"id\":" + std::to_string(chunk.idChunk) +
                       ",\"breakType\":\"" + BreakTypeName(chunk.breakType) + "\",\"flags\":\"" +
                       (chunk.flags == CHUNK_TEXT    ? "TEXT"
                        : chunk.flags == CHUNK_VALUE ? "VALUE"
                                                     : "?") +
                       "\",\"locale\":" + std::to_string(chunk.locale) + ",\"attribute\":{\"fmtid\":\"" +
                       GuidText(chunk.attribute.guidPropSet) +
                       "\",\"propid\":" + std::to_string(chunk.attribute.psProperty.propid) +
                       "},\"idChunkSource\":" + std::to_string(chunk.idChunkSource) +
                       ",\"cwcStartSource\":" + std::to_string(chunk.cwcStartSource) +
                       ",\"cwcLenSource\":" + std::to_string(chunk.cwcLenSource);
    if (chunk.flags == CHUNK_TEXT) {
      line += ",\"text\":" + JsonString(Utf8(ChunkText(filter, route, chunk.idChunk)));
      PROPVARIANT* none = nullptr;
      if (filter->GetValue(&none) != FILTER_E_NO_VALUES)
        Fail(route, chunk.idChunk, "a text chunk gave a value");
    } else {
      PROPVARIANT* value = nullptr;
      hr = filter->GetValue(&value);
      if (FAILED(hr) || !value) {
        Fail(route, chunk.idChunk, "GetValue answered " + Hex(hr));
      } else {
        line += ",\"value\":" + ValueJson(*value);
        PropVariantClear(value);
        CoTaskMemFree(value);
      }
      PROPVARIANT* again = nullptr;
      if (filter->GetValue(&again) != FILTER_E_NO_MORE_VALUES)
        Fail(route, chunk.idChunk, "a value given twice");
    }
    std::printf("%s}\n", line.c_str());
  }
  STAT_CHUNK after = {};
  if (filter->GetChunk(&after) != FILTER_E_END_OF_CHUNKS) Fail(route, expectedId, "chunks after the end");
  if (expectedId == 1) Fail(route, 0, "no chunk at all");
}

// Creates the archive filter, loads it through its persistence interface
// Persist with `load`, and walks it.
template <class Persist, class Load>
void LoadAndWalk(const char* route, Load load) {
  IFilter* filter = nullptr;
  HRESULT hr = CoCreateInstance(kArchiveFilter, nullptr, CLSCTX_INPROC_SERVER, IID_IFilter,
                                reinterpret_cast<void**>(&filter));
  if (FAILED(hr)) {
    Fail(route, 0, "CoCreateInstance of the archive filter answered " + Hex(hr));
    return;
  }
  Persist* persist = nullptr;
  hr = filter->QueryInterface(__uuidof(Persist), reinterpret_cast<void**>(&persist));
  if (SUCCEEDED(hr)) {
    hr = load(persist);
    persist->Release();
  }
  if (FAILED(hr)) {
    Fail(route, 0, "Load answered " + Hex(hr));
  } else {
    Walk(filter, route);
  }
  filter->Release();
}

void WalkByPath(const std::wstring& path) {
  LoadAndWalk<IPersistFile>("file",
                            [&](IPersistFile* persist) { return persist->Load(path.c_str(), STGM_READ); });
}

void WalkByStream(const std::wstring& path) {
  HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  LARGE_INTEGER size = {};
  if (file == INVALID_HANDLE_VALUE || !GetFileSizeEx(file, &size) || size.QuadPart > 64 * 1024 * 1024) {
    if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
    Fail("stream", 0, "cannot read the archive");
    return;
  }
  HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE, static_cast<SIZE_T>(size.QuadPart));
  DWORD read = 0;
  void* bytes = memory ? GlobalLock(memory) : nullptr;
  const BOOL ok = bytes && ReadFile(file, bytes, static_cast<DWORD>(size.QuadPart), &read, nullptr);
  if (bytes) GlobalUnlock(memory);
  CloseHandle(file);
  IStream* stream = nullptr;
  if (!ok || read != size.QuadPart || FAILED(CreateStreamOnHGlobal(memory, TRUE, &stream))) {
    if (memory) GlobalFree(memory);
    Fail("stream", 0, "cannot make a memory stream of the archive");
    return;
  }

  LoadAndWalk<IPersistStream>("stream", [&](IPersistStream* persist) { return persist->Load(stream); });
  stream->Release();  // frees the memory too
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: smoke_host.exe ARCHIVE\n");
    return 2;
  }
  // JSON lines end in LF alone, whatever the C runtime's text mode would do.
  _setmode(_fileno(stdout), _O_BINARY);
  if (FAILED(CoInitializeEx(nullptr, COINIT_MULTITHREADED))) {
    std::fprintf(stderr, "smoke_host: CoInitializeEx failed\n");
    return 1;
  }
  WalkByPath(argv[1]);
  WalkByStream(argv[1]);
  CoFreeUnusedLibraries();
  CoUninitialize();
  std::fflush(stdout);
  return g_failures == 0 ? 0 : 1;
}
