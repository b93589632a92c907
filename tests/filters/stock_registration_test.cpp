// Self-registration of the stock filter modules: the persistent-handler
// layout they write, and what unregistration removes and what it leaves to
// other products.
#include <filesystem>

#include "filters/stock_filter_test_util.h"

namespace stock_filter_test {
namespace {

const WString kIFilterKey = W("\\PersistentAddinsRegistered\\{89BCB740-6119-101A-BCB7-00DD010655AF}");

struct ModuleCase {
  const char* path;
  const CLSID* filter;
  const CLSID* handler;
  std::vector<WString> extensions;  // a few of those it serves
};

void ExpectRegistered(const ModuleCase& module) {
  const WString filterText = GuidToString(*module.filter);
  const WString handlerText = GuidToString(*module.handler);
  const WString server = W("CLSID\\") + filterText + W("\\InprocServer32");
  // The path of the file actually loaded, as the loader resolved it.
  EXPECT_EQ(Utf8ToUtf16(std::filesystem::canonical(module.path).string()),
            Utf8ToUtf16(std::filesystem::canonical(Utf16ToUtf8(ReadString(server))).string()));
  EXPECT_EQ(W("Both"), ReadString(server, W("ThreadingModel")));
  EXPECT_NE(W("<missing>"), ReadString(W("CLSID\\") + filterText));
  EXPECT_NE(W("<missing>"), ReadString(W("CLSID\\") + handlerText));
  EXPECT_EQ(filterText, ReadString(W("CLSID\\") + handlerText + kIFilterKey));
  for (const WString& extension : module.extensions) {
    EXPECT_EQ(handlerText, ReadString(extension + W("\\PersistentHandler"))) << Utf16ToUtf8(extension);
  }
}

void ExpectUnregistered(const ModuleCase& module) {
  EXPECT_FALSE(KeyExists(W("CLSID\\") + GuidToString(*module.filter)));
  EXPECT_FALSE(KeyExists(W("CLSID\\") + GuidToString(*module.handler)));
  for (const WString& extension : module.extensions) {
    EXPECT_FALSE(KeyExists(extension + W("\\PersistentHandler"))) << Utf16ToUtf8(extension);
  }
}

class StockRegistrationTest : public ::testing::TestWithParam<int> {
 protected:
  void SetUp() override {
    const ModuleCase cases[] = {
        {ARCWISE_TEXT_FILTER_MODULE,
         &CLSID_TextFilter,
         &CLSID_TextHandler,
         {W(".txt"), W(".log"), W(".csv"), W(".json"), W(".yml"), W(".cpp"), W(".py"), W(".sh")}},
        {ARCWISE_COMPOUND_FILTER_MODULE,
         &CLSID_CompoundFilter,
         &CLSID_CompoundHandler,
         {W(".doc"), W(".xls"), W(".ppt"), W(".msg"), W(".msi"), W(".pub"), W(".vsd")}},
    };
    m_case = cases[GetParam()];
  }
  void TearDown() override {
    CallExport(m_case.path, "DllUnregisterServer");
    EXPECT_FALSE(IsLoaded(m_case.path));
  }
  ModuleCase m_case;
};

TEST_P(StockRegistrationTest, WritesThePersistentHandlerLayoutAndRemovesIt) {
  ASSERT_EQ(S_OK, CallExport(m_case.path, "DllRegisterServer"));
  ExpectRegistered(m_case);
  // Registering again leaves the same layout.
  ASSERT_EQ(S_OK, CallExport(m_case.path, "DllRegisterServer"));
  ExpectRegistered(m_case);

  EXPECT_EQ(S_OK, CallExport(m_case.path, "DllUnregisterServer"));
  ExpectUnregistered(m_case);
  // The extension keys it made for itself alone are gone too.
  for (const WString& extension : m_case.extensions) EXPECT_FALSE(KeyExists(extension));
  // Nothing left to remove.
  EXPECT_EQ(S_FALSE, CallExport(m_case.path, "DllUnregisterServer"));
}

TEST_P(StockRegistrationTest, LeavesWhatOtherProductsOwn) {
  const WString first = m_case.extensions[0];
  const WString second = m_case.extensions[1];
  ASSERT_EQ(S_OK, CallExport(m_case.path, "DllRegisterServer"));
  // Another product keeps a value on the first extension's key and has since
  // taken the second extension over for its own handler.
  const WString contentType = W("text/plain");
  arcwise_test::SetString(HKEY_CLASSES_ROOT, first, W("Content Type"), contentType);
  const WString otherHandler = W("{0F0E0D0C-0B0A-0908-0706-050403020100}");
  arcwise_test::SetString(HKEY_CLASSES_ROOT, second + W("\\PersistentHandler"), nullptr, otherHandler);

  // S_FALSE: the second binding is no longer ours to remove.
  EXPECT_EQ(S_FALSE, CallExport(m_case.path, "DllUnregisterServer"));
  EXPECT_FALSE(KeyExists(first + W("\\PersistentHandler")));
  EXPECT_EQ(contentType, ReadString(first, W("Content Type")));
  EXPECT_EQ(otherHandler, ReadString(second + W("\\PersistentHandler")));
  SHDeleteKeyW(HKEY_CLASSES_ROOT, first.c_str());
  SHDeleteKeyW(HKEY_CLASSES_ROOT, second.c_str());
}

INSTANTIATE_TEST_SUITE_P(Modules, StockRegistrationTest, ::testing::Values(0, 1),
                         [](const ::testing::TestParamInfo<int>& info) {
                           return info.param == 0 ? "Text" : "Compound";
                         });

}  // namespace
}  // namespace stock_filter_test
