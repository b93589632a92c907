// FormatMessageW over the platform's one table of system messages. Win32
// codes are listed once under their own number; an HRESULT of the Win32
// facility (HRESULT_FROM_WIN32) finds the same text, as on Windows.
#include <cstdlib>
#include <cstring>

#include <filter.h>
#include <objbase.h>
#include <windows.h>

namespace {

struct SystemMessage {
  DWORD id;
  const char16_t* text;
};

// Windows' own wording, so a log or a tool reads the same on both systems.
const SystemMessage kMessages[] = {
    // Win32 error codes.
    {ERROR_SUCCESS, u"The operation completed successfully."},
    {ERROR_INVALID_FUNCTION, u"Incorrect function."},
    {ERROR_FILE_NOT_FOUND, u"The system cannot find the file specified."},
    {ERROR_PATH_NOT_FOUND, u"The system cannot find the path specified."},
    {ERROR_TOO_MANY_OPEN_FILES, u"The system cannot open the file."},
    {ERROR_ACCESS_DENIED, u"Access is denied."},
    {ERROR_INVALID_HANDLE, u"The handle is invalid."},
    {ERROR_NOT_ENOUGH_MEMORY, u"Not enough memory resources are available to process this command."},
    {ERROR_INVALID_DATA, u"The data is invalid."},
    {ERROR_OUTOFMEMORY, u"Not enough memory resources are available to complete this operation."},
    {ERROR_NO_MORE_FILES, u"There are no more files."},
    {ERROR_WRITE_PROTECT, u"The media is write protected."},
    {ERROR_SEEK, u"The drive cannot locate a specific area or track on the disk."},
    {ERROR_WRITE_FAULT, u"The system cannot write to the specified device."},
    {ERROR_READ_FAULT, u"The system cannot read from the specified device."},
    {ERROR_GEN_FAILURE, u"A device attached to the system is not functioning."},
    {ERROR_SHARING_VIOLATION,
     u"The process cannot access the file because it is being used by another process."},
    {ERROR_LOCK_VIOLATION,
     u"The process cannot access the file because another process has locked a portion of the file."},
    {ERROR_HANDLE_EOF, u"Reached the end of the file."},
    {ERROR_HANDLE_DISK_FULL, u"The disk is full."},
    {ERROR_NOT_SUPPORTED, u"The request is not supported."},
    {ERROR_FILE_EXISTS, u"The file exists."},
    {ERROR_CANNOT_MAKE, u"The directory or file cannot be created."},
    {ERROR_INVALID_PARAMETER, u"The parameter is incorrect."},
    {ERROR_BROKEN_PIPE, u"The pipe has been ended."},
    {ERROR_BUFFER_OVERFLOW, u"The file name is too long."},
    {ERROR_DISK_FULL, u"There is not enough space on the disk."},
    {ERROR_CALL_NOT_IMPLEMENTED, u"This function is not supported on this system."},
    {ERROR_INSUFFICIENT_BUFFER, u"The data area passed to a system call is too small."},
    {ERROR_INVALID_NAME, u"The filename, directory name, or volume label syntax is incorrect."},
    {ERROR_MOD_NOT_FOUND, u"The specified module could not be found."},
    {ERROR_PROC_NOT_FOUND, u"The specified procedure could not be found."},
    {ERROR_NEGATIVE_SEEK, u"An attempt was made to move the file pointer before the beginning of the file."},
    {ERROR_DIR_NOT_EMPTY, u"The directory is not empty."},
    {ERROR_BAD_PATHNAME, u"The specified path is invalid."},
    {ERROR_BUSY, u"The requested resource is in use."},
    {ERROR_ALREADY_EXISTS, u"Cannot create a file when that file already exists."},
    {ERROR_FILENAME_EXCED_RANGE, u"The filename or extension is too long."},
    {ERROR_MORE_DATA, u"More data is available."},
    {ERROR_NO_MORE_ITEMS, u"No more data is available."},
    {ERROR_DIRECTORY, u"The directory name is invalid."},
    {ERROR_NOACCESS, u"Invalid access to memory location."},
    {ERROR_INVALID_FLAGS, u"Invalid flags."},
    {ERROR_BADDB, u"The configuration registry database is corrupt."},
    {ERROR_BADKEY, u"The configuration registry key is invalid."},
    {ERROR_CANTOPEN, u"The configuration registry key could not be opened."},
    {ERROR_CANTREAD, u"The configuration registry key could not be read."},
    {ERROR_CANTWRITE, u"The configuration registry key could not be written."},
    {ERROR_REGISTRY_CORRUPT,
     u"The registry is corrupted. The structure of one of the files containing registry data is corrupted, "
     u"or the system's memory image of the file is corrupted, or the file could not be recovered because the "
     u"alternate copy or log was absent or corrupted."},
    {ERROR_REGISTRY_IO_FAILED,
     u"An I/O operation initiated by the registry failed unrecoverably. The registry could not read in, or "
     u"write out, or flush, one of the files that contain the system's image of the registry."},
    {ERROR_KEY_DELETED, u"Illegal operation attempted on a registry key that has been marked for deletion."},
    {ERROR_NO_UNICODE_TRANSLATION,
     u"No mapping for the Unicode character exists in the target multi-byte code page."},
    {ERROR_NOT_FOUND, u"Element not found."},
    {ERROR_CANCELLED, u"The operation was canceled by the user."},
    {ERROR_CANT_RESOLVE_FILENAME, u"The name of the file cannot be resolved by the system."},

    // HRESULTs of the other facilities.
    {static_cast<DWORD>(E_UNEXPECTED), u"Catastrophic failure"},
    {static_cast<DWORD>(E_NOTIMPL), u"Not implemented"},
    {static_cast<DWORD>(E_NOINTERFACE), u"No such interface supported"},
    {static_cast<DWORD>(E_POINTER), u"Invalid pointer"},
    {static_cast<DWORD>(E_ABORT), u"Operation aborted"},
    {static_cast<DWORD>(E_FAIL), u"Unspecified error"},
    {static_cast<DWORD>(CLASS_E_NOAGGREGATION), u"Class does not support aggregation"},
    {static_cast<DWORD>(CLASS_E_CLASSNOTAVAILABLE), u"ClassFactory cannot supply requested class"},
    {static_cast<DWORD>(REGDB_E_READREGDB), u"Could not read key from registry"},
    {static_cast<DWORD>(REGDB_E_WRITEREGDB), u"Could not write key to registry"},
    {static_cast<DWORD>(REGDB_E_KEYMISSING), u"Could not find the key in the registry"},
    {static_cast<DWORD>(REGDB_E_INVALIDVALUE), u"Invalid value for registry"},
    {static_cast<DWORD>(REGDB_E_CLASSNOTREG), u"Class not registered"},
    {static_cast<DWORD>(REGDB_E_IIDNOTREG), u"Interface not registered"},
    {static_cast<DWORD>(SELFREG_E_CLASS), u"The server could not register its class"},
    {static_cast<DWORD>(CO_E_NOTINITIALIZED), u"CoInitialize has not been called"},
    {static_cast<DWORD>(CO_E_ALREADYINITIALIZED), u"CoInitialize has already been called"},
    {static_cast<DWORD>(CO_E_CLASSSTRING), u"Invalid class string"},
    {static_cast<DWORD>(CO_E_DLLNOTFOUND), u"The module of the class could not be found"},
    {static_cast<DWORD>(CO_E_ERRORINDLL), u"The module of the class has an error"},
    {static_cast<DWORD>(CO_E_OBJNOTREG), u"Object is not registered"},
    {static_cast<DWORD>(RPC_E_CHANGED_MODE), u"Cannot change thread mode after it is set"},
    {static_cast<DWORD>(FILTER_E_END_OF_CHUNKS), u"No more chunks of text available in object"},
    {static_cast<DWORD>(FILTER_E_NO_MORE_TEXT), u"No more text available in chunk"},
    {static_cast<DWORD>(FILTER_E_NO_MORE_VALUES), u"No more property values available in chunk"},
    {static_cast<DWORD>(FILTER_E_ACCESS), u"Unable to access object"},
    {static_cast<DWORD>(FILTER_W_MONIKER_CLIPPED), u"Moniker doesn't cover entire region"},
    {static_cast<DWORD>(FILTER_E_NO_TEXT), u"No text in current chunk"},
    {static_cast<DWORD>(FILTER_E_NO_VALUES), u"No values in current chunk"},
    {static_cast<DWORD>(FILTER_E_EMBEDDING_UNAVAILABLE), u"Unable to bind IFilter for embedded object"},
    {static_cast<DWORD>(FILTER_E_LINK_UNAVAILABLE), u"Unable to bind IFilter for linked object"},
    {static_cast<DWORD>(FILTER_S_LAST_TEXT), u"This is the last text in the current chunk"},
    {static_cast<DWORD>(FILTER_S_LAST_VALUES), u"This is the last value in the current chunk"},
    {static_cast<DWORD>(FILTER_E_PASSWORD), u"File was not filtered due to password protection"},
    {static_cast<DWORD>(FILTER_E_UNKNOWNFORMAT), u"The document format is not recognized by the filter"},
    {static_cast<DWORD>(FILTER_E_TOO_BIG), u"File is too large to filter"},
    {static_cast<DWORD>(STG_E_INVALIDFUNCTION), u"Unable to perform requested operation"},
    {static_cast<DWORD>(STG_E_FILENOTFOUND), u"The file could not be found"},
    {static_cast<DWORD>(STG_E_PATHNOTFOUND), u"The path could not be found"},
    {static_cast<DWORD>(STG_E_TOOMANYOPENFILES), u"There are insufficient resources to open another file"},
    {static_cast<DWORD>(STG_E_ACCESSDENIED), u"Access denied"},
    {static_cast<DWORD>(STG_E_INVALIDHANDLE), u"Attempted an operation on an invalid object"},
    {static_cast<DWORD>(STG_E_INSUFFICIENTMEMORY),
     u"There is insufficient memory available to complete operation"},
    {static_cast<DWORD>(STG_E_INVALIDPOINTER), u"Invalid pointer error"},
    {static_cast<DWORD>(STG_E_NOMOREFILES), u"There are no more entries to return"},
    {static_cast<DWORD>(STG_E_DISKISWRITEPROTECTED), u"Disk is write-protected"},
    {static_cast<DWORD>(STG_E_SEEKERROR), u"An error occurred during a seek operation"},
    {static_cast<DWORD>(STG_E_WRITEFAULT), u"A disk error occurred during a write operation"},
    {static_cast<DWORD>(STG_E_READFAULT), u"A disk error occurred during a read operation"},
    {static_cast<DWORD>(STG_E_SHAREVIOLATION), u"A share violation has occurred"},
    {static_cast<DWORD>(STG_E_LOCKVIOLATION), u"A lock violation has occurred"},
    {static_cast<DWORD>(STG_E_FILEALREADYEXISTS), u"File already exists"},
    {static_cast<DWORD>(STG_E_INVALIDPARAMETER), u"Invalid parameter error"},
    {static_cast<DWORD>(STG_E_MEDIUMFULL), u"There is insufficient disk space to complete operation"},
    {static_cast<DWORD>(STG_E_INVALIDHEADER), u"The name is not a valid storage file"},
    {static_cast<DWORD>(STG_E_INVALIDNAME), u"The name is not valid"},
    {static_cast<DWORD>(STG_E_UNKNOWN), u"An unexpected error occurred"},
    {static_cast<DWORD>(STG_E_UNIMPLEMENTEDFUNCTION), u"That function is not implemented"},
    {static_cast<DWORD>(STG_E_INVALIDFLAG), u"Invalid flag error"},
    {static_cast<DWORD>(STG_E_OLDFORMAT),
     u"The compound file was produced with an incompatible version of storage"},
    {static_cast<DWORD>(STG_E_OLDDLL), u"The compound file was produced with a newer version of storage"},
    {static_cast<DWORD>(STG_E_DOCFILECORRUPT), u"The compound file is corrupt"},
};

constexpr DWORD kWin32FacilityMask = 0xFFFF0000u;
constexpr DWORD kWin32Failure = 0x80070000u;

const char16_t* FindMessage(DWORD id) {
  // An HRESULT_FROM_WIN32 value reads as its Win32 code; listing each code
  // once keeps the two from drifting apart.
  if ((id & kWin32FacilityMask) == kWin32Failure) id &= 0xFFFFu;
  for (const SystemMessage& message : kMessages) {
    if (message.id == id) return message.text;
  }
  return nullptr;
}

bool LanguageServed(DWORD languageId) {
  const WORD primary = PRIMARYLANGID(languageId);
  return languageId == 0 || primary == LANG_NEUTRAL || primary == LANG_ENGLISH;
}

}  // namespace

