// The settings of the process, read once from the product's registry key.
// The module keeps one ArcwiseConfiguration per process: the class object
// builds it (serialised) on first use and owns it until the module unloads;
// filter objects only point to it. After construction nothing changes, so any
// thread may read it without locking.
#pragma once

#include "compat/Win32Compat.h"

// The product's key under HKEY_LOCAL_MACHINE.
#define ARCWISE_PRODUCT_KEY W("SOFTWARE\\Quillmark\\Arcwise")

class CFilterConfiguration {
 public:
  // Reads the settings under productKey (relative to HKEY_LOCAL_MACHINE; null
  // reads nothing from the registry) and picks the working folder. Never
  // fails: what cannot be read takes its default.
  explicit CFilterConfiguration(LPCWSTR productKey);
  virtual ~CFilterConfiguration();

  CFilterConfiguration(const CFilterConfiguration&) = delete;
  CFilterConfiguration& operator=(const CFilterConfiguration&) = delete;

  // The validated working folder ending in a separator; empty when none.
  const WString& GetAppTempDir() const { return AppTempDir; }
  // What a load answers when there is no working folder:
  // HRESULT_FROM_WIN32(ERROR_PATH_NOT_FOUND) when the folder that would be
  // used does not exist, E_ACCESSDENIED for any other reason; S_OK when
  // there is a working folder.
  HRESULT GetAppTempDirFailure() const { return AppTempDirFailure; }
  const WString& GetProductKey() const { return ProductKey; }
  // MultipleInstancesMode, 0 or 1.
  DWORD GetUseSingleMetadataInstance() const { return UseSingleMetadataInstance; }
  // MetadataIndexingMode, 0 or 1.
  DWORD GetIndexMappedMetadataOnly() const { return IndexMappedMetadataOnly; }

 protected:
  WString AppTempDir;
  HRESULT AppTempDirFailure = E_ACCESSDENIED;
  WString ProductKey;
  DWORD UseSingleMetadataInstance = 0;
  DWORD IndexMappedMetadataOnly = 0;
};

// The work budget of one document a host loads, as the registry sets it
// (REG_DWORD values of the product key; 0 means no limit, a value that is
// absent or not a REG_DWORD takes the default).
struct ExtractionSettings {
  // Megabytes (MiB) that extraction may write, nested archives included.
  DWORD maxExtractedMB = 2048;
  // Entries that extraction takes up, nested archives included.
  DWORD maxExtractedEntries = 100000;
  // Uncompressed : compressed size above which an entry over 1 MiB is skipped.
  DWORD maxExpansionRatio = 100;
};

class ArcwiseConfiguration : public CFilterConfiguration {
 public:
  // The settings under ARCWISE_PRODUCT_KEY.
  ArcwiseConfiguration();
  ~ArcwiseConfiguration() override;

  // True only when the registry value UseLongitudeOptomization is exactly 1.
  bool GetUseLongitudeOptomization() const { return UseLongitudeOptomization != 0; }
  // MaxExtractedMB, MaxExtractedEntries and MaxExpansionRatio.
  const ExtractionSettings& GetExtractionSettings() const { return Extraction; }

 protected:
  BYTE UseLongitudeOptomization = 0;
  ExtractionSettings Extraction;
};
