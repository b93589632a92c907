// GetSystemDefaultLCID from the environment's locale name. The table holds
// the locales a Windows installation is commonly set to; the first entry of a
// language is that language's main locale, used when the territory is not
// listed.
#include <windows.h>

#include <cstdlib>
#include <cstring>
#include <string>

namespace {

struct LocaleEntry {
  const char* name;  // language_TERRITORY
  LCID lcid;
};

constexpr LocaleEntry kLocales[] = {
    {"en_US", 0x0409}, {"en_GB", 0x0809}, {"en_AU", 0x0C09}, {"en_CA", 0x1009}, {"en_NZ", 0x1409},
    {"en_IE", 0x1809}, {"en_ZA", 0x1C09}, {"en_IN", 0x4009}, {"de_DE", 0x0407}, {"de_CH", 0x0807},
    {"de_AT", 0x0C07}, {"fr_FR", 0x040C}, {"fr_BE", 0x080C}, {"fr_CA", 0x0C0C}, {"fr_CH", 0x100C},
    {"es_ES", 0x0C0A}, {"es_MX", 0x080A}, {"es_AR", 0x2C0A}, {"it_IT", 0x0410}, {"it_CH", 0x0810},
    {"pt_BR", 0x0416}, {"pt_PT", 0x0816}, {"nl_NL", 0x0413}, {"nl_BE", 0x0813}, {"sv_SE", 0x041D},
    {"da_DK", 0x0406}, {"nb_NO", 0x0414}, {"fi_FI", 0x040B}, {"pl_PL", 0x0415}, {"cs_CZ", 0x0405},
    {"sk_SK", 0x041B}, {"hu_HU", 0x040E}, {"ro_RO", 0x0418}, {"ru_RU", 0x0419}, {"uk_UA", 0x0422},
    {"el_GR", 0x0408}, {"tr_TR", 0x041F}, {"he_IL", 0x040D}, {"ar_SA", 0x0401}, {"ja_JP", 0x0411},
    {"ko_KR", 0x0412}, {"zh_CN", 0x0804}, {"zh_TW", 0x0404}, {"zh_HK", 0x0C04}, {"th_TH", 0x041E},
    {"vi_VN", 0x042A}, {"id_ID", 0x0421}, {"hi_IN", 0x0439},
};

constexpr LCID kDefaultLcid = 0x0409;

std::string EnvironmentLocale() {
  for (const char* variable : {"LC_ALL", "LC_CTYPE", "LANG"}) {
    const char* value = getenv(variable);
    if (value && *value) return value;
  }
  return std::string();
}

}  // namespace

LCID GetSystemDefaultLCID() {
  std::string name = EnvironmentLocale();
  // "ll_CC.codeset@modifier" -> "ll_CC"
  name = name.substr(0, name.find_first_of(".@"));
  if (name.empty() || name == "C" || name == "POSIX") return kDefaultLcid;
  for (const auto& entry : kLocales) {
    if (name == entry.name) return entry.lcid;
  }
  std::string language = name.substr(0, name.find('_'));
  for (const auto& entry : kLocales) {
    if (strncmp(entry.name, language.c_str(), language.size()) == 0 && entry.name[language.size()] == '_') {
      return entry.lcid;
    }
  }
  return kDefaultLcid;
}
