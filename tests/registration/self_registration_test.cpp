// The COM side of self-registration, run through the registration workers in
// this process (the module path is then this test program's): the eight rows
// with their types and stored sizes, registering twice, unregistering with
// nothing registered, what stays of ".zip", a registry the process may not
// write, a failure part-way through the persistent handler, and the order in
// which search products and COM keys are handled.
#include <sqlite3.h>

#include <thread>

#include "registration/FilterExtensions.h"
#include "registration/SelfRegistration.h"
#include "server/ServerState.h"
#include "registration_test_util.h"
#include "support/scoped_env.h"
#include "support/test_env.h"

using namespace regtest;

namespace {

const WString kFilterKey = W("CLSID\\{356CE73D-53A5-4029-B5D3-9E4950B8BEDD}");
const WString kHandlerKey = W("CLSID\\{08B1766D-8812-4FC9-B90A-BF012C51E66C}");
const WString kAddinsKey = kHandlerKey + W("\\PersistentAddinsRegistered");
const WString kIFilterKey = kAddinsKey + W("\\{89BCB740-6119-101A-BCB7-00DD010655AF}");
const WString kFilterText = W("{356CE73D-53A5-4029-B5D3-9E4950B8BEDD}");
const WString kHandlerText = W("{08B1766D-8812-4FC9-B90A-BF012C51E66C}");
const WString kSqlRoot = W("SOFTWARE\\Microsoft\\Microsoft SQL Server\\MSSQL16.MAIN\\MSSearch\\");

WString ThisProgramPath() {
  WCHAR path[MAX_PATH];
  DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
  return WString(path, length);
}

HRESULT Register() { return RegisterServer(nullptr, g_filterExtensions, g_filterExtensionCount); }
HRESULT Unregister() { return UnregisterServer(g_filterExtensions, g_filterExtensionCount); }

// A SQL Server instance with its search root, so product steps leave traces.
void AddSqlInstance() {
  SetString(HKEY_LOCAL_MACHINE, W("SOFTWARE\\Microsoft\\Microsoft SQL Server\\Instance Names\\SQL"),
            W("MAIN"), W("MSSQL16.MAIN"));
  CreateKey(HKEY_LOCAL_MACHINE, kSqlRoot);
}

class SelfRegistrationTest : public ::testing::Test {
 protected:
  void SetUp() override {
    StartWithFreshRegistry();
    ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)));
    StartLoggerAtLevel3();
    g_filterClassKeyForFakes = kFilterKey;
  }
  void TearDown() override {
    g_filterClassKeyForFakes.clear();
    m_fakes.reset();
    CoUninitialize();
  }
  FakeSharePoint& Fakes() {
    if (!m_fakes) m_fakes = std::make_unique<FakeSharePoint>();
    return *m_fakes;
  }
  std::unique_ptr<FakeSharePoint> m_fakes;
};

void ExpectRows1To3() {
  ExpectString(HKEY_CLASSES_ROOT, kFilterKey, nullptr, W("Quillmark Arcwise Filter"));
  ExpectString(HKEY_CLASSES_ROOT, kFilterKey + W("\\InprocServer32"), nullptr, ThisProgramPath());
  ExpectString(HKEY_CLASSES_ROOT, kFilterKey + W("\\InprocServer32"), W("ThreadingModel"),
               W("Both"));
}

