// StgOpenStorageEx for compound files: checks the file's signature itself (so
// that a plain file answers as Windows does), then lets libgsf's compound-file
// reader walk the root storage and reads every property-set stream ("\005"
// names) into memory. The file is closed again before the call returns.
//
// libgsf is GObject-based: every object made here is released with
// g_object_unref before returning, and gsf_init runs once per process.
// The platform's headers come first: glibc's <fcntl.h> defines LOCK_WRITE as a
// macro, which would break the LOCKTYPE enumeration of objidl.h.
#include "posix_util.h"
#include "stg_internal.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <mutex>
#include <new>

#include <gsf/gsf-infile-msole.h>
#include <gsf/gsf-infile.h>
#include <gsf/gsf-input-stdio.h>
#include <gsf/gsf-input.h>
#include <gsf/gsf-utils.h>

namespace {

using arcwise_platform::stg::PropertySetStreamBytes;

constexpr unsigned char kCompoundSignature[8] = {0xD0, 0xCF, 0x11, 0xE0, 0xA1, 0xB1, 0x1A, 0xE1};

// Property sets are small; a stream beyond this is not a property set this
// code will decode, and is not read into memory.
constexpr gsf_off_t kMaxPropertySetStream = 1 << 20;

void InitGsfOnce() {
  static std::once_flag once;
  std::call_once(once, [] { gsf_init(); });
}

HRESULT StgErrorFromErrno(int err) {
  switch (err) {
    case ENOENT: return STG_E_FILENOTFOUND;
    case ENOTDIR: return STG_E_PATHNOTFOUND;
    case EACCES:
    case EPERM:
    case EISDIR: return STG_E_ACCESSDENIED;
    case EMFILE:
    case ENFILE: return STG_E_TOOMANYOPENFILES;
    case ENAMETOOLONG: return STG_E_INVALIDNAME;
    case ENOMEM: return STG_E_INSUFFICIENTMEMORY;
    default: return STG_E_READFAULT;
  }
}

// S_OK for a compound file, STG_E_FILEALREADYEXISTS for any other file.
HRESULT CheckSignature(const std::string& path) {
  int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    int err = errno;
    // Windows tells a missing folder from a missing file; POSIX says ENOENT for both.
    size_t slash = path.rfind('/');
    struct stat parent;
    if (err == ENOENT && slash != std::string::npos && slash != 0 &&
        stat(path.substr(0, slash).c_str(), &parent) != 0) {
      return STG_E_PATHNOTFOUND;
    }
    return StgErrorFromErrno(err);
  }
  struct stat st;
  if (fstat(fd, &st) != 0) {
    int err = errno;
    close(fd);
    return StgErrorFromErrno(err);
  }
  if (S_ISDIR(st.st_mode)) {
    close(fd);
    return STG_E_ACCESSDENIED;
  }
  unsigned char head[sizeof kCompoundSignature];
  size_t got = 0;
  while (got < sizeof head) {
    ssize_t n = read(fd, head + got, sizeof head - got);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    got += size_t(n);
  }
  close(fd);
  if (got < sizeof head || memcmp(head, kCompoundSignature, sizeof head) != 0) return STG_E_FILEALREADYEXISTS;
  return S_OK;
}

// Reads the root's "\005..." streams through libgsf.
HRESULT ReadPropertySetStreams(const std::string& path, std::vector<PropertySetStreamBytes>* streams) {
  InitGsfOnce();
  GError* error = nullptr;
  GsfInput* input = gsf_input_stdio_new(path.c_str(), &error);
  if (!input) {
    if (error) g_error_free(error);
    return STG_E_READFAULT;
  }
  GsfInfile* infile = gsf_infile_msole_new(input, &error);
  g_object_unref(input);  // the compound-file reader keeps its own reference
  if (!infile) {
    if (error) g_error_free(error);
    return STG_E_DOCFILECORRUPT;
  }

  HRESULT hr = S_OK;
  try {
    int count = gsf_infile_num_children(infile);
    for (int i = 0; i < count && SUCCEEDED(hr); ++i) {
      const char* name = gsf_infile_name_by_index(infile, i);
      if (!name || name[0] != '\005') continue;
      GsfInput* child = gsf_infile_child_by_index(infile, i);
      if (!child) continue;
      gsf_off_t size = gsf_input_size(child);
      if (size >= 0 && size <= kMaxPropertySetStream) {
        PropertySetStreamBytes stream;
        stream.name = name;
        if (size > 0) {
          const guint8* data = gsf_input_read(child, size_t(size), nullptr);
          if (data) {
            stream.bytes.assign(data, data + size);
          } else {
            hr = STG_E_READFAULT;
          }
        }
        if (SUCCEEDED(hr)) streams->push_back(std::move(stream));
      }
      g_object_unref(child);
    }
  } catch (const std::bad_alloc&) {
    hr = E_OUTOFMEMORY;
  }
  g_object_unref(infile);
  return hr;
}

}  // namespace

STDAPI StgOpenStorageEx(const WCHAR* pwcsName, DWORD grfMode, STGFMT stgfmt, DWORD grfAttrs,
                        STGOPTIONS* pStgOptions, PSECURITY_DESCRIPTOR pSecurityDescriptor, REFIID riid,
                        void** ppObjectOpen) {
  (void)grfAttrs;
  (void)pStgOptions;
  (void)pSecurityDescriptor;
  if (!ppObjectOpen) return STG_E_INVALIDPOINTER;
  *ppObjectOpen = nullptr;
  if (!pwcsName || !*pwcsName) return STG_E_INVALIDNAME;
  if (stgfmt != STGFMT_ANY && stgfmt != STGFMT_STORAGE && stgfmt != STGFMT_DOCFILE) {
    return STG_E_INVALIDPARAMETER;
  }
  if (riid != IID_IPropertySetStorage && riid != IID_IUnknown) return E_NOINTERFACE;
  if ((grfMode & 3) != STGM_READ) return STG_E_ACCESSDENIED;

  std::string path = arcwise_platform::PosixPath(pwcsName);
  HRESULT hr = CheckSignature(path);
  if (FAILED(hr)) return hr;

  std::vector<PropertySetStreamBytes> streams;
  hr = ReadPropertySetStreams(path, &streams);
  if (FAILED(hr)) return hr;
  return arcwise_platform::stg::CreatePropertySetStorage(std::move(streams), riid, ppObjectOpen);
}
