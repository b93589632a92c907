// SQL Server and Exchange search roots: where they are found ("Instance
// Names\SQL", MSFTESQLInstMap with RegRoot in its forms, the Exchange v15
// key), which source is consulted when, what is written under a root with
// types and stored sizes, an instance without "MSSearch", removal, and the
// results and lines of the product operations.
#include "registration/ExchangeRegistration.h"
#include "registration/FilterExtensions.h"
#include "registration/SqlServerRegistration.h"
#include "server/ServerState.h"
#include "registration_test_util.h"
#include "support/test_env.h"

using namespace regtest;

namespace {

const WString kFilterText = W("{356CE73D-53A5-4029-B5D3-9E4950B8BEDD}");
const WString kModulePath = W("/opt/quillmark/libarcwise.so");
const WString kSqlBase = W("SOFTWARE\\Microsoft\\Microsoft SQL Server\\");
const WString kInstanceNames = kSqlBase + W("Instance Names\\SQL");
const WString kSqlInstMap = W("SOFTWARE\\Microsoft\\MSFTESQLInstMap");
const WString kExchangeInstMap = W("SOFTWARE\\Microsoft\\Exchange\\MSFTESQLInstMap");
const WString kExchangeV15 = W("SOFTWARE\\Microsoft\\ExchangeServer\\v15\\HubTransportRole\\");

const char kSqlLine[] = "INFO: IFilter was registered with SQL Server \n";
const char kExchangeLine[] = "INFO: IFilter was registered with Exchange Server \n";
const char kExchangeRemovedLine[] = "INFO: IFilter was unregistered for Exchange Server \n";

std::vector<std::string> Narrowed(const SearchRootList& roots) {
  std::vector<std::string> result;
  for (const WString& root : roots) result.push_back(Narrow(root));
  return result;
}

HRESULT RegisterSql() {
  return RegisterWithSqlServer(kFilterText.c_str(), kModulePath.c_str(), W("Both"),
                               g_filterExtensions, g_filterExtensionCount);
}
HRESULT RegisterExchange() {
  return RegisterWithExchange(kFilterText.c_str(), kModulePath.c_str(), W("Both"),
                              g_filterExtensions, g_filterExtensionCount);
}

// root\CLSID\<filter> with path, model and Flags; root\Filters\.zip.
void ExpectRegisteredUnder(const WString& root) {
  SCOPED_TRACE(Narrow(root));
  WString classKey = root + W("CLSID\\") + kFilterText;
  ExpectString(HKEY_LOCAL_MACHINE, classKey, nullptr, kModulePath);
  ExpectString(HKEY_LOCAL_MACHINE, classKey, W("ThreadingModel"), W("Both"));
  StoredValue flags = ReadValue(HKEY_LOCAL_MACHINE, classKey, W("Flags"));
  ASSERT_EQ(flags.status, ERROR_SUCCESS);
  EXPECT_EQ(flags.type, static_cast<DWORD>(REG_DWORD));
  EXPECT_EQ(flags.size(), 4u);
  EXPECT_EQ(flags.Dword(), 1u);
  ExpectString(HKEY_LOCAL_MACHINE, root + W("Filters\\.zip"), nullptr, kFilterText);
}

class SearchRootsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    StartWithFreshRegistry();
    StartLoggerAtLevel3();
  }
};

TEST_F(SearchRootsTest, SqlInstancesComeFromInstanceNames) {
  SetString(HKEY_LOCAL_MACHINE, kInstanceNames, W("MSSQLSERVER"), W("MSSQL15.MSSQLSERVER"));
  SetDword(HKEY_LOCAL_MACHINE, kInstanceNames, W("NotAnInstance"), 7);
  SetString(HKEY_LOCAL_MACHINE, kInstanceNames, W("SECOND"), W("MSSQL16.SECOND"));
  SearchRootList roots;
  EXPECT_EQ(CollectSqlInstanceRoots(&roots), 2u);
  EXPECT_EQ(Narrowed(roots),
            (std::vector<std::string>{
                "SOFTWARE\\Microsoft\\Microsoft SQL Server\\MSSQL15.MSSQLSERVER\\MSSearch\\",
                "SOFTWARE\\Microsoft\\Microsoft SQL Server\\MSSQL16.SECOND\\MSSearch\\"}));
}