void ExpectFullLayout() {
  ExpectRows1To3();
  ExpectString(HKEY_CLASSES_ROOT, kHandlerKey, nullptr, W("Quillmark Arcwise Persistent Handler"));
  EXPECT_TRUE(KeyExists(HKEY_CLASSES_ROOT, kAddinsKey));
  ExpectString(HKEY_CLASSES_ROOT, kIFilterKey, nullptr,
               W("{356CE73D-53A5-4029-B5D3-9E4950B8BEDD}"));
  EXPECT_TRUE(KeyExists(HKEY_CLASSES_ROOT, W(".zip")));
  ExpectString(HKEY_CLASSES_ROOT, W(".zip\\PersistentHandler"), nullptr,
               W("{08B1766D-8812-4FC9-B90A-BF012C51E66C}"));
  // Nothing else: the key-only rows hold no value, the class has one subkey.
  EXPECT_EQ(ReadValue(HKEY_CLASSES_ROOT, kAddinsKey, nullptr).status, ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(SubKeyCount(HKEY_CLASSES_ROOT, kFilterKey), 1u);
  EXPECT_EQ(SubKeyCount(HKEY_CLASSES_ROOT, kAddinsKey), 1u);
}

TEST_F(SelfRegistrationTest, RegistrationWritesTheEightRows) {
  EXPECT_EQ(Register(), S_OK);
  ExpectFullLayout();
  // The layout is where the machine-wide classes live.
  ExpectString(HKEY_LOCAL_MACHINE, W("SOFTWARE\\Classes\\.zip\\PersistentHandler"), nullptr,
               W("{08B1766D-8812-4FC9-B90A-BF012C51E66C}"));
}

TEST_F(SelfRegistrationTest, RegisteringTwiceOverwritesWithTheSameLayout) {
  EXPECT_EQ(Register(), S_OK);
  SetString(HKEY_CLASSES_ROOT, kFilterKey + W("\\InprocServer32"), nullptr, W("/elsewhere/old.so"));
  SetString(HKEY_CLASSES_ROOT, kIFilterKey, nullptr, W("{00000000-0000-0000-0000-000000000000}"));
  EXPECT_EQ(Register(), S_OK);
  ExpectFullLayout();
}

TEST_F(SelfRegistrationTest, AnExistingZipKeyKeepsItsValues) {
  SetString(HKEY_CLASSES_ROOT, W(".zip"), nullptr, W("CompressedFolder"));
  SetString(HKEY_CLASSES_ROOT, W(".zip"), W("Content Type"), W("application/zip"));
  EXPECT_EQ(Register(), S_OK);
  ExpectString(HKEY_CLASSES_ROOT, W(".zip"), nullptr, W("CompressedFolder"));
  ExpectString(HKEY_CLASSES_ROOT, W(".zip"), W("Content Type"), W("application/zip"));

  EXPECT_EQ(Unregister(), S_OK);
  EXPECT_TRUE(KeyExists(HKEY_CLASSES_ROOT, W(".zip")));
  ExpectString(HKEY_CLASSES_ROOT, W(".zip"), W("Content Type"), W("application/zip"));
}

TEST_F(SelfRegistrationTest, UnregistrationRemovesBothClassesAndTheBinding) {
  EXPECT_EQ(Register(), S_OK);
  EXPECT_EQ(Unregister(), S_OK);
  EXPECT_TRUE(KeyExists(HKEY_CLASSES_ROOT, W(".zip")));
  EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, W(".zip\\PersistentHandler")));
  EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, kFilterKey));
  EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, kHandlerKey));
  EXPECT_TRUE(KeyExists(HKEY_CLASSES_ROOT, W("CLSID")));
}

TEST_F(SelfRegistrationTest, UnregisteringNothingReturnsSFalseAfterTheProductRemoval) {
  AddSqlInstance();
  CreateKey(HKEY_LOCAL_MACHINE, kSqlRoot + W("CLSID\\{356CE73D-53A5-4029-B5D3-9E4950B8BEDD}"));
  FakeBehaviour& sharePoint = Fakes().Install(0);
  EXPECT_EQ(Unregister(), S_FALSE);
  ASSERT_EQ(sharePoint.calls.size(), 1u);
  EXPECT_EQ(sharePoint.calls[0].entry, 4);
  EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, kSqlRoot + W("CLSID\\{356CE73D-53A5-4029-B5D3-9E4950B8BEDD}")));
}

