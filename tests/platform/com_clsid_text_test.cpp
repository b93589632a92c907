// CLSID text and lookups: the braced form both ways, refusal of everything
// else, ProgIDs through HKEY_CLASSES_ROOT, the published interface IDs, and
// task memory that crosses interfaces.
#include <gtest/gtest.h>

#include <cstring>

#include <objbase.h>
#include <shlwapi.h>

#include "support/registry_util.h"

namespace {

const CLSID kSample = {0x0A1B2C3D, 0x4E5F, 0x6a7b, {0x8C, 0x9D, 0xAE, 0xBF, 0xC0, 0xD1, 0xE2, 0xF3}};

WString TakeTaskString(LPOLESTR text) {
  WString copy = text ? WString(text) : WString();
  CoTaskMemFree(text);
  return copy;
}

void SetDefaultValue(const WString& subkey, const WString& value) {
  arcwise_test::SetString(HKEY_CLASSES_ROOT, subkey, nullptr, value);
}

TEST(ComClsidText, RoundTripIsUpperCaseBracedText) {
  LPOLESTR text = nullptr;
  ASSERT_EQ(S_OK, StringFromCLSID(kSample, &text));
  WString s = TakeTaskString(text);
  EXPECT_EQ(WString(W("{0A1B2C3D-4E5F-6A7B-8C9D-AEBFC0D1E2F3}")), s);
  EXPECT_EQ(38u, s.size());

  CLSID back;
  ASSERT_EQ(S_OK, CLSIDFromString(s.c_str(), &back));
  EXPECT_TRUE(IsEqualGUID(kSample, back));
  // Lower case reads the same.
  ASSERT_EQ(S_OK, CLSIDFromString(W("{0a1b2c3d-4e5f-6a7b-8c9d-aebfc0d1e2f3}"), &back));
  EXPECT_TRUE(IsEqualGUID(kSample, back));
  IID iid;
  ASSERT_EQ(S_OK, IIDFromString(s.c_str(), &iid));
  EXPECT_TRUE(IsEqualIID(kSample, iid));

  ASSERT_EQ(S_OK, StringFromIID(IID_IStream, &text));
  EXPECT_EQ(WString(W("{0000000C-0000-0000-C000-000000000046}")), TakeTaskString(text));
}

TEST(ComClsidText, MalformedTextIsRefused) {
  const LPCWSTR bad[] = {
      W(""),
      W("0A1B2C3D-4E5F-6A7B-8C9D-AEBFC0D1E2F3"),     // no braces
      W("{0A1B2C3D-4E5F-6A7B-8C9D-AEBFC0D1E2F3"),    // no closing brace
      W("{0A1B2C3D-4E5F-6A7B-8C9D-AEBFC0D1E2F}"),    // one digit short
      W("{0A1B2C3D-4E5F-6A7B-8C9D-AEBFC0D1E2F3}x"),  // trailing text
      W("{0A1B2C3D-4E5F-6A7B-8C9DAEBFC0D1E2F3-}"),   // dash misplaced
      W("{0A1B2C3G-4E5F-6A7B-8C9D-AEBFC0D1E2F3}"),   // not hex
      W("(0A1B2C3D-4E5F-6A7B-8C9D-AEBFC0D1E2F3)"),   // other brackets
      W("Arcwise.NoSuchProgId"),                     // neither a GUID nor a ProgID
  };
  for (LPCWSTR text : bad) {
    CLSID clsid = kSample;
    EXPECT_EQ(CO_E_CLASSSTRING, CLSIDFromString(text, &clsid)) << Utf16ToUtf8(text);
    EXPECT_TRUE(IsEqualCLSID(CLSID_NULL, clsid)) << "no partial result for " << Utf16ToUtf8(text);
  }
  CLSID clsid = kSample;
  EXPECT_EQ(S_OK, CLSIDFromString(nullptr, &clsid));
  EXPECT_TRUE(IsEqualCLSID(CLSID_NULL, clsid));
  EXPECT_EQ(E_INVALIDARG, CLSIDFromString(W("{0A1B2C3D-4E5F-6A7B-8C9D-AEBFC0D1E2F3}"), nullptr));
  IID iid;
  EXPECT_EQ(E_INVALIDARG, IIDFromString(W("IStream"), &iid));
}

TEST(ComClsidText, ProgIdsResolveThroughClassesRoot) {
  SetDefaultValue(W("Arcwise.TestThing.1\\CLSID"), GuidToString(kSample));
  SetDefaultValue(W("CLSID\\") + GuidToString(kSample) + W("\\ProgID"), W("Arcwise.TestThing.1"));
  SetDefaultValue(W("Arcwise.Broken\\CLSID"), W("not a guid"));

  CLSID clsid;
  ASSERT_EQ(S_OK, CLSIDFromProgID(W("Arcwise.TestThing.1"), &clsid));
  EXPECT_TRUE(IsEqualCLSID(kSample, clsid));
  ASSERT_EQ(S_OK, CLSIDFromProgID(W("arcwise.testthing.1"), &clsid)) << "keys compare without case";
  EXPECT_TRUE(IsEqualCLSID(kSample, clsid));
  // CLSIDFromString takes a registered ProgID too, as on Windows.
  ASSERT_EQ(S_OK, CLSIDFromString(W("Arcwise.TestThing.1"), &clsid));
  EXPECT_TRUE(IsEqualCLSID(kSample, clsid));

  EXPECT_EQ(CO_E_CLASSSTRING, CLSIDFromProgID(W("Arcwise.Missing"), &clsid));
  EXPECT_EQ(CO_E_CLASSSTRING, CLSIDFromProgID(W("Arcwise.Broken"), &clsid));
  EXPECT_TRUE(IsEqualCLSID(CLSID_NULL, clsid));
  EXPECT_EQ(E_INVALIDARG, CLSIDFromProgID(nullptr, &clsid));

  LPOLESTR progId = nullptr;
  ASSERT_EQ(S_OK, ProgIDFromCLSID(kSample, &progId));
  EXPECT_EQ(WString(W("Arcwise.TestThing.1")), TakeTaskString(progId));
  EXPECT_EQ(REGDB_E_CLASSNOTREG, ProgIDFromCLSID(IID_IUnknown, &progId));
  EXPECT_EQ(nullptr, progId);

  SHDeleteKeyW(HKEY_CLASSES_ROOT, W("Arcwise.TestThing.1"));
  SHDeleteKeyW(HKEY_CLASSES_ROOT, W("Arcwise.Broken"));
  SHDeleteKeyW(HKEY_CLASSES_ROOT, (W("CLSID\\") + GuidToString(kSample)).c_str());
}

TEST(ComClsidText, PublishedInterfaceIds) {
  struct {
    const IID* iid;
    const char16_t* text;
  } const known[] = {
      {&IID_IUnknown, W("{00000000-0000-0000-C000-000000000046}")},
      {&IID_IClassFactory, W("{00000001-0000-0000-C000-000000000046}")},
      {&IID_IStream, W("{0000000C-0000-0000-C000-000000000046}")},
      {&IID_IPersistStream, W("{00000109-0000-0000-C000-000000000046}")},
      {&IID_IPersistStorage, W("{0000010A-0000-0000-C000-000000000046}")},
      {&IID_IPersistFile, W("{0000010B-0000-0000-C000-000000000046}")},
      {&IID_IPersist, W("{0000010C-0000-0000-C000-000000000046}")},
      {&IID_ISequentialStream, W("{0C733A30-2A1C-11CE-ADE5-00AA0044773D}")},
      {&GUID_NULL, W("{00000000-0000-0000-0000-000000000000}")},
  };
  for (const auto& k : known) EXPECT_EQ(WString(k.text), GuidToString(*k.iid));
  EXPECT_TRUE(IsEqualIID(IID_IStream, IIDOf<IStream>()));
  EXPECT_TRUE(IsEqualIID(IID_IPersistFile, IIDOf<IPersistFile>()));
  EXPECT_FALSE(IsEqualIID(IID_IPersist, IID_IPersistFile));
}

TEST(ComTaskMemory, ReallocKeepsContentsAndZeroFrees) {
  auto* block = static_cast<char*>(CoTaskMemAlloc(4));
  ASSERT_NE(nullptr, block);
  std::memcpy(block, "abc", 4);
  block = static_cast<char*>(CoTaskMemRealloc(block, 1 << 20));
  ASSERT_NE(nullptr, block);
  EXPECT_STREQ("abc", block);
  EXPECT_EQ(nullptr, CoTaskMemRealloc(block, 0));  // freed

  void* empty = CoTaskMemAlloc(0);
  EXPECT_NE(nullptr, empty);
  CoTaskMemFree(empty);
  void* fresh = CoTaskMemRealloc(nullptr, 16);
  EXPECT_NE(nullptr, fresh);
  CoTaskMemFree(fresh);
  CoTaskMemFree(nullptr);
}

}  // namespace
