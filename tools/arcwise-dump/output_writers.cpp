#include "output_writers.h"

#include <cstdio>

#include "chunk_format.h"
#include "error_text.h"

void OutputBuffer::Flush() {
  if (m_text.empty()) return;
  if (std::fwrite(m_text.data(), 1, m_text.size(), m_out) != m_text.size()) m_failed = true;
  if (std::fflush(m_out) != 0) m_failed = true;
  m_text.clear();
}

namespace {

std::string LocaleText(LCID locale) {
  char text[32];
  std::snprintf(text, sizeof(text), "0x%04x", static_cast<unsigned>(locale));
  return text;
}

// File header, then per chunk:
//   [3] EOP TEXT locale=0x0409 Storage.Contents
//   the text...
//   (blank line)
class HumanWriter : public ChunkSink {
 public:
  explicit HumanWriter(OutputBuffer* out) : m_out(out) {}

  void BeginFile(const std::string& name) override { m_out->Write("=== " + name + "\n"); }
  void BeginChunk(const STAT_CHUNK& chunk) override {
    std::string& text = m_out->Text();
    text += "[" + std::to_string(chunk.idChunk) + "] " + BreakTypeName(chunk.breakType) + " " +
            ChunkFlagsText(chunk.flags) + " locale=" + LocaleText(chunk.locale) + " " +
            AttributeText(chunk.attribute);
    if (chunk.idChunkSource != chunk.idChunk)
      text += " source=" + std::to_string(chunk.idChunkSource);
    text += "\n";
    m_atLineStart = true;
  }
  void AppendText(const WCHAR* piece, ULONG count) override {
    std::string& text = m_out->Text();
    m_encoder.Append(piece, count, &text);
    if (!text.empty()) m_atLineStart = text.back() == '\n';
    m_out->MaybeFlush();
  }
  void SetValue(const PROPVARIANT& value) override {
    ValueText formatted = FormatValue(value);
    m_out->Write("= " + formatted.type + ": " + formatted.display + "\n");
    m_atLineStart = true;
  }
  void ValueFailed(HRESULT hr) override {
    m_out->Write("= (GetValue failed: " + DescribeHResult(hr) + ")\n");
    m_atLineStart = true;
  }
  void EndChunk() override {
    std::string& text = m_out->Text();
    m_encoder.Finish(&text);
    if (!m_atLineStart) text += "\n";
    text += "\n";
    m_out->MaybeFlush();
  }
  void EndFile() override {}

 private:
  OutputBuffer* m_out;
  Utf8PieceConverter m_encoder;
  bool m_atLineStart = true;
};

// The text of text chunks only, so the output is what a word breaker would
// be fed. A chunk that starts with a break (a new paragraph, a new file of
// an archive, the entry names) is set off from the text before it by one
// blank line, and so is each input file. A CHUNK_NO_BREAK chunk continues
// the text before it (a filter cuts a long text into pieces anywhere, even
// inside a word), so it is joined on without a separator.
class TextWriter : public ChunkSink {
 public:
  explicit TextWriter(OutputBuffer* out) : m_out(out) {}

  void BeginFile(const std::string&) override { m_newFile = true; }
  void BeginChunk(const STAT_CHUNK& chunk) override {
    m_inText = (chunk.flags & CHUNK_TEXT) != 0;
    m_startPending = m_inText;
    m_continues = chunk.breakType == CHUNK_NO_BREAK && !m_newFile;
  }
  void AppendText(const WCHAR* piece, ULONG count) override {
    if (!m_inText || count == 0) return;
    std::string& text = m_out->Text();
    if (m_startPending) {
      // The separator goes before a chunk rather than after it, so empty
      // chunks and the end of output add nothing.
      if (!m_continues) {
        EndText(&text);
        if (m_wroteAny) text += m_lastWasNewline ? "\n" : "\n\n";
      }
      m_startPending = false;
      m_newFile = false;
      m_wroteAny = true;
    }
    m_encoder.Append(piece, count, &text);
    if (!text.empty()) m_lastWasNewline = text.back() == '\n';
    m_out->MaybeFlush();
  }
  void SetValue(const PROPVARIANT&) override {}
  void ValueFailed(HRESULT) override {}
  void EndChunk() override { m_inText = false; }
  void EndFile() override {
    std::string& text = m_out->Text();
    EndText(&text);
    if (m_wroteAny && !m_lastWasNewline) {
      text += "\n";
      m_lastWasNewline = true;
    }
    m_out->MaybeFlush();
  }

