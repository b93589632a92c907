#include "hresult_text.h"

#include <cstdio>

#include <filter.h>
#include <objbase.h>

namespace {

struct CodeText {
  HRESULT code;
  const char* text;
};

const CodeText kMessages[] = {
    {S_OK, "The operation completed successfully"},
    {S_FALSE, "The operation completed with nothing to do"},
    {E_UNEXPECTED, "Catastrophic failure"},
    {E_NOTIMPL, "Not implemented"},
    {E_NOINTERFACE, "No such interface supported"},
    {E_POINTER, "Invalid pointer"},
    {E_ABORT, "Operation aborted"},
    {E_FAIL, "Unspecified error"},
    {E_ACCESSDENIED, "Access is denied"},
    {E_HANDLE, "The handle is invalid"},
    {E_OUTOFMEMORY, "Not enough memory resources are available to complete this operation"},
    {E_INVALIDARG, "The parameter is incorrect"},
    {CLASS_E_NOAGGREGATION, "Class does not support aggregation"},
    {CLASS_E_CLASSNOTAVAILABLE, "ClassFactory cannot supply requested class"},
    {REGDB_E_READREGDB, "Could not read key from registry"},
    {REGDB_E_WRITEREGDB, "Could not write key to registry"},
    {REGDB_E_KEYMISSING, "Could not find the key in the registry"},
    {REGDB_E_INVALIDVALUE, "Invalid value for registry"},
    {REGDB_E_CLASSNOTREG, "Class not registered"},
    {REGDB_E_IIDNOTREG, "Interface not registered"},
    {SELFREG_E_CLASS, "The server could not register its class"},
    {CO_E_NOTINITIALIZED, "CoInitialize has not been called"},
    {CO_E_ALREADYINITIALIZED, "CoInitialize has already been called"},
    {CO_E_CLASSSTRING, "Invalid class string"},
    {CO_E_DLLNOTFOUND, "The module of the class could not be found"},
    {CO_E_ERRORINDLL, "The module of the class has an error"},
    {CO_E_OBJNOTREG, "Object is not registered"},
    {RPC_E_CHANGED_MODE, "Cannot change thread mode after it is set"},
    {FILTER_E_END_OF_CHUNKS, "No more chunks of text available in object"},
    {FILTER_E_NO_MORE_TEXT, "No more text available in chunk"},
    {FILTER_E_NO_MORE_VALUES, "No more property values available in chunk"},
    {FILTER_E_ACCESS, "Unable to access object"},
    {FILTER_W_MONIKER_CLIPPED, "Moniker doesn't cover entire region"},
    {FILTER_E_NO_TEXT, "No text in current chunk"},
    {FILTER_E_NO_VALUES, "No values in current chunk"},
    {FILTER_E_EMBEDDING_UNAVAILABLE, "Unable to bind IFilter for embedded object"},
    {FILTER_E_LINK_UNAVAILABLE, "Unable to bind IFilter for linked object"},
    {FILTER_S_LAST_TEXT, "This is the last text in the current chunk"},
    {FILTER_S_LAST_VALUES, "This is the last value in the current chunk"},
    {FILTER_E_PASSWORD, "File was not filtered due to password protection"},
    {FILTER_E_UNKNOWNFORMAT, "The document format is not recognized by the filter"},
    {STG_E_INVALIDFUNCTION, "Unable to perform requested operation"},
    {STG_E_FILENOTFOUND, "The file could not be found"},
    {STG_E_PATHNOTFOUND, "The path could not be found"},
    {STG_E_TOOMANYOPENFILES, "There are insufficient resources to open another file"},
    {STG_E_ACCESSDENIED, "Access denied"},
    {STG_E_INVALIDHANDLE, "Attempted an operation on an invalid object"},
    {STG_E_INSUFFICIENTMEMORY, "There is insufficient memory available to complete operation"},
    {STG_E_INVALIDPOINTER, "Invalid pointer error"},
    {STG_E_NOMOREFILES, "There are no more entries to return"},
    {STG_E_DISKISWRITEPROTECTED, "Disk is write-protected"},
    {STG_E_SEEKERROR, "An error occurred during a seek operation"},
    {STG_E_WRITEFAULT, "A disk error occurred during a write operation"},
    {STG_E_READFAULT, "A disk error occurred during a read operation"},
    {STG_E_SHAREVIOLATION, "A share violation has occurred"},
    {STG_E_LOCKVIOLATION, "A lock violation has occurred"},
    {STG_E_FILEALREADYEXISTS, "File already exists"},
    {STG_E_INVALIDPARAMETER, "Invalid parameter error"},
    {STG_E_MEDIUMFULL, "There is insufficient disk space to complete operation"},
    {STG_E_INVALIDHEADER, "The name is not a valid storage file"},
    {STG_E_INVALIDNAME, "The name is not valid"},
    {STG_E_UNKNOWN, "An unexpected error occurred"},
    {STG_E_UNIMPLEMENTEDFUNCTION, "That function is not implemented"},
    {STG_E_INVALIDFLAG, "Invalid flag error"},
    {STG_E_OLDFORMAT, "The compound file was produced with an incompatible version of storage"},
    {STG_E_OLDDLL, "The compound file was produced with a newer version of storage"},
    {STG_E_DOCFILECORRUPT, "The compound file is corrupt"},
    {HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND), "The system cannot find the file specified"},
    {HRESULT_FROM_WIN32(ERROR_PATH_NOT_FOUND), "The system cannot find the path specified"},
    {HRESULT_FROM_WIN32(ERROR_TOO_MANY_OPEN_FILES), "The system cannot open the file"},
    {HRESULT_FROM_WIN32(ERROR_INVALID_DATA), "The data is invalid"},
    {HRESULT_FROM_WIN32(ERROR_SHARING_VIOLATION),
     "The process cannot access the file because it is being used by another process"},
    {HRESULT_FROM_WIN32(ERROR_LOCK_VIOLATION),
     "The process cannot access the file because another process has locked a portion of the file"},
    {HRESULT_FROM_WIN32(ERROR_HANDLE_EOF), "Reached the end of the file"},
    {HRESULT_FROM_WIN32(ERROR_HANDLE_DISK_FULL), "The disk is full"},
    {HRESULT_FROM_WIN32(ERROR_DISK_FULL), "There is not enough space on the disk"},
    {HRESULT_FROM_WIN32(ERROR_NOT_SUPPORTED), "The request is not supported"},
    {HRESULT_FROM_WIN32(ERROR_FILE_EXISTS), "The file exists"},
    {HRESULT_FROM_WIN32(ERROR_ALREADY_EXISTS), "Cannot create a file when that file already exists"},
    {HRESULT_FROM_WIN32(ERROR_INVALID_NAME),
     "The filename, directory name, or volume label syntax is incorrect"},
    {HRESULT_FROM_WIN32(ERROR_MOD_NOT_FOUND), "The specified module could not be found"},
    {HRESULT_FROM_WIN32(ERROR_PROC_NOT_FOUND), "The specified procedure could not be found"},
    {HRESULT_FROM_WIN32(ERROR_FILENAME_EXCED_RANGE), "The filename or extension is too long"},
    {HRESULT_FROM_WIN32(ERROR_DIRECTORY), "The directory name is invalid"},
    {HRESULT_FROM_WIN32(ERROR_NOT_FOUND), "Element not found"},
    {HRESULT_FROM_WIN32(ERROR_NO_UNICODE_TRANSLATION),
     "No mapping for the Unicode character exists in the target multi-byte code page"},
    {HRESULT_FROM_WIN32(ERROR_BADDB), "The configuration registry database is corrupt"},
    {HRESULT_FROM_WIN32(ERROR_CANTOPEN), "The configuration registry key could not be opened"},
    {HRESULT_FROM_WIN32(ERROR_CANTREAD), "The configuration registry key could not be read"},
    {HRESULT_FROM_WIN32(ERROR_CANTWRITE), "The configuration registry key could not be written"},
};

}  // namespace

const char* HResultMessage(HRESULT hr) {
  for (const CodeText& entry : kMessages) {
    if (entry.code == hr) return entry.text;
  }
  return nullptr;
}

std::string DescribeHResult(HRESULT hr) {
  char text[64];
  std::snprintf(text, sizeof(text), "0x%08x", static_cast<unsigned>(hr));
  std::string result = text;
  if (const char* message = HResultMessage(hr)) {
    result += std::string(" (") + message + ")";
  } else if ((static_cast<unsigned>(hr) & 0xFFFF0000u) == 0x80070000u) {
    std::snprintf(text, sizeof(text), " (Win32 error %u)", static_cast<unsigned>(hr) & 0xFFFFu);
    result += text;
  }
  return result;
}
