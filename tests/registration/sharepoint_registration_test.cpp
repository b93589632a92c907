// SharePoint registration against fake registration objects served from this
// process under the class ids their ProgIDs name (and the fixed class id of
// the last try): the exact argument lists of entries 14 and 4, group and
// second-name selection, the order and stop rules of the eight tries with
// their level-3 lines, the failure kinds that count as a failed try, and a
// thread already in the multithreaded apartment that contacts nobody.
#include <algorithm>
#include <thread>

#include "registration/FilterExtensions.h"
#include "registration/SharePointRegistration.h"
#include "server/ServerState.h"
#include "registration_test_util.h"
#include "support/test_env.h"

using namespace regtest;

namespace {

class SharePointTest : public ::testing::Test {
 protected:
  void SetUp() override {
    StartWithFreshRegistry();
    ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)));
    StartLoggerAtLevel3();
  }
  void TearDown() override {
    m_fakes.reset();
    CoUninitialize();
  }
  FakeSharePoint& Fakes() {
    if (!m_fakes) m_fakes = std::make_unique<FakeSharePoint>();
    return *m_fakes;
  }
  HRESULT Run(BOOL fRegister) {
    return RegisterWithSharePoint(fRegister, &CLSID_ArcwiseFilter, g_filterExtensions,
                                  g_filterExtensionCount, 0);
  }

  std::unique_ptr<FakeSharePoint> m_fakes;
};

std::vector<std::string> Expected(const std::vector<std::pair<int, bool>>& tries) {
  std::vector<std::string> lines;
  for (auto [index, succeeded] : tries)
    lines.push_back(succeeded ? kSuccessLines[index] : kFailureLines[index]);
  return lines;
}

TEST_F(SharePointTest, RegisterCallsEntry14WithTheTwelveArguments) {
  FakeBehaviour& newest = Fakes().Install(0);
  EXPECT_EQ(Run(TRUE), S_OK);

  ASSERT_EQ(newest.calls.size(), 1u);
  const RegistrationCall& call = newest.calls[0];
  EXPECT_EQ(call.entry, 14);
  // 1 the number of extensions, 2 their array, 3 and 4 zero, 5 and 6 the
  // second names (none for ".zip"), 7 and 8 zero.
  EXPECT_EQ(call.counts, (std::vector<ULONG>{1, 0, 0, 0}));
  ASSERT_EQ(call.extensions.size(), 1u);
  EXPECT_EQ(Narrow(call.extensions[0]), ".zip");
  EXPECT_TRUE(call.extraNames.empty());
  EXPECT_EQ(call.zeroPointers, (std::vector<const void*>{nullptr, nullptr}));
  // 9 a pointer to the filter's class id, then 10 zero, 11 one, 12 zero.
  EXPECT_EQ(call.pclsid, &CLSID_ArcwiseFilter);
  EXPECT_TRUE(IsEqualCLSID(call.clsid, CLSID_ArcwiseFilter));
  EXPECT_EQ(call.trailing, (std::vector<ULONG>{0, 1, 0}));
  EXPECT_EQ(newest.live.load(), 0) << "the registration object was not released";
}

TEST_F(SharePointTest, UnregisterCallsEntry4WithTheTenArguments) {
  FakeBehaviour& newest = Fakes().Install(0);
  EXPECT_EQ(Run(FALSE), S_OK);

  ASSERT_EQ(newest.calls.size(), 1u);
  const RegistrationCall& call = newest.calls[0];
  EXPECT_EQ(call.entry, 4);
  // 1, 2 the extensions; 3, 4 zero; 5, 6 the second names; 7 zero; 8 the
  // class id pointer; 9, 10 zero.
  EXPECT_EQ(call.counts, (std::vector<ULONG>{1, 0, 0, 0}));
  ASSERT_EQ(call.extensions.size(), 1u);
  EXPECT_EQ(Narrow(call.extensions[0]), ".zip");
  EXPECT_EQ(call.zeroPointers, (std::vector<const void*>{nullptr}));
  EXPECT_EQ(call.pclsid, &CLSID_ArcwiseFilter);
  EXPECT_EQ(call.trailing, (std::vector<ULONG>{0, 0}));
  EXPECT_EQ(newest.live.load(), 0);
}

