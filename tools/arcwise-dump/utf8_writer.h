// UTF-16 to UTF-8 for arcwise-dump's output, piece by piece: a filter may
// split a surrogate pair between two GetText calls, so the encoder keeps a
// pending high surrogate across Append calls. Unpaired surrogates become
// U+FFFD. JSON string escaping lives here too. One encoder per chunk, on the
// main thread.
#pragma once

#include <string>
#include <string_view>

#include <windows.h>

class Utf8Encoder {
 public:
  // Appends the UTF-8 form of text[0..count) to *out.
  void Append(const WCHAR* text, size_t count, std::string* out);
  // Ends the text: a dangling high surrogate becomes U+FFFD.
  void Finish(std::string* out);

 private:
  char16_t m_pendingHigh = 0;
};

// UTF-8 of a whole wide string.
std::string ToUtf8(const WCHAR* text, size_t count);

// Bytes of unknown encoding (VT_LPSTR values) as valid UTF-8: kept when they
// already are UTF-8, else read as Latin-1.
std::string BytesAsUtf8(std::string_view bytes);

// Appends `utf8` (valid UTF-8) as a quoted JSON string.
void AppendJsonString(std::string_view utf8, std::string* out);
