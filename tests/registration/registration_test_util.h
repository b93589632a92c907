// Helpers of the registration tests: the shared registry helpers
// (support/registry_util.h) under short names, a stored-string check, a
// clean slate for the keys registration touches, the logger at
// level 3 on the debug channel, and fake SharePoint registration objects
// served from the test process under the class ids their ProgIDs name.
// Fakes are created and called on the test's threads; their call records
// are guarded so a second thread may call them.
#pragma once

#include <gtest/gtest.h>

#include <atomic>
#include <mutex>
#include <string>
#include <vector>

#include <objbase.h>
#include <shlwapi.h>
#include <windows.h>

#include "diagnostics/Debugger.h"
#include "support/com_object.h"
#include "support/registry_util.h"
#include "support/test_env.h"
#include "registration/IFilterRegistration.h"

// The fakes' QueryInterface finds the interface by its type.
ARCWISE_DECLARE_IID(IFilterRegistration, IID_IFilterRegistration);

namespace regtest {

inline std::string Narrow(const WString& text) { return Utf16ToUtf8(text); }

using arcwise_test::CreateKey;
using arcwise_test::KeyExists;
using arcwise_test::ReadValue;
using arcwise_test::SetDword;
using arcwise_test::SetString;
using arcwise_test::SetValue;
using arcwise_test::StoredValue;
using arcwise_test::SubKeyCount;

// A REG_SZ stored with its terminator: (length + 1) * 2 bytes.
inline void ExpectString(HKEY root, const WString& path, LPCWSTR name, const WString& expected) {
  StoredValue value = ReadValue(root, path, name);
  SCOPED_TRACE(Narrow(path) + " : " + (name ? Narrow(name) : std::string("(default)")));
  ASSERT_EQ(value.status, ERROR_SUCCESS);
  EXPECT_EQ(value.type, static_cast<DWORD>(REG_SZ));
  EXPECT_EQ(value.size(), (expected.size() + 1) * sizeof(WCHAR));
  EXPECT_EQ(Narrow(value.Text()), Narrow(expected));
}

// Every test starts from an empty registry of its own.
inline void StartWithFreshRegistry() {
  std::string error;
  ASSERT_TRUE(arcwise_test::UseFreshRegistry(&error)) << error;
}

// The process's logger writing everything to the debug channel.
inline void StartLoggerAtLevel3() {
  SetDword(HKEY_LOCAL_MACHINE, W("SOFTWARE\\Quillmark\\Arcwise"), W("DebugMode"), 3);
  SetDword(HKEY_LOCAL_MACHINE, W("SOFTWARE\\Quillmark\\Arcwise"), W("OutputMode"), 0);
  g_debugger.Start(W("SOFTWARE\\Quillmark\\Arcwise"), W("Quillmark Arcwise Filter"));
}

inline const WString kLinePrefix = W("Quillmark Arcwise Filter:");

// The captured lines that mention a search product, without the prefix.
inline std::vector<std::string> ProductLines(const std::vector<WString>& lines) {
  std::vector<std::string> result;
  for (const WString& line : lines) {
    std::string text = Narrow(line);
    if (text.find("IFilter") == std::string::npos) continue;
    std::string prefix = Narrow(kLinePrefix);
    if (text.compare(0, prefix.size(), prefix) == 0) text.erase(0, prefix.size());
    result.push_back(text);
  }
  return result;
}

inline WString ClsidText(REFCLSID clsid) {
  LPOLESTR text = nullptr;
  if (FAILED(StringFromCLSID(clsid, &text))) return WString();
  WString result = text;
  CoTaskMemFree(text);
  return result;
}

// ---- Fake SharePoint registration objects -----------------------------------

// One call of entry 4 or 14, argument by argument.
struct RegistrationCall {
  int entry = 0;  // 4 or 14
  std::vector<ULONG> counts;             // arguments 1, 3, 5, 7
  std::vector<WString> extensions;       // the strings of argument 2
  std::vector<WString> extraNames;       // the strings of argument 6
  std::vector<bool> arraysGiven;         // arguments 2 and 6 non-null
  std::vector<const void*> zeroPointers; // arguments 4 (and 8 for entry 14)
  const CLSID* pclsid = nullptr;
  CLSID clsid = {};
  std::vector<ULONG> trailing;           // what follows the class id pointer
  bool filterClassRegistered = false;    // HKCR\CLSID\<filter> existed during the call
};

// What one fake object does and what was done to it.
struct FakeBehaviour {
  HRESULT result = S_OK;
  bool offersInterface = true;
  std::mutex mutex;
  std::vector<RegistrationCall> calls;
  std::atomic<int> created{0};
  std::atomic<int> live{0};
};

inline WString g_filterClassKeyForFakes;

class FakeRegistration final : public arcwise_test::ComObject<IFilterRegistration> {
 public:
  explicit FakeRegistration(FakeBehaviour* behaviour) : m_behaviour(behaviour) {
    ++m_behaviour->created;
    ++m_behaviour->live;
  }
  ~FakeRegistration() { --m_behaviour->live; }
  STDMETHOD(Reserved3)() override { return E_NOTIMPL; }
  STDMETHOD(UnregisterFilter)(ULONG c1, LPCWSTR* a2, ULONG c3, LPCWSTR* a4, ULONG c5,
                              LPCWSTR* a6, ULONG z7, const CLSID* p8, ULONG z9,
                              ULONG z10) override {
    RegistrationCall call = Common(4, c1, a2, c3, a4, c5, a6, p8);
    call.counts.push_back(z7);
    call.trailing = {z9, z10};
    return Record(std::move(call));
  }
  STDMETHOD(Reserved5)() override { return E_NOTIMPL; }
  STDMETHOD(Reserved6)() override { return E_NOTIMPL; }
  STDMETHOD(Reserved7)() override { return E_NOTIMPL; }
  STDMETHOD(Reserved8)() override { return E_NOTIMPL; }
  STDMETHOD(Reserved9)() override { return E_NOTIMPL; }
  STDMETHOD(Reserved10)() override { return E_NOTIMPL; }
  STDMETHOD(Reserved11)() override { return E_NOTIMPL; }
  STDMETHOD(Reserved12)() override { return E_NOTIMPL; }
  STDMETHOD(Reserved13)() override { return E_NOTIMPL; }
  STDMETHOD(RegisterFilter)(ULONG c1, LPCWSTR* a2, ULONG c3, LPCWSTR* a4, ULONG c5, LPCWSTR* a6,
                            ULONG c7, LPCWSTR* a8, const CLSID* p9, ULONG z10, ULONG e11,
                            ULONG z12) override {
    RegistrationCall call = Common(14, c1, a2, c3, a4, c5, a6, p9);
    call.counts.push_back(c7);
    call.zeroPointers.push_back(a8);
    call.trailing = {z10, e11, z12};
    return Record(std::move(call));
  }

