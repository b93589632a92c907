// Parsing the fake nested filter's script.
#include "fake_filter_script.h"

#include <cstdlib>
#include <sstream>

namespace {

const FMTID kStorage = {0xB725F130, 0x47EF, 0x101A, {0xA5, 0xF1, 0x02, 0x60, 0x8C, 0x9E, 0xEB, 0xAC}};

bool ParseNumber(const std::string& text, unsigned long long* value) {
  if (text.empty()) return false;
  char* end = nullptr;
  *value = std::strtoull(text.c_str(), &end, 0);
  return end && *end == '\0';
}

bool ParseHresult(const std::string& text, HRESULT* hr) {
  unsigned long long value = 0;
  if (!ParseNumber(text, &value) || value > 0xFFFFFFFFull) return false;
  *hr = HRESULT(ULONG(value));
  return true;
}

bool Unescape(const std::string& text, WString* out) {
  std::string plain;
  WString result;
  auto flush = [&]() {
    result += Utf8ToUtf16(plain);
    plain.clear();
  };
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '\\') {
      plain += text[i];
      continue;
    }
    if (++i >= text.size()) return false;
    switch (text[i]) {
      case 'n': plain += '\n'; break;
      case 'r': plain += '\r'; break;
      case 't': plain += '\t'; break;
      case '\\': plain += '\\'; break;
      case 'u': {
        unsigned long long unit = 0;
        if (i + 4 >= text.size() || !ParseNumber("0x" + text.substr(i + 1, 4), &unit)) return false;
        flush();
        result += WCHAR(unit);
        i += 4;
        break;
      }
      default:
        return false;
    }
  }
  flush();
  *out = result;
  return true;
}

}  // namespace

HRESULT ParseFakeScript(const std::string& utf8, FakeScript* pScript) {
  FakeScript script;
  std::istringstream lines(utf8);
  std::string line;
  while (std::getline(lines, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.empty() || line[0] == '#') continue;
    size_t space = line.find(' ');
    std::string word = line.substr(0, space);
    std::string rest = space == std::string::npos ? std::string() : line.substr(space + 1);
    FakeChunk* last = script.chunks.empty() ? nullptr : &script.chunks.back();
    if (word == "load-error") {
      if (!ParseHresult(rest, &script.loadError)) return FILTER_E_UNKNOWNFORMAT;
    } else if (word == "init-error") {
      if (!ParseHresult(rest, &script.initError)) return FILTER_E_UNKNOWNFORMAT;
    } else if (word == "flags") {
      if (rest != "ole") return FILTER_E_UNKNOWNFORMAT;
      script.initFlags |= IFILTER_FLAGS_OLE_PROPERTIES;
    } else if (word == "chunk") {
      size_t kindEnd = rest.find(' ');
      std::string kind = rest.substr(0, kindEnd);
      std::string body = kindEnd == std::string::npos ? std::string() : rest.substr(kindEnd + 1);
      FakeChunk chunk;
      chunk.attribute.psProperty.ulKind = PRSPEC_PROPID;
      if (kind == "text") {
        chunk.attribute.guidPropSet = kStorage;
        chunk.attribute.psProperty.propid = 19;
        if (!Unescape(body, &chunk.text)) return FILTER_E_UNKNOWNFORMAT;
      } else if (kind == "value") {
        chunk.isValue = true;
        chunk.attribute.guidPropSet = FMTID_SummaryInformation;
        chunk.attribute.psProperty.propid = PIDSI_TITLE;
        if (!Unescape(body, &chunk.text)) return FILTER_E_UNKNOWNFORMAT;
      } else if (kind == "error") {
        chunk.isError = true;
        if (!ParseHresult(body, &chunk.getChunkResult)) return FILTER_E_UNKNOWNFORMAT;
      } else {
        return FILTER_E_UNKNOWNFORMAT;
      }
      script.chunks.push_back(chunk);
    } else if (!last || last->isError) {
      return FILTER_E_UNKNOWNFORMAT;  // the remaining directives change a chunk
    } else if (word == "break") {
      static const char* const kNames[] = {"none", "eow", "eos", "eop", "eoc"};
      int found = -1;
      for (int i = 0; i < 5; ++i) {
        if (rest == kNames[i]) found = i;
      }
      if (found < 0) return FILTER_E_UNKNOWNFORMAT;
      last->breakType = CHUNK_BREAKTYPE(found);
    } else if (word == "locale") {
      unsigned long long lcid = 0;
      if (!ParseNumber(rest, &lcid)) return FILTER_E_UNKNOWNFORMAT;
      last->locale = LCID(lcid);
    } else if (word == "property") {
      size_t split = rest.find(' ');
      unsigned long long propid = 0;
      if (split == std::string::npos || !GuidFromString(Utf8ToUtf16(rest.substr(0, split)).c_str(), &last->attribute.guidPropSet) ||
          !ParseNumber(rest.substr(split + 1), &propid)) {
        return FILTER_E_UNKNOWNFORMAT;
      }
      last->attribute.psProperty.propid = PROPID(propid);
    } else if (word == "gettext-error") {
      if (!ParseHresult(rest, &last->getTextError)) return FILTER_E_UNKNOWNFORMAT;
    } else if (word == "getvalue-error") {
      if (!ParseHresult(rest, &last->getValueError)) return FILTER_E_UNKNOWNFORMAT;
    } else {
      return FILTER_E_UNKNOWNFORMAT;
    }
  }
  *pScript = std::move(script);
  return S_OK;
}
