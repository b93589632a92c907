#include "diagnostics/FilterConfiguration.h"

#include "diagnostics/Debugger.h"
#include "diagnostics/RegistryReaders.h"

namespace {

// A 0/1 switch of the product key; anything unreadable or larger is 0.
DWORD ReadFlag(LPCWSTR productKey, LPCWSTR valueName) {
  DWORD value = 0;
  if (!ReadRegistryDword(productKey, valueName, value) || value > 1) return 0;
  return value;
}

}  // namespace

CFilterConfiguration::CFilterConfiguration(LPCWSTR productKey)
    : ProductKey(productKey ? productKey : W("")) {
  // A null key reads nothing, rather than the root of HKEY_LOCAL_MACHINE.
  LPCWSTR keyPath = productKey ? ProductKey.c_str() : nullptr;

  WString folder;
  DWORD failure = 0;
  if (FindAppTempDir(keyPath, folder, &failure)) {
    AppTempDir = folder;
    AppTempDirFailure = S_OK;
    g_debugger.Print(1, W("INFO: AppTempDir is set to %s \n"), AppTempDir.c_str());
  } else {
    AppTempDir.clear();
    // Only a folder that is not there is named as such; every other reason
    // stays the access failure hosts have always been given.
    AppTempDirFailure =
        failure == ERROR_PATH_NOT_FOUND ? HRESULT_FROM_WIN32(ERROR_PATH_NOT_FOUND) : E_ACCESSDENIED;
    g_debugger.Print(1, W("INFO: AppTempDir is not defined \n"));
  }

  UseSingleMetadataInstance = ReadFlag(keyPath, W("MultipleInstancesMode"));
  g_debugger.Print(3, W("INFO: UseSingleMetadataInstance Flag is set to %d\n"),
                   static_cast<INT>(UseSingleMetadataInstance));
  IndexMappedMetadataOnly = ReadFlag(keyPath, W("MetadataIndexingMode"));
  g_debugger.Print(3, W("INFO: IndexMappedMetadataOnly Flag is set to %d\n"),
                   static_cast<INT>(IndexMappedMetadataOnly));
}

CFilterConfiguration::~CFilterConfiguration() = default;

ArcwiseConfiguration::ArcwiseConfiguration() : CFilterConfiguration(ARCWISE_PRODUCT_KEY) {
  DWORD value = 0;
  UseLongitudeOptomization =
      ReadRegistryDword(ProductKey.c_str(), W("UseLongitudeOptomization"), value) && value == 1;

  const struct {
    LPCWSTR name;
    DWORD* setting;
  } limits[] = {{W("MaxExtractedMB"), &Extraction.maxExtractedMB},
                {W("MaxExtractedEntries"), &Extraction.maxExtractedEntries},
                {W("MaxExpansionRatio"), &Extraction.maxExpansionRatio}};
  for (const auto& limit : limits) {
    if (ReadRegistryDword(ProductKey.c_str(), limit.name, value)) *limit.setting = value;
    g_debugger.Print(3, W("INFO: %s is set to %u%s\n"), limit.name, static_cast<UINT>(*limit.setting),
                     *limit.setting == 0 ? W(" (no limit)") : W(""));
  }
}

ArcwiseConfiguration::~ArcwiseConfiguration() = default;
