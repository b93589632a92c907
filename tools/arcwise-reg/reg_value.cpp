#include "reg_value.h"

#include <cstring>
#include <vector>

namespace {

struct TypeEntry {
  const char* name;
  DWORD type;
};

const TypeEntry kTypes[] = {
    {"REG_NONE", REG_NONE},
    {"REG_SZ", REG_SZ},
    {"REG_EXPAND_SZ", REG_EXPAND_SZ},
    {"REG_BINARY", REG_BINARY},
    {"REG_DWORD", REG_DWORD},
    {"REG_DWORD_BIG_ENDIAN", REG_DWORD_BIG_ENDIAN},
    {"REG_LINK", REG_LINK},
    {"REG_MULTI_SZ", REG_MULTI_SZ},
    {"REG_QWORD", REG_QWORD},
};

std::string Hex(uint64_t value) {
  char buffer[32];
  snprintf(buffer, sizeof(buffer), "0x%llx", static_cast<unsigned long long>(value));
  return buffer;
}

void AppendText(std::string* bytes, std::u16string_view text) {
  bytes->append(reinterpret_cast<const char*>(text.data()), text.size() * sizeof(WCHAR));
  bytes->append(2, '\0');
}

bool ParseNumber(const std::string& text, uint64_t max, uint64_t* value) {
  if (text.empty()) return false;
  int base = 10;
  size_t start = 0;
  if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
    base = 16;
    start = 2;
  }
  uint64_t result = 0;
  for (size_t i = start; i < text.size(); ++i) {
    int digit;
    char c = text[i];
    if (c >= '0' && c <= '9') digit = c - '0';
    else if (base == 16 && c >= 'a' && c <= 'f') digit = c - 'a' + 10;
    else if (base == 16 && c >= 'A' && c <= 'F') digit = c - 'A' + 10;
    else return false;
    if (result > (max - static_cast<uint64_t>(digit)) / static_cast<uint64_t>(base)) return false;
    result = result * static_cast<uint64_t>(base) + static_cast<uint64_t>(digit);
  }
  *value = result;
  return true;
}

}  // namespace

std::string TypeName(DWORD type) {
  for (const auto& entry : kTypes) {
    if (entry.type == type) return entry.name;
  }
  return Hex(type);
}

bool TypeFromName(const std::string& name, DWORD* type) {
  std::string upper;
  for (char c : name) upper.push_back(static_cast<char>(c >= 'a' && c <= 'z' ? c - 32 : c));
  if (upper == "REG_DWORD_LITTLE_ENDIAN") upper = "REG_DWORD";
  if (upper == "REG_QWORD_LITTLE_ENDIAN") upper = "REG_QWORD";
  for (const auto& entry : kTypes) {
    if (upper == entry.name && entry.type != REG_LINK) {
      *type = entry.type;
      return true;
    }
  }
  return false;
}

WString TextOf(const std::string& data) {
  WString text(data.size() / sizeof(WCHAR), u'\0');
  if (!text.empty()) std::memcpy(text.data(), data.data(), text.size() * sizeof(WCHAR));
  size_t end = text.find(u'\0');
  if (end != WString::npos) text.resize(end);
  return text;
}

std::string FormatForQuery(const RegValue& value) {
  const std::string& data = value.data;
  switch (value.type) {
    case REG_SZ:
    case REG_EXPAND_SZ:
      return Utf16ToUtf8(TextOf(data));
    case REG_DWORD:
      if (data.size() == 4) {
        uint32_t number;
        std::memcpy(&number, data.data(), 4);
        return Hex(number);
      }
      break;
    case REG_DWORD_BIG_ENDIAN:
      if (data.size() == 4) {
        const auto* b = reinterpret_cast<const unsigned char*>(data.data());
        return Hex((uint32_t(b[0]) << 24) | (uint32_t(b[1]) << 16) | (uint32_t(b[2]) << 8) | b[3]);
      }
      break;
    case REG_QWORD:
      if (data.size() == 8) {
        uint64_t number;
        std::memcpy(&number, data.data(), 8);
        return Hex(number);
      }
      break;
    case REG_MULTI_SZ: {
      WString all(data.size() / sizeof(WCHAR), u'\0');
      if (!all.empty()) std::memcpy(all.data(), data.data(), all.size() * sizeof(WCHAR));
      while (!all.empty() && all.back() == u'\0') all.pop_back();
      std::string out;
      size_t start = 0;
      while (start <= all.size()) {
        size_t end = all.find(u'\0', start);
        if (end == WString::npos) end = all.size();
        if (start > 0) out += "\\0";
        out += Utf16ToUtf8(std::u16string_view(all).substr(start, end - start));
        start = end + 1;
      }
      return all.empty() ? std::string() : out;
    }
    default:
      break;
  }
  static const char kDigits[] = "0123456789ABCDEF";
  std::string hex;
  for (unsigned char c : data) {
    hex.push_back(kDigits[c >> 4]);
    hex.push_back(kDigits[c & 15]);
  }
  return hex;
}

bool DataFromArgument(DWORD type, const WString& text, const WString& separator, std::string* bytes,
                      std::string* error) {
  bytes->clear();
  std::string narrow = Utf16ToUtf8(text);
  switch (type) {
    case REG_SZ:
    case REG_EXPAND_SZ:
      AppendText(bytes, text);
      return true;
    case REG_MULTI_SZ: {
      WString sep = separator.empty() ? WString(W("\\0")) : separator;
      if (text.empty()) {
        bytes->append(2, '\0');
        return true;
      }
      size_t start = 0;
      while (true) {
        size_t end = text.find(sep, start);
        if (end == WString::npos) end = text.size();
        AppendText(bytes, std::u16string_view(text).substr(start, end - start));
        if (end == text.size()) break;
        start = end + sep.size();
      }
      bytes->append(2, '\0');
      return true;
    }
    case REG_DWORD:
    case REG_DWORD_BIG_ENDIAN: {
      uint64_t value = 0;
      if (!ParseNumber(narrow, 0xffffffffULL, &value)) {
        *error = "Invalid syntax. " + narrow + " is not a 32-bit number.";
        return false;
      }
      uint32_t number = static_cast<uint32_t>(value);
      if (type == REG_DWORD_BIG_ENDIAN) {
        const char be[4] = {char(number >> 24), char(number >> 16), char(number >> 8), char(number)};
        bytes->assign(be, 4);
      } else {
        bytes->assign(reinterpret_cast<const char*>(&number), 4);
      }
      return true;
    }
    case REG_QWORD: {
      uint64_t value = 0;
      if (!ParseNumber(narrow, ~0ULL, &value)) {
        *error = "Invalid syntax. " + narrow + " is not a 64-bit number.";
        return false;
      }
      bytes->assign(reinterpret_cast<const char*>(&value), 8);
      return true;
    }
    default: {
      if (narrow.size() % 2) {
        *error = "Invalid syntax. Binary data needs an even number of hex digits.";
        return false;
      }
      for (size_t i = 0; i < narrow.size(); i += 2) {
        uint64_t byte = 0;
        if (!ParseNumber("0x" + narrow.substr(i, 2), 0xff, &byte)) {
          *error = "Invalid syntax. " + narrow + " is not a hex string.";
          return false;
        }
        bytes->push_back(static_cast<char>(byte));
      }
      return true;
    }
  }
}
