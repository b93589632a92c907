#include "chunk_format.h"

#include <chrono>
#include <cstdio>
#include <cstring>

#include <objbase.h>
#include <propidl.h>

#include "text_conversion.h"

namespace {

struct PropertyName {
  const FMTID* fmtid;
  PROPID propid;
  const char* label;
};

const PropertyName kPropertyNames[] = {
    {&FMTID_Storage, 2, "Storage.Directory"},
    {&FMTID_Storage, 3, "Storage.ClassId"},
    {&FMTID_Storage, 4, "Storage.StorageType"},
    {&FMTID_Storage, 10, "Storage.Name"},
    {&FMTID_Storage, 12, "Storage.Size"},
    {&FMTID_Storage, 13, "Storage.Attributes"},
    {&FMTID_Storage, 14, "Storage.WriteTime"},
    {&FMTID_Storage, 15, "Storage.CreateTime"},
    {&FMTID_Storage, 16, "Storage.AccessTime"},
    {&FMTID_Storage, 19, "Storage.Contents"},
    {&FMTID_SummaryInformation, PIDSI_TITLE, "Summary.Title"},
    {&FMTID_SummaryInformation, PIDSI_SUBJECT, "Summary.Subject"},
    {&FMTID_SummaryInformation, PIDSI_AUTHOR, "Summary.Author"},
    {&FMTID_SummaryInformation, PIDSI_KEYWORDS, "Summary.Keywords"},
    {&FMTID_SummaryInformation, PIDSI_COMMENTS, "Summary.Comments"},
    {&FMTID_SummaryInformation, PIDSI_TEMPLATE, "Summary.Template"},
    {&FMTID_SummaryInformation, PIDSI_LASTAUTHOR, "Summary.LastAuthor"},
    {&FMTID_SummaryInformation, PIDSI_REVNUMBER, "Summary.RevNumber"},
    {&FMTID_SummaryInformation, PIDSI_EDITTIME, "Summary.EditTime"},
    {&FMTID_SummaryInformation, PIDSI_LASTPRINTED, "Summary.LastPrinted"},
    {&FMTID_SummaryInformation, PIDSI_CREATE_DTM, "Summary.Created"},
    {&FMTID_SummaryInformation, PIDSI_LASTSAVE_DTM, "Summary.LastSaved"},
    {&FMTID_SummaryInformation, PIDSI_PAGECOUNT, "Summary.PageCount"},
    {&FMTID_SummaryInformation, PIDSI_WORDCOUNT, "Summary.WordCount"},
    {&FMTID_SummaryInformation, PIDSI_CHARCOUNT, "Summary.CharCount"},
    {&FMTID_SummaryInformation, PIDSI_THUMBNAIL, "Summary.Thumbnail"},
    {&FMTID_SummaryInformation, PIDSI_APPNAME, "Summary.ApplicationName"},
    {&FMTID_SummaryInformation, PIDSI_DOC_SECURITY, "Summary.Security"},
    {&FMTID_DocSummaryInformation, 2, "DocSummary.Category"},
    {&FMTID_DocSummaryInformation, 14, "DocSummary.Manager"},
    {&FMTID_DocSummaryInformation, 15, "DocSummary.Company"},
};

std::string Number(long long value) { return std::to_string(value); }
std::string Unsigned(unsigned long long value) { return std::to_string(value); }

// For people: every digit a double holds; JSON gets the shortest text that
// reads back as the same double, and null for what JSON has no number for.
std::string Real(double value) {
  if (value != value || value == 1.0 / 0.0 || value == -1.0 / 0.0) return "null";
  char text[64];
  std::snprintf(text, sizeof(text), "%.17g", value);
  return text;
}

// FILETIME (100 ns ticks since 1601) as ISO 8601 UTC.
std::string FileTimeText(const FILETIME& time) {
  using namespace std::chrono;
  unsigned long long ticks = (static_cast<unsigned long long>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
  constexpr long long kEpochDifference = 11644473600LL;  // seconds from 1601 to 1970
  long long seconds = static_cast<long long>(ticks / 10000000ULL) - kEpochDifference;
  sys_days day = floor<days>(sys_seconds(std::chrono::seconds(seconds)));
  year_month_day date(day);
  hh_mm_ss<std::chrono::seconds> clock(sys_seconds(std::chrono::seconds(seconds)) - day);
  char text[64];
  std::snprintf(text, sizeof(text), "%04d-%02u-%02uT%02d:%02d:%02dZ", static_cast<int>(date.year()),
                static_cast<unsigned>(date.month()), static_cast<unsigned>(date.day()),
                static_cast<int>(clock.hours().count()), static_cast<int>(clock.minutes().count()),
                static_cast<int>(clock.seconds().count()));
  return text;
}

std::string WideText(const WCHAR* text) { return text ? ToUtf8(text, lstrlenW(text)) : std::string(); }
std::string NarrowText(const char* text) { return text ? BytesAsUtf8(text) : std::string(); }

const char* TypeName(VARTYPE vt) {
  switch (vt) {
    case VT_EMPTY: return "VT_EMPTY";
    case VT_NULL: return "VT_NULL";
    case VT_I1: return "VT_I1";
    case VT_UI1: return "VT_UI1";
    case VT_I2: return "VT_I2";
    case VT_UI2: return "VT_UI2";
    case VT_I4: return "VT_I4";
    case VT_UI4: return "VT_UI4";
    case VT_INT: return "VT_INT";
    case VT_UINT: return "VT_UINT";
    case VT_I8: return "VT_I8";
    case VT_UI8: return "VT_UI8";
    case VT_R4: return "VT_R4";
    case VT_R8: return "VT_R8";
    case VT_BOOL: return "VT_BOOL";
    case VT_ERROR: return "VT_ERROR";
    case VT_DATE: return "VT_DATE";
    case VT_CY: return "VT_CY";
    case VT_FILETIME: return "VT_FILETIME";
    case VT_LPSTR: return "VT_LPSTR";
    case VT_LPWSTR: return "VT_LPWSTR";
    case VT_BSTR: return "VT_BSTR";
    case VT_CLSID: return "VT_CLSID";
    case VT_BLOB: return "VT_BLOB";
    case VT_CF: return "VT_CF";
    case VT_STREAM: return "VT_STREAM";
    case VT_STORAGE: return "VT_STORAGE";
    case VT_UNKNOWN: return "VT_UNKNOWN";
    default: return nullptr;
  }
}

std::string TypeText(VARTYPE vt) {
  std::string prefix = (vt & VT_VECTOR) ? "VT_VECTOR|" : "";
  VARTYPE base = vt & VT_TYPEMASK;
  if (const char* name = TypeName(base)) return prefix + name;
  char text[32];
  std::snprintf(text, sizeof(text), "0x%04x", static_cast<unsigned>(vt));
  return text;
}

void SetString(ValueText* out, const std::string& utf8) {
  out->display = utf8;
  out->json = utf8;
}

void SetNumber(ValueText* out, long long number) {
  out->display = Number(number);
  out->json = number;
}

void SetUnsigned(ValueText* out, unsigned long long number) {
  out->display = Unsigned(number);
  out->json = number;
}

void SetReal(ValueText* out, double number) {
  out->display = Real(number);
  out->json = number;  // written as null when not finite
}

// Vector values: a JSON array and a "; "-joined display.
template <class Element, class Convert>
void SetVector(ValueText* out, const Element* elements, ULONG count, Convert convert) {
  out->json = JsonValue::array();
  out->display.clear();
  for (ULONG i = 0; elements && i < count; ++i) {
    ValueText item;
    convert(elements[i], &item);
    if (i) out->display += "; ";
    out->json.push_back(std::move(item.json));
    out->display += item.display;
  }
}

}  // namespace

std::string GuidText(const GUID& guid) { return Utf16ToUtf8(GuidToString(guid)); }

std::string BreakTypeName(CHUNK_BREAKTYPE breakType) {
  switch (breakType) {
    case CHUNK_NO_BREAK: return "NO_BREAK";
    case CHUNK_EOW: return "EOW";
    case CHUNK_EOS: return "EOS";
    case CHUNK_EOP: return "EOP";
    case CHUNK_EOC: return "EOC";
  }
  return Number(static_cast<long long>(breakType));
}

std::string ChunkFlagsText(CHUNKSTATE flags) {
  std::string text;
  unsigned rest = static_cast<unsigned>(flags);
  auto add = [&](unsigned bit, const char* name) {
    if (rest & bit) {
      if (!text.empty()) text += "|";
      text += name;
      rest &= ~bit;
    }
  };
  add(CHUNK_TEXT, "TEXT");
  add(CHUNK_VALUE, "VALUE");
  add(CHUNK_FILTER_OWNED_VALUE, "FILTER_OWNED_VALUE");
  if (rest || text.empty()) {
    char hex[16];
    std::snprintf(hex, sizeof(hex), "0x%x", rest);
    if (!text.empty()) text += "|";
    text += hex;
  }
  return text;
}

std::string AttributeLabel(const FULLPROPSPEC& attribute) {
  if (attribute.psProperty.ulKind != PRSPEC_PROPID) return std::string();
  for (const PropertyName& name : kPropertyNames) {
    if (*name.fmtid == attribute.guidPropSet && name.propid == attribute.psProperty.propid) return name.label;
  }
  return std::string();
}

std::string AttributeText(const FULLPROPSPEC& attribute) {
  std::string label = AttributeLabel(attribute);
  if (!label.empty()) return label;
  std::string text = GuidText(attribute.guidPropSet) + "/";
  if (attribute.psProperty.ulKind == PRSPEC_LPWSTR)
    return text + "\"" + WideText(attribute.psProperty.lpwstr) + "\"";
  return text + Unsigned(attribute.psProperty.propid);
}

JsonValue AttributeJson(const FULLPROPSPEC& attribute) {
  JsonValue json = JsonValue::object();
  json["fmtid"] = GuidText(attribute.guidPropSet);
  if (attribute.psProperty.ulKind == PRSPEC_LPWSTR) {
    json["name"] = WideText(attribute.psProperty.lpwstr);
  } else {
    json["propid"] = attribute.psProperty.propid;
    std::string label = AttributeLabel(attribute);
    if (!label.empty()) json["label"] = label;
  }
  return json;
}

std::string JsonText(const JsonValue& value) {
  // Invalid UTF-8 cannot reach here (every text comes through the platform's
  // converters); should it, it is replaced rather than thrown about.
  std::string text = value.dump(-1, ' ', false, JsonValue::error_handler_t::replace);
  // DEL is a control character too; the library leaves it raw. In UTF-8 the
  // byte 0x7F is only ever DEL itself, and JSON structure never uses it.
  size_t at = 0;
  while ((at = text.find('\x7f', at)) != std::string::npos) {
    text.replace(at, 1, "\\u007f");
    at += 6;
  }
  return text;
}

ValueText FormatValue(const PROPVARIANT& value) {
  ValueText out;
  out.type = TypeText(value.vt);
  switch (value.vt) {
    case VT_EMPTY:
    case VT_NULL: out.display = "(none)"; out.json = nullptr; break;
    case VT_I1: SetNumber(&out, value.cVal); break;
    case VT_UI1: SetUnsigned(&out, value.bVal); break;
    case VT_I2: SetNumber(&out, value.iVal); break;
    case VT_UI2: SetUnsigned(&out, value.uiVal); break;
    case VT_I4:
    case VT_INT: SetNumber(&out, value.lVal); break;
    case VT_UI4:
    case VT_UINT: SetUnsigned(&out, value.ulVal); break;
    case VT_ERROR: SetNumber(&out, value.scode); break;
    case VT_I8: SetNumber(&out, value.hVal.QuadPart); break;
    case VT_UI8: SetUnsigned(&out, value.uhVal.QuadPart); break;
    case VT_R4: SetReal(&out, value.fltVal); break;
    case VT_R8:
    case VT_DATE: SetReal(&out, value.dblVal); break;
    case VT_BOOL:
      out.display = value.boolVal ? "true" : "false";
      out.json = value.boolVal != 0;
      break;
    case VT_FILETIME: SetString(&out, FileTimeText(value.filetime)); break;
    case VT_LPSTR: SetString(&out, NarrowText(value.pszVal)); break;
    case VT_LPWSTR:
    case VT_BSTR: SetString(&out, WideText(value.pwszVal)); break;
    case VT_CLSID: SetString(&out, value.puuid ? GuidText(*value.puuid) : std::string()); break;
    case VT_BLOB:
      out.display = "(" + Unsigned(value.blob.cbSize) + " bytes)";
      out.json = JsonValue::object();
      out.json["bytes"] = value.blob.cbSize;
      break;
    case VT_VECTOR | VT_LPSTR:
      SetVector(&out, value.calpstr.pElems, value.calpstr.cElems,
                [](LPSTR s, ValueText* item) { SetString(item, NarrowText(s)); });
      break;
    case VT_VECTOR | VT_LPWSTR:
      SetVector(&out, value.calpwstr.pElems, value.calpwstr.cElems,
                [](LPWSTR s, ValueText* item) { SetString(item, WideText(s)); });
      break;
    case VT_VECTOR | VT_I4:
      SetVector(&out, value.cal.pElems, value.cal.cElems,
                [](LONG v, ValueText* item) { SetNumber(item, v); });
      break;
    case VT_VECTOR | VT_UI4:
      SetVector(&out, value.caul.pElems, value.caul.cElems,
                [](ULONG v, ValueText* item) { SetUnsigned(item, v); });
      break;
    case VT_VECTOR | VT_FILETIME:
      SetVector(&out, value.cafiletime.pElems, value.cafiletime.cElems,
                [](const FILETIME& v, ValueText* item) { SetString(item, FileTimeText(v)); });
      break;
    default:
      out.display = "(a value of type " + out.type + ")";
      out.json = nullptr;
      break;
  }
  return out;
}
