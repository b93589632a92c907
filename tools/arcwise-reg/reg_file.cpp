#include "reg_file.h"

#include <cstring>

namespace {

const char16_t kHeader[] = u"Windows Registry Editor Version 5.00";

WString Escape(const WString& text) {
  WString out;
  for (WCHAR c : text) {
    if (c == u'\\' || c == u'"') out.push_back(u'\\');
    out.push_back(c);
  }
  return out;
}

// A REG_SZ that reads back identically from the "text" form: one terminator
// at the end and none before it, and no line break, as the reader splits the
// file into lines before it looks for quotes.
bool IsPlainString(const std::string& data) {
  if (data.size() < 2 || data.size() % 2) return false;
  WString text(data.size() / 2, u'\0');
  std::memcpy(text.data(), data.data(), data.size());
  return text.find(u'\0') == text.size() - 1 && text.find_first_of(u"\r\n") == WString::npos;
}

WString HexByte(unsigned char byte) {
  static const char16_t kDigits[] = u"0123456789abcdef";
  return WString{kDigits[byte >> 4], kDigits[byte & 15]};
}

WString ValueLine(const RegValue& value) {
  WString line = value.name.empty() ? WString(W("@")) : W("\"") + Escape(value.name) + W("\"");
  line += u'=';
  if (value.type == REG_SZ && IsPlainString(value.data)) {
    WString text(value.data.size() / 2 - 1, u'\0');
    if (!text.empty()) std::memcpy(text.data(), value.data.data(), text.size() * 2);
    return line + W("\"") + Escape(text) + W("\"");
  }
  if (value.type == REG_DWORD && value.data.size() == 4) {
    uint32_t number;
    std::memcpy(&number, value.data.data(), 4);
    char buffer[16];
    snprintf(buffer, sizeof(buffer), "%08x", number);
    return line + W("dword:") + Utf8ToUtf16(buffer);
  }
  if (value.type == REG_BINARY) {
    line += W("hex:");
  } else {
    char buffer[16];
    snprintf(buffer, sizeof(buffer), "hex(%x):", value.type);
    line += Utf8ToUtf16(buffer);
  }
  // Wrapped as the registry editor wraps: lines stay under 80 columns, a
  // trailing backslash continues them, the next one is indented by two.
  size_t column = line.size();
  for (size_t i = 0; i < value.data.size(); ++i) {
    WString token = HexByte(static_cast<unsigned char>(value.data[i]));
    if (i + 1 < value.data.size()) token += u',';
    if (column + token.size() > 78 && i > 0) {
      line += W("\\\r\n  ");
      column = 2;
    }
    line += token;
    column += token.size();
  }
  return line;
}

// ---- reading ----------------------------------------------------------------

bool Decode(const std::string& bytes, WString* text) {
  const auto* b = reinterpret_cast<const unsigned char*>(bytes.data());
  if (bytes.size() >= 2 && b[0] == 0xff && b[1] == 0xfe) {
    if (bytes.size() % 2) return false;
    text->assign((bytes.size() - 2) / 2, u'\0');
    for (size_t i = 0; i < text->size(); ++i)
      (*text)[i] = static_cast<WCHAR>(b[2 + 2 * i] | (b[3 + 2 * i] << 8));
    return true;
  }
  if (bytes.size() >= 2 && b[0] == 0xfe && b[1] == 0xff) return false;  // big-endian: not ours
  size_t skip = bytes.size() >= 3 && b[0] == 0xef && b[1] == 0xbb && b[2] == 0xbf ? 3 : 0;
  *text = Utf8ToUtf16(std::string_view(bytes).substr(skip));
  return true;
}

bool IsSpace(WCHAR c) { return c == u' ' || c == u'\t'; }

WString Trim(const WString& s) {
  size_t begin = 0, end = s.size();
  while (begin < end && IsSpace(s[begin])) ++begin;
  while (end > begin && IsSpace(s[end - 1])) --end;
  return s.substr(begin, end - begin);
}

struct Line {
  WString text;
  int number;
};

std::vector<Line> LogicalLines(const WString& text) {
  std::vector<WString> physical;
  size_t start = 0;
  while (start <= text.size()) {
    size_t end = text.find_first_of(u"\r\n", start);
    if (end == WString::npos) end = text.size();
    physical.push_back(text.substr(start, end - start));
    if (end < text.size() && text[end] == u'\r' && end + 1 < text.size() && text[end + 1] == u'\n')
      ++end;
    start = end + 1;
  }
  std::vector<Line> lines;
  for (size_t i = 0; i < physical.size(); ++i) {
    Line line{Trim(physical[i]), static_cast<int>(i + 1)};
    // Continuations only join data lines; a key line never ends in a backslash.
    while (!line.text.empty() && line.text.back() == u'\\' && line.text.front() != u'[' &&
           i + 1 < physical.size()) {
      line.text.pop_back();
      line.text += Trim(physical[++i]);
    }
    lines.push_back(std::move(line));
  }
  return lines;
}

// Reads a quoted string at s[*pos] (the opening quote); leaves *pos after it.
bool ParseQuoted(const WString& s, size_t* pos, WString* out) {
  if (*pos >= s.size() || s[*pos] != u'"') return false;
  out->clear();
  for (size_t i = *pos + 1; i < s.size(); ++i) {
    if (s[i] == u'\\') {
      if (i + 1 >= s.size() || (s[i + 1] != u'\\' && s[i + 1] != u'"')) return false;
      out->push_back(s[++i]);
    } else if (s[i] == u'"') {
      *pos = i + 1;
      return true;
    } else {
      out->push_back(s[i]);
    }
  }
  return false;
}

int HexDigit(WCHAR c) {
  if (c >= u'0' && c <= u'9') return c - u'0';
  if (c >= u'a' && c <= u'f') return c - u'a' + 10;
  if (c >= u'A' && c <= u'F') return c - u'A' + 10;
  return -1;
}

bool ParseHexNumber(const WString& s, size_t maxDigits, uint32_t* value) {
  if (s.empty() || s.size() > maxDigits) return false;
  uint32_t result = 0;
  for (WCHAR c : s) {
    int digit = HexDigit(c);
    if (digit < 0) return false;
    result = result * 16 + static_cast<uint32_t>(digit);
  }
  *value = result;
  return true;
}

bool ParseHexBytes(const WString& s, std::string* bytes) {
  bytes->clear();
  if (Trim(s).empty()) return true;
  size_t start = 0;
  while (true) {
    size_t comma = s.find(u',', start);
    WString item = Trim(s.substr(start, comma == WString::npos ? WString::npos : comma - start));
    uint32_t byte = 0;
    if (!ParseHexNumber(item, 2, &byte)) return false;
    bytes->push_back(static_cast<char>(byte));
    if (comma == WString::npos) return true;
    start = comma + 1;
  }
}

// The data part after '=': fills op (kind and value type/data).
bool ParseData(const WString& data, RegFileOp* op, std::string* reason) {
  if (data == W("-")) {
    op->kind = RegFileOp::kDeleteValue;
    return true;
  }
  op->kind = RegFileOp::kSetValue;
  if (!data.empty() && data[0] == u'"') {
    size_t pos = 0;
    WString text;
    if (!ParseQuoted(data, &pos, &text) || pos != data.size()) {
      *reason = "malformed string data";
      return false;
    }
    op->value.type = REG_SZ;
    op->value.data.assign(reinterpret_cast<const char*>(text.c_str()), (text.size() + 1) * 2);
    return true;
  }
  if (data.compare(0, 6, W("dword:")) == 0) {
    uint32_t number = 0;
    if (!ParseHexNumber(data.substr(6), 8, &number)) {
      *reason = "dword needs 1 to 8 hex digits";
      return false;
    }
    op->value.type = REG_DWORD;
    op->value.data.assign(reinterpret_cast<const char*>(&number), 4);
    return true;
  }
  size_t colon = data.find(u':');
  if (colon == WString::npos) {
    *reason = "unknown data format";
    return false;
  }
  WString prefix = data.substr(0, colon);
  if (prefix == W("hex")) {
    op->value.type = REG_BINARY;
  } else if (prefix.size() > 5 && prefix.compare(0, 4, W("hex(")) == 0 && prefix.back() == u')') {
    uint32_t type = 0;
    if (!ParseHexNumber(prefix.substr(4, prefix.size() - 5), 8, &type)) {
      *reason = "malformed hex(type)";
      return false;
    }
    op->value.type = type;
  } else {
    *reason = "unknown data format";
    return false;
  }
  if (!ParseHexBytes(data.substr(colon + 1), &op->value.data)) {
    *reason = "malformed hex bytes";
    return false;
  }
  return true;
}

}  // namespace

