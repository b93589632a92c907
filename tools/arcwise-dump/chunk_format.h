// How arcwise-dump names what a filter hands out: break types, chunk flags,
// attributes (by their well-known names where it knows them) and property
// values, both for people and as JSON (nlohmann-json values that keep their
// members in the order they were added). Pure functions, any thread.
#pragma once

#include <string>

#include <nlohmann/json.hpp>

#include <filter.h>

using JsonValue = nlohmann::ordered_json;

// "EOP", "NO_BREAK", ... or the number for a value out of range.
std::string BreakTypeName(CHUNK_BREAKTYPE breakType);
// "TEXT", "VALUE", "VALUE|FILTER_OWNED_VALUE"; unknown bits in hex.
std::string ChunkFlagsText(CHUNKSTATE flags);
// "Storage.Contents", "Summary.Title", ... or empty when not known.
std::string AttributeLabel(const FULLPROPSPEC& attribute);
// The label, or "{FMTID}/19", or "{FMTID}/\"name\"".
std::string AttributeText(const FULLPROPSPEC& attribute);
// {"fmtid":"{...}","propid":19,"label":"Storage.Contents"} or with "name".
JsonValue AttributeJson(const FULLPROPSPEC& attribute);
// Braced upper-case GUID text.
std::string GuidText(const GUID& guid);

struct ValueText {
  std::string type;     // "VT_LPWSTR", "VT_VECTOR|VT_LPSTR", ...
  std::string display;  // for people
  JsonValue json;       // string, number, boolean, array, object or null
};
ValueText FormatValue(const PROPVARIANT& value);

// One JSON text without spaces, non-ASCII characters as they are (UTF-8),
// control characters and DEL escaped.
std::string JsonText(const JsonValue& value);
