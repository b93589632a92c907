// The three output formats of arcwise-dump as ChunkSinks: the human-readable
// listing (a header line per chunk, then its text or value), plain text for
// grep and indexers, and JSON Lines for scripts (written with nlohmann-json). All write through one
// OutputBuffer on standard output. Main thread only.
#pragma once

#include <cstdio>
#include <memory>
#include <string>

#include "chunk_walker.h"
#include "options.h"
#include "text_conversion.h"

// Standard output with a large buffer of our own: text is produced in
// pieces of a few kilobytes and stdio's per-call cost would show.
class OutputBuffer {
 public:
  explicit OutputBuffer(FILE* out) : m_out(out) {}
  ~OutputBuffer() { Flush(); }
  OutputBuffer(const OutputBuffer&) = delete;
  OutputBuffer& operator=(const OutputBuffer&) = delete;

  std::string& Text() { return m_text; }
  void Write(const std::string& text) {
    m_text += text;
    MaybeFlush();
  }
  void MaybeFlush() {
    if (m_text.size() >= kFlushSize) Flush();
  }
  // Also before any message on standard error, so lines keep their order.
  void Flush();
  bool Failed() const { return m_failed; }

 private:
  static constexpr size_t kFlushSize = 1 << 20;
  FILE* m_out;
  std::string m_text;
  bool m_failed = false;
};

std::unique_ptr<ChunkSink> MakeWriter(OutputFormat format, OutputBuffer* out);
