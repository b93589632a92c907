// The plain-text filter: the whole text of a file as CHUNK_TEXT chunks of at
// most kTextChunkChars UTF-16 units under FMTID_Storage / PID_STG_CONTENTS
// (19), numbered 1, 2, ... from each Init. The chunks are consecutive pieces
// of one text cut at character boundaries (never inside a surrogate pair),
// so each carries CHUNK_NO_BREAK: a word may run on into the next chunk. No
// values; an empty file has no chunk. Loads by path (the file stays open,
// shared for reading, until the object goes or loads again) or by stream
// (one reference kept). One thread at a time.
#pragma once

#include "FilterObject.h"
#include "TextDecoder.h"
#include "TextSource.h"

class CTextFilter final : public CFilterObject {
  ARCWISE_DECLARE_FILTER_OBJECT(CTextFilter)
  void Reset();

  CTextSource m_source;
  CTextDecoder m_decoder;
  bool m_initialized = false;
  bool m_ended = false;     // FILTER_E_END_OF_CHUNKS from now on, until Init
  bool m_hasChunk = false;  // a chunk was returned and is current
  ULONG m_chunkId = 0;      // id of the last chunk returned
  WString m_chunkText;
  size_t m_textPos = 0;     // units of m_chunkText already handed out
};
