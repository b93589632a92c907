// The parsed script of the fake nested filter (format in fake_filter.h).
// A plain value owned by one filter object.
#pragma once

#include <string>
#include <vector>

#include <filter.h>

struct FakeChunk {
  bool isError = false;  // "chunk error": GetChunk returns getChunkResult
  HRESULT getChunkResult = S_OK;
  bool isValue = false;
  WString text;
  CHUNK_BREAKTYPE breakType = CHUNK_NO_BREAK;
  LCID locale = 0x0409;
  FULLPROPSPEC attribute = {};
  HRESULT getTextError = S_OK;
  HRESULT getValueError = S_OK;
};

struct FakeScript {
  HRESULT loadError = S_OK;
  HRESULT initError = S_OK;
  ULONG initFlags = 0;
  std::vector<FakeChunk> chunks;
};

// S_OK, or FILTER_E_UNKNOWNFORMAT for a line it does not understand.
HRESULT ParseFakeScript(const std::string& utf8, FakeScript* pScript);