TEST_F(SearchRootsTest, InstanceNamesWinOverTheInstanceMap) {
  SetString(HKEY_LOCAL_MACHINE, kInstanceNames, W("MAIN"), W("MSSQL16.MAIN"));
  CreateKey(HKEY_LOCAL_MACHINE, kSqlBase + W("MSSQL16.MAIN\\MSSearch"));
  // Registered from the map, this root would receive keys as well.
  const WString mapRoot = W("SOFTWARE\\Microsoft\\Search\\Legacy\\");
  CreateKey(HKEY_LOCAL_MACHINE, mapRoot);
  SetString(HKEY_LOCAL_MACHINE, kSqlInstMap + W("\\MSSQL.1"), W("RegRoot"),
            W("SOFTWARE\\Microsoft\\Search\\Legacy"));

  arcwise_test::DebugCapture capture;
  EXPECT_EQ(RegisterSql(), S_OK);
  ExpectRegisteredUnder(kSqlBase + W("MSSQL16.MAIN\\MSSearch\\"));
  EXPECT_EQ(SubKeyCount(HKEY_LOCAL_MACHINE, mapRoot), 0u);
  EXPECT_EQ(ProductLines(capture.Lines()), (std::vector<std::string>{kSqlLine}));
}

TEST_F(SearchRootsTest, InstanceMapRegRootWithAndWithoutBackslash) {
  SetString(HKEY_LOCAL_MACHINE, kSqlInstMap + W("\\A"), W("RegRoot"), W("SOFTWARE\\Roots\\One"));
  SetString(HKEY_LOCAL_MACHINE, kSqlInstMap + W("\\B"), W("RegRoot"), W("SOFTWARE\\Roots\\Two\\"));
  SearchRootList roots;
  EXPECT_EQ(CollectInstMapRoots(kSqlInstMap.c_str(), &roots), 2u);
  EXPECT_EQ(Narrowed(roots), (std::vector<std::string>{"SOFTWARE\\Roots\\One\\",
                                                       "SOFTWARE\\Roots\\Two\\"}));

  CreateKey(HKEY_LOCAL_MACHINE, W("SOFTWARE\\Roots\\One"));
  CreateKey(HKEY_LOCAL_MACHINE, W("SOFTWARE\\Roots\\Two"));
  arcwise_test::DebugCapture capture;
  EXPECT_EQ(RegisterSql(), S_OK);
  ExpectRegisteredUnder(W("SOFTWARE\\Roots\\One\\"));
  ExpectRegisteredUnder(W("SOFTWARE\\Roots\\Two\\"));
  EXPECT_EQ(ProductLines(capture.Lines()), (std::vector<std::string>{kSqlLine}));
}

TEST_F(SearchRootsTest, InstanceMapSkipsWrongTypeMissingEmptyAndOversizedRegRoot) {
  DWORD number = 5;
  SetValue(HKEY_LOCAL_MACHINE, kSqlInstMap + W("\\Dword"), W("RegRoot"), REG_DWORD, &number,
           sizeof(number));
  WString expandable = W("SOFTWARE\\Roots\\Expand");
  SetValue(HKEY_LOCAL_MACHINE, kSqlInstMap + W("\\Expand"), W("RegRoot"), REG_EXPAND_SZ,
           expandable.c_str(), static_cast<DWORD>((expandable.size() + 1) * 2));
  CreateKey(HKEY_LOCAL_MACHINE, kSqlInstMap + W("\\Missing"));
  SetString(HKEY_LOCAL_MACHINE, kSqlInstMap + W("\\Empty"), W("RegRoot"), W(""));
  SetString(HKEY_LOCAL_MACHINE, kSqlInstMap + W("\\Huge"), W("RegRoot"), WString(600, u'x'));
  SetString(HKEY_LOCAL_MACHINE, kSqlInstMap + W("\\Good"), W("RegRoot"), W("SOFTWARE\\Roots\\Good"));
  SearchRootList roots;
  EXPECT_EQ(CollectInstMapRoots(kSqlInstMap.c_str(), &roots), 1u);
  EXPECT_EQ(Narrowed(roots), (std::vector<std::string>{"SOFTWARE\\Roots\\Good\\"}));
}

