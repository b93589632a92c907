// Buffered archive reading over the platform's CreateFileW/ReadFile/
// SetFilePointerEx/CloseHandle for minizip (see ZipFileFunctions.h).
#include "archive/ZipFileFunctions.h"

#include "compat/Win32Compat.h"

#include <cstring>
#include <new>

namespace {

constexpr DWORD kWindowSize = 64 * 1024;

// Bytes read from one place of the archive.
struct Window {
  ULONGLONG start = 0;
  DWORD length = 0;
  BYTE bytes[kWindowSize];
};

// One open archive file: the handle, the logical position minizip sees, the
// position of the handle itself, and two windows of bytes read. minizip
// goes back and forth between the central directory at the end and each
// entry's header and data near the start; with one window each step would
// read 64 KiB afresh, with two each place keeps its own.
struct ArchiveStream {
  HANDLE file = INVALID_HANDLE_VALUE;
  ULONGLONG position = 0;
  ULONGLONG filePosition = 0;
  // Where a short read found the end of the file. minizip walks a damaged
  // header's extra field byte by byte and goes on after every failed read,
  // so a few bytes claiming a 64 KiB field past the end would otherwise cost
  // tens of thousands of system calls per entry.
  ULONGLONG endOfFile = ~0ULL;
  bool failed = false;
  int lastUsed = 0;  // the window the last read came from; the other is refilled
  Window windows[2];
};

bool PlaceHandle(ArchiveStream* stream, ULONGLONG offset) {
  if (stream->filePosition == offset) return true;
  LARGE_INTEGER distance;
  distance.QuadPart = static_cast<LONGLONG>(offset);
  if (!SetFilePointerEx(stream->file, distance, nullptr, FILE_BEGIN)) {
    stream->failed = true;
    return false;
  }
  stream->filePosition = offset;
  return true;
}

// Reads at the handle's place; returns the bytes read (0 at the end or on a
// failure, which is remembered for the error function).
DWORD ReadAt(ArchiveStream* stream, ULONGLONG offset, BYTE* target, DWORD size) {
  if (!PlaceHandle(stream, offset)) return 0;
  DWORD got = 0;
  if (!ReadFile(stream->file, target, size, &got, nullptr)) {
    stream->failed = true;
    // The handle's place is unknown after a failed read.
    stream->filePosition = ~0ULL;
    return 0;
  }
  stream->filePosition += got;
  if (got < size) stream->endOfFile = offset + got;
  return got;
}

voidpf ZCALLBACK OpenArchive(voidpf, const void* filename, int mode) {
  if (filename == nullptr) return nullptr;
  // Only reading is ever asked for; anything else is refused rather than
  // opening the archive for writing.
  if ((mode & ZLIB_FILEFUNC_MODE_READWRITEFILTER) != ZLIB_FILEFUNC_MODE_READ) return nullptr;
  HANDLE file = CreateFileW(static_cast<LPCWSTR>(filename), GENERIC_READ,
                            FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                            OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return nullptr;
  ArchiveStream* stream = new (std::nothrow) ArchiveStream;
  if (stream == nullptr) {
    CloseHandle(file);
    return nullptr;
  }
  stream->file = file;
  return stream;
}

uLong ZCALLBACK ReadArchive(voidpf, voidpf opaqueStream, void* buffer, uLong size) {
  ArchiveStream* stream = static_cast<ArchiveStream*>(opaqueStream);
  if (stream == nullptr || buffer == nullptr) return 0;
  BYTE* target = static_cast<BYTE*>(buffer);
  uLong done = 0;
  while (done < size) {
    const uLong wanted = size - done;
    bool copied = false;
    for (int i = 0; i < 2 && !copied; ++i) {
      const Window& window = stream->windows[i];
      const ULONGLONG windowEnd = window.start + window.length;
      if (stream->position < window.start || stream->position >= windowEnd) continue;
      const ULONGLONG available = windowEnd - stream->position;
      const uLong take = available < wanted ? static_cast<uLong>(available) : wanted;
      std::memcpy(target + done, window.bytes + (stream->position - window.start), take);
      done += take;
      stream->position += take;
      stream->lastUsed = i;
      copied = true;
    }
    if (copied) continue;
    // Past the end there is nothing to read, and the windows stay as they are.
    if (stream->position >= stream->endOfFile) break;
    if (wanted >= kWindowSize) {
      // A block as large as a window goes straight to the caller.
      const DWORD chunk = wanted > 0x40000000UL ? 0x40000000UL : static_cast<DWORD>(wanted);
      const DWORD got = ReadAt(stream, stream->position, target + done, chunk);
      if (got == 0) break;
      done += got;
      stream->position += got;
      continue;
    }
    Window& refill = stream->windows[1 - stream->lastUsed];
    refill.start = stream->position;
    refill.length = ReadAt(stream, stream->position, refill.bytes, kWindowSize);
    if (refill.length == 0) break;
    stream->lastUsed = 1 - stream->lastUsed;
  }
  return done;
}

uLong ZCALLBACK WriteArchive(voidpf, voidpf opaqueStream, const void*, uLong) {
  // Archives are only ever read.
  ArchiveStream* stream = static_cast<ArchiveStream*>(opaqueStream);
  if (stream != nullptr) stream->failed = true;
  return 0;
}

ZPOS64_T ZCALLBACK TellArchive(voidpf, voidpf opaqueStream) {
  ArchiveStream* stream = static_cast<ArchiveStream*>(opaqueStream);
  if (stream == nullptr) return static_cast<ZPOS64_T>(-1);
  return stream->position;
}

long ZCALLBACK SeekArchive(voidpf, voidpf opaqueStream, ZPOS64_T offset, int origin) {
  ArchiveStream* stream = static_cast<ArchiveStream*>(opaqueStream);
  if (stream == nullptr) return -1;
  ULONGLONG base = 0;
  switch (origin) {
    case ZLIB_FILEFUNC_SEEK_SET:
      base = 0;
      break;
    case ZLIB_FILEFUNC_SEEK_CUR:
      base = stream->position;
      break;
    case ZLIB_FILEFUNC_SEEK_END: {
      LARGE_INTEGER size;
      if (!GetFileSizeEx(stream->file, &size)) {
        stream->failed = true;
        return -1;
      }
      base = static_cast<ULONGLONG>(size.QuadPart);
      break;
    }
    default:
      return -1;
  }
  // minizip seeks backwards from the end with a wrapped-around offset; the
  // sum wraps back the same way.
  stream->position = base + offset;
  return 0;
}

int ZCALLBACK CloseArchive(voidpf, voidpf opaqueStream) {
  ArchiveStream* stream = static_cast<ArchiveStream*>(opaqueStream);
  if (stream == nullptr) return -1;
  const BOOL closed = CloseHandle(stream->file);
  delete stream;
  return closed ? 0 : -1;
}

int ZCALLBACK ArchiveError(voidpf, voidpf opaqueStream) {
  ArchiveStream* stream = static_cast<ArchiveStream*>(opaqueStream);
  return (stream == nullptr || stream->failed) ? 1 : 0;
}

}  // namespace

void FillArchiveFileFunctions(zlib_filefunc64_def* functions) {
  if (functions == nullptr) return;
  functions->zopen64_file = OpenArchive;
  functions->zread_file = ReadArchive;
  functions->zwrite_file = WriteArchive;
  functions->ztell64_file = TellArchive;
  functions->zseek64_file = SeekArchive;
  functions->zclose_file = CloseArchive;
  functions->zerror_file = ArchiveError;
  functions->opaque = nullptr;
}
