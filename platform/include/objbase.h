// The COM runtime of the platform: apartments, the in-process class table and
// module loader (CoCreateInstance), task memory and CLSID text. Umbrella for
// windows.h, unknwn.h and objidl.h as on Windows.
//
// State is process-wide and lives in the shared platform library, so a host,
// the module and every nested filter it loads see the same classes and
// modules. All functions are thread-safe. Class lookup follows Windows:
// classes registered in this process (CoRegisterClassObject) first, then
// HKEY_CLASSES_ROOT\CLSID\{clsid}\InprocServer32, whose default value names a
// shared object that is dlopen'ed once per path and asked for
// DllGetClassObject. There is no marshaling: every object is used directly
// from whichever apartment asks for it, whatever its ThreadingModel says.
#pragma once

#include "windows.h"
#include "unknwn.h"
#include "objidl.h"

// ---- Class contexts, apartments, registration flags -------------------------
typedef enum tagCLSCTX {
  CLSCTX_INPROC_SERVER = 0x1,
  CLSCTX_INPROC_HANDLER = 0x2,
  CLSCTX_LOCAL_SERVER = 0x4,
  CLSCTX_INPROC_SERVER16 = 0x8,
  CLSCTX_REMOTE_SERVER = 0x10,
  CLSCTX_INPROC_HANDLER16 = 0x20,
  CLSCTX_NO_CODE_DOWNLOAD = 0x400,
  CLSCTX_NO_CUSTOM_MARSHAL = 0x1000,
  CLSCTX_ENABLE_CODE_DOWNLOAD = 0x2000,
  CLSCTX_NO_FAILURE_LOG = 0x4000,
  CLSCTX_DISABLE_AAA = 0x8000,
  CLSCTX_ENABLE_AAA = 0x10000,
  CLSCTX_FROM_DEFAULT_CONTEXT = 0x20000,
  CLSCTX_ACTIVATE_32_BIT_SERVER = 0x40000,
  CLSCTX_ACTIVATE_64_BIT_SERVER = 0x80000
} CLSCTX;
#define CLSCTX_INPROC (CLSCTX_INPROC_SERVER | CLSCTX_INPROC_HANDLER)
#define CLSCTX_ALL (CLSCTX_INPROC_SERVER | CLSCTX_INPROC_HANDLER | CLSCTX_LOCAL_SERVER | CLSCTX_REMOTE_SERVER)
#define CLSCTX_SERVER (CLSCTX_INPROC_SERVER | CLSCTX_LOCAL_SERVER | CLSCTX_REMOTE_SERVER)

typedef enum tagCOINIT {
  COINIT_APARTMENTTHREADED = 0x2,
  COINIT_MULTITHREADED = 0x0,
  COINIT_DISABLE_OLE1DDE = 0x4,
  COINIT_SPEED_OVER_MEMORY = 0x8
} COINIT;

typedef enum tagREGCLS {
  REGCLS_SINGLEUSE = 0,
  REGCLS_MULTIPLEUSE = 1,
  REGCLS_MULTI_SEPARATE = 2,
  REGCLS_SUSPENDED = 4,
  REGCLS_SURROGATE = 8
} REGCLS;

// Only passed through; remote activation does not exist here.
typedef struct _COSERVERINFO COSERVERINFO;

// The signatures an in-process server exports (extern "C", default visibility).
typedef HRESULT(STDAPICALLTYPE* LPFNGETCLASSOBJECT)(REFCLSID, REFIID, LPVOID*);
typedef HRESULT(STDAPICALLTYPE* LPFNCANUNLOADNOW)();

// ---- Apartments -------------------------------------------------------------

