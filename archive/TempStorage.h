// Temporary storage in the working folder: unique folders and file names,
// recursive emptying of a folder, and the not-content-indexed mark. Free
// functions without state or locks; any thread may call them. Whoever
// receives a created folder or name owns it on disk and deletes it.
// Paths are wide strings joined with backslashes.
#pragma once

#include "compat/Win32Compat.h"

// CreateTempFile, the name of a new file of the working folder, is the
// logger's (it names the log file with it) and comes with this header.
#include "diagnostics/TempFileName.h"

// A claim on one temporary item of the working folder (an extraction folder
// or a copy of a loaded stream): the file "<item>.lock" beside it, held open
// with a shared lock from Claim until Release or destruction. The lock goes
// with the process, also when it is killed, so a sweep tells the items of
// ended processes (lock file unlocked) from live ones, in this process or
// another (locked). One owner, one thread at a time; move-only.
class TempClaim {
 public:
  TempClaim() = default;
  ~TempClaim() { Release(); }
  TempClaim(const TempClaim&) = delete;
  TempClaim& operator=(const TempClaim&) = delete;
  TempClaim(TempClaim&& other) noexcept;
  TempClaim& operator=(TempClaim&& other) noexcept;

  // Creates (or takes over) and locks "<item>.lock" for an item whose name
  // the caller has reserved; false (error code in GetLastError) when it
  // cannot be made, locked, or was taken away by a sweep meanwhile.
  bool Claim(const WString& item);
  // Unlocks, closes and deletes the lock file. The item is the owner's to
  // delete first.
  void Release();
  bool Held() const { return m_file != INVALID_HANDLE_VALUE; }

 private:
  WString m_lockPath;
  HANDLE m_file = INVALID_HANDLE_VALUE;
};

// Removes the items of ended processes from folder (ending in a separator):
// each "aw*.TMP" folder and "qmk*.TMP" file whose lock file nobody holds, its
// content and its lock file. Items without a lock file, and locked ones, are
// left alone. Logs each removal at level 1; never fails its caller.
void SweepStaleTempItems(const WString& folder);

// Reserves a unique name in folder as the platform's temporary-name service
// makes one (the first three characters of prefix, hex digits, ".TMP"; the
// service creates an empty file of that name) and claims it. On failure
// *error names the step that failed, the claim is released and no file is
// left.
bool ReserveClaimedTempName(LPCWSTR folder, LPCWSTR prefix, WCHAR (&name)[MAX_PATH], TempClaim& claim,
                            LPCWSTR* error);

// Makes a new, empty folder in tempPath named by the platform's temporary-name
// service (the first three characters of prefix, hex digits, ".TMP"), marked
// not content indexed, claimed by claim (taken before the folder exists), and
// stores its full path in dir. On failure logs one level-1 line, leaves dir
// unchanged, claim released, and returns false.
bool CreateTempDirectory(LPCWSTR tempPath, LPCWSTR prefix, WString& dir, TempClaim& claim);

// Deletes everything inside dir (a folder path without trailing separator):
// sub-folders depth-first, then the files of each level. Goes on after every
// failure and logs each file it cannot delete; true only when everything went.
// A folder that cannot be searched counts as empty. dir itself stays.
bool DeleteDirectoryContent(const WString& dir);

// Adds FILE_ATTRIBUTE_NOT_CONTENT_INDEXED to path's attributes; does nothing
// when it is set already or the attributes cannot be read. Never fails visibly.
void MarkNotContentIndexed(LPCWSTR path);