 private:
  RegistrationCall Common(int entry, ULONG c1, LPCWSTR* a2, ULONG c3, LPCWSTR* a4, ULONG c5,
                          LPCWSTR* a6, const CLSID* pclsid) {
    RegistrationCall call;
    call.entry = entry;
    call.counts = {c1, c3, c5};
    call.arraysGiven = {a2 != nullptr, a6 != nullptr};
    for (ULONG i = 0; a2 && i < c1; ++i) call.extensions.push_back(a2[i] ? a2[i] : W("(null)"));
    for (ULONG i = 0; a6 && i < c5; ++i) call.extraNames.push_back(a6[i] ? a6[i] : W("(null)"));
    call.zeroPointers = {a4};
    call.pclsid = pclsid;
    if (pclsid) call.clsid = *pclsid;
    if (!g_filterClassKeyForFakes.empty())
      call.filterClassRegistered = KeyExists(HKEY_CLASSES_ROOT, g_filterClassKeyForFakes);
    return call;
  }
  HRESULT Record(RegistrationCall call) {
    std::lock_guard<std::mutex> lock(m_behaviour->mutex);
    m_behaviour->calls.push_back(std::move(call));
    return m_behaviour->result;
  }
  // Without the interface the object is an IUnknown only, as an old product's may be.
  bool Offers(REFIID riid) override {
    return m_behaviour->offersInterface || !IsEqualIID(riid, IID_IFilterRegistration);
  }

