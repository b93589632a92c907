// Locale identifiers: the machine's default locale as a Windows LCID, taken
// from the process environment (LC_ALL, then LC_CTYPE, then LANG) through a
// small table of language_TERRITORY names. Stateless; any thread may call it.
#pragma once

#include "win/types.h"

#define LANG_NEUTRAL 0x00
#define SUBLANG_DEFAULT 0x01
#define MAKELANGID(p, s) ((WORD)((((WORD)(s)) << 10) | (WORD)(p)))
#define PRIMARYLANGID(lgid) ((WORD)(lgid) & 0x3ff)
#define SUBLANGID(lgid) ((WORD)(lgid) >> 10)
#define SORT_DEFAULT 0x0
#define MAKELCID(lgid, srtid) ((DWORD)((((DWORD)((WORD)(srtid))) << 16) | ((DWORD)((WORD)(lgid)))))
#define LANGIDFROMLCID(lcid) ((WORD)(lcid))
#define LOCALE_SYSTEM_DEFAULT 0x0800
#define LOCALE_USER_DEFAULT 0x0400
#define LOCALE_NEUTRAL 0x0000

extern "C" {
// The LCID of the environment's locale: "de_DE.UTF-8" gives 0x0407,
// "fr_FR" 0x040C; a known language with an unknown territory gives that
// language's main locale ("de_LU" -> 0x0407); "C", "POSIX", an empty or
// unknown name gives 0x0409 (en-US), the default of a Windows installation.
LCID GetSystemDefaultLCID();
}  // extern "C"
