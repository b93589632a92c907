#include "options.h"

#include <getopt.h>

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include <objbase.h>

namespace {

struct FlagName {
  const char* name;
  ULONG value;
};

const FlagName kInitFlagNames[] = {
    {"CANON_PARAGRAPHS", IFILTER_INIT_CANON_PARAGRAPHS},
    {"HARD_LINE_BREAKS", IFILTER_INIT_HARD_LINE_BREAKS},
    {"CANON_HYPHENS", IFILTER_INIT_CANON_HYPHENS},
    {"CANON_SPACES", IFILTER_INIT_CANON_SPACES},
    {"APPLY_INDEX_ATTRIBUTES", IFILTER_INIT_APPLY_INDEX_ATTRIBUTES},
    {"APPLY_OTHER_ATTRIBUTES", IFILTER_INIT_APPLY_OTHER_ATTRIBUTES},
    {"APPLY_CRAWL_ATTRIBUTES", IFILTER_INIT_APPLY_CRAWL_ATTRIBUTES},
    {"INDEXING_ONLY", IFILTER_INIT_INDEXING_ONLY},
    {"SEARCH_LINKS", IFILTER_INIT_SEARCH_LINKS},
    {"FILTER_OWNED_VALUE_OK", IFILTER_INIT_FILTER_OWNED_VALUE_OK},
    {"FILTER_AGGRESSIVE_BREAK", IFILTER_INIT_FILTER_AGGRESSIVE_BREAK},
    {"DISABLE_EMBEDDED", IFILTER_INIT_DISABLE_EMBEDDED},
    {"EMIT_FORMATTING", IFILTER_INIT_EMIT_FORMATTING},
};

bool EqualsIgnoreCase(const std::string& a, const char* b) {
  size_t n = std::strlen(b);
  if (a.size() != n) return false;
  for (size_t i = 0; i < n; ++i) {
    if (std::toupper(static_cast<unsigned char>(a[i])) != std::toupper(static_cast<unsigned char>(b[i])))
      return false;
  }
  return true;
}

bool ParseNumber(const std::string& text, ULONG* value) {
  if (text.empty()) return false;
  char* end = nullptr;
  unsigned long long parsed = std::strtoull(text.c_str(), &end, 0);
  if (*end != '\0' || parsed > 0xFFFFFFFFull || text[0] == '-') return false;
  *value = static_cast<ULONG>(parsed);
  return true;
}

// A number (decimal or 0x hex) or names joined by '|' or ',', with or
// without the IFILTER_INIT_ prefix.
bool ParseInitFlags(const std::string& text, ULONG* flags) {
  if (ParseNumber(text, flags)) return true;
  ULONG result = 0;
  size_t start = 0;
  while (start <= text.size()) {
    size_t end = text.find_first_of("|,", start);
    if (end == std::string::npos) end = text.size();
    std::string name = text.substr(start, end - start);
    if (name.rfind("IFILTER_INIT_", 0) == 0) name = name.substr(13);
    bool found = false;
    for (const FlagName& flag : kInitFlagNames) {
      if (EqualsIgnoreCase(name, flag.name)) {
        result |= flag.value;
        found = true;
      }
    }
    if (!found) return false;
    start = end + 1;
  }
  *flags = result;
  return true;
}

bool ParseGuid(const std::string& text, GUID* guid) {
  if (text.size() != 38 || text.front() != '{' || text.back() != '}') return false;
  WString wide = Utf8ToUtf16(text);
  return SUCCEEDED(IIDFromString(wide.c_str(), guid));
}

// FMTID,PROPID where PROPID is a number or a property name.
bool ParseAttribute(const std::string& text, DumpOptions* options) {
  size_t comma = text.find(',');
  if (comma == std::string::npos) return false;
  FULLPROPSPEC propertySpec = {};
  if (!ParseGuid(text.substr(0, comma), &propertySpec.guidPropSet)) return false;
  std::string property = text.substr(comma + 1);
  if (property.empty()) return false;
  ULONG propid = 0;
  if (ParseNumber(property, &propid)) {
    propertySpec.psProperty.ulKind = PRSPEC_PROPID;
    propertySpec.psProperty.propid = propid;
  } else {
    options->attributeNames.push_back(Utf8ToUtf16(property));
    propertySpec.psProperty.ulKind = PRSPEC_LPWSTR;
    propertySpec.psProperty.lpwstr = options->attributeNames.back().data();
  }
  options->attributes.push_back(propertySpec);
  return true;
}

}  // namespace

void PrintUsage(FILE* out) {
  std::fputs(
      "Usage: arcwise-dump [options] FILE...\n"
      "       arcwise-dump [options] --stdin < archive.zip\n"
      "Shows what an indexer gets from each file through its IFilter.\n"
      "\n"
      "Output (default: one header line per chunk, then its text or value):\n"
      "  --text                  only the text of text chunks, a blank line before each chunk that\n"
      "                          starts with a break (NO_BREAK chunks are joined on)\n"
      "  --json                  JSON Lines: one object per chunk\n"
      "Loading (default: LoadIFilter, the filter registered for the file's extension):\n"
      "  --clsid {GUID}          create this filter class directly\n"
      "  --stream                load through IPersistStream from a file stream\n"
      "  --stdin                 read one archive from standard input (a memory stream)\n"
      "Init:\n"
      "  --init-flags FLAGS      a number or names such as CANON_PARAGRAPHS|INDEXING_ONLY\n"
      "                          (default 0x3f: canonical text, index and other attributes)\n"
      "  --attribute FMTID,PROP  ask for one attribute (PROP: property id or name); repeatable\n"
      "Other:\n"
      "  --no-register           never register the bundled modules on first run\n"
      "  -h, --help              this text\n"
      "\n"
      "Exit status: 0 all files dumped, 1 at least one file failed, 2 bad command line.\n",
      out);
}

