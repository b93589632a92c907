// Structured-storage property sets: PROPVARIANT with the published member
// names, VT_* types, PROPSPEC / STATPROPSTG / STATPROPSETSTG, the property-set
// interfaces in their published method order, the summary-information format
// ids and property ids, and StgOpenStorageEx for compound files.
//
// The platform reads property sets only: compound files are opened read-only
// and every writing method answers STG_E_ACCESSDENIED. Memory inside a
// PROPVARIANT or a STATPROPSTG handed out by these interfaces comes from
// CoTaskMemAlloc and belongs to the caller (PropVariantClear, CoTaskMemFree).
// Each object opened here may be used from any thread, one thread at a time.
#pragma once

#include "objbase.h"

// ---- Scalar types of the variant union --------------------------------------
typedef unsigned short VARTYPE;
typedef short VARIANT_BOOL;
typedef LONG SCODE;
typedef float FLOAT;
typedef double DOUBLE;
typedef double DATE;
typedef void* PSECURITY_DESCRIPTOR;

#define VARIANT_TRUE ((VARIANT_BOOL)-1)
#define VARIANT_FALSE ((VARIANT_BOOL)0)

typedef union tagCY {
  struct {
    ULONG Lo;
    LONG Hi;
  } s;
  LONGLONG int64;
} CY;

typedef struct tagBLOB {
  ULONG cbSize;
  BYTE* pBlobData;
} BLOB, *LPBLOB;

// cbSize counts the clipboard format (4 bytes) plus the data at pClipData.
typedef struct tagCLIPDATA {
  ULONG cbSize;
  LONG ulClipFmt;
  BYTE* pClipData;
} CLIPDATA;

// Counted arrays of the vector types (VT_VECTOR | element type).
#define ARCWISE_COUNTED_ARRAY(name, type) \
  typedef struct tag##name {              \
    ULONG cElems;                         \
    type* pElems;                         \
  } name
ARCWISE_COUNTED_ARRAY(CAC, CHAR);
ARCWISE_COUNTED_ARRAY(CAUB, UCHAR);
ARCWISE_COUNTED_ARRAY(CAI, SHORT);
ARCWISE_COUNTED_ARRAY(CAUI, USHORT);
ARCWISE_COUNTED_ARRAY(CAL, LONG);
ARCWISE_COUNTED_ARRAY(CAUL, ULONG);
ARCWISE_COUNTED_ARRAY(CAH, LARGE_INTEGER);
ARCWISE_COUNTED_ARRAY(CAUH, ULARGE_INTEGER);
ARCWISE_COUNTED_ARRAY(CAFLT, FLOAT);
ARCWISE_COUNTED_ARRAY(CADBL, DOUBLE);
ARCWISE_COUNTED_ARRAY(CABOOL, VARIANT_BOOL);
ARCWISE_COUNTED_ARRAY(CASCODE, SCODE);
ARCWISE_COUNTED_ARRAY(CACY, CY);
ARCWISE_COUNTED_ARRAY(CADATE, DATE);
ARCWISE_COUNTED_ARRAY(CAFILETIME, FILETIME);
ARCWISE_COUNTED_ARRAY(CACLSID, CLSID);
ARCWISE_COUNTED_ARRAY(CACLIPDATA, CLIPDATA);
ARCWISE_COUNTED_ARRAY(CALPSTR, LPSTR);
ARCWISE_COUNTED_ARRAY(CALPWSTR, LPWSTR);
#undef ARCWISE_COUNTED_ARRAY

// ---- Variant types ----------------------------------------------------------
enum VARENUM {
  VT_EMPTY = 0,
  VT_NULL = 1,
  VT_I2 = 2,
  VT_I4 = 3,
  VT_R4 = 4,
  VT_R8 = 5,
  VT_CY = 6,
  VT_DATE = 7,
  VT_BSTR = 8,
  VT_DISPATCH = 9,
  VT_ERROR = 10,
  VT_BOOL = 11,
  VT_VARIANT = 12,
  VT_UNKNOWN = 13,
  VT_DECIMAL = 14,
  VT_I1 = 16,
  VT_UI1 = 17,
  VT_UI2 = 18,
  VT_UI4 = 19,
  VT_I8 = 20,
  VT_UI8 = 21,
  VT_INT = 22,
  VT_UINT = 23,
  VT_VOID = 24,
  VT_HRESULT = 25,
  VT_PTR = 26,
  VT_SAFEARRAY = 27,
  VT_CARRAY = 28,
  VT_USERDEFINED = 29,
  VT_LPSTR = 30,
  VT_LPWSTR = 31,
  VT_RECORD = 36,
  VT_INT_PTR = 37,
  VT_UINT_PTR = 38,
  VT_FILETIME = 64,
  VT_BLOB = 65,
  VT_STREAM = 66,
  VT_STORAGE = 67,
  VT_STREAMED_OBJECT = 68,
  VT_STORED_OBJECT = 69,
  VT_BLOB_OBJECT = 70,
  VT_CF = 71,
  VT_CLSID = 72,
  VT_VERSIONED_STREAM = 73,
  VT_BSTR_BLOB = 0x0fff,
  VT_VECTOR = 0x1000,
  VT_ARRAY = 0x2000,
  VT_BYREF = 0x4000,
  VT_RESERVED = 0x8000,
  VT_ILLEGAL = 0xffff,
  VT_ILLEGALMASKED = 0x0fff,
  VT_TYPEMASK = 0x0fff
};

