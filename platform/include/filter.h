// The IFilter protocol of Windows Search: the interface in its published
// method order with its IID, the chunk record STAT_CHUNK, FULLPROPSPEC,
// FILTERREGION, the IFILTER_INIT / IFILTER_FLAGS bits and the FILTER_E_* /
// FILTER_S_* result codes. Declarations only: a filter object is used by one
// thread at a time, as its host drives it.
#pragma once

#include "propidl.h"

extern "C" const IID IID_IFilter;  // {89BCB740-6119-101A-BCB7-00DD010655AF}

// ---- Init flags -------------------------------------------------------------
typedef enum tagIFILTER_INIT {
  IFILTER_INIT_CANON_PARAGRAPHS = 1,
  IFILTER_INIT_HARD_LINE_BREAKS = 2,
  IFILTER_INIT_CANON_HYPHENS = 4,
  IFILTER_INIT_CANON_SPACES = 8,
  IFILTER_INIT_APPLY_INDEX_ATTRIBUTES = 16,
  IFILTER_INIT_APPLY_OTHER_ATTRIBUTES = 32,
  IFILTER_INIT_APPLY_CRAWL_ATTRIBUTES = 256,
  IFILTER_INIT_INDEXING_ONLY = 64,
  IFILTER_INIT_SEARCH_LINKS = 128,
  IFILTER_INIT_FILTER_OWNED_VALUE_OK = 512,
  IFILTER_INIT_FILTER_AGGRESSIVE_BREAK = 1024,
  IFILTER_INIT_DISABLE_EMBEDDED = 2048,
  IFILTER_INIT_EMIT_FORMATTING = 4096
} IFILTER_INIT;

// What a filter's Init reports back to its caller.
typedef enum tagIFILTER_FLAGS {
  // The caller is to read the file's OLE property sets itself.
  IFILTER_FLAGS_OLE_PROPERTIES = 1
} IFILTER_FLAGS;

// ---- Chunks -----------------------------------------------------------------
typedef enum tagCHUNK_BREAKTYPE {
  CHUNK_NO_BREAK = 0,
  CHUNK_EOW = 1,
  CHUNK_EOS = 2,
  CHUNK_EOP = 3,
  CHUNK_EOC = 4
} CHUNK_BREAKTYPE;

typedef enum tagCHUNKSTATE {
  CHUNK_TEXT = 0x1,
  CHUNK_VALUE = 0x2,
  CHUNK_FILTER_OWNED_VALUE = 0x4
} CHUNKSTATE;

typedef struct tagFULLPROPSPEC {
  GUID guidPropSet;
  PROPSPEC psProperty;
} FULLPROPSPEC;

typedef struct tagSTAT_CHUNK {
  ULONG idChunk;
  CHUNK_BREAKTYPE breakType;
  CHUNKSTATE flags;
  LCID locale;
  FULLPROPSPEC attribute;
  ULONG idChunkSource;
  ULONG cwcStartSource;
  ULONG cwcLenSource;
} STAT_CHUNK;

typedef struct tagFILTERREGION {
  ULONG idChunk;
  ULONG cwcStart;
  ULONG cwcExtent;
} FILTERREGION;

// ---- Result codes -----------------------------------------------------------
#define FILTER_E_END_OF_CHUNKS ((HRESULT)0x80041700L)
#define FILTER_E_NO_MORE_TEXT ((HRESULT)0x80041701L)
#define FILTER_E_NO_MORE_VALUES ((HRESULT)0x80041702L)
#define FILTER_E_ACCESS ((HRESULT)0x80041703L)
#define FILTER_W_MONIKER_CLIPPED ((HRESULT)0x00041704L)
#define FILTER_E_NO_TEXT ((HRESULT)0x80041705L)
#define FILTER_E_NO_VALUES ((HRESULT)0x80041706L)
#define FILTER_E_EMBEDDING_UNAVAILABLE ((HRESULT)0x80041707L)
#define FILTER_E_LINK_UNAVAILABLE ((HRESULT)0x80041708L)
#define FILTER_S_LAST_TEXT ((HRESULT)0x00041709L)
#define FILTER_S_LAST_VALUES ((HRESULT)0x0004170AL)
#define FILTER_E_PASSWORD ((HRESULT)0x8004170BL)
#define FILTER_E_UNKNOWNFORMAT ((HRESULT)0x8004170CL)
#define FILTER_E_TOO_BIG ((HRESULT)0x80041730L)

// ---- The interface ----------------------------------------------------------
interface IFilter : public IUnknown {
  STDMETHOD(Init)(ULONG grfFlags, ULONG cAttributes, const FULLPROPSPEC* aAttributes, ULONG* pFlags) PURE;
  STDMETHOD(GetChunk)(STAT_CHUNK* pStat) PURE;
  STDMETHOD(GetText)(ULONG* pcwcBuffer, WCHAR* awcBuffer) PURE;
  // *ppPropValue is allocated with CoTaskMemAlloc and, with its contents,
  // belongs to the caller (PropVariantClear, then CoTaskMemFree).
  STDMETHOD(GetValue)(PROPVARIANT** ppPropValue) PURE;
  STDMETHOD(BindRegion)(FILTERREGION origPos, REFIID riid, void** ppunk) PURE;
};
ARCWISE_DECLARE_IID(IFilter, IID_IFilter);
