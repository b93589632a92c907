// arcwise-regsvr run as a program on the built libarcwise.so, against this
// test's private registry: registering writes the class with the module's
// own path (also for a copy placed elsewhere), after which CoCreateInstance
// of the filter class through the registry works; unregistering removes it
// again, also when nothing is registered; each failure (module missing,
// entry point missing, the call failing) gives regsvr32's message and its
// own exit code; /s prints nothing.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include <filter.h>
#include <objbase.h>
#include <shlwapi.h>
#include <windows.h>

#include "support/registry_damage.h"
#include "support/registry_util.h"
#include "support/run_process.h"
#include "support/test_env.h"

namespace {

// {356CE73D-53A5-4029-B5D3-9E4950B8BEDD}
const CLSID kFilterClsid = {0x356CE73D, 0x53A5, 0x4029,
                            {0xB5, 0xD3, 0x9E, 0x49, 0x50, 0xB8, 0xBE, 0xDD}};
const char kFilterKey[] = "CLSID\\{356CE73D-53A5-4029-B5D3-9E4950B8BEDD}";

using RunResult = arcwise_test::ProcessResult;

RunResult RunTool(const std::vector<std::string>& args,
                  const std::vector<std::string>& extraEnv = {}) {
  return arcwise_test::RunProcess(ARCWISE_REGSVR_PATH, args, extraEnv);
}

// Default value of an HKCR key as UTF-8, or "<missing>".
std::string ClassesDefault(const std::string& path) {
  return Utf16ToUtf8(arcwise_test::StringOrMissing(HKEY_CLASSES_ROOT, Utf8ToUtf16(path)));
}

class ArcwiseRegsvrTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string error;
    ASSERT_TRUE(arcwise_test::UseFreshRegistry(&error)) << error;
  }
};

TEST_F(ArcwiseRegsvrTest, RegistersTheModuleSoThatCoCreateInstanceWorks) {
  const std::string module = ARCWISE_MODULE_PATH;
  RunResult run = RunTool({module});
  EXPECT_EQ(run.exitCode, 0) << run.out << run.err;
  EXPECT_EQ(run.out, "DllRegisterServer in " + module + " succeeded.\n");

  EXPECT_EQ(ClassesDefault(kFilterKey), "Quillmark Arcwise Filter");
  EXPECT_EQ(ClassesDefault(std::string(kFilterKey) + "\\InprocServer32"), module);
  EXPECT_EQ(ClassesDefault(".zip\\PersistentHandler"), "{08B1766D-8812-4FC9-B90A-BF012C51E66C}");

  ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_MULTITHREADED)));
  {
    IUnknown* object = nullptr;
    ASSERT_EQ(CoCreateInstance(kFilterClsid, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown,
                               reinterpret_cast<void**>(&object)),
              S_OK);
    IFilter* filter = nullptr;
    EXPECT_EQ(object->QueryInterface(IID_IFilter, reinterpret_cast<void**>(&filter)), S_OK);
    if (filter) filter->Release();
    object->Release();
  }
  CoFreeUnusedLibraries();
  CoUninitialize();

  run = RunTool({"/u", module});
  EXPECT_EQ(run.exitCode, 0) << run.out << run.err;
  EXPECT_EQ(run.out, "DllUnregisterServer in " + module + " succeeded.\n");
  EXPECT_EQ(ClassesDefault(kFilterKey), "<missing>");
  EXPECT_EQ(ClassesDefault(".zip\\PersistentHandler"), "<missing>");

  ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_MULTITHREADED)));
  IUnknown* object = nullptr;
  EXPECT_EQ(CoCreateInstance(kFilterClsid, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown,
                             reinterpret_cast<void**>(&object)),
            REGDB_E_CLASSNOTREG);
  CoUninitialize();
}

TEST_F(ArcwiseRegsvrTest, ACopyElsewhereIsRegisteredUnderItsOwnPath) {
  std::string folder = arcwise_test::MakeTestFolder("copy");
  std::string copy = folder + "/libarcwise-copy.so";
  std::filesystem::copy_file(ARCWISE_MODULE_PATH, copy);
  RunResult run = RunTool({"/s", copy});
  EXPECT_EQ(run.exitCode, 0) << run.err;
  EXPECT_EQ(run.out, "");
  EXPECT_EQ(ClassesDefault(std::string(kFilterKey) + "\\InprocServer32"), copy);
}