namespace {

// Long options only, besides -h; codes above any character.
enum OptionCode { kText = 256, kJson, kClsid, kStream, kStdin, kInitFlags, kAttribute, kNoRegister };
// getopt_long's code for a command-line word that is no option (a FILE),
// with '-' leading the short options.
constexpr int kFileArgument = 1;

const option kLongOptions[] = {
    {"text", no_argument, nullptr, kText},
    {"json", no_argument, nullptr, kJson},
    {"clsid", required_argument, nullptr, kClsid},
    {"stream", no_argument, nullptr, kStream},
    {"stdin", no_argument, nullptr, kStdin},
    {"init-flags", required_argument, nullptr, kInitFlags},
    {"attribute", required_argument, nullptr, kAttribute},
    {"no-register", no_argument, nullptr, kNoRegister},
    {"help", no_argument, nullptr, 'h'},
    {nullptr, 0, nullptr, 0},
};

std::string NameOf(int code) {
  for (const option& o : kLongOptions) {
    if (o.name && o.val == code) return std::string("--") + o.name;
  }
  return std::string("-") + static_cast<char>(code);
}

// The option word as typed, without an inline "=value".
std::string Typed(const char* word) {
  std::string text = word;
  size_t equals = text.find('=');
  return text.rfind("--", 0) == 0 && equals != std::string::npos ? text.substr(0, equals) : text;
}

}  // namespace

bool ParseOptions(int argc, char** argv, DumpOptions* options, std::string* error) {
  bool formatSet = false;
  auto setFormat = [&](OutputFormat format) {
    if (formatSet && options->format != format) {
      *error = "--text and --json cannot be combined";
      return false;
    }
    formatSet = true;
    options->format = format;
    return true;
  };
  // '-': FILEs come back in their place among the options (whatever
  // POSIXLY_CORRECT says); ':': a missing value is reported, not printed.
  opterr = 0;
  optind = 0;
  for (;;) {
    int index = -1;
    const int code = getopt_long(argc, argv, "-:h", kLongOptions, &index);
    if (code == -1) break;
    // Whether a long option was read (getopt_long reports an unknown one
    // with optopt 0, and one it could not take with that option's code;
    // -h itself is never wrong, so 'h' there means --help=VALUE).
    const bool failed = code == '?' || code == ':';
    const bool longOption = index >= 0 || (failed && (optopt == 0 || optopt >= kText || optopt == 'h'));
    if (code == '?' && !longOption) {
      *error = "unknown option -" + std::string(1, static_cast<char>(optopt));
      return false;
    }
    if (longOption) {
      // The word just read: the one before a separate value, else the last.
      const bool separateValue = !failed && optarg && optarg == argv[optind - 1];
      const std::string typed = Typed(argv[optind - (separateValue ? 2 : 1)]);
      // getopt_long also takes unambiguous abbreviations (--tex); this
      // tool's options are spelled out, so no script breaks when one is added.
      bool known = false;
      for (const option& o : kLongOptions) known = known || (o.name && typed == std::string("--") + o.name);
      if (!known || (code == '?' && optopt == 0)) {
        *error = "unknown option " + typed;
        return false;
      }
      if (code == '?') {
        *error = typed + " takes no value";
        return false;
      }
    }
    if (code == ':') {
      *error = NameOf(optopt) + " needs a value";
      return false;
    }
    const std::string value = optarg ? optarg : "";
    switch (code) {
      case kFileArgument: options->files.push_back(value); break;
      case kText:
        if (!setFormat(OutputFormat::Text)) return false;
        break;
      case kJson:
        if (!setFormat(OutputFormat::Json)) return false;
        break;
      case kStream: options->useStream = true; break;
      case kStdin: options->useStdin = true; break;
      case kNoRegister: options->registerModules = false; break;
      case 'h': options->showHelp = true; break;
      case kClsid:
        if (!ParseGuid(value, &options->clsid)) {
          *error = "--clsid needs a class id such as {356CE73D-53A5-4029-B5D3-9E4950B8BEDD}, not \"" + value + "\"";
          return false;
        }
        options->haveClsid = true;
        break;
      case kInitFlags:
        if (!ParseInitFlags(value, &options->initFlags)) {
          *error = "--init-flags needs a number or IFILTER_INIT names joined by '|', not \"" + value + "\"";
          return false;
        }
        break;
      case kAttribute:
        if (!ParseAttribute(value, options)) {
          *error = "--attribute needs {FMTID},PROPID (a number or a property name), not \"" + value + "\"";
          return false;
        }
        break;
    }
  }
  // After "--" every word is a FILE.
  for (int i = optind; i < argc; ++i) options->files.push_back(argv[i]);
  if (options->showHelp) return true;
  if (options->useStdin && !options->files.empty()) {
    *error = "--stdin reads one archive from standard input and takes no FILE";
    return false;
  }
  if (options->useStdin && options->useStream) {
    *error = "--stdin already loads through a stream; leave out --stream";
    return false;
  }
  if (!options->useStdin && options->files.empty()) {
    *error = "no FILE given";
    return false;
  }
  return true;
}
