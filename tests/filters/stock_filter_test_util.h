// Shared fixture of the stock filter tests: loads a stock filter module by
// path with dlopen to call its self-registration exports, as a registration
// tool would, and checks that the COM runtime can unload it again once every
// object is released. Single-threaded test code.
#pragma once

#include <gtest/gtest.h>

#include <dlfcn.h>

#include <fstream>
#include <string>

#include "compat/ComPtr.h"
#include <ntquery.h>
#include <shlwapi.h>

#include "support/loaded_module.h"
#include "support/registry_util.h"
#include "support/files.h"
#include "support/test_env.h"

namespace stock_filter_test {

const CLSID CLSID_TextFilter = {0x4FEDD9AC, 0xF849, 0x47E7, {0x9A, 0x44, 0xDF, 0xE3, 0x04, 0x95, 0xCE, 0x21}};
const CLSID CLSID_TextHandler = {0xD6B937EC, 0xD817, 0x40FA, {0x9F, 0x43, 0x77, 0xE1, 0x2A, 0xE6, 0x16, 0x2C}};
const CLSID CLSID_CompoundFilter = {0x91A7C164, 0xC310, 0x4DA2, {0x97, 0x46, 0x62, 0x5C, 0x76, 0xE3, 0x62, 0xB9}};
const CLSID CLSID_CompoundHandler = {0xB826AF00, 0x7DAB, 0x468A, {0xA7, 0x48, 0xCB, 0xD5, 0x46, 0x53, 0xA1, 0xDB}};
const FMTID FMTID_Storage = {0xB725F130, 0x47EF, 0x101A, {0xA5, 0xF1, 0x02, 0x60, 0x8C, 0x9E, 0xEB, 0xAC}};

using arcwise_test::IsLoaded;

// Calls one HRESULT(void) export of the module, loading it for the call.
inline HRESULT CallExport(const std::string& path, const char* name) {
  return arcwise_test::CallLoadingIt<HRESULT>(path, name, E_FAIL, E_NOTIMPL);
}

// DllCanUnloadNow of the module as it is loaded now (S_OK when not loaded).
inline HRESULT CanUnloadNow(const std::string& path) {
  return arcwise_test::CallIfLoaded<HRESULT>(path, "DllCanUnloadNow", S_OK, E_NOTIMPL);
}

inline bool KeyExists(const WString& subkey) { return arcwise_test::KeyExists(HKEY_CLASSES_ROOT, subkey); }

// A REG_SZ value of HKCR\subkey (the default one for a null name), or "<missing>".
inline WString ReadString(const WString& subkey, LPCWSTR name = nullptr) {
  return arcwise_test::StringOrMissing(HKEY_CLASSES_ROOT, subkey, name);
}

// One stock module registered through its own DllRegisterServer for the
// test, unregistered and unloaded after it.
class StockFilterTest : public ::testing::Test {
 protected:
  explicit StockFilterTest(std::string modulePath) : m_modulePath(std::move(modulePath)) {}

  void SetUp() override {
    ASSERT_EQ(S_OK, CoInitializeEx(nullptr, COINIT_MULTITHREADED));
    ASSERT_EQ(S_OK, CallExport(m_modulePath, "DllRegisterServer"));
    m_folder = arcwise_test::MakeTestFolder("stock");
  }
  void TearDown() override {
    // Every object the test made is gone, so the module agrees to go.
    EXPECT_EQ(S_OK, CanUnloadNow(m_modulePath));
    CoFreeUnusedLibraries();
    EXPECT_FALSE(IsLoaded(m_modulePath)) << "the filter module is still loaded after the test";
    EXPECT_EQ(S_OK, CallExport(m_modulePath, "DllUnregisterServer"));
    CoUninitialize();
  }

  WString WriteFile(const std::string& name, const std::string& bytes) {
    std::string path = m_folder + "/" + name;
    arcwise_test::WriteAll(path, bytes);
    return Utf8ToUtf16(path);
  }

  // The filter for path through LoadIFilter, or null with the result in m_loadResult.
  ComPtr<IFilter> LoadByPath(const WString& path) {
    ComPtr<IUnknown> object;
    m_loadResult = LoadIFilter(path.c_str(), nullptr, reinterpret_cast<void**>(&object));
    ComPtr<IFilter> filter;
    if (object) object.As(&filter);
    return filter;
  }

  std::string m_modulePath;
  std::string m_folder;
  HRESULT m_loadResult = S_OK;
};

}  // namespace stock_filter_test
