// The working folder the archive filter of this process writes to, found the
// way the filter's configuration finds it, so that a message about a full
// disk or a missing folder names the folder the user has to look at.
// Main thread, inside the COM apartment (reads the registry).
#pragma once

#include <string>

struct WorkingFolder {
  // The folder the filter uses, or the last one it tried when none is
  // usable; UTF-8 with '/' separators. Empty when not even the system's
  // temporary folder could be named.
  std::string path;
  // The TempPath setting when it is set but cannot be used (the filter then
  // falls back to the system's temporary folder); else empty.
  std::string unusableTempPath;
};

// TempPath under HKLM\SOFTWARE\Quillmark\Arcwise when it is a folder a file
// can be made in, else the system's temporary folder (GetTempPathW).
WorkingFolder FindWorkingFolder();
