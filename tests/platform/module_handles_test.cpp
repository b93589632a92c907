// Module handles: the file name of the executable and of a loaded shared
// object; loading modules with LoadLibraryW, their exports, reference counts
// shared with the COM runtime, and the codes for files that do not load.
#include <gtest/gtest.h>

#include <dlfcn.h>
#include <unistd.h>

#include <climits>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "compat/ComPtr.h"
#include <objbase.h>
#include <shlwapi.h>
#include <windows.h>

#include "platform/modules/test_com_module.h"
#include "support/files.h"
#include "support/test_env.h"

namespace {

namespace fs = std::filesystem;

std::string ExecutablePath() {
  char exe[PATH_MAX];
  ssize_t n = readlink("/proc/self/exe", exe, sizeof exe - 1);
  return n > 0 ? std::string(exe, size_t(n)) : std::string();
}

TEST(ModuleHandles, NullNamesTheExecutableAndShortBuffersFollowWindows) {
  const std::string expected = ExecutablePath();
  ASSERT_FALSE(expected.empty());

  WCHAR path[PATH_MAX];
  DWORD length = GetModuleFileNameW(nullptr, path, PATH_MAX);
  ASSERT_EQ(length, Utf8ToUtf16(expected).size());
  EXPECT_EQ(Utf16ToUtf8(path), expected);

  WCHAR small[5];
  EXPECT_EQ(GetModuleFileNameW(nullptr, small, 5), 5u);
  EXPECT_EQ(GetLastError(), DWORD(ERROR_INSUFFICIENT_BUFFER));
  EXPECT_EQ(WString(small), Utf8ToUtf16(expected.substr(0, 4)));
}

TEST(ModuleHandles, AnAddressInThePlatformLibraryNamesItsSharedObject) {
  HMODULE platform = ArcwiseModuleFromAddress(reinterpret_cast<const void*>(&GetModuleFileNameW));
  ASSERT_NE(platform, nullptr);
  WCHAR path[PATH_MAX];
  ASSERT_GT(GetModuleFileNameW(platform, path, PATH_MAX), 0u);
  std::string name = Utf16ToUtf8(path);
  EXPECT_NE(name.find("libarcwise-platform.so"), std::string::npos) << name;
  EXPECT_EQ(name.front(), '/');

  int local = 0;  // a stack address belongs to no module
  EXPECT_EQ(ArcwiseModuleFromAddress(&local), nullptr);
  EXPECT_EQ(GetModuleFileNameW(reinterpret_cast<HMODULE>(uintptr_t(0x10)), path, PATH_MAX), 0u);
  EXPECT_EQ(GetLastError(), DWORD(ERROR_MOD_NOT_FOUND));
}

// ---- LoadLibraryW, GetProcAddress, FreeLibrary -------------------------------------

namespace loader_test {

const std::string kModule = ARCWISE_TEST_COM_MODULE;
const std::string kNoEntryModule = ARCWISE_TEST_NO_ENTRY_MODULE;

bool IsMapped(const std::string& path) {
  void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_NOLOAD);
  if (!handle) return false;
  dlclose(handle);
  return true;
}

std::string ModuleName(HMODULE module) {
  WCHAR path[PATH_MAX];
  DWORD length = GetModuleFileNameW(module, path, PATH_MAX);
  return length ? Utf16ToUtf8(WString(path, length)) : std::string();
}

std::string RealPath(const std::string& path) {
  char resolved[PATH_MAX];
  return realpath(path.c_str(), resolved) ? std::string(resolved) : path;
}

void WriteFile(const std::string& path, const std::string& bytes) {
  arcwise_test::WriteAll(path, bytes);
}

TEST(ModuleLoader, LoadsAreCountedAndTheLastFreeUnloads) {
  ASSERT_FALSE(IsMapped(kModule));
  const WString path = Utf8ToUtf16(kModule);
  HMODULE first = LoadLibraryW(path.c_str());
  ASSERT_NE(first, nullptr) << Utf16ToUtf8(ArcwiseLastLoadErrorText());
  EXPECT_EQ(WString(ArcwiseLastLoadErrorText()), WString());
  // The handle is the module's load address, as GetModuleFileNameW takes it.
  EXPECT_EQ(ModuleName(first), RealPath(kModule));
  // Backslashes are separators too, as in a path written for Windows.
  WString windowsStyle = path;
  for (WCHAR& c : windowsStyle) c = c == u'/' ? u'\\' : c;
  HMODULE second = LoadLibraryW(windowsStyle.c_str());
  EXPECT_EQ(second, first);

  const int references = 2;
  for (int i = 0; i < references; ++i) {
    EXPECT_TRUE(IsMapped(kModule)) << "unloaded after " << i << " of " << references << " frees";
    EXPECT_TRUE(FreeLibrary(first));
  }
  EXPECT_FALSE(IsMapped(kModule));
  SetLastError(ERROR_SUCCESS);
  EXPECT_FALSE(FreeLibrary(first));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_MOD_NOT_FOUND));
}