DWORD FormatMessageW(DWORD dwFlags, LPCVOID lpSource, DWORD dwMessageId, DWORD dwLanguageId, LPWSTR lpBuffer,
                     DWORD nSize, va_list* Arguments) {
  (void)lpSource;   // only meaningful with FROM_STRING or FROM_HMODULE
  (void)Arguments;  // no message of the table has inserts
  if (!(dwFlags & FORMAT_MESSAGE_FROM_SYSTEM) || (dwFlags & FORMAT_MESSAGE_FROM_STRING) || !lpBuffer) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  if (!LanguageServed(dwLanguageId)) {
    SetLastError(ERROR_RESOURCE_LANG_NOT_FOUND);
    return 0;
  }
  const char16_t* message = FindMessage(dwMessageId);
  if (!message) {
    SetLastError(ERROR_MR_MID_NOT_FOUND);
    return 0;
  }
  WString text(message);
  if (!(dwFlags & FORMAT_MESSAGE_MAX_WIDTH_MASK)) text += u"\r\n";
  const DWORD length = static_cast<DWORD>(text.size());

  WCHAR* target = lpBuffer;
  if (dwFlags & FORMAT_MESSAGE_ALLOCATE_BUFFER) {
    // nSize is the least the caller wants allocated, in characters.
    const size_t units = (length + 1 > nSize ? length + 1 : nSize);
    target = static_cast<WCHAR*>(std::malloc(units * sizeof(WCHAR)));
    if (!target) {
      SetLastError(ERROR_NOT_ENOUGH_MEMORY);
      return 0;
    }
    *reinterpret_cast<LPWSTR*>(lpBuffer) = target;
  } else if (nSize < length + 1) {
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return 0;
  }
  std::memcpy(target, text.data(), length * sizeof(WCHAR));
  target[length] = 0;
  return length;
}

HLOCAL LocalFree(HLOCAL hMem) {
  std::free(hMem);
  return nullptr;
}