TEST_F(ArcwiseRegsvrTest, UnregisteringWhatIsNotRegisteredStillSucceeds) {
  // The module answers S_FALSE, which is not a failure.
  RunResult run = RunTool({"-u", ARCWISE_MODULE_PATH});
  EXPECT_EQ(run.exitCode, 0) << run.out << run.err;
  EXPECT_EQ(run.out, std::string("DllUnregisterServer in ") + ARCWISE_MODULE_PATH + " succeeded.\n");
}

TEST_F(ArcwiseRegsvrTest, ARegistryThatMayNotBeWrittenReportsTheFailureCode) {
  RunResult run = RunTool({ARCWISE_MODULE_PATH}, {"ARCWISE_REGISTRY_READONLY=1"});
  EXPECT_EQ(run.exitCode, 5);
  EXPECT_EQ(run.out, std::string("The module \"") + ARCWISE_MODULE_PATH +
                         "\" was loaded but the call to DllRegisterServer failed with error code "
                         "0x80040201 (The server could not register its class).\n");
  EXPECT_EQ(ClassesDefault(kFilterKey), "<missing>");

  run = RunTool({"/s", ARCWISE_MODULE_PATH}, {"ARCWISE_REGISTRY_READONLY=1"});
  EXPECT_EQ(run.exitCode, 5);
  EXPECT_EQ(run.out, "");
}

TEST_F(ArcwiseRegsvrTest, AHeldRegistryIsNamedAfterTheFailureCode) {
  ASSERT_NO_FATAL_FAILURE(arcwise_test::CreateKey(HKEY_CURRENT_USER, W("Software\\Other")));
  arcwise_test::RegistryWriteLock lock(arcwise_test::RegistryFile());
  ASSERT_TRUE(lock.Held());
  RunResult run = RunTool({ARCWISE_MODULE_PATH}, {"ARCWISE_REGISTRY_BUSY_TIMEOUT_MS=100"});
  EXPECT_EQ(run.exitCode, 5);
  const std::string cause = ": the registry " + arcwise_test::RegistryFile() + " is busy (locked by another process).\n";
  EXPECT_EQ(0u, run.out.find(std::string("The module \"") + ARCWISE_MODULE_PATH +
                             "\" was loaded but the call to DllRegisterServer failed with error code 0x"))
      << run.out;
  ASSERT_GT(run.out.size(), cause.size());
  EXPECT_EQ(cause, run.out.substr(run.out.size() - cause.size())) << run.out;
}

TEST_F(ArcwiseRegsvrTest, AnUnregistrationTheRegistryRefusesIsAFailure) {
  ASSERT_EQ(RunTool({"/s", ARCWISE_MODULE_PATH}).exitCode, 0);
  RunResult run = RunTool({"/u", ARCWISE_MODULE_PATH}, {"ARCWISE_REGISTRY_READONLY=1"});
  EXPECT_EQ(run.exitCode, 5);
  EXPECT_NE(run.out.find("the call to DllUnregisterServer failed with error code 0x80040201"), std::string::npos)
      << run.out;
  EXPECT_EQ(ClassesDefault(kFilterKey), "Quillmark Arcwise Filter");
}

TEST_F(ArcwiseRegsvrTest, AMissingModuleFailsToLoad) {
  std::string missing = arcwise_test::TestRoot() + "/no-such-module.so";
  RunResult run = RunTool({missing});
  EXPECT_EQ(run.exitCode, 3);
  EXPECT_EQ(run.out.rfind("The module \"" + missing + "\" failed to load.\n\n", 0), 0u) << run.out;
  EXPECT_NE(run.out.find("no-such-module.so"), std::string::npos);
}

TEST_F(ArcwiseRegsvrTest, AModuleWithoutTheEntryPointIsReported) {
  RunResult run = RunTool({"/u", ARCWISE_PLATFORM_PATH});
  EXPECT_EQ(run.exitCode, 4);
  EXPECT_EQ(run.out.rfind(std::string("The module \"") + ARCWISE_PLATFORM_PATH +
                              "\" was loaded but the entry-point DllUnregisterServer was not "
                              "found.",
                          0),
            0u)
      << run.out;
}

TEST_F(ArcwiseRegsvrTest, BadArgumentsShowUsage) {
  RunResult run = RunTool({});
  EXPECT_EQ(run.exitCode, 1);
  EXPECT_NE(run.err.find("Usage: arcwise-regsvr [/u] [/s] MODULE"), std::string::npos);
  run = RunTool({"/x", ARCWISE_MODULE_PATH});
  EXPECT_EQ(run.exitCode, 1);
  run = RunTool({ARCWISE_MODULE_PATH, ARCWISE_MODULE_PATH});
  EXPECT_EQ(run.exitCode, 1);
  EXPECT_EQ(ClassesDefault(kFilterKey), "<missing>");
}

}  // namespace
