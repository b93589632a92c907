#include "filter/SaveStreamToFile.h"

#include "diagnostics/Debugger.h"

namespace {

// 4,093 rather than the buffer's 4,096: the read size that hosts have always
// seen from this filter; some stream implementations are tuned to it.
constexpr ULONG kReadSize = 4093;
constexpr size_t kBufferSize = 4096;

}  // namespace

HRESULT SaveStreamToFile(IStream* pStream, LPCWSTR path) {
  // Replacing a file replaces its attributes too; a file the caller has
  // marked not content indexed (the temporary copy) keeps that mark, so the
  // indexer never sees the copy unmarked.
  const DWORD existing = GetFileAttributesW(path);
  const DWORD attributes =
      existing != INVALID_FILE_ATTRIBUTES && (existing & FILE_ATTRIBUTE_NOT_CONTENT_INDEXED)
          ? FILE_ATTRIBUTE_NOT_CONTENT_INDEXED
          : FILE_ATTRIBUTE_NORMAL;
  HANDLE hFile = CreateFileW(path, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                             attributes, nullptr);
  if (hFile == INVALID_HANDLE_VALUE) {
    const DWORD code = GetLastError();
    g_debugger.Print(1, W("ERROR: cannot create file handle for %s. Error code = %d \n"), path,
                     static_cast<INT>(code));
    return code ? HRESULT_FROM_WIN32(code) : E_FAIL;
  }

  BYTE buffer[kBufferSize];
  HRESULT hr = S_OK;
  for (;;) {
    ULONG cbRead = 0;
    HRESULT hrRead = pStream->Read(buffer, kReadSize, &cbRead);
    if (hrRead == HRESULT_FROM_WIN32(ERROR_HANDLE_EOF)) break;  // bytes it reports are not data
    if (FAILED(hrRead)) {
      g_debugger.Print(1, W("ERROR: cannot read from buffer. Error = 0x%08x\n"), hrRead);
      hr = hrRead;
      break;
    }
    if (cbRead > kReadSize) {
      // A stream that claims more than it was asked for cannot be trusted
      // with the buffer's contents.
      g_debugger.Print(1, W("ERROR: cannot read from buffer. Error = 0x%08x\n"), E_UNEXPECTED);
      hr = E_UNEXPECTED;
      break;
    }
    if (cbRead > 0) {
      DWORD cbWritten = 0;
      BOOL written = WriteFile(hFile, buffer, cbRead, &cbWritten, nullptr);
      if (!written || cbWritten != cbRead) {
        // The system's reason travels up: a full disk must not read as a
        // damaged archive to the host.
        const DWORD code = written ? 0 : GetLastError();
        g_debugger.Print(1, W("ERROR: cannot write to file. Error code = %d \n"), static_cast<INT>(code));
        hr = code ? HRESULT_FROM_WIN32(code) : E_FAIL;
        break;
      }
    }
    if (cbRead != kReadSize) break;
  }

  CloseHandle(hFile);
  return hr;
}

bool IsFileOfSize(LPCWSTR path, ULONGLONG size) {
  if (PathIsRelativeW(path)) {
    g_debugger.Print(3, W("INFO: %s is not an absolute path: the stream is copied \n"), path);
    return false;
  }
  HANDLE file = CreateFileW(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                            nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    g_debugger.Print(3, W("INFO: Read-Only access denied for %s. Error code = %d \n"), path,
                     static_cast<INT>(GetLastError()));
    return false;
  }
  LARGE_INTEGER fileSize = {};
  const bool known = GetFileSizeEx(file, &fileSize) != FALSE;
  CloseHandle(file);
  if (!known || static_cast<ULONGLONG>(fileSize.QuadPart) != size) {
    g_debugger.Print(3, W("INFO: %s is not the stream's file (its size differs): the stream is copied \n"),
                     path);
    return false;
  }
  return true;
}
