#include "filter_source.h"

#include <cstdio>
#include <filesystem>
#include <vector>

#include <ntquery.h>
#include <shlwapi.h>
#include <windows.h>

#include "chunk_format.h"
#include "error_text.h"
#include "server/ClassIds.h"
#include "working_folder.h"

namespace {

// The default value of HKCR\path as text (REG_EXPAND_SZ expanded); false
// when missing, empty, of another type or longer than a class id needs.
bool ReadClassesDefault(const WString& path, WString* value) {
  WCHAR data[260] = {};
  DWORD cb = sizeof(data);
  if (RegGetValueW(HKEY_CLASSES_ROOT, path.c_str(), nullptr, RRF_RT_REG_SZ, nullptr, data, &cb) != ERROR_SUCCESS)
    return false;
  *value = data;
  return !value->empty();
}

std::string ExtensionOf(const WString& path) {
  LPCWSTR extension = PathFindExtensionW(path.c_str());
  return extension ? Utf16ToUtf8(extension) : std::string();
}

std::string Failure(const char* step, HRESULT hr) { return std::string(step) + " failed with " + DescribeHResult(hr); }

bool IsDiskFull(HRESULT hr) {
  return hr == HRESULT_FROM_WIN32(ERROR_DISK_FULL) || hr == HRESULT_FROM_WIN32(ERROR_HANDLE_DISK_FULL);
}

// Our own archive filter says E_FAIL only when the bytes are no ZIP archive
// it can read, and gives the system's code when its working folder is to
// blame; the user is told which folder. Other filters get the plain message.
std::string LoadFailure(const CLSID& clsid, HRESULT hr) {
  if (clsid != CLSID_ArcwiseFilter) return Failure("load", hr);
  std::string cause;
  if (hr == E_FAIL) {
    cause = "not a ZIP archive, or a damaged one";
  } else if (IsDiskFull(hr)) {
    const WorkingFolder folder = FindWorkingFolder();
    cause = "no space left in " + (folder.path.empty() ? std::string("the working folder") : folder.path);
  } else if (hr == HRESULT_FROM_WIN32(ERROR_PATH_NOT_FOUND)) {
    const WorkingFolder folder = FindWorkingFolder();
    cause = "the working folder " + (folder.path.empty() ? std::string() : folder.path + " ") + "is not found";
    if (!folder.unusableTempPath.empty()) cause += " (nor can TempPath " + folder.unusableTempPath + " be used)";
  } else {
    return Failure("load", hr);
  }
  return cause + ": " + Failure("load", hr);
}

// When a registry look-up failed because of the database itself (busy,
// damaged), that is the cause to name, not a missing registration.
std::string RegistryOr(const std::string& cause) {
  const std::string registry = LastRegistryFailureText();
  return registry.empty() ? cause : registry;
}

HRESULT CreateFilter(const CLSID& clsid, IUnknown** object, std::string* cause) {
  HRESULT hr = CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown,
                                reinterpret_cast<void**>(object));
  if (FAILED(hr)) {
    *cause = RegistryOr(hr == REGDB_E_CLASSNOTREG
                            ? "the filter class " + GuidText(clsid) + " is not registered (" + DescribeHResult(hr) + ")"
                            : "creating the filter " + GuidText(clsid) + " failed with " + DescribeHResult(hr));
  }
  return hr;
}

HRESULT LoadFromStream(const CLSID& clsid, IUnknown* object, IStream* stream, LoadedFilter* loaded,
                       std::string* cause) {
  ComPtr<IPersistStream> persist;
  HRESULT hr = object->QueryInterface(IID_IPersistStream, reinterpret_cast<void**>(&persist));
  if (FAILED(hr)) {
    *cause = "the filter " + GuidText(clsid) + " cannot load from a stream (no IPersistStream)";
    return hr;
  }
  hr = persist->Load(stream);
  if (FAILED(hr)) {
    *cause = LoadFailure(clsid, hr);
    return hr;
  }
  hr = object->QueryInterface(IID_IFilter, reinterpret_cast<void**>(&loaded->filter));
  if (FAILED(hr)) {
    *cause = "the class " + GuidText(clsid) + " is not a filter (no IFilter)";
    return hr;
  }
  loaded->stream = ComPtr<IStream>(stream);
  return S_OK;
}

HRESULT LoadFromFileStream(const CLSID& clsid, const WString& path, LoadedFilter* loaded, std::string* cause) {
  ComPtr<IUnknown> object;
  HRESULT hr = CreateFilter(clsid, &object, cause);
  if (FAILED(hr)) return hr;
  ComPtr<IStream> stream;
  hr = SHCreateStreamOnFileEx(path.c_str(), STGM_READ | STGM_SHARE_DENY_WRITE, 0, FALSE, nullptr, &stream);
  if (FAILED(hr)) {
    *cause = Failure("opening a stream on the file", hr);
    return hr;
  }
  return LoadFromStream(clsid, object.Get(), stream.Get(), loaded, cause);
}

HRESULT LoadFromPath(const CLSID& clsid, const WString& path, LoadedFilter* loaded, std::string* cause) {
  ComPtr<IUnknown> object;
  HRESULT hr = CreateFilter(clsid, &object, cause);
  if (FAILED(hr)) return hr;
  ComPtr<IPersistFile> persist;
  if (FAILED(object->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&persist))))
    return LoadFromFileStream(clsid, path, loaded, cause);
  hr = persist->Load(path.c_str(), STGM_READ | STGM_SHARE_DENY_NONE);
  if (FAILED(hr)) {
    *cause = LoadFailure(clsid, hr);
    return hr;
  }
  hr = object->QueryInterface(IID_IFilter, reinterpret_cast<void**>(&loaded->filter));
  if (FAILED(hr)) *cause = "the class " + GuidText(clsid) + " is not a filter (no IFilter)";
  return hr;
}

