// Command-line parsing of arcwise-reg: the operation, its positional
// arguments and the reg.exe switches (/v, /ve, /va, /s, /t, /d, /f, /y, /se),
// accepted with '/' or '-' in any case. Pure; single-threaded tool code.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include <windows.h>

struct CommandLine {
  std::string operation;          // lower case: query, add, delete, export, import
  std::vector<WString> arguments;  // positional: key, file
  std::optional<WString> valueName;  // /v
  bool defaultValue = false;         // /ve
  bool allValues = false;            // /va
  bool recursive = false;            // /s with query
  bool force = false;                // /f
  bool overwriteFile = false;        // /y
  std::optional<WString> type;       // /t
  std::optional<WString> data;       // /d
  std::optional<WString> separator;  // /s with add, /se with query
};

// False with a message for unknown switches or a switch missing its argument.
bool ParseCommandLine(int argc, char** argv, CommandLine* out, std::string* error);
