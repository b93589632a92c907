// Moving and reading the seek pointer of any IStream in one call, for the
// tests of the platform's streams and of the filter's stream loads. The
// caller's thread, on a stream it may use from there.
#pragma once

#include <gtest/gtest.h>

#include <objidl.h>

namespace arcwise_test {

// Seek with a plain offset; *result (when given) receives the new position.
inline HRESULT SeekTo(IStream* stream, LONGLONG offset, DWORD origin, ULARGE_INTEGER* result = nullptr) {
  LARGE_INTEGER move;
  move.QuadPart = offset;
  return stream->Seek(move, origin, result);
}

// Where the seek pointer is now; a failure to ask fails the test.
inline ULONGLONG Position(IStream* stream) {
  ULARGE_INTEGER now{};
  EXPECT_EQ(S_OK, SeekTo(stream, 0, STREAM_SEEK_CUR, &now));
  return now.QuadPart;
}

}  // namespace arcwise_test