TEST_F(SharePointTest, OnlyTheRequestedGroupsNamesArePassed) {
  const FilterExtension table[] = {
      {W(".zip"), nullptr, 0},
      {W(".cab"), W("Cabinet"), 1},
      {W(".jar"), W("Java archive"), 0},
      {nullptr, W("NameOnly"), 0},
  };
  FakeBehaviour& newest = Fakes().Install(0);
  EXPECT_EQ(RegisterWithSharePoint(TRUE, &CLSID_ArcwiseFilter, table, 4, 0), S_OK);
  ASSERT_EQ(newest.calls.size(), 1u);
  const RegistrationCall& call = newest.calls[0];
  ASSERT_EQ(call.counts[0], 2u);
  EXPECT_EQ(Narrow(call.extensions[0]), ".zip");
  EXPECT_EQ(Narrow(call.extensions[1]), ".jar");
  ASSERT_EQ(call.counts[2], 2u);
  EXPECT_EQ(Narrow(call.extraNames[0]), "Java archive");
  EXPECT_EQ(Narrow(call.extraNames[1]), "NameOnly");
}

// One run of the eight tries: the objects that exist and what their method
// answers, the lines logged, and the objects called (each once; every other
// installed object never).
struct TryCase {
  const char* name;
  std::vector<std::pair<int, HRESULT>> installed;
  std::vector<std::pair<int, bool>> lines;
  std::vector<int> called;
};

void PrintTo(const TryCase& test, std::ostream* out) { *out << test.name; }

class SharePointTries : public SharePointTest, public ::testing::WithParamInterface<TryCase> {};

TEST_P(SharePointTries, StopWhereTheRulesSayAndLogEachTry) {
  const TryCase& test = GetParam();
  for (auto [index, result] : test.installed) Fakes().Install(index, result);
  arcwise_test::DebugCapture capture;
  const HRESULT hr = Run(TRUE);
  EXPECT_EQ(SUCCEEDED(hr), !test.called.empty()) << std::hex << hr;
  EXPECT_EQ(ProductLines(capture.Lines()), Expected(test.lines));
  for (auto [index, result] : test.installed) {
    const bool called = std::find(test.called.begin(), test.called.end(), index) != test.called.end();
    EXPECT_EQ(Fakes().Behaviour(index).calls.size(), called ? 1u : 0u) << "try " << index + 1;
  }
}

INSTANTIATE_TEST_SUITE_P(
    Sequences, SharePointTries,
    ::testing::Values(
        TryCase{"NoSharePointLogsEightFailuresInOrder", {},
                {{0, false}, {1, false}, {2, false}, {3, false}, {4, false}, {5, false}, {6, false}, {7, false}},
                {}},
        TryCase{"Try1SucceedingAloneStopsTheSequence",
                {{0, S_OK}, {1, S_OK}, {2, S_OK}, {3, S_OK}, {4, S_OK}, {5, S_OK}, {6, S_OK}, {7, S_OK}},
                {{0, true}},
                {0}},
        TryCase{"Tries3And4BothSucceedThenTheSequenceStops",
                {{2, S_OK}, {3, S_OK}, {4, S_OK}},
                {{0, false}, {1, false}, {2, true}, {3, true}},
                {2, 3}},
        TryCase{"Try3SucceedingGoesOnAndTry5SucceedingGoesOnToo",
                {{2, S_OK}, {3, E_FAIL}, {4, S_OK}, {5, S_OK}},
                {{0, false}, {1, false}, {2, true}, {3, false}, {4, true}, {5, true}},
                {2, 3, 4, 5}},
        TryCase{"Try7SucceedingStopsBeforeTheFixedClassId",
                {{6, S_OK}, {7, S_OK}},
                {{0, false}, {1, false}, {2, false}, {3, false}, {4, false}, {5, false}, {6, true}},
                {6}}),
    [](const ::testing::TestParamInfo<TryCase>& info) { return std::string(info.param.name); });

TEST_F(SharePointTest, TheLastTryIsReachedByItsFixedClassId) {
  FakeBehaviour& sps2001 = Fakes().Install(7);
  arcwise_test::DebugCapture capture;
  EXPECT_EQ(Run(TRUE), S_OK);
  EXPECT_EQ(sps2001.calls.size(), 1u);
  std::vector<std::string> lines = ProductLines(capture.Lines());
  ASSERT_EQ(lines.size(), 8u);
  EXPECT_EQ(lines[6], kFailureLines[6]);
  EXPECT_EQ(lines[7], kSuccessLines[7]);
}

