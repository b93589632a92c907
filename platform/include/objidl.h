// Persistence and stream interfaces in their published method order:
// IPersist, IPersistFile, IPersistStream, IPersistStorage, ISequentialStream,
// IStream, with STATSTG and the STGM_/STGTY_/STATFLAG_/STREAM_SEEK_/LOCK_
// constants. IStorage is only named here (IPersistStorage takes one); the
// structured-storage code owns its declaration. Declarations only: each
// object states its own thread rules; the platform's streams allow one
// thread at a time per stream object.
#pragma once

#include "unknwn.h"

extern "C" const IID IID_IPersist;
extern "C" const IID IID_IPersistFile;
extern "C" const IID IID_IPersistStream;
extern "C" const IID IID_IPersistStorage;
extern "C" const IID IID_ISequentialStream;
extern "C" const IID IID_IStream;

// ---- Storage modes ----------------------------------------------------------
#define STGM_DIRECT 0x00000000L
#define STGM_TRANSACTED 0x00010000L
#define STGM_SIMPLE 0x08000000L
#define STGM_READ 0x00000000L
#define STGM_WRITE 0x00000001L
#define STGM_READWRITE 0x00000002L
#define STGM_SHARE_DENY_NONE 0x00000040L
#define STGM_SHARE_DENY_READ 0x00000030L
#define STGM_SHARE_DENY_WRITE 0x00000020L
#define STGM_SHARE_EXCLUSIVE 0x00000010L
#define STGM_SHARE_COMPAT 0x00000000L
#define STGM_PRIORITY 0x00040000L
#define STGM_DELETEONRELEASE 0x04000000L
#define STGM_NOSCRATCH 0x00100000L
#define STGM_CREATE 0x00001000L
#define STGM_CONVERT 0x00020000L
#define STGM_FAILIFTHERE 0x00000000L
#define STGM_NOSNAPSHOT 0x00200000L
#define STGM_DIRECT_SWMR 0x00400000L

typedef DWORD STGC;
#define STGC_DEFAULT 0
#define STGC_OVERWRITE 1
#define STGC_ONLYIFCURRENT 2
#define STGC_DANGEROUSLYCOMMITMERELYTODISKCACHE 4
#define STGC_CONSOLIDATE 8

typedef enum tagSTGTY {
  STGTY_STORAGE = 1,
  STGTY_STREAM = 2,
  STGTY_LOCKBYTES = 3,
  STGTY_PROPERTY = 4
} STGTY;

typedef enum tagSTREAM_SEEK {
  STREAM_SEEK_SET = 0,
  STREAM_SEEK_CUR = 1,
  STREAM_SEEK_END = 2
} STREAM_SEEK;

// glibc's <fcntl.h> (GNU mode) takes LOCK_WRITE for an obsolete flock flag;
// platform sources that include it before this header get the COM meaning.
#ifdef LOCK_WRITE
#undef LOCK_WRITE
#endif
typedef enum tagLOCKTYPE {
  LOCK_WRITE = 1,
  LOCK_EXCLUSIVE = 2,
  LOCK_ONLYONCE = 4
} LOCKTYPE;

typedef enum tagSTATFLAG {
  STATFLAG_DEFAULT = 0,
  STATFLAG_NONAME = 1,
  STATFLAG_NOOPEN = 2
} STATFLAG;

// pwcsName, when present, is allocated with CoTaskMemAlloc and owned by the
// caller, who frees it with CoTaskMemFree.
typedef struct tagSTATSTG {
  LPOLESTR pwcsName;
  DWORD type;
  ULARGE_INTEGER cbSize;
  FILETIME mtime;
  FILETIME ctime;
  FILETIME atime;
  DWORD grfMode;
  DWORD grfLocksSupported;
  CLSID clsid;
  DWORD grfStateBits;
  DWORD reserved;
} STATSTG;

// Declared by the structured-storage code; only passed by pointer here.
interface IStorage;
typedef IStorage* LPSTORAGE;

// ---- Interfaces -------------------------------------------------------------

interface IPersist : public IUnknown {
  STDMETHOD(GetClassID)(CLSID* pClassID) PURE;
};
ARCWISE_DECLARE_IID(IPersist, IID_IPersist);

interface IPersistFile : public IPersist {
  STDMETHOD(IsDirty)() PURE;
  STDMETHOD(Load)(LPCOLESTR pszFileName, DWORD dwMode) PURE;
  STDMETHOD(Save)(LPCOLESTR pszFileName, BOOL fRemember) PURE;
  STDMETHOD(SaveCompleted)(LPCOLESTR pszFileName) PURE;
  STDMETHOD(GetCurFile)(LPOLESTR* ppszFileName) PURE;
};
ARCWISE_DECLARE_IID(IPersistFile, IID_IPersistFile);

interface ISequentialStream : public IUnknown {
  STDMETHOD(Read)(void* pv, ULONG cb, ULONG* pcbRead) PURE;
  STDMETHOD(Write)(const void* pv, ULONG cb, ULONG* pcbWritten) PURE;
};
ARCWISE_DECLARE_IID(ISequentialStream, IID_ISequentialStream);

interface IStream : public ISequentialStream {
  STDMETHOD(Seek)(LARGE_INTEGER dlibMove, DWORD dwOrigin, ULARGE_INTEGER* plibNewPosition) PURE;
  STDMETHOD(SetSize)(ULARGE_INTEGER libNewSize) PURE;
  STDMETHOD(CopyTo)(IStream* pstm, ULARGE_INTEGER cb, ULARGE_INTEGER* pcbRead,
                    ULARGE_INTEGER* pcbWritten) PURE;
  STDMETHOD(Commit)(DWORD grfCommitFlags) PURE;
  STDMETHOD(Revert)() PURE;
  STDMETHOD(LockRegion)(ULARGE_INTEGER libOffset, ULARGE_INTEGER cb, DWORD dwLockType) PURE;
  STDMETHOD(UnlockRegion)(ULARGE_INTEGER libOffset, ULARGE_INTEGER cb, DWORD dwLockType) PURE;
  STDMETHOD(Stat)(STATSTG* pstatstg, DWORD grfStatFlag) PURE;
  STDMETHOD(Clone)(IStream** ppstm) PURE;
};
typedef IStream* LPSTREAM;
ARCWISE_DECLARE_IID(IStream, IID_IStream);

interface IPersistStream : public IPersist {
  STDMETHOD(IsDirty)() PURE;
  STDMETHOD(Load)(IStream* pStm) PURE;
  STDMETHOD(Save)(IStream* pStm, BOOL fClearDirty) PURE;
  STDMETHOD(GetSizeMax)(ULARGE_INTEGER* pcbSize) PURE;
};
ARCWISE_DECLARE_IID(IPersistStream, IID_IPersistStream);

interface IPersistStorage : public IPersist {
  STDMETHOD(IsDirty)() PURE;
  STDMETHOD(InitNew)(IStorage* pStg) PURE;
  STDMETHOD(Load)(IStorage* pStg) PURE;
  STDMETHOD(Save)(IStorage* pStgSave, BOOL fSameAsLoad) PURE;
  STDMETHOD(SaveCompleted)(IStorage* pStgNew) PURE;
  STDMETHOD(HandsOffStorage)() PURE;
};
ARCWISE_DECLARE_IID(IPersistStorage, IID_IPersistStorage);