TEST_F(SearchRootsTest, RegRootFillingTheWholeBufferWithoutTerminatorStillEnds) {
  // 512 characters, stored without a terminator: exactly 1024 bytes.
  WString full(512, u'r');
  SetValue(HKEY_LOCAL_MACHINE, kSqlInstMap + W("\\Full"), W("RegRoot"), REG_SZ, full.c_str(),
           static_cast<DWORD>(full.size() * 2));
  SearchRootList roots;
  ASSERT_EQ(CollectInstMapRoots(kSqlInstMap.c_str(), &roots), 1u);
  EXPECT_EQ(Narrow(roots[0]), Narrow(full + W("\\")));
}

TEST_F(SearchRootsTest, NoInstallationIsEFailWithoutALine) {
  arcwise_test::DebugCapture capture;
  EXPECT_EQ(RegisterSql(), E_FAIL);
  EXPECT_EQ(RegisterExchange(), E_FAIL);
  EXPECT_EQ(UnregisterFromSqlServer(kFilterText.c_str(), g_filterExtensions, 1), E_FAIL);
  EXPECT_EQ(UnregisterFromExchange(kFilterText.c_str(), g_filterExtensions, 1), E_FAIL);
  EXPECT_TRUE(ProductLines(capture.Lines()).empty());
  // An empty instance list is no installation either.
  CreateKey(HKEY_LOCAL_MACHINE, kInstanceNames);
  CreateKey(HKEY_LOCAL_MACHINE, kSqlInstMap);
  EXPECT_EQ(RegisterSql(), E_FAIL);
}

TEST_F(SearchRootsTest, AnInstanceWithoutMSSearchGetsNothingAndSuppressesTheLine) {
  SetString(HKEY_LOCAL_MACHINE, kInstanceNames, W("A"), W("MSSQL16.A"));
  SetString(HKEY_LOCAL_MACHINE, kInstanceNames, W("B"), W("MSSQL16.B"));
  CreateKey(HKEY_LOCAL_MACHINE, kSqlBase + W("MSSQL16.A"));  // no MSSearch below it
  CreateKey(HKEY_LOCAL_MACHINE, kSqlBase + W("MSSQL16.B\\MSSearch"));
  arcwise_test::DebugCapture capture;
  EXPECT_EQ(RegisterSql(), SELFREG_E_CLASS);
  EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, kSqlBase + W("MSSQL16.A\\MSSearch")));
  EXPECT_EQ(SubKeyCount(HKEY_LOCAL_MACHINE, kSqlBase + W("MSSQL16.A")), 0u);
  ExpectRegisteredUnder(kSqlBase + W("MSSQL16.B\\MSSearch\\"));
  EXPECT_TRUE(ProductLines(capture.Lines()).empty());
}