// ---- PROPVARIANT ------------------------------------------------------------
// The published layout: the type, three reserved words, then the union
// (8-byte aligned on LP64, 24 bytes in all).
typedef struct tagPROPVARIANT {
  VARTYPE vt;
  WORD wReserved1;
  WORD wReserved2;
  WORD wReserved3;
  union {
    CHAR cVal;
    UCHAR bVal;
    SHORT iVal;
    USHORT uiVal;
    LONG lVal;
    ULONG ulVal;
    INT intVal;
    UINT uintVal;
    LARGE_INTEGER hVal;
    ULARGE_INTEGER uhVal;
    FLOAT fltVal;
    DOUBLE dblVal;
    VARIANT_BOOL boolVal;
    SCODE scode;
    CY cyVal;
    DATE date;
    FILETIME filetime;
    CLSID* puuid;
    CLIPDATA* pclipdata;
    BLOB blob;
    IUnknown* punkVal;
    LPSTR pszVal;
    LPWSTR pwszVal;
    CAC cac;
    CAUB caub;
    CAI cai;
    CAUI caui;
    CAL cal;
    CAUL caul;
    CAH cah;
    CAUH cauh;
    CAFLT caflt;
    CADBL cadbl;
    CABOOL cabool;
    CASCODE cascode;
    CACY cacy;
    CADATE cadate;
    CAFILETIME cafiletime;
    CACLSID cauuid;
    CACLIPDATA caclipdata;
    CALPSTR calpstr;
    CALPWSTR calpwstr;
  };
} PROPVARIANT, *LPPROPVARIANT;
typedef const PROPVARIANT* REFPROPVARIANT;

// Sets *pvar to VT_EMPTY with a zeroed union.
inline void PropVariantInit(PROPVARIANT* pvar) {
  if (pvar) *pvar = PROPVARIANT{};
}
// Frees what the value owns (strings, blobs, clipboard data, class ids,
// vectors and their elements, interface references) and leaves VT_EMPTY.
// S_OK; DISP_E_BADVARTYPE for a type it cannot free (the value is then left
// unchanged); a null pointer is S_OK.
STDAPI PropVariantClear(PROPVARIANT* pvar);
// PropVariantClear on each of cVariants values.
STDAPI FreePropVariantArray(ULONG cVariants, PROPVARIANT* rgvars);

#ifndef DISP_E_BADVARTYPE
#define DISP_E_BADVARTYPE ((HRESULT)0x80020008L)
#endif

// ---- Naming a property (PROPSPEC) and its enumeration records ----------------
#define PRSPEC_INVALID 0xffffffff
#define PRSPEC_LPWSTR 0
#define PRSPEC_PROPID 1

typedef struct tagPROPSPEC {
  ULONG ulKind;
  union {
    PROPID propid;
    LPOLESTR lpwstr;
  };
} PROPSPEC;

// lpwstrName, when present, is from CoTaskMemAlloc and owned by the caller.
typedef struct tagSTATPROPSTG {
  LPOLESTR lpwstrName;
  PROPID propid;
  VARTYPE vt;
} STATPROPSTG;

typedef struct tagSTATPROPSETSTG {
  FMTID fmtid;
  CLSID clsid;
  DWORD grfFlags;
  FILETIME mtime;
  FILETIME ctime;
  FILETIME atime;
  DWORD dwOSVersion;
} STATPROPSETSTG;

#define PROPSETFLAG_DEFAULT 0
#define PROPSETFLAG_NONSIMPLE 1
#define PROPSETFLAG_ANSI 2
#define PROPSETFLAG_UNBUFFERED 4
#define PROPSETFLAG_CASE_SENSITIVE 8