// Unregistration takes away only what names our classes, and says whether it
// could: what others bound since stays, a refused removal is a failure.
TEST_F(SelfRegistrationTest, UnregistrationRemovesOnlyOurOwnAndReportsRefusals) {
  const WString kRootFilter = kSqlRoot + W("Filters\\.zip");
  const WString kOtherHandler = W("{11111111-1111-1111-1111-111111111111}");
  const WString kOtherFilter = W("{22222222-2222-2222-2222-222222222222}");
  struct Case {
    const char* name;
    // What happens between registering and unregistering; readOnly starts unset.
    void (*afterRegistering)(const WString& other, arcwise_test::ScopedEnv& readOnly);
    const WString* other;
    HRESULT expected;
    const WString* zipHandlerLeft;  // null: no binding left
    const WString* rootFilterLeft;
    bool classesLeft;
  };
  const Case cases[] = {
      {"ours everywhere", [](const WString&, arcwise_test::ScopedEnv&) {}, &kOtherHandler, S_OK, nullptr, nullptr, false},
      {"another product's handler on .zip",
       [](const WString& other, arcwise_test::ScopedEnv&) {
         SetString(HKEY_CLASSES_ROOT, W(".zip\\PersistentHandler"), nullptr, other);
       },
       &kOtherHandler, S_FALSE, &kOtherHandler, nullptr, false},
      {"another filter under the search root",
       [](const WString& other, arcwise_test::ScopedEnv&) {
         SetString(HKEY_LOCAL_MACHINE, kSqlRoot + W("Filters\\.zip"), nullptr, other);
       },
       &kOtherFilter, S_OK, nullptr, &kOtherFilter, false},
      {"a registry that may not be written",
       [](const WString&, arcwise_test::ScopedEnv& readOnly) { readOnly.Set("1"); },
       &kOtherHandler, SELFREG_E_CLASS, &kHandlerText, &kFilterText, true},
  };
  for (const Case& test : cases) {
    SCOPED_TRACE(test.name);
    StartWithFreshRegistry();
    AddSqlInstance();
    ASSERT_EQ(Register(), S_OK);
    {
      arcwise_test::ScopedEnv readOnly("ARCWISE_REGISTRY_READONLY", nullptr);
      test.afterRegistering(*test.other, readOnly);
      EXPECT_EQ(Unregister(), test.expected);
    }

    StoredValue zip = ReadValue(HKEY_CLASSES_ROOT, W(".zip\\PersistentHandler"), nullptr);
    EXPECT_EQ(Narrow(zip.Text()), test.zipHandlerLeft ? Narrow(*test.zipHandlerLeft) : "");
    StoredValue root = ReadValue(HKEY_LOCAL_MACHINE, kRootFilter, nullptr);
    EXPECT_EQ(Narrow(root.Text()), test.rootFilterLeft ? Narrow(*test.rootFilterLeft) : "");
    EXPECT_EQ(KeyExists(HKEY_CLASSES_ROOT, kFilterKey), test.classesLeft);
    EXPECT_EQ(KeyExists(HKEY_CLASSES_ROOT, kHandlerKey), test.classesLeft);
  }
}

TEST_F(SelfRegistrationTest, ProductsAreRemovedWhileTheClassStillExists) {
  FakeBehaviour& sharePoint = Fakes().Install(0);
  EXPECT_EQ(Register(), S_OK);
  ASSERT_EQ(sharePoint.calls.size(), 1u);
  EXPECT_EQ(sharePoint.calls[0].entry, 14);
  EXPECT_TRUE(sharePoint.calls[0].filterClassRegistered) << "products come after the COM rows";
  EXPECT_EQ(Unregister(), S_OK);
  ASSERT_EQ(sharePoint.calls.size(), 2u);
  EXPECT_EQ(sharePoint.calls[1].entry, 4);
  EXPECT_TRUE(sharePoint.calls[1].filterClassRegistered) << "products go before the COM keys";
  EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, kFilterKey));
}

TEST_F(SelfRegistrationTest, ARegistryThatMayNotBeWrittenFailsAtRow1AndContactsNobody) {
  AddSqlInstance();
  FakeBehaviour& sharePoint = Fakes().Install(0);
  arcwise_test::DebugCapture capture;
  {
    arcwise_test::ScopedEnv readOnly("ARCWISE_REGISTRY_READONLY", "1");
    EXPECT_EQ(Register(), SELFREG_E_CLASS);
  }

  EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, kFilterKey));
  EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, kHandlerKey));
  EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, W(".zip")));
  EXPECT_EQ(SubKeyCount(HKEY_LOCAL_MACHINE, kSqlRoot), 0u);
  EXPECT_EQ(sharePoint.created.load(), 0);
  EXPECT_TRUE(ProductLines(capture.Lines()).empty());
}

// The database refuses to create the persistent handler's class key, as a
// registry with a protected key would: the step fails at row 4.
void RefuseHandlerKey(bool refuse) {
  sqlite3* db = nullptr;
  ASSERT_EQ(sqlite3_open(arcwise_test::RegistryFile().c_str(), &db), SQLITE_OK);
  sqlite3_busy_timeout(db, 10000);
  const char* sql =
      refuse ? "CREATE TRIGGER refuse_handler BEFORE INSERT ON keys "
               "WHEN NEW.name = CAST(? AS BLOB) BEGIN SELECT RAISE(ABORT, 'refused'); END;"
             : "DROP TRIGGER IF EXISTS refuse_handler;";
  if (refuse) {
    // Trigger bodies take no parameters; spell the UTF-16 name as a literal.
    std::string hex;
    for (char16_t c : WString(W("{08B1766D-8812-4FC9-B90A-BF012C51E66C}"))) {
      char buf[5];
      snprintf(buf, sizeof(buf), "%02X%02X", c & 0xFF, c >> 8);
      hex += buf;
    }
    std::string statement = std::string(sql);
    statement.replace(statement.find("CAST(? AS BLOB)"), 15, "X'" + hex + "'");
    EXPECT_EQ(sqlite3_exec(db, statement.c_str(), nullptr, nullptr, nullptr), SQLITE_OK)
        << sqlite3_errmsg(db);
  } else {
    EXPECT_EQ(sqlite3_exec(db, sql, nullptr, nullptr, nullptr), SQLITE_OK);
  }
  sqlite3_close(db);
}

