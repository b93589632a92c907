// GetSystemDefaultLCID: the environment's locale name mapped to a Windows LCID.
#include <gtest/gtest.h>

#include <utility>

#include <windows.h>

#include "support/scoped_env.h"

namespace {

// The locale variables, all unset for one case and restored afterwards.
struct LocaleEnvironment {
  arcwise_test::ScopedEnv all{"LC_ALL", nullptr};
  arcwise_test::ScopedEnv ctype{"LC_CTYPE", nullptr};
  arcwise_test::ScopedEnv lang{"LANG", nullptr};
};

TEST(GetSystemDefaultLCID, MapsLocaleNamesThroughTheTable) {
  const std::pair<const char*, LCID> cases[] = {
      {"en_US.UTF-8", 0x0409}, {"de_DE.UTF-8", 0x0407}, {"fr_FR", 0x040C},         {"en_GB.ISO-8859-1", 0x0809},
      {"ja_JP.eucJP", 0x0411}, {"de_LU.UTF-8", 0x0407}, {"sr_RS@latin", 0x0409}, {"C", 0x0409},
      {"POSIX", 0x0409},       {"C.UTF-8", 0x0409},     {"xx", 0x0409},
  };
  for (const auto& [name, lcid] : cases) {
    LocaleEnvironment env;
    env.lang.Set(name);
    EXPECT_EQ(GetSystemDefaultLCID(), lcid) << name;
  }
}

TEST(GetSystemDefaultLCID, LcAllOverridesLcCtypeWhichOverridesLang) {
  LocaleEnvironment env;
  EXPECT_EQ(GetSystemDefaultLCID(), 0x0409u);  // nothing set
  env.lang.Set("fr_FR.UTF-8");
  EXPECT_EQ(GetSystemDefaultLCID(), 0x040Cu);
  env.ctype.Set("de_AT.UTF-8");
  EXPECT_EQ(GetSystemDefaultLCID(), 0x0C07u);
  env.all.Set("it_IT.UTF-8");
  EXPECT_EQ(GetSystemDefaultLCID(), 0x0410u);
}

}  // namespace