// Special property ids of every set.
#define PID_DICTIONARY 0x00000000
#define PID_CODEPAGE 0x00000001
#define PID_FIRST_USABLE 0x00000002
#define PID_FIRST_NAME_DEFAULT 0x00000fff
#define PID_LOCALE 0x80000000
#define PID_MODIFY_TIME 0x80000001
#define PID_SECURITY 0x80000002
#define PID_BEHAVIOR 0x80000003
#define PID_ILLEGAL 0xffffffff

// FMTID_SummaryInformation properties.
#define PIDSI_TITLE 0x00000002L
#define PIDSI_SUBJECT 0x00000003L
#define PIDSI_AUTHOR 0x00000004L
#define PIDSI_KEYWORDS 0x00000005L
#define PIDSI_COMMENTS 0x00000006L
#define PIDSI_TEMPLATE 0x00000007L
#define PIDSI_LASTAUTHOR 0x00000008L
#define PIDSI_REVNUMBER 0x00000009L
#define PIDSI_EDITTIME 0x0000000aL
#define PIDSI_LASTPRINTED 0x0000000bL
#define PIDSI_CREATE_DTM 0x0000000cL
#define PIDSI_LASTSAVE_DTM 0x0000000dL
#define PIDSI_PAGECOUNT 0x0000000eL
#define PIDSI_WORDCOUNT 0x0000000fL
#define PIDSI_CHARCOUNT 0x00000010L
#define PIDSI_THUMBNAIL 0x00000011L
#define PIDSI_APPNAME 0x00000012L
#define PIDSI_DOC_SECURITY 0x00000013L

// FMTID_DocSummaryInformation properties (the common ones).
#define PIDDSI_CATEGORY 0x00000002
#define PIDDSI_PRESFORMAT 0x00000003
#define PIDDSI_BYTECOUNT 0x00000004
#define PIDDSI_LINECOUNT 0x00000005
#define PIDDSI_PARCOUNT 0x00000006
#define PIDDSI_SLIDECOUNT 0x00000007
#define PIDDSI_NOTECOUNT 0x00000008
#define PIDDSI_HIDDENCOUNT 0x00000009
#define PIDDSI_MMCLIPCOUNT 0x0000000A
#define PIDDSI_SCALE 0x0000000B
#define PIDDSI_HEADINGPAIR 0x0000000C
#define PIDDSI_DOCPARTS 0x0000000D
#define PIDDSI_MANAGER 0x0000000E
#define PIDDSI_COMPANY 0x0000000F
#define PIDDSI_LINKSDIRTY 0x00000010

extern "C" const FMTID FMTID_SummaryInformation;     // {F29F85E0-4FF9-1068-AB91-08002B27B3D9}
extern "C" const FMTID FMTID_DocSummaryInformation;  // {D5CDD502-2E9C-101B-9397-08002B2CF9AE}
extern "C" const FMTID FMTID_UserDefinedProperties;  // {D5CDD505-2E9C-101B-9397-08002B2CF9AE}
// The storage property set that filters use for a file's own properties;
// PID_STG_CONTENTS is a document's text.
extern "C" const FMTID FMTID_Storage;                // {B725F130-47EF-101A-A5F1-02608C9EEBAC}
#define PID_STG_DIRECTORY 0x00000002
#define PID_STG_CLASSID 0x00000003
#define PID_STG_STORAGETYPE 0x00000004
#define PID_STG_NAME 0x0000000A
#define PID_STG_SIZE 0x0000000C
#define PID_STG_ATTRIBUTES 0x0000000D
#define PID_STG_WRITETIME 0x0000000E
#define PID_STG_CREATETIME 0x0000000F
#define PID_STG_ACCESSTIME 0x00000010
#define PID_STG_CONTENTS 0x00000013

extern "C" const IID IID_IPropertyStorage;      // {00000138-0000-0000-C000-000000000046}
extern "C" const IID IID_IEnumSTATPROPSTG;      // {00000139-0000-0000-C000-000000000046}
extern "C" const IID IID_IPropertySetStorage;   // {0000013A-0000-0000-C000-000000000046}
extern "C" const IID IID_IEnumSTATPROPSETSTG;   // {0000013B-0000-0000-C000-000000000046}

// ---- Interfaces -------------------------------------------------------------

interface IEnumSTATPROPSTG : public IUnknown {
  STDMETHOD(Next)(ULONG celt, STATPROPSTG* rgelt, ULONG* pceltFetched) PURE;
  STDMETHOD(Skip)(ULONG celt) PURE;
  STDMETHOD(Reset)() PURE;
  STDMETHOD(Clone)(IEnumSTATPROPSTG** ppenum) PURE;
};
ARCWISE_DECLARE_IID(IEnumSTATPROPSTG, IID_IEnumSTATPROPSTG);

