// The parts of an Office Open XML or OpenDocument package (a ZIP archive
// held in memory) as the office filter reads them: the list of part names,
// and one part at a time parsed with libxml2's streaming reader straight
// from the inflater, so no part is ever held whole.
//
// Bounds, the same for every package and checked on the sizes the central
// directory declares (minizip never inflates past them): a part over
// kMaxPartBytes, or over 1 MiB and more than kMaxPartRatio times its
// compressed size, is not read; once the parts read add up to
// kMaxPackageBytes, or kMaxPartsRead parts were read, no more are. A
// package of more than kMaxPackageEntries entries is refused.
//
// Owns its minizip handle; borrows the package's bytes, which must outlive
// it. One thread at a time.
#pragma once

#include <libxml/xmlreader.h>

#include <functional>
#include <map>
#include <string>
#include <vector>

#include "compat/Win32Compat.h"

constexpr ULONGLONG kMaxPartBytes = 256ull * 1024 * 1024;
constexpr ULONGLONG kMaxPartRatio = 100;
constexpr ULONGLONG kMaxPackageBytes = 1024ull * 1024 * 1024;
constexpr size_t kMaxPartsRead = 10000;
constexpr size_t kMaxPackageEntries = 100000;

// The package's bytes and minizip's position in them.
struct PackageMemory {
  const BYTE* data = nullptr;
  size_t size = 0;
  size_t position = 0;
};

class CPackageReader {
 public:
  CPackageReader() = default;
  ~CPackageReader();
  CPackageReader(const CPackageReader&) = delete;
  CPackageReader& operator=(const CPackageReader&) = delete;

  // False when the bytes are no ZIP archive minizip can open, or one of too
  // many entries.
  bool Open(const BYTE* data, size_t size);
  // Entry names in central-directory order, as stored ('/' separators).
  const std::vector<std::string>& PartNames() const { return m_names; }
  bool HasPart(const std::string& name) const;

  // Parses the part with a streaming reader and hands the reader to
  // `walk`. False when the part is missing, over a bound, or cannot be
  // opened; a part that breaks off (damaged, or cut by a bound) is walked as
  // far as it goes, and the walk ends at the reader's error.
  bool ReadPart(const std::string& name, const std::function<void(xmlTextReaderPtr)>& walk);

 private:
  // Where each entry's central record is, so that reading a part costs no
  // walk of the central directory (a package may list 100,000 entries).
  struct EntryPosition {
    ULONGLONG directoryOffset;
    ULONGLONG entryNumber;
  };
  PackageMemory m_memory;
  void* m_zip = nullptr;  // unzFile
  std::vector<std::string> m_names;
  std::map<std::string, EntryPosition> m_positions;  // the first entry of each name
  ULONGLONG m_bytesRead = 0;
  size_t m_partsRead = 0;
};
