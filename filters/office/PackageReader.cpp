// Reading package parts from memory with minizip and libxml2.
#include "PackageReader.h"

#include <minizip/unzip.h>

#include <algorithm>
#include <climits>
#include <cstring>
#include <memory>
#include <mutex>

namespace {

// minizip's file functions over a block of memory: the "file name" it is
// handed is the block itself.
voidpf OpenMemory(voidpf, const void* filename, int) { return const_cast<void*>(filename); }

uLong ReadMemory(voidpf, voidpf stream, void* buffer, uLong size) {
  auto* memory = static_cast<PackageMemory*>(stream);
  const size_t n = std::min<size_t>(size, memory->size - memory->position);
  std::memcpy(buffer, memory->data + memory->position, n);
  memory->position += n;
  return uLong(n);
}

uLong WriteMemory(voidpf, voidpf, const void*, uLong) { return 0; }

ZPOS64_T TellMemory(voidpf, voidpf stream) { return static_cast<PackageMemory*>(stream)->position; }

long SeekMemory(voidpf, voidpf stream, ZPOS64_T offset, int origin) {
  auto* memory = static_cast<PackageMemory*>(stream);
  ZPOS64_T base = 0;
  if (origin == ZLIB_FILEFUNC_SEEK_CUR) base = memory->position;
  if (origin == ZLIB_FILEFUNC_SEEK_END) base = memory->size;
  if (offset > memory->size - base) return -1;
  memory->position = size_t(base + offset);
  return 0;
}

int CloseMemory(voidpf, voidpf) { return 0; }
int ErrorMemory(voidpf, voidpf) { return 0; }

unzFile AsUnz(void* handle) { return static_cast<unzFile>(handle); }

// The streaming reader's input: the open part, inflated as it is asked for.
int ReadPartBytes(void* context, char* buffer, int length) {
  const int n = unzReadCurrentFile(static_cast<unzFile>(context), buffer, unsigned(std::max(length, 0)));
  return n < 0 ? -1 : n;
}

int ClosePartBytes(void*) { return 0; }

// libxml2 reports every error of a damaged part; the filter keeps what the
// part gave up to there and has nothing to say about the rest.
void IgnoreXmlError(void*, const char*, xmlParserSeverities, xmlTextReaderLocatorPtr) {}

}  // namespace

CPackageReader::~CPackageReader() {
  if (m_zip) unzClose(AsUnz(m_zip));
}

bool CPackageReader::Open(const BYTE* data, size_t size) {
  static std::once_flag initialized;
  std::call_once(initialized, [] { xmlInitParser(); });
  m_memory = PackageMemory{data, size, 0};
  zlib_filefunc64_def functions = {OpenMemory, ReadMemory, WriteMemory, TellMemory,
                                   SeekMemory, CloseMemory, ErrorMemory, nullptr};
  m_zip = unzOpen2_64(&m_memory, &functions);
  if (!m_zip) return false;
  unz_global_info64 global = {};
  if (unzGetGlobalInfo64(AsUnz(m_zip), &global) != UNZ_OK || global.number_entry > kMaxPackageEntries) return false;
  for (int status = unzGoToFirstFile(AsUnz(m_zip)); status == UNZ_OK; status = unzGoToNextFile(AsUnz(m_zip))) {
    char name[1024];
    unz_file_info64 info = {};
    if (unzGetCurrentFileInfo64(AsUnz(m_zip), &info, name, sizeof(name), nullptr, 0, nullptr, 0) != UNZ_OK) break;
    if (info.size_filename >= sizeof(name)) continue;  // no part of a package has such a name
    unz64_file_pos position = {};
    if (unzGetFilePos64(AsUnz(m_zip), &position) != UNZ_OK) break;
    m_names.emplace_back(name, info.size_filename);
    m_positions.emplace(m_names.back(), EntryPosition{position.pos_in_zip_directory, position.num_of_file});
  }
  return true;
}

bool CPackageReader::HasPart(const std::string& name) const { return m_positions.count(name) != 0; }

bool CPackageReader::ReadPart(const std::string& name, const std::function<void(xmlTextReaderPtr)>& walk) {
  if (!m_zip || m_partsRead >= kMaxPartsRead) return false;
  // Names in a package are case-sensitive, as its producers write them.
  const auto found = m_positions.find(name);
  if (found == m_positions.end()) return false;
  const unz64_file_pos position = {found->second.directoryOffset, found->second.entryNumber};
  if (unzGoToFilePos64(AsUnz(m_zip), &position) != UNZ_OK) return false;
  unz_file_info64 info = {};
  if (unzGetCurrentFileInfo64(AsUnz(m_zip), &info, nullptr, 0, nullptr, 0, nullptr, 0) != UNZ_OK) return false;
  const ULONGLONG size = info.uncompressed_size;
  if (size > kMaxPartBytes || size > kMaxPackageBytes - m_bytesRead) return false;
  if (size > 1024 * 1024 && (info.compressed_size == 0 || (size - 1) / info.compressed_size >= kMaxPartRatio))
    return false;
  if (unzOpenCurrentFile(AsUnz(m_zip)) != UNZ_OK) return false;
  m_bytesRead += size;
  ++m_partsRead;
  // Closed however the walk ends, an exception included.
  struct CurrentPart {
    unzFile zip;
    ~CurrentPart() { unzCloseCurrentFile(zip); }
  } part{AsUnz(m_zip)};
  // No network, no external DTD, no entity substitution: a part names
  // nothing outside the package, and an entity bomb stays unexpanded.
  std::unique_ptr<xmlTextReader, void (*)(xmlTextReaderPtr)> reader(
      xmlReaderForIO(ReadPartBytes, ClosePartBytes, m_zip, nullptr, nullptr,
                     XML_PARSE_NONET | XML_PARSE_NOERROR | XML_PARSE_NOWARNING),
      xmlFreeTextReader);
  if (!reader) return false;
  xmlTextReaderSetErrorHandler(reader.get(), IgnoreXmlError, nullptr);
  walk(reader.get());
  return true;
}
