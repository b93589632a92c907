#include "text_conversion.h"

#include <climits>
#include <vector>

namespace {

bool IsHigh(WCHAR c) { return c >= 0xD800 && c <= 0xDBFF; }
bool IsLow(WCHAR c) { return c >= 0xDC00 && c <= 0xDFFF; }

// A UTF-16 unit takes at most three UTF-8 bytes (a pair takes four for two),
// so one call into a buffer of that size converts the whole run.
void AppendConverted(const WCHAR* text, size_t count, std::string* out) {
  while (count > 0) {
    // The platform takes int lengths; huge runs go in slices that never end
    // on a high surrogate.
    size_t slice = count > size_t(INT_MAX / 3) ? size_t(INT_MAX / 3) : count;
    if (slice < count && IsHigh(text[slice - 1])) --slice;
    const size_t at = out->size();
    out->resize(at + slice * 3);
    const int written = WideCharToMultiByte(CP_UTF8, 0, text, static_cast<int>(slice), out->data() + at,
                                            static_cast<int>(slice * 3), nullptr, nullptr);
    out->resize(at + (written > 0 ? size_t(written) : 0));
    text += slice;
    count -= slice;
  }
}

}  // namespace

void Utf8PieceConverter::Append(const WCHAR* text, size_t count, std::string* out) {
  if (count == 0) return;
  if (m_pendingHigh) {
    // Joined with the low half it was waiting for, or alone (U+FFFD).
    const WCHAR pair[2] = {m_pendingHigh, text[0]};
    const bool paired = IsLow(text[0]);
    AppendConverted(pair, paired ? 2 : 1, out);
    m_pendingHigh = 0;
    if (paired) {
      ++text;
      --count;
    }
  }
  if (count > 0 && IsHigh(text[count - 1])) {
    m_pendingHigh = text[count - 1];
    --count;
  }
  AppendConverted(text, count, out);
}

void Utf8PieceConverter::Finish(std::string* out) {
  if (m_pendingHigh) AppendConverted(&m_pendingHigh, 1, out);
  m_pendingHigh = 0;
}

std::string ToUtf8(const WCHAR* text, size_t count) {
  std::string out;
  AppendConverted(text, count, &out);
  return out;
}

std::string BytesAsUtf8(std::string_view bytes) {
  if (bytes.empty() || bytes.size() > size_t(INT_MAX)) return std::string(bytes);
  const int length = static_cast<int>(bytes.size());
  // Strict decoding fails on anything that is not UTF-8.
  if (MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, bytes.data(), length, nullptr, 0) > 0)
    return std::string(bytes);
  constexpr UINT kLatin1 = 28591;
  std::vector<WCHAR> wide(bytes.size());  // one unit per byte
  const int units = MultiByteToWideChar(kLatin1, 0, bytes.data(), length, wide.data(), length);
  return units > 0 ? ToUtf8(wide.data(), size_t(units)) : std::string();
}