std::string WriteRegFile(const std::vector<RegFileKey>& keys) {
  WString text = WString(kHeader) + W("\r\n\r\n");
  for (const RegFileKey& key : keys) {
    text += W("[") + key.path + W("]\r\n");
    for (const RegValue& value : key.values) text += ValueLine(value) + W("\r\n");
    text += W("\r\n");
  }
  std::string bytes = "\xff\xfe";
  for (WCHAR c : text) {
    bytes.push_back(static_cast<char>(c & 0xff));
    bytes.push_back(static_cast<char>(c >> 8));
  }
  return bytes;
}

bool ParseRegFile(const std::string& bytes, std::vector<RegFileOp>* ops, std::string* error) {
  ops->clear();
  WString text;
  if (!Decode(bytes, &text)) {
    *error = "the file is neither UTF-8 nor UTF-16LE with a byte order mark";
    return false;
  }
  bool sawHeader = false;
  bool haveKey = false;
  KeyPath current;
  for (const Line& line : LogicalLines(text)) {
    const WString& s = line.text;
    if (s.empty() || s[0] == u';') continue;
    std::string reason;
    auto fail = [&](const std::string& why) {
      *error = "line " + std::to_string(line.number) + ": " + why;
      return false;
    };
    if (!sawHeader) {
      if (s != kHeader) return fail("missing \"Windows Registry Editor Version 5.00\" header");
      sawHeader = true;
      continue;
    }
    if (s[0] == u'[') {
      if (s.back() != u']' || s.size() < 3) return fail("malformed key line");
      bool remove = s[1] == u'-';
      WString path = s.substr(remove ? 2 : 1, s.size() - (remove ? 3 : 2));
      RegFileOp op;
      op.line = line.number;
      if (!ParseKeyPath(path, &op.key, &reason)) return fail(reason);
      if (op.key.subKey.empty()) return fail("a root key cannot be created or deleted");
      op.kind = remove ? RegFileOp::kDeleteKey : RegFileOp::kCreateKey;
      haveKey = !remove;
      current = op.key;
      ops->push_back(std::move(op));
      continue;
    }
    if (s[0] != u'@' && s[0] != u'"') return fail("expected a [key] or a value line");
    if (!haveKey) return fail("value outside of a key");
    RegFileOp op;
    op.line = line.number;
    op.key = current;
    size_t pos = 0;
    if (s[0] == u'@') {
      pos = 1;
    } else if (!ParseQuoted(s, &pos, &op.value.name)) {
      return fail("malformed value name");
    }
    while (pos < s.size() && IsSpace(s[pos])) ++pos;
    if (pos >= s.size() || s[pos] != u'=') return fail("expected '=' after the value name");
    if (!ParseData(Trim(s.substr(pos + 1)), &op, &reason)) return fail(reason);
    ops->push_back(std::move(op));
  }
  if (!sawHeader) {
    *error = "missing \"Windows Registry Editor Version 5.00\" header";
    return false;
  }
  return true;
}