  FakeBehaviour* m_behaviour;
};

class FakeRegistrationFactory final : public arcwise_test::ComObject<IClassFactory> {
 public:
  explicit FakeRegistrationFactory(FakeBehaviour* behaviour) : m_behaviour(behaviour) {}
  STDMETHOD(CreateInstance)(IUnknown* outer, REFIID riid, void** ppv) override {
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    if (outer) return CLASS_E_NOAGGREGATION;
    return arcwise_test::HandOut(new FakeRegistration(m_behaviour), riid, ppv);
  }
  STDMETHOD(LockServer)(BOOL) override { return S_OK; }

 private:
  FakeBehaviour* m_behaviour;
};

// The eight objects in the order the module tries them; the last has no
// ProgID and is reached by its fixed class id.
inline const LPCWSTR kProgIds[8] = {
    W("OSearch16.FilterRegistration"), W("OSearch15.FilterRegistration"),
    W("OSearch14.FilterRegistration"), W("SPSearch4.FilterRegistration"),
    W("OSearch.FilterRegistration"),   W("SPSearch.FilterRegistration"),
    W("SPSSearch.FilterRegistration"), nullptr};
inline constexpr CLSID kSps2001Clsid = {
    0xE3ECB800, 0x3968, 0x11D3, {0xB2, 0x82, 0x00, 0xC0, 0x4F, 0xA3, 0x02, 0x7B}};

inline CLSID FakeClsid(int index) {
  CLSID clsid = {0x5A5A0000u + static_cast<DWORD>(index), 0x1234, 0x4321,
                 {0x80, 0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0x77}};
  return index == 7 ? kSps2001Clsid : clsid;
}

inline const char* const kSuccessLines[8] = {
    "INFO: IFilter was registered with SPS2016-19 \n", "INFO: IFilter was registered with SPS2013 \n",
    "INFO: IFilter was registered with SPS2010 \n",    "INFO: IFilter was registered with WSS4 \n",
    "INFO: IFilter was registered with SPS2007 \n",    "INFO: IFilter was registered with WSS3.0 \n",
    "INFO: successfully registered IFilter with SPS2003 \n",
    "INFO: IFilter was registered with SPS2001 \n"};
inline const char* const kFailureLines[8] = {
    "INFO: could not register IFilter with SPS2016 \n", "INFO: could not register IFilter with SPS2013 \n",
    "INFO: could not register IFilter with SPS2010 \n", "INFO: could not register IFilter with WSS4 \n",
    "INFO: could not register IFilter with SPS2007 \n", "INFO: could not register IFilter with WSS3.0 \n",
    "INFO: could not register IFilter with SPS2003 \n", "INFO: could not register IFilter with SPS2001 \n"};

// Serves the chosen tries' objects from this process for its lifetime. The
// calling thread must be in an apartment; registrations are revoked at the end.
class FakeSharePoint {
 public:
  FakeSharePoint() = default;
  ~FakeSharePoint() {
    for (DWORD cookie : m_cookies) CoRevokeClassObject(cookie);
  }
  FakeSharePoint(const FakeSharePoint&) = delete;
  FakeSharePoint& operator=(const FakeSharePoint&) = delete;

  // Installs try `index` (0-based): its ProgID in the registry (unless it has
  // none) and its class object in the process.
  FakeBehaviour& Install(int index, HRESULT result = S_OK) {
    FakeBehaviour& behaviour = m_behaviour[index];
    behaviour.result = result;
    CLSID clsid = FakeClsid(index);
    if (kProgIds[index])
      SetString(HKEY_CLASSES_ROOT, WString(kProgIds[index]) + W("\\CLSID"), nullptr,
                ClsidText(clsid));
    auto* factory = new FakeRegistrationFactory(&behaviour);
    DWORD cookie = 0;
    EXPECT_EQ(CoRegisterClassObject(clsid, factory, CLSCTX_INPROC_SERVER, REGCLS_MULTIPLEUSE,
                                    &cookie),
              S_OK);
    factory->Release();
    m_cookies.push_back(cookie);
    return behaviour;
  }
  FakeBehaviour& Behaviour(int index) { return m_behaviour[index]; }
  int TotalCalls() {
    int total = 0;
    for (auto& behaviour : m_behaviour) {
      std::lock_guard<std::mutex> lock(behaviour.mutex);
      total += static_cast<int>(behaviour.calls.size());
    }
    return total;
  }

 private:
  FakeBehaviour m_behaviour[8];
  std::vector<DWORD> m_cookies;
};

}  // namespace regtest