std::string NoFilterFor(const WString& path) {
  std::string extension = ExtensionOf(path);
  if (extension.empty()) return RegistryOr("no filter is registered for files without an extension");
  return RegistryOr("no filter is registered for \"" + extension + "\" files");
}

}  // namespace

bool FindRegisteredFilter(const WString& extension, CLSID* clsid) {
  WString handler, filter;
  if (!ReadClassesDefault(extension + W("\\PersistentHandler"), &handler)) return false;
  if (!ReadClassesDefault(W("CLSID\\") + handler + W("\\PersistentAddinsRegistered\\") + GuidToString(IID_IFilter),
                          &filter)) {
    return false;
  }
  return SUCCEEDED(CLSIDFromString(filter.c_str(), clsid));
}

HRESULT OpenFilterForFile(const DumpOptions& options, const std::string& file, LoadedFilter* loaded,
                          std::string* cause) {
  // Filters keep the path they were loaded with; an absolute one stays
  // right whatever they do with the working folder.
  std::error_code error;
  std::filesystem::path absolute = std::filesystem::absolute(file, error);
  WString path = Utf8ToUtf16(error ? file : absolute.lexically_normal().string());
  loaded->path = path;

  DWORD attributes = GetFileAttributesW(path.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) {
    DWORD code = GetLastError();
    HRESULT hr = HRESULT_FROM_WIN32(code ? code : ERROR_FILE_NOT_FOUND);
    *cause = (code == ERROR_FILE_NOT_FOUND || code == ERROR_PATH_NOT_FOUND || code == 0)
                 ? std::string("not found")
                 : "cannot be read: " + DescribeHResult(hr);
    return hr;
  }
  if (attributes & FILE_ATTRIBUTE_DIRECTORY) {
    *cause = "is a folder, not a file";
    return HRESULT_FROM_WIN32(ERROR_DIRECTORY);
  }

  CLSID clsid = CLSID_NULL;
  if (options.haveClsid) {
    clsid = options.clsid;
  } else if (options.useStream) {
    if (!FindRegisteredFilter(PathFindExtensionW(path.c_str()), &clsid)) {
      *cause = NoFilterFor(path);
      return REGDB_E_CLASSNOTREG;
    }
  }
  if (options.haveClsid || options.useStream) {
    return options.useStream ? LoadFromFileStream(clsid, path, loaded, cause)
                             : LoadFromPath(clsid, path, loaded, cause);
  }

  ComPtr<IUnknown> object;
  HRESULT hr = LoadIFilter(path.c_str(), nullptr, reinterpret_cast<void**>(&object));
  // The registry is read again only to explain a failure or to take the
  // stream route: the look-ups are a good part of the cost per small file.
  bool registered = FAILED(hr) && FindRegisteredFilter(PathFindExtensionW(path.c_str()), &clsid);
  if (hr == E_NOINTERFACE && registered) {
    // The filter has no IPersistFile: hosts then hand it the file as a stream.
    return LoadFromFileStream(clsid, path, loaded, cause);
  }
  if (FAILED(hr)) {
    if (!registered) {
      *cause = NoFilterFor(path);
    } else if (hr == REGDB_E_CLASSNOTREG) {
      *cause = "the filter " + GuidText(clsid) + " registered for \"" + ExtensionOf(path) +
               "\" files is not installed (" + DescribeHResult(hr) + ")";
    } else {
      *cause = LoadFailure(clsid, hr);
    }
    return hr;
  }
  hr = object->QueryInterface(IID_IFilter, reinterpret_cast<void**>(&loaded->filter));
  if (FAILED(hr)) *cause = "the loaded object is not a filter (no IFilter)";
  return hr;
}

HRESULT OpenFilterForStdin(const DumpOptions& options, LoadedFilter* loaded, std::string* cause) {
  CLSID clsid = options.clsid;
  if (!options.haveClsid && !FindRegisteredFilter(W(".zip"), &clsid)) {
    *cause = RegistryOr("no filter is registered for \".zip\" files");
    return REGDB_E_CLASSNOTREG;
  }
  // Written block by block into the stream, so the archive is held once.
  ComPtr<IStream> stream;
  stream.Attach(SHCreateMemStream(nullptr, 0));
  if (!stream) {
    *cause = "no memory for a stream";
    return E_OUTOFMEMORY;
  }
  std::vector<BYTE> block(256 * 1024);
  size_t got = 0;
  while ((got = std::fread(block.data(), 1, block.size(), stdin)) > 0) {
    ULONG written = 0;
    HRESULT hr = stream->Write(block.data(), static_cast<ULONG>(got), &written);
    if (FAILED(hr) || written != got) {
      *cause = "standard input does not fit in memory (" + DescribeHResult(FAILED(hr) ? hr : E_OUTOFMEMORY) + ")";
      return FAILED(hr) ? hr : E_OUTOFMEMORY;
    }
  }
  if (std::ferror(stdin)) {
    *cause = "reading standard input failed";
    return HRESULT_FROM_WIN32(ERROR_READ_FAULT);
  }
  LARGE_INTEGER start = {};
  stream->Seek(start, STREAM_SEEK_SET, nullptr);
  ComPtr<IUnknown> object;
  HRESULT hr = CreateFilter(clsid, &object, cause);
  if (FAILED(hr)) return hr;
  return LoadFromStream(clsid, object.Get(), stream.Get(), loaded, cause);
}