TEST(ModuleLoader, GetProcAddressFindsOnlyTheModulesOwnExports) {
  HMODULE module = LoadLibraryW(Utf8ToUtf16(kModule).c_str());
  ASSERT_NE(module, nullptr);
  void* loader = dlopen(kModule.c_str(), RTLD_NOW | RTLD_NOLOAD);
  ASSERT_NE(loader, nullptr);
  void* expected = dlsym(loader, "DllGetClassObject");
  dlclose(loader);

  HMODULE platform = ArcwiseModuleFromAddress(reinterpret_cast<const void*>(&LoadLibraryW));
  const HMODULE bogus = reinterpret_cast<HMODULE>(uintptr_t(0x10));
  const struct {
    HMODULE module;
    const char* name;
    bool found;
    DWORD error;
  } cases[] = {
      {module, "DllGetClassObject", true, ERROR_SUCCESS},
      {module, "DllCanUnloadNow", true, ERROR_SUCCESS},
      // The module links the platform library, which has this one.
      {module, "CoInitializeEx", false, ERROR_PROC_NOT_FOUND},
      {module, "NoSuchExport", false, ERROR_PROC_NOT_FOUND},
      {module, reinterpret_cast<const char*>(uintptr_t(1)), false, ERROR_PROC_NOT_FOUND},  // an ordinal
      // A module loaded at start-up, not through LoadLibraryW.
      {platform, "LoadLibraryW", true, ERROR_SUCCESS},
      {platform, "DllGetClassObject", false, ERROR_PROC_NOT_FOUND},
      {bogus, "DllGetClassObject", false, ERROR_MOD_NOT_FOUND},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(reinterpret_cast<uintptr_t>(c.name) > 0xFFFF ? c.name : "(ordinal)");
    SetLastError(ERROR_SUCCESS);
    FARPROC proc = GetProcAddress(c.module, c.name);
    EXPECT_EQ(proc != nullptr, c.found);
    if (!c.found) {
      EXPECT_EQ(GetLastError(), c.error);
    }
  }
  EXPECT_EQ(reinterpret_cast<void*>(GetProcAddress(module, "DllGetClassObject")), expected);
  EXPECT_EQ(reinterpret_cast<void*>(GetProcAddress(platform, "LoadLibraryW")), reinterpret_cast<void*>(&LoadLibraryW));
  EXPECT_TRUE(FreeLibrary(module));
  EXPECT_FALSE(IsMapped(kModule));
  // A handle that is gone names nothing any more.
  SetLastError(ERROR_SUCCESS);
  EXPECT_EQ(GetProcAddress(module, "DllGetClassObject"), nullptr);
  EXPECT_EQ(GetLastError(), DWORD(ERROR_MOD_NOT_FOUND));
}

TEST(ModuleLoader, FilesThatAreNoLoadableModuleGiveWindowsErrors) {
  const std::string folder = arcwise_test::MakeTestFolder("loader-failures");
  WriteFile(folder + "/text.so", "this is no shared object");
  WriteFile(folder + "/short.so", "\x7f");
  fs::create_directories(folder + "/folder.so");
  const struct {
    std::string name;
    DWORD error;
    bool loaderText;  // the loader says why
  } cases[] = {
      {folder + "/absent.so", ERROR_MOD_NOT_FOUND, true},
      {folder + "/missing-folder/absent.so", ERROR_MOD_NOT_FOUND, true},
      {"libarcwise-no-such-module.so", ERROR_MOD_NOT_FOUND, true},  // a bare name found nowhere
      {folder + "/text.so", ERROR_BAD_EXE_FORMAT, true},
      {folder + "/short.so", ERROR_BAD_EXE_FORMAT, true},
      {folder + "/folder.so", ERROR_ACCESS_DENIED, true},
      {ExecutablePath(), ERROR_BAD_EXE_FORMAT, true},  // an executable, not a library
      {"", ERROR_INVALID_PARAMETER, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    SetLastError(ERROR_SUCCESS);
    EXPECT_EQ(LoadLibraryW(Utf8ToUtf16(c.name).c_str()), nullptr);
    EXPECT_EQ(GetLastError(), c.error);
    EXPECT_EQ(WString(ArcwiseLastLoadErrorText()).empty(), !c.loaderText);
  }
  SetLastError(ERROR_SUCCESS);
  EXPECT_EQ(LoadLibraryW(nullptr), nullptr);
  EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_PARAMETER));
}

