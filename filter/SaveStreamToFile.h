// SaveStreamToFile: copies what is left of a stream (from its current
// position, without rewinding) into a file, replacing the file; IsFileOfSize:
// whether a stream's name may stand for the stream. Used by the filter
// object's IPersistStream::Load to give a streamed archive a path.
// Stateless; any thread, as long as the stream itself is used by one thread.
#pragma once

#include "compat/Win32Compat.h"

// The stream is asked for 4,093 bytes at a time; a shorter read, or a read
// that answers HRESULT_FROM_WIN32(ERROR_HANDLE_EOF), ends the copy with S_OK.
// Any other failing read gives that read's code; a file that cannot be
// created or written gives HRESULT_FROM_WIN32 of the system's error code
// (E_FAIL when there is none, as for a short write that reports success).
// Every failure is logged at level 1. The
// file is closed again before returning, whatever the outcome; deleting a
// partial copy is the caller's business. A file that exists already and is
// marked not content indexed keeps the mark. Others may read the file while it
// is written (the caller's claim on it holds it open).
HRESULT SaveStreamToFile(IStream* pStream, LPCWSTR path);

// True when path is absolute and names a file that can be opened for reading
// and holds exactly size bytes. Each refusal is logged at level 3.
bool IsFileOfSize(LPCWSTR path, ULONGLONG size);
