// DescribeContentsChunk: fills the STAT_CHUNK of a text chunk that carries a
// document's contents property (FMTID_Storage / PID_STG_CONTENTS), the one
// property every indexer reads as the body text. The module's own name
// chunks and the stock text filter both emit such chunks; each chunk is its
// own source, so the derived-from fields name the chunk itself. Pure; any
// thread.
#pragma once

#include "compat/Win32Compat.h"

inline void DescribeContentsChunk(STAT_CHUNK* pStat, ULONG idChunk, CHUNK_BREAKTYPE breakType) {
  *pStat = STAT_CHUNK{};
  pStat->idChunk = idChunk;
  pStat->breakType = breakType;
  pStat->flags = CHUNK_TEXT;
  pStat->locale = GetSystemDefaultLCID();
  pStat->attribute.guidPropSet = FMTID_Storage;
  pStat->attribute.psProperty.ulKind = PRSPEC_PROPID;
  pStat->attribute.psProperty.propid = PID_STG_CONTENTS;
  pStat->idChunkSource = idChunk;
  pStat->cwcStartSource = 0;
  pStat->cwcLenSource = 0;
}