TEST_F(SharePointTest, FailedCallsMissingInterfaceAndUnservedProgIdAreFailedTries) {
  Fakes().Install(0, E_ACCESSDENIED);          // the method fails
  Fakes().Install(1).offersInterface = false;  // no registration interface
  // Try 3's ProgID names a class nobody serves.
  SetString(HKEY_CLASSES_ROOT, W("OSearch14.FilterRegistration\\CLSID"), nullptr,
            W("{5A5A00FF-1234-4321-8011-223344556677}"));
  Fakes().Install(3, S_FALSE);  // S_FALSE counts as success
  arcwise_test::DebugCapture capture;
  EXPECT_EQ(Run(TRUE), S_OK);
  EXPECT_EQ(ProductLines(capture.Lines()),
            Expected({{0, false}, {1, false}, {2, false}, {3, true}}));
  EXPECT_EQ(Fakes().Behaviour(0).calls.size(), 1u);
  EXPECT_TRUE(Fakes().Behaviour(1).calls.empty());
  EXPECT_EQ(Fakes().Behaviour(0).live.load() + Fakes().Behaviour(1).live.load(), 0);
}

TEST_F(SharePointTest, UnregisteringLogsTheSameLines) {
  Fakes().Install(1);
  arcwise_test::DebugCapture capture;
  EXPECT_EQ(Run(FALSE), S_OK);
  EXPECT_EQ(ProductLines(capture.Lines()), Expected({{0, false}, {1, true}}));
  ASSERT_EQ(Fakes().Behaviour(1).calls.size(), 1u);
  EXPECT_EQ(Fakes().Behaviour(1).calls[0].entry, 4);
}

TEST_F(SharePointTest, LinesAreLevel3Detail) {
  Fakes().Install(0);
  SetDword(HKEY_LOCAL_MACHINE, W("SOFTWARE\\Quillmark\\Arcwise"), W("DebugMode"), 2);
  g_debugger.Start(W("SOFTWARE\\Quillmark\\Arcwise"), W("Quillmark Arcwise Filter"));
  arcwise_test::DebugCapture capture;
  EXPECT_EQ(Run(TRUE), S_OK);
  EXPECT_TRUE(ProductLines(capture.Lines()).empty());
  EXPECT_EQ(Fakes().Behaviour(0).calls.size(), 1u);
}

TEST_F(SharePointTest, ApartmentIsLeftAsItWasFound) {
  Fakes().Install(0);
  EXPECT_EQ(Run(TRUE), S_OK);
  // Still exactly one level of this thread's single-threaded apartment: one
  // CoUninitialize (TearDown) ends it, so a multithreaded entry now only
  // reports the mode clash.
  EXPECT_EQ(CoInitializeEx(nullptr, COINIT_MULTITHREADED), RPC_E_CHANGED_MODE);
}

TEST_F(SharePointTest, GuidNullIsNotARegistrationObject) {
  IFilterRegistration* registration = reinterpret_cast<IFilterRegistration*>(1);
  EXPECT_EQ(CreateRegistrationObject(GUID_NULL, &registration), E_NOINTERFACE);
  EXPECT_EQ(registration, nullptr);
}

TEST_F(SharePointTest, AThreadInTheMultithreadedApartmentContactsNoObject) {
  for (int i = 0; i < 8; ++i) Fakes().Install(i);
  arcwise_test::DebugCapture capture;
  HRESULT hr = S_OK;
  std::thread worker([&] {
    HRESULT init = CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    hr = RegisterWithSharePoint(TRUE, &CLSID_ArcwiseFilter, g_filterExtensions,
                                g_filterExtensionCount, 0);
    if (SUCCEEDED(init)) CoUninitialize();
  });
  worker.join();
  EXPECT_EQ(hr, RPC_E_CHANGED_MODE);
  EXPECT_EQ(Fakes().TotalCalls(), 0);
  for (int i = 0; i < 8; ++i) EXPECT_EQ(Fakes().Behaviour(i).created.load(), 0);
  EXPECT_TRUE(ProductLines(capture.Lines()).empty());
}

}  // namespace
