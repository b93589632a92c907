// The host side of the IFilter protocol: after Init, pull every chunk with
// GetChunk, its text with GetText until the last piece, its value with
// GetValue, and hand them to a ChunkSink (one of the output writers). The
// walker owns the value memory the filter hands out and frees it after the
// sink has seen it. Main thread only, one filter at a time.
#pragma once

#include <string>
#include <vector>

#include <filter.h>

class ChunkSink {
 public:
  virtual ~ChunkSink() = default;
  virtual void BeginFile(const std::string& name) = 0;
  virtual void BeginChunk(const STAT_CHUNK& chunk) = 0;
  // One GetText piece; a chunk's text may come in many.
  virtual void AppendText(const WCHAR* text, ULONG count) = 0;
  virtual void SetValue(const PROPVARIANT& value) = 0;
  // GetValue failed on a value chunk.
  virtual void ValueFailed(HRESULT hr) = 0;
  virtual void EndChunk() = 0;
  virtual void EndFile() = 0;
};

class ChunkWalker {
 public:
  // S_OK once GetChunk reports the end of chunks; otherwise the code with
  // which GetChunk failed (the chunks before it have been written).
  HRESULT Walk(IFilter* filter, ChunkSink* sink);
  ULONG ChunkCount() const { return m_chunkCount; }
  // The id of the last chunk written, 0 before the first.
  ULONG LastChunkId() const { return m_lastChunkId; }

 private:
  void PullText(IFilter* filter, ChunkSink* sink);
  void PullValue(IFilter* filter, ChunkSink* sink);

  // Large enough that a text filter's chunk comes in a few calls.
  std::vector<WCHAR> m_buffer = std::vector<WCHAR>(64 * 1024);
  ULONG m_chunkCount = 0;
  ULONG m_lastChunkId = 0;
};