interface IEnumSTATPROPSETSTG : public IUnknown {
  STDMETHOD(Next)(ULONG celt, STATPROPSETSTG* rgelt, ULONG* pceltFetched) PURE;
  STDMETHOD(Skip)(ULONG celt) PURE;
  STDMETHOD(Reset)() PURE;
  STDMETHOD(Clone)(IEnumSTATPROPSETSTG** ppenum) PURE;
};
ARCWISE_DECLARE_IID(IEnumSTATPROPSETSTG, IID_IEnumSTATPROPSETSTG);

interface IPropertyStorage : public IUnknown {
  STDMETHOD(ReadMultiple)(ULONG cpspec, const PROPSPEC rgpspec[], PROPVARIANT rgpropvar[]) PURE;
  STDMETHOD(WriteMultiple)(ULONG cpspec, const PROPSPEC rgpspec[], const PROPVARIANT rgpropvar[],
                           PROPID propidNameFirst) PURE;
  STDMETHOD(DeleteMultiple)(ULONG cpspec, const PROPSPEC rgpspec[]) PURE;
  STDMETHOD(ReadPropertyNames)(ULONG cpropid, const PROPID rgpropid[], LPOLESTR rglpwstrName[]) PURE;
  STDMETHOD(WritePropertyNames)(ULONG cpropid, const PROPID rgpropid[],
                                const LPOLESTR rglpwstrName[]) PURE;
  STDMETHOD(DeletePropertyNames)(ULONG cpropid, const PROPID rgpropid[]) PURE;
  STDMETHOD(Commit)(DWORD grfCommitFlags) PURE;
  STDMETHOD(Revert)() PURE;
  STDMETHOD(Enum)(IEnumSTATPROPSTG** ppenum) PURE;
  STDMETHOD(SetTimes)(const FILETIME* pctime, const FILETIME* patime, const FILETIME* pmtime) PURE;
  STDMETHOD(SetClass)(REFCLSID clsid) PURE;
  STDMETHOD(Stat)(STATPROPSETSTG* pstatpsstg) PURE;
};
ARCWISE_DECLARE_IID(IPropertyStorage, IID_IPropertyStorage);

interface IPropertySetStorage : public IUnknown {
  STDMETHOD(Create)(REFFMTID rfmtid, const CLSID* pclsid, DWORD grfFlags, DWORD grfMode,
                    IPropertyStorage** ppprstg) PURE;
  STDMETHOD(Open)(REFFMTID rfmtid, DWORD grfMode, IPropertyStorage** ppprstg) PURE;
  STDMETHOD(Delete)(REFFMTID rfmtid) PURE;
  STDMETHOD(Enum)(IEnumSTATPROPSETSTG** ppenum) PURE;
};
ARCWISE_DECLARE_IID(IPropertySetStorage, IID_IPropertySetStorage);

// ---- Opening a file ---------------------------------------------------------
typedef DWORD STGFMT;
#define STGFMT_STORAGE 0
#define STGFMT_NATIVE 1
#define STGFMT_FILE 3
#define STGFMT_ANY 4
#define STGFMT_DOCFILE 5
#define STGFMT_DOCUMENT 0

typedef struct tagSTGOPTIONS {
  USHORT usVersion;
  USHORT reserved;
  ULONG ulSectorSize;
  const WCHAR* pwcsTemplateFile;
} STGOPTIONS;

// Opens a compound file for reading its property sets. Only riid
// IID_IPropertySetStorage (or IID_IUnknown) is served, and only read access
// (any write access mode gives STG_E_ACCESSDENIED); stgfmt may be
// STGFMT_ANY, STGFMT_STORAGE or STGFMT_DOCFILE (STG_E_INVALIDPARAMETER
// otherwise). A file that is not a compound file gives
// STG_E_FILEALREADYEXISTS, as Windows answers for a file that exists but is
// no storage object; this platform keeps no property sets for plain files. A
// missing file gives STG_E_FILENOTFOUND, a missing folder STG_E_PATHNOTFOUND,
// a compound file the reader rejects STG_E_DOCFILECORRUPT. The property-set
// streams are read into memory here, so the returned object holds no file
// open. Thread-safe.
STDAPI StgOpenStorageEx(const WCHAR* pwcsName, DWORD grfMode, STGFMT stgfmt, DWORD grfAttrs,
                        STGOPTIONS* pStgOptions, PSECURITY_DESCRIPTOR pSecurityDescriptor,
                        REFIID riid, void** ppObjectOpen);
