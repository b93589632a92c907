// GetSystemDefaultLCID: the environment's locale name mapped to a Windows LCID.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <tuple>
#include <vector>

#include <windows.h>

namespace {

// Sets the locale variables for one case and restores them afterwards.
class LocaleEnvironment {
 public:
  LocaleEnvironment() {
    for (const char* name : kNames) {
      const char* value = getenv(name);
      m_saved.emplace_back(name, value ? std::string(value) : std::string(), value != nullptr);
      unsetenv(name);
    }
  }
  ~LocaleEnvironment() {
    for (const auto& [name, value, present] : m_saved) {
      if (present) {
        setenv(name, value.c_str(), 1);
      } else {
        unsetenv(name);
      }
    }
  }
  void Set(const char* name, const char* value) { setenv(name, value, 1); }

 private:
  static constexpr const char* kNames[] = {"LC_ALL", "LC_CTYPE", "LANG"};
  std::vector<std::tuple<const char*, std::string, bool>> m_saved;
};

TEST(GetSystemDefaultLCID, MapsLocaleNamesThroughTheTable) {
  const std::pair<const char*, LCID> cases[] = {
      {"en_US.UTF-8", 0x0409}, {"de_DE.UTF-8", 0x0407}, {"fr_FR", 0x040C},         {"en_GB.ISO-8859-1", 0x0809},
      {"ja_JP.eucJP", 0x0411}, {"de_LU.UTF-8", 0x0407}, {"sr_RS@latin", 0x0409}, {"C", 0x0409},
      {"POSIX", 0x0409},       {"C.UTF-8", 0x0409},     {"xx", 0x0409},
  };
  for (const auto& [name, lcid] : cases) {
    LocaleEnvironment env;
    env.Set("LANG", name);
    EXPECT_EQ(GetSystemDefaultLCID(), lcid) << name;
  }
}

TEST(GetSystemDefaultLCID, LcAllOverridesLcCtypeWhichOverridesLang) {
  LocaleEnvironment env;
  EXPECT_EQ(GetSystemDefaultLCID(), 0x0409u);  // nothing set
  env.Set("LANG", "fr_FR.UTF-8");
  EXPECT_EQ(GetSystemDefaultLCID(), 0x040Cu);
  env.Set("LC_CTYPE", "de_AT.UTF-8");
  EXPECT_EQ(GetSystemDefaultLCID(), 0x0C07u);
  env.Set("LC_ALL", "it_IT.UTF-8");
  EXPECT_EQ(GetSystemDefaultLCID(), 0x0410u);
}

}  // namespace
