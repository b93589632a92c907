// The Win32/COM functions have C linkage, as the SDK declares them, so a host
// written in C, or in any language with a C foreign-function interface,
// finds them by their plain names. dlsym by name is what such a host does.
#include <gtest/gtest.h>

#include <dlfcn.h>

#include "compat/Win32Compat.h"

namespace {

TEST(CLinkage, SdkFunctionsAreFoundByTheirPlainNames) {
  const char* const names[] = {
      // COM runtime and structured storage
      "CoInitializeEx", "CoInitialize", "CoUninitialize", "CoCreateInstance", "CoGetClassObject",
      "CoRegisterClassObject", "CoRevokeClassObject", "CoFreeUnusedLibraries", "CoTaskMemAlloc",
      "CoTaskMemFree", "CLSIDFromString", "StringFromCLSID", "CLSIDFromProgID", "StringFromGUID2",
      "PropVariantClear", "StgOpenStorageEx",
      // Search, shell helpers, registry
      "LoadIFilter", "SHCreateStreamOnFileEx", "SHCreateMemStream", "PathFindExtensionW", "SHDeleteKeyW",
      "RegOpenKeyExW", "RegCreateKeyExW", "RegQueryValueExW", "RegSetValueExW", "RegDeleteKeyW",
      "RegEnumKeyExW", "RegCloseKey", "RegGetValueW",
      // Kernel
      "CreateFileW", "ReadFile", "WriteFile", "CloseHandle", "DeleteFileW", "GetTempPathW",
      "GetTempFileNameW", "FindFirstFileW", "GetFileAttributesW", "GetLastError", "MultiByteToWideChar",
      "WideCharToMultiByte", "GetACP", "GetSystemDefaultLCID", "OutputDebugStringW",
      "InitializeCriticalSection", "InterlockedIncrement", "GetModuleFileNameW", "lstrlenW", "_waccess",
      "LockFileEx", "UnlockFileEx", "MoveFileExW", "PathIsRelativeW", "FormatMessageW", "LocalFree",
      "LoadLibraryW", "GetProcAddress", "FreeLibrary", "GetCurrentProcess", "GetProcessMemoryInfo",
      // Platform extras
      "ArcwiseRegistryLastError", "ArcwiseRegistryLastErrorText", "ArcwiseRegistryClearLastError",
      "ArcwiseLastLoadErrorText"};
  for (const char* name : names) EXPECT_NE(nullptr, dlsym(RTLD_DEFAULT, name)) << name;
}

TEST(CLinkage, AFunctionFoundByNameWorksWhenCalledThroughItsCSignature) {
  using CoInitializeExFn = HRESULT (*)(void*, DWORD);
  using CoUninitializeFn = void (*)();
  auto coInitializeEx = reinterpret_cast<CoInitializeExFn>(dlsym(RTLD_DEFAULT, "CoInitializeEx"));
  auto coUninitialize = reinterpret_cast<CoUninitializeFn>(dlsym(RTLD_DEFAULT, "CoUninitialize"));
  ASSERT_NE(nullptr, coInitializeEx);
  ASSERT_NE(nullptr, coUninitialize);
  EXPECT_EQ(S_OK, coInitializeEx(nullptr, COINIT_MULTITHREADED));
  EXPECT_EQ(S_FALSE, coInitializeEx(nullptr, COINIT_MULTITHREADED));
  coUninitialize();
  coUninitialize();
}

}  // namespace
