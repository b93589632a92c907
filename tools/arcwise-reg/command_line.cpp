#include "command_line.h"

#include <algorithm>
#include <cctype>

namespace {

std::string Lower(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return text;
}

const char* const kSwitches[] = {"v", "ve", "va", "t", "d", "f", "y", "se", "s"};

// "/v" and "-v" are switches; "/tmp/out.reg" is a POSIX path, so a '/'
// argument that names no switch and has another '/' in it is positional.
bool IsSwitch(const std::string& arg) {
  if (arg.size() < 2 || (arg[0] != '/' && arg[0] != '-')) return false;
  std::string name = Lower(arg.substr(1));
  for (const char* known : kSwitches) {
    if (name == known) return true;
  }
  return arg[0] == '-' || arg.find('/', 1) == std::string::npos;
}

}  // namespace

bool ParseCommandLine(int argc, char** argv, CommandLine* out, std::string* error) {
  if (argc < 2) {
    *error = "Invalid syntax. Usage: arcwise-reg query|add|delete|export|import ...";
    return false;
  }
  out->operation = Lower(argv[1]);
  for (int i = 2; i < argc; ++i) {
    std::string arg = argv[i];
    if (!IsSwitch(arg)) {
      out->arguments.push_back(Utf8ToUtf16(arg));
      continue;
    }
    std::string name = Lower(arg.substr(1));
    auto next = [&](std::optional<WString>* slot) {
      if (i + 1 >= argc) {
        *error = "Invalid syntax. " + arg + " needs an argument.";
        return false;
      }
      if (slot->has_value()) {
        *error = "Invalid syntax. " + arg + " given twice.";
        return false;
      }
      *slot = Utf8ToUtf16(argv[++i]);
      return true;
    };
    if (name == "v") {
      if (!next(&out->valueName)) return false;
    } else if (name == "ve") {
      out->defaultValue = true;
    } else if (name == "va") {
      out->allValues = true;
    } else if (name == "t") {
      if (!next(&out->type)) return false;
    } else if (name == "d") {
      if (!next(&out->data)) return false;
    } else if (name == "f") {
      out->force = true;
    } else if (name == "y") {
      out->overwriteFile = true;
    } else if (name == "se") {
      if (!next(&out->separator)) return false;
    } else if (name == "s") {
      // reg add takes /s as the REG_MULTI_SZ separator; reg query as "recurse".
      if (out->operation == "add") {
        if (!next(&out->separator)) return false;
      } else {
        out->recursive = true;
      }
    } else {
      *error = "Invalid syntax. Unknown switch " + arg + ".";
      return false;
    }
  }
  int valueSwitches = (out->valueName ? 1 : 0) + (out->defaultValue ? 1 : 0) + (out->allValues ? 1 : 0);
  if (valueSwitches > 1) {
    *error = "Invalid syntax. Use only one of /v, /ve and /va.";
    return false;
  }
  return true;
}