 private:
  // A high surrogate left at the end of a text has no partner any more.
  void EndText(std::string* text) {
    size_t before = text->size();
    m_encoder.Finish(text);
    if (text->size() != before) m_lastWasNewline = false;
  }

  OutputBuffer* m_out;
  Utf8PieceConverter m_encoder;
  bool m_inText = false;
  bool m_startPending = false;
  bool m_continues = false;
  bool m_newFile = true;
  bool m_wroteAny = false;
  bool m_lastWasNewline = true;
};

// One JSON object per chunk and line. The text is joined from all GetText
// pieces first, so a chunk is one complete record.
class JsonWriter : public ChunkSink {
 public:
  explicit JsonWriter(OutputBuffer* out) : m_out(out) {}

  void BeginFile(const std::string& name) override { m_file = name; }
  void BeginChunk(const STAT_CHUNK& chunk) override {
    m_chunk = chunk;
    m_text.clear();
    m_hasText = false;
    m_value = nullptr;
  }
  void AppendText(const WCHAR* piece, ULONG count) override {
    m_encoder.Append(piece, count, &m_text);
    m_hasText = true;
  }
  void SetValue(const PROPVARIANT& value) override {
    ValueText formatted = FormatValue(value);
    m_value = JsonValue::object();
    m_value["type"] = formatted.type;
    m_value["value"] = std::move(formatted.json);
  }
  void ValueFailed(HRESULT hr) override {
    char code[16];
    std::snprintf(code, sizeof(code), "0x%08x", static_cast<unsigned>(hr));
    m_value = JsonValue::object();
    m_value["error"] = code;
  }
  void EndChunk() override {
    m_encoder.Finish(&m_text);
    JsonValue record = JsonValue::object();
    record["file"] = m_file;
    record["id"] = m_chunk.idChunk;
    record["breakType"] = BreakTypeName(m_chunk.breakType);
    record["flags"] = ChunkFlagsText(m_chunk.flags);
    record["locale"] = m_chunk.locale;
    record["attribute"] = AttributeJson(m_chunk.attribute);
    record["idChunkSource"] = m_chunk.idChunkSource;
    record["cwcStartSource"] = m_chunk.cwcStartSource;
    record["cwcLenSource"] = m_chunk.cwcLenSource;
    if ((m_chunk.flags & CHUNK_TEXT) || m_hasText) record["text"] = std::move(m_text);
    if (!m_value.is_null()) record["value"] = std::move(m_value);
    std::string& line = m_out->Text();
    line += JsonText(record);
    line += "\n";
    m_text.clear();
    m_out->MaybeFlush();
  }
  void EndFile() override {}

 private:
  OutputBuffer* m_out;
  Utf8PieceConverter m_encoder;
  std::string m_file;
  STAT_CHUNK m_chunk = {};
  std::string m_text;
  bool m_hasText = false;
  JsonValue m_value;  // null until the chunk's value (or its failure) is known
};

}  // namespace

std::unique_ptr<ChunkSink> MakeWriter(OutputFormat format, OutputBuffer* out) {
  switch (format) {
    case OutputFormat::Text: return std::make_unique<TextWriter>(out);
    case OutputFormat::Json: return std::make_unique<JsonWriter>(out);
    case OutputFormat::Human: break;
  }
  return std::make_unique<HumanWriter>(out);
}