extern "C" {
// Enters the calling thread into a single-threaded apartment (COINIT_
// APARTMENTTHREADED) or the process's multithreaded apartment. S_OK the first
// time, S_FALSE when the thread is already in that mode (each success needs a
// CoUninitialize), RPC_E_CHANGED_MODE when it is in the other mode.
HRESULT CoInitializeEx(LPVOID pvReserved, DWORD dwCoInit);
// CoInitializeEx(NULL, COINIT_APARTMENTTHREADED).
HRESULT CoInitialize(LPVOID pvReserved);
// Leaves one level of the thread's apartment. When the apartment ends, the
// classes it registered are revoked; when the last apartment of the process
// ends, modules whose DllCanUnloadNow says S_OK are unloaded.
void CoUninitialize();

// ---- Classes and objects ----------------------------------------------------

// Threads with no apartment get CO_E_NOTINITIALIZED unless the process's
// multithreaded apartment exists (they are then implicitly in it, as on
// Windows). Only the in-process server context is served: a context without
// CLSCTX_INPROC_SERVER gives REGDB_E_CLASSNOTREG. A registered shared object
// that does not load gives HRESULT_FROM_WIN32(ERROR_MOD_NOT_FOUND) (the
// loader's message goes to the debug output); one without DllGetClassObject
// gives HRESULT_FROM_WIN32(ERROR_PROC_NOT_FOUND), as Windows reports it.
HRESULT CoGetClassObject(REFCLSID rclsid, DWORD dwClsContext, COSERVERINFO* pServerInfo,
                         REFIID riid, LPVOID* ppv);
HRESULT CoCreateInstance(REFCLSID rclsid, LPUNKNOWN pUnkOuter, DWORD dwClsContext, REFIID riid,
                         LPVOID* ppv);
// Serves rclsid from pUnk (which is AddRef'ed) until revoked or until the
// registering apartment ends. Registrations are seen by every apartment.
HRESULT CoRegisterClassObject(REFCLSID rclsid, LPUNKNOWN pUnk, DWORD dwClsContext, DWORD flags,
                              LPDWORD lpdwRegister);
// CO_E_OBJNOTREG for an unknown cookie.
HRESULT CoRevokeClassObject(DWORD dwRegister);
// Asks every loaded module's DllCanUnloadNow and unloads those that answer
// S_OK. Unloading is immediate (Windows may delay it for free-threaded
// modules; the delay argument is accepted and not waited for).
void CoFreeUnusedLibraries();
void CoFreeUnusedLibrariesEx(DWORD dwUnloadDelay, DWORD dwReserved);

// ---- Task memory ------------------------------------------------------------

// Memory handed across interfaces (names in STATSTG, strings from
// StringFromCLSID). CoTaskMemRealloc(p, 0) frees p and returns NULL.
LPVOID CoTaskMemAlloc(SIZE_T cb);
LPVOID CoTaskMemRealloc(LPVOID pv, SIZE_T cb);
void CoTaskMemFree(LPVOID pv);

// ---- CLSID text -------------------------------------------------------------

// Braced GUID text ("{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}", either case);
// as on Windows, text that is not a GUID is tried as a ProgID. Anything else
// gives CO_E_CLASSSTRING with *pclsid set to CLSID_NULL. NULL text gives
// CLSID_NULL and S_OK.
HRESULT CLSIDFromString(LPCOLESTR lpsz, LPCLSID pclsid);
HRESULT IIDFromString(LPCOLESTR lpsz, LPIID lpiid);
// Upper-case braced text (38 characters) in *lplpsz, from CoTaskMemAlloc.
HRESULT StringFromCLSID(REFCLSID rclsid, LPOLESTR* lplpsz);
HRESULT StringFromIID(REFIID rclsid, LPOLESTR* lplpsz);
// HKCR\<ProgID>\CLSID default value; CO_E_CLASSSTRING when absent or not a GUID.
HRESULT CLSIDFromProgID(LPCOLESTR lpszProgID, LPCLSID lpclsid);
// HKCR\CLSID\{clsid}\ProgID default value, from CoTaskMemAlloc;
// REGDB_E_CLASSNOTREG when absent.
HRESULT ProgIDFromCLSID(REFCLSID clsid, LPOLESTR* lplpszProgID);
}  // extern "C"
