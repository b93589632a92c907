#include "ole_properties.h"

#include <vector>

#include "compat/ComPtr.h"
#include <propidl.h>

ULONG EmitOleProperties(const WString& path, ULONG firstId, ChunkSink* sink) {
  ComPtr<IPropertySetStorage> sets;
  if (FAILED(StgOpenStorageEx(path.c_str(), STGM_READ | STGM_SHARE_DENY_WRITE, STGFMT_ANY, 0, nullptr, nullptr,
                              IID_IPropertySetStorage, reinterpret_cast<void**>(&sets)))) {
    return 0;
  }
  ComPtr<IPropertyStorage> summary;
  if (FAILED(sets->Open(FMTID_SummaryInformation, STGM_READ | STGM_SHARE_EXCLUSIVE, &summary))) return 0;
  ComPtr<IEnumSTATPROPSTG> properties;
  if (FAILED(summary->Enum(&properties))) return 0;

  // The ids first: the enumerator is not asked to stay valid while values
  // are read and written out.
  std::vector<PROPID> ids;
  STATPROPSTG stat = {};
  ULONG fetched = 0;
  while (properties->Next(1, &stat, &fetched) == S_OK && fetched == 1) {
    // 0 is the dictionary and 1 the code page: format, not content.
    if (stat.propid >= 2) ids.push_back(stat.propid);
    CoTaskMemFree(stat.lpwstrName);
    stat = STATPROPSTG{};
  }

  ULONG written = 0;
  for (PROPID id : ids) {
    PROPSPEC propertySpec = {};
    propertySpec.ulKind = PRSPEC_PROPID;
    propertySpec.propid = id;
    PROPVARIANT value;
    PropVariantInit(&value);
    if (summary->ReadMultiple(1, &propertySpec, &value) != S_OK || value.vt == VT_EMPTY) {
      PropVariantClear(&value);
      continue;
    }
    STAT_CHUNK chunk = {};
    chunk.idChunk = firstId + written;
    chunk.breakType = written == 0 ? CHUNK_EOP : CHUNK_NO_BREAK;
    chunk.flags = CHUNK_VALUE;
    chunk.locale = GetSystemDefaultLCID();
    chunk.attribute.guidPropSet = FMTID_SummaryInformation;
    chunk.attribute.psProperty.ulKind = PRSPEC_PROPID;
    chunk.attribute.psProperty.propid = id;
    chunk.idChunkSource = chunk.idChunk;
    sink->BeginChunk(chunk);
    sink->SetValue(value);
    sink->EndChunk();
    PropVariantClear(&value);
    ++written;
  }
  return written;
}
