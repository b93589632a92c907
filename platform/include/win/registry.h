// The registry API on a SQLite database, one file shared by every process
// that names it (ARCWISE_REGISTRY; else a per-user default created on first
// use). Keys and value names compare case-insensitively and keep their case.
// HKEY_CLASSES_ROOT is a view of HKEY_LOCAL_MACHINE\SOFTWARE\Classes.
// A process opened read-only (the file not writable, or
// ARCWISE_REGISTRY_READONLY=1) reads and gets ERROR_ACCESS_DENIED on writes.
// Every function is thread-safe; an HKEY may be used from any thread but is
// owned by whoever opened it, who closes it with RegCloseKey.
#pragma once

#include "win/types.h"

typedef struct HKEY__* HKEY;
typedef HKEY* PHKEY;
typedef LONG LSTATUS;

#define HKEY_CLASSES_ROOT ((HKEY)(ULONG_PTR)((LONG)0x80000000))
#define HKEY_CURRENT_USER ((HKEY)(ULONG_PTR)((LONG)0x80000001))
#define HKEY_LOCAL_MACHINE ((HKEY)(ULONG_PTR)((LONG)0x80000002))
#define HKEY_USERS ((HKEY)(ULONG_PTR)((LONG)0x80000003))

#define REG_NONE 0
#define REG_SZ 1
#define REG_EXPAND_SZ 2
#define REG_BINARY 3
#define REG_DWORD 4
#define REG_DWORD_LITTLE_ENDIAN 4
#define REG_DWORD_BIG_ENDIAN 5
#define REG_LINK 6
#define REG_MULTI_SZ 7
#define REG_QWORD 11
#define REG_QWORD_LITTLE_ENDIAN 11

#define KEY_QUERY_VALUE 0x0001
#define KEY_SET_VALUE 0x0002
#define KEY_CREATE_SUB_KEY 0x0004
#define KEY_ENUMERATE_SUB_KEYS 0x0008
#define KEY_NOTIFY 0x0010
#define KEY_CREATE_LINK 0x0020
#define KEY_WOW64_64KEY 0x0100
#define KEY_WOW64_32KEY 0x0200
#define DELETE 0x00010000L
#define READ_CONTROL 0x00020000L
#define STANDARD_RIGHTS_READ READ_CONTROL
#define STANDARD_RIGHTS_WRITE READ_CONTROL
#define STANDARD_RIGHTS_ALL 0x001F0000L
#define SYNCHRONIZE 0x00100000L
#define KEY_READ (STANDARD_RIGHTS_READ | KEY_QUERY_VALUE | KEY_ENUMERATE_SUB_KEYS | KEY_NOTIFY)
#define KEY_WRITE (STANDARD_RIGHTS_WRITE | KEY_SET_VALUE | KEY_CREATE_SUB_KEY)
#define KEY_EXECUTE KEY_READ
// As in the SDK: every right of a key, but not SYNCHRONIZE (0xF003F).
#define KEY_ALL_ACCESS                                                                     \
  ((STANDARD_RIGHTS_ALL | KEY_QUERY_VALUE | KEY_SET_VALUE | KEY_CREATE_SUB_KEY |           \
    KEY_ENUMERATE_SUB_KEYS | KEY_NOTIFY | KEY_CREATE_LINK) &                                \
   ~SYNCHRONIZE)

#define REG_OPTION_RESERVED 0x00000000L
#define REG_OPTION_NON_VOLATILE 0x00000000L
#define REG_OPTION_VOLATILE 0x00000001L
#define REG_OPTION_OPEN_LINK 0x00000008L

#define REG_CREATED_NEW_KEY 0x00000001L
#define REG_OPENED_EXISTING_KEY 0x00000002L

// RegGetValueW: which types the caller takes, and how.
#define RRF_RT_REG_NONE 0x00000001
#define RRF_RT_REG_SZ 0x00000002
#define RRF_RT_REG_EXPAND_SZ 0x00000004
#define RRF_RT_REG_BINARY 0x00000008
#define RRF_RT_REG_DWORD 0x00000010
#define RRF_RT_REG_MULTI_SZ 0x00000020
#define RRF_RT_REG_QWORD 0x00000040
#define RRF_RT_DWORD (RRF_RT_REG_BINARY | RRF_RT_REG_DWORD)
#define RRF_RT_QWORD (RRF_RT_REG_BINARY | RRF_RT_REG_QWORD)
#define RRF_RT_ANY 0x0000ffff
#define RRF_SUBKEY_WOW6464KEY 0x00010000
#define RRF_SUBKEY_WOW6432KEY 0x00020000
#define RRF_WOW64_MASK 0x00030000
#define RRF_NOEXPAND 0x10000000
#define RRF_ZEROONFAILURE 0x20000000