TEST_F(SearchRootsTest, ExchangeV15RootWhenTheExchangeMapIsAbsent) {
  CreateKey(HKEY_LOCAL_MACHINE, kExchangeV15);
  SearchRootList roots;
  EXPECT_EQ(CollectExchangeV15Root(&roots), 1u);
  EXPECT_EQ(Narrowed(roots), (std::vector<std::string>{Narrow(kExchangeV15)}));

  arcwise_test::DebugCapture capture;
  EXPECT_EQ(RegisterExchange(), S_OK);
  ExpectRegisteredUnder(kExchangeV15);
  EXPECT_EQ(ProductLines(capture.Lines()), (std::vector<std::string>{kExchangeLine}));

  capture.Clear();
  EXPECT_EQ(UnregisterFromExchange(kFilterText.c_str(), g_filterExtensions, 1), S_OK);
  EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, kExchangeV15 + W("CLSID\\") + kFilterText));
  EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, kExchangeV15 + W("Filters\\.zip")));
  EXPECT_TRUE(KeyExists(HKEY_LOCAL_MACHINE, kExchangeV15));
  EXPECT_EQ(ProductLines(capture.Lines()), (std::vector<std::string>{kExchangeRemovedLine}));
}

TEST_F(SearchRootsTest, ExchangeMapWinsOverV15) {
  CreateKey(HKEY_LOCAL_MACHINE, kExchangeV15);
  CreateKey(HKEY_LOCAL_MACHINE, W("SOFTWARE\\Exchange\\Search"));
  SetString(HKEY_LOCAL_MACHINE, kExchangeInstMap + W("\\Instance0"), W("RegRoot"),
            W("SOFTWARE\\Exchange\\Search"));
  EXPECT_EQ(RegisterExchange(), S_OK);
  ExpectRegisteredUnder(W("SOFTWARE\\Exchange\\Search\\"));
  EXPECT_EQ(SubKeyCount(HKEY_LOCAL_MACHINE, kExchangeV15), 0u);
}

TEST_F(SearchRootsTest, SqlRemovalDeletesEveryKeyAndLogsNothing) {
  SetString(HKEY_LOCAL_MACHINE, kInstanceNames, W("MAIN"), W("MSSQL16.MAIN"));
  const WString root = kSqlBase + W("MSSQL16.MAIN\\MSSearch\\");
  CreateKey(HKEY_LOCAL_MACHINE, root);
  ASSERT_EQ(RegisterSql(), S_OK);
  arcwise_test::DebugCapture capture;
  EXPECT_EQ(UnregisterFromSqlServer(kFilterText.c_str(), g_filterExtensions, 1), S_OK);
  EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, root + W("CLSID\\") + kFilterText));
  EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, root + W("Filters\\.zip")));
  EXPECT_TRUE(ProductLines(capture.Lines()).empty());
  // Nothing left to delete: every root reports the missing keys.
  EXPECT_EQ(UnregisterFromSqlServer(kFilterText.c_str(), g_filterExtensions, 1), SELFREG_E_CLASS);
}

TEST_F(SearchRootsTest, UnderRootEveryRecordIsTriedAndTheLastDecides) {
  const WString root = W("SOFTWARE\\Roots\\Table\\");
  CreateKey(HKEY_LOCAL_MACHINE, root);
  const FilterExtension table[] = {{W(".zip"), nullptr, 0}, {W(".jar"), nullptr, 0}};
  EXPECT_EQ(RegisterUnderRoot(root, kFilterText.c_str(), kModulePath.c_str(), W("Both"), table, 2),
            ERROR_SUCCESS);
  ExpectString(HKEY_LOCAL_MACHINE, root + W("Filters\\.jar"), nullptr, kFilterText);
  // Only ".jar" is gone: the first deletion fails, the second still runs.
  SHDeleteKeyW(HKEY_LOCAL_MACHINE, (root + W("Filters\\.zip")).c_str());
  EXPECT_NE(UnregisterUnderRoot(root, kFilterText.c_str(), table, 2), ERROR_SUCCESS);
  EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, root + W("Filters\\.jar")));
  EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, root + W("CLSID\\") + kFilterText));
  // A root that does not exist is left alone.
  EXPECT_EQ(RegisterUnderRoot(W("SOFTWARE\\Roots\\Absent\\"), kFilterText.c_str(),
                              kModulePath.c_str(), W("Both"), table, 2),
            ERROR_FILE_NOT_FOUND);
  EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, W("SOFTWARE\\Roots\\Absent")));
}

}  // namespace