TEST(ModuleLoader, ABareNameIsFoundInTheCurrentFolder) {
  const std::string folder = arcwise_test::MakeTestFolder("loader-bare-name");
  const std::string copy = folder + "/libarcwise-loader-copy.so";
  fs::copy_file(kNoEntryModule, copy);
  const fs::path before = fs::current_path();
  fs::current_path(folder);
  HMODULE module = LoadLibraryW(W("libarcwise-loader-copy.so"));
  fs::current_path(before);
  ASSERT_NE(module, nullptr) << Utf16ToUtf8(ArcwiseLastLoadErrorText());
  EXPECT_EQ(ModuleName(module), RealPath(copy));
  EXPECT_TRUE(FreeLibrary(module));
  EXPECT_FALSE(IsMapped(copy));
}

// The COM runtime and LoadLibraryW hold one module through one list: either
// holder keeps it loaded, and it goes when both have let go, in either order.
class ModuleLoaderWithCom : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(S_OK, CoInitializeEx(nullptr, COINIT_MULTITHREADED));
    const WString key = W("CLSID\\") + GuidToString(CLSID_ArcwiseTestCounter) + W("\\InprocServer32");
    const WString path = Utf8ToUtf16(kModule);
    HKEY handle = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExW(HKEY_CLASSES_ROOT, key.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr,
                                             &handle, nullptr));
    ASSERT_EQ(ERROR_SUCCESS, RegSetValueExW(handle, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(path.c_str()),
                                            DWORD((path.size() + 1) * sizeof(WCHAR))));
    RegCloseKey(handle);
  }
  void TearDown() override {
    SHDeleteKeyW(HKEY_CLASSES_ROOT, (W("CLSID\\") + GuidToString(CLSID_ArcwiseTestCounter)).c_str());
    CoUninitialize();
  }
  static HRESULT Create(ComPtr<ITestCounter>& object) {
    return CoCreateInstance(CLSID_ArcwiseTestCounter, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&object));
  }
};

TEST_F(ModuleLoaderWithCom, EitherHolderKeepsTheOneLoad) {
  for (bool libraryFirst : {true, false}) {
    SCOPED_TRACE(libraryFirst ? "LoadLibraryW first" : "CoCreateInstance first");
    ASSERT_FALSE(IsMapped(kModule));
    HMODULE module = nullptr;
    ComPtr<ITestCounter> object;
    if (libraryFirst) module = LoadLibraryW(Utf8ToUtf16(kModule).c_str());
    ASSERT_EQ(S_OK, Create(object));
    if (!libraryFirst) module = LoadLibraryW(Utf8ToUtf16(kModule).c_str());
    ASSERT_NE(module, nullptr);
    // One load: the object's code lives in the module LoadLibraryW named.
    EXPECT_EQ(ArcwiseModuleFromAddress(*reinterpret_cast<void**>(object.Get())), module);
    EXPECT_EQ(object->CanUnloadNowCalls(), 0) << "the module was loaded afresh for COM";

    object.Reset();
    if (libraryFirst) {
      CoFreeUnusedLibraries();  // COM lets go; LoadLibraryW's reference stays
      EXPECT_TRUE(IsMapped(kModule));
      EXPECT_TRUE(FreeLibrary(module));
    } else {
      EXPECT_TRUE(FreeLibrary(module));  // COM's reference stays
      EXPECT_TRUE(IsMapped(kModule));
      CoFreeUnusedLibraries();
    }
    EXPECT_FALSE(IsMapped(kModule));
  }
}

}  // namespace loader_test

}  // namespace