extern "C" {
LSTATUS RegOpenKeyExW(HKEY hKey, LPCWSTR lpSubKey, DWORD ulOptions, REGSAM samDesired,
                      PHKEY phkResult);
LSTATUS RegCreateKeyExW(HKEY hKey, LPCWSTR lpSubKey, DWORD Reserved, LPWSTR lpClass,
                        DWORD dwOptions, REGSAM samDesired,
                        const LPSECURITY_ATTRIBUTES lpSecurityAttributes, PHKEY phkResult,
                        LPDWORD lpdwDisposition);
LSTATUS RegCloseKey(HKEY hKey);
LSTATUS RegQueryValueExW(HKEY hKey, LPCWSTR lpValueName, LPDWORD lpReserved, LPDWORD lpType,
                         LPBYTE lpData, LPDWORD lpcbData);
// One value in one call, as Windows' RegGetValueW: from hkey itself or from
// its subkey lpSubKey (opened for the call and closed again), restricted to
// the types the RRF_RT_* bits of dwFlags name. Strings come back with their
// terminator (two after a REG_MULTI_SZ) also when stored without one, and
// *pcbData counts it. REG_EXPAND_SZ text is expanded from the environment
// and reported as REG_SZ unless RRF_NOEXPAND is given; asking for
// RRF_RT_REG_EXPAND_SZ without RRF_NOEXPAND (other than through
// RRF_RT_ANY) is ERROR_INVALID_PARAMETER, as are no type bits at all and
// pvData without pcbData. A value of another type is ERROR_UNSUPPORTED_TYPE;
// a REG_DWORD or REG_QWORD of the wrong size, or REG_BINARY taken only as
// RRF_RT_DWORD / RRF_RT_QWORD but not of 4 / 8 bytes, is
// ERROR_DATATYPE_MISMATCH. A short buffer gives ERROR_MORE_DATA with the
// size needed; null pvData gives the size alone. ERROR_FILE_NOT_FOUND for a
// missing key or value. RRF_ZEROONFAILURE clears the buffer on any failure.
LSTATUS RegGetValueW(HKEY hkey, LPCWSTR lpSubKey, LPCWSTR lpValue, DWORD dwFlags, LPDWORD pdwType,
                     PVOID pvData, LPDWORD pcbData);
LSTATUS RegSetValueExW(HKEY hKey, LPCWSTR lpValueName, DWORD Reserved, DWORD dwType,
                       const BYTE* lpData, DWORD cbData);
LSTATUS RegDeleteValueW(HKEY hKey, LPCWSTR lpValueName);
// Deletes a key without subkeys; ERROR_ACCESS_DENIED when it has any.
LSTATUS RegDeleteKeyW(HKEY hKey, LPCWSTR lpSubKey);
LSTATUS RegEnumKeyExW(HKEY hKey, DWORD dwIndex, LPWSTR lpName, LPDWORD lpcchName,
                      LPDWORD lpReserved, LPWSTR lpClass, LPDWORD lpcchClass,
                      PFILETIME lpftLastWriteTime);
LSTATUS RegEnumValueW(HKEY hKey, DWORD dwIndex, LPWSTR lpValueName, LPDWORD lpcchValueName,
                      LPDWORD lpReserved, LPDWORD lpType, LPBYTE lpData, LPDWORD lpcbData);
LSTATUS RegQueryInfoKeyW(HKEY hKey, LPWSTR lpClass, LPDWORD lpcchClass, LPDWORD lpReserved,
                         LPDWORD lpcSubKeys, LPDWORD lpcbMaxSubKeyLen, LPDWORD lpcbMaxClassLen,
                         LPDWORD lpcValues, LPDWORD lpcbMaxValueNameLen,
                         LPDWORD lpcbMaxValueLen, LPDWORD lpcbSecurityDescriptor,
                         PFILETIME lpftLastWriteTime);
}  // extern "C"

// ---- Platform extras (no Win32 counterpart) ---------------------------------

// Path of the database file this process uses now (ARCWISE_REGISTRY or the
// per-user default).
WString ArcwiseRegistryPath();

// Runs `body` inside one write transaction of the registry database: every
// registry write the calling thread makes inside it commits together, or none
// does when body returns false. Returns ERROR_SUCCESS, ERROR_CANCELLED when
// body returned false, or the error that stopped it (ERROR_ACCESS_DENIED on a
// read-only database). Nested calls join the outer transaction; a nested body
// returning false undoes only its own writes. Other threads' registry calls
// on the same database wait until the transaction ends.
LSTATUS ArcwiseRegistryTransaction(bool (*body)(void* context), void* context);

extern "C" {
// The calling thread's last registry failure that came from the database
// file itself rather than from the keys asked for: ERROR_BUSY (another
// process held the database past the busy timeout), ERROR_REGISTRY_CORRUPT
// (the file is damaged or no database), ERROR_REGISTRY_IO_FAILED,
// ERROR_DISK_FULL, ERROR_CANTOPEN, ERROR_NOT_ENOUGH_MEMORY. ERROR_SUCCESS
// when there was none since the thread started or last cleared it. Like
// GetLastError it survives later successful calls, so a caller that needs
// to know whether one operation met such a failure clears it first.
LSTATUS ArcwiseRegistryLastError(void);
// SQLite's own reason for that failure ("database disk image is malformed",
// "file is not a database", "database is locked"); empty when there is
// none. Valid until the thread's next registry call.
LPCWSTR ArcwiseRegistryLastErrorText(void);
void ArcwiseRegistryClearLastError(void);
}  // extern "C"