TEST_F(SelfRegistrationTest, AFailureAtThePersistentHandlerLeavesRows1To3) {
  AddSqlInstance();
  FakeBehaviour& sharePoint = Fakes().Install(0);
  RefuseHandlerKey(true);
  HRESULT hr = Register();
  RefuseHandlerKey(false);

  EXPECT_EQ(hr, SELFREG_E_CLASS);
  ExpectRows1To3();
  EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, kHandlerKey));
  EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, W(".zip")));
  EXPECT_EQ(sharePoint.created.load(), 0);
  EXPECT_EQ(SubKeyCount(HKEY_LOCAL_MACHINE, kSqlRoot), 0u);

  // A later unregistration removes what stayed; the missing keys make it S_FALSE.
  EXPECT_EQ(Unregister(), S_FALSE);
  EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, kFilterKey));
}

TEST_F(SelfRegistrationTest, AnUnknownModuleHandleWritesNothing) {
  HMODULE bogus = reinterpret_cast<HMODULE>(static_cast<ULONG_PTR>(0x10));
  EXPECT_EQ(RegisterServer(bogus, g_filterExtensions, g_filterExtensionCount), SELFREG_E_CLASS);
  EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, kFilterKey));
}

TEST_F(SelfRegistrationTest, RegistrationReachesAllThreeProductsInOrder) {
  AddSqlInstance();
  CreateKey(HKEY_LOCAL_MACHINE, W("SOFTWARE\\Microsoft\\ExchangeServer\\v15\\HubTransportRole"));
  Fakes().Install(0);
  arcwise_test::DebugCapture capture;
  EXPECT_EQ(Register(), S_OK);
  EXPECT_EQ(ProductLines(capture.Lines()),
            (std::vector<std::string>{kSuccessLines[0],
                                      "INFO: IFilter was registered with SQL Server \n",
                                      "INFO: IFilter was registered with Exchange Server \n"}));
  capture.Clear();
  EXPECT_EQ(Unregister(), S_OK);
  EXPECT_EQ(ProductLines(capture.Lines()),
            (std::vector<std::string>{kSuccessLines[0],
                                      "INFO: IFilter was unregistered for Exchange Server \n"}));
}

TEST_F(SelfRegistrationTest, AMultithreadedCallerStillReachesSqlServerAndExchange) {
  AddSqlInstance();
  const WString exchangeRoot = W("SOFTWARE\\Microsoft\\ExchangeServer\\v15\\HubTransportRole\\");
  CreateKey(HKEY_LOCAL_MACHINE, exchangeRoot);
  for (int i = 0; i < 8; ++i) Fakes().Install(i);
  arcwise_test::DebugCapture capture;
  HRESULT hr = E_UNEXPECTED;
  std::thread worker([&] {
    HRESULT init = CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    hr = Register();
    if (SUCCEEDED(init)) CoUninitialize();
  });
  worker.join();
  EXPECT_EQ(hr, S_OK);
  EXPECT_EQ(Fakes().TotalCalls(), 0);
  EXPECT_EQ(ProductLines(capture.Lines()),
            (std::vector<std::string>{"INFO: IFilter was registered with SQL Server \n",
                                      "INFO: IFilter was registered with Exchange Server \n"}));
  ExpectString(HKEY_LOCAL_MACHINE, kSqlRoot + W("Filters\\.zip"), nullptr,
               W("{356CE73D-53A5-4029-B5D3-9E4950B8BEDD}"));
  ExpectString(HKEY_LOCAL_MACHINE, exchangeRoot + W("Filters\\.zip"), nullptr,
               W("{356CE73D-53A5-4029-B5D3-9E4950B8BEDD}"));
}

}  // namespace
