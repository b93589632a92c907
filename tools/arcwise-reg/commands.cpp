#include "commands.h"

#include <cctype>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>

#include <shlwapi.h>

#include "error_text.h"
#include "key_path.h"
#include "reg_file.h"
#include "registry_tree.h"

namespace {

const char kSuccess[] = "The operation completed successfully.\n";

// reg.exe's own sentences where it has them; a failure of the database
// itself names the database; everything else in the system's words.
std::string ErrorText(LSTATUS status) {
  switch (status) {
    case ERROR_FILE_NOT_FOUND:
      return "The system was unable to find the specified registry key or value.";
    case ERROR_BAD_PATHNAME: return "Invalid key name.";
    default: break;
  }
  std::string registry = RegistryFailureText(status);
  if (registry.empty()) return DescribeWin32Error(static_cast<DWORD>(status));
  registry[0] = static_cast<char>(std::toupper(static_cast<unsigned char>(registry[0])));
  return registry + ".";
}

void Print(const std::string& text) { fputs(text.c_str(), stdout); }

std::string DisplayName(const WString& name) {
  return name.empty() ? std::string("(Default)") : Utf16ToUtf8(name);
}

std::string ValueLine(const RegValue& value) {
  return "    " + DisplayName(value.name) + "    " + TypeName(value.type) + "    " +
         FormatForQuery(value) + "\n";
}

bool KeyArgument(const CommandLine& command, size_t count, KeyPath* key, std::string* error) {
  if (command.arguments.size() != count) {
    *error = "Invalid syntax. Wrong number of arguments for " + command.operation + ".";
    return false;
  }
  return ParseKeyPath(command.arguments[0], key, error);
}

LSTATUS OpenKey(const KeyPath& key, REGSAM access, HKEY* result) {
  return RegOpenKeyExW(key.root, key.subKey.empty() ? nullptr : key.subKey.c_str(), 0, access,
                       result);
}

// Closes a handle (predefined roots need no closing, RegCloseKey allows them).
struct KeyCloser {
  HKEY key = nullptr;
  ~KeyCloser() {
    if (key) RegCloseKey(key);
  }
};

// One value with its stored name (the caller may have typed another case).
LSTATUS ReadOne(HKEY key, const WString& name, RegValue* value) {
  std::vector<RegValue> values;
  LSTATUS status = ReadValues(key, &values);
  if (status != ERROR_SUCCESS) return status;
  for (RegValue& candidate : values) {
    if (_wcsicmp(candidate.name.c_str(), name.c_str()) == 0) {
      *value = std::move(candidate);
      return ERROR_SUCCESS;
    }
  }
  return ERROR_FILE_NOT_FOUND;
}

// reg query KEY [/s]: the key, its values, then its subkeys (names only, or
// in full with /s).
LSTATUS PrintTree(const KeyPath& path, HKEY key, bool recursive) {
  std::vector<RegValue> values;
  LSTATUS status = ReadValues(key, &values);
  if (status != ERROR_SUCCESS) return status;
  std::string out = "\n" + Utf16ToUtf8(path.Full()) + "\n";
  for (const RegValue& value : values) out += ValueLine(value);
  Print(out);
  std::vector<WString> names;
  status = ReadSubKeyNames(key, &names);
  if (status != ERROR_SUCCESS) return status;
  if (!recursive) {
    if (!names.empty()) Print("\n");
    for (const WString& name : names) Print(Utf16ToUtf8(path.Child(name).Full()) + "\n");
    return ERROR_SUCCESS;
  }
  for (const WString& name : names) {
    KeyCloser child;
    status = RegOpenKeyExW(key, name.c_str(), 0, KEY_READ, &child.key);
    if (status == ERROR_SUCCESS) status = PrintTree(path.Child(name), child.key, true);
    if (status != ERROR_SUCCESS) return status;
  }
  return ERROR_SUCCESS;
}

// reg query KEY /v NAME /s: every key below KEY that has the value.
LSTATUS PrintMatches(const KeyPath& path, HKEY key, const WString& name, int* matches) {
  RegValue value;
  LSTATUS status = ReadOne(key, name, &value);
  if (status == ERROR_SUCCESS) {
    Print("\n" + Utf16ToUtf8(path.Full()) + "\n" + ValueLine(value));
    ++*matches;
  } else if (status != ERROR_FILE_NOT_FOUND) {
    return status;
  }
  std::vector<WString> names;
  status = ReadSubKeyNames(key, &names);
  if (status != ERROR_SUCCESS) return status;
  for (const WString& childName : names) {
    KeyCloser child;
    status = RegOpenKeyExW(key, childName.c_str(), 0, KEY_READ, &child.key);
    if (status == ERROR_SUCCESS) status = PrintMatches(path.Child(childName), child.key, name, matches);
    if (status != ERROR_SUCCESS) return status;
  }
  return ERROR_SUCCESS;
}

void Flatten(const KeyPath& path, const RegKeyNode& node, std::vector<RegFileKey>* keys) {
  keys->push_back(RegFileKey{path.Full(), node.values});
  for (const RegKeyNode& child : node.children) Flatten(path.Child(child.name), child, keys);
}

struct ImportContext {
  const std::vector<RegFileOp>* ops;
  LSTATUS status = ERROR_SUCCESS;
  int line = 0;
};

LSTATUS ApplyOp(const RegFileOp& op) {
  switch (op.kind) {
    case RegFileOp::kCreateKey: {
      KeyCloser key;
      return RegCreateKeyExW(op.key.root, op.key.subKey.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS,
                             nullptr, &key.key, nullptr);
    }
    case RegFileOp::kDeleteKey: {
      LSTATUS status = SHDeleteKeyW(op.key.root, op.key.subKey.c_str());
      return status == ERROR_FILE_NOT_FOUND ? ERROR_SUCCESS : status;
    }
    case RegFileOp::kSetValue: {
      KeyCloser key;
      LSTATUS status = RegCreateKeyExW(op.key.root, op.key.subKey.c_str(), 0, nullptr, 0,
                                       KEY_ALL_ACCESS, nullptr, &key.key, nullptr);
      if (status != ERROR_SUCCESS) return status;
      return RegSetValueExW(key.key, op.value.name.c_str(), 0, op.value.type,
                            reinterpret_cast<const BYTE*>(op.value.data.data()),
                            static_cast<DWORD>(op.value.data.size()));
    }
    case RegFileOp::kDeleteValue: {
      KeyCloser key;
      LSTATUS status = RegOpenKeyExW(op.key.root, op.key.subKey.c_str(), 0, KEY_ALL_ACCESS, &key.key);
      if (status == ERROR_SUCCESS) status = RegDeleteValueW(key.key, op.value.name.c_str());
      return status == ERROR_FILE_NOT_FOUND ? ERROR_SUCCESS : status;
    }
  }
  return ERROR_INVALID_PARAMETER;
}

bool ApplyAll(void* context) {
  auto* ctx = static_cast<ImportContext*>(context);
  for (const RegFileOp& op : *ctx->ops) {
    ctx->status = ApplyOp(op);
    if (ctx->status != ERROR_SUCCESS) {
      ctx->line = op.line;
      return false;
    }
  }
  return true;
}

}  // namespace

int Fail(const std::string& message) {
  std::string line = "ERROR: " + message;
  for (char& c : line)
    if (c == '\n' || c == '\r') c = ' ';
  fprintf(stderr, "%s\n", line.c_str());
  return 1;
}

int RunQuery(const CommandLine& command) {
  KeyPath path;
  std::string error;
  if (!KeyArgument(command, 1, &path, &error)) return Fail(error);
  if (command.allValues || command.type || command.data || command.force)
    return Fail("Invalid syntax. query takes /v, /ve, /s and /se only.");
  KeyCloser key;
  LSTATUS status = OpenKey(path, KEY_READ, &key.key);
  if (status != ERROR_SUCCESS) return Fail(ErrorText(status));
  if (command.valueName || command.defaultValue) {
    WString name = command.valueName ? *command.valueName : WString();
    if (command.recursive) {
      int matches = 0;
      status = PrintMatches(path, key.key, name, &matches);
      if (status != ERROR_SUCCESS) return Fail(ErrorText(status));
      if (matches == 0) return Fail(ErrorText(ERROR_FILE_NOT_FOUND));
      Print("\nEnd of search: " + std::to_string(matches) + " match(es) found.\n");
      return 0;
    }
    RegValue value;
    status = ReadOne(key.key, name, &value);
    if (status != ERROR_SUCCESS) return Fail(ErrorText(status));
    Print("\n" + Utf16ToUtf8(path.Full()) + "\n" + ValueLine(value) + "\n");
    return 0;
  }
  status = PrintTree(path, key.key, command.recursive);
  if (status != ERROR_SUCCESS) return Fail(ErrorText(status));
  Print("\n");
  return 0;
}

int RunAdd(const CommandLine& command) {
  KeyPath path;
  std::string error;
  if (!KeyArgument(command, 1, &path, &error)) return Fail(error);
  if (command.allValues || command.recursive || command.overwriteFile)
    return Fail("Invalid syntax. add takes /v or /ve, /t, /s, /d and /f only.");
  DWORD type = REG_SZ;
  if (command.type && !TypeFromName(Utf16ToUtf8(*command.type), &type))
    return Fail("Invalid syntax. Unknown type " + Utf16ToUtf8(*command.type) + ".");
  // Like reg.exe, /t or /d without a value name means the default value.
  bool setValue = command.valueName || command.defaultValue || command.type || command.data;
  WString name = command.valueName ? *command.valueName : WString();
  std::string bytes;
  if (setValue &&
      !DataFromArgument(type, command.data ? *command.data : WString(),
                        command.separator ? *command.separator : WString(), &bytes, &error))
    return Fail(error);

  KeyCloser key;
  LSTATUS status = RegCreateKeyExW(path.root, path.subKey.empty() ? nullptr : path.subKey.c_str(), 0,
                                   nullptr, 0, KEY_ALL_ACCESS, nullptr, &key.key, nullptr);
  if (status != ERROR_SUCCESS) return Fail(ErrorText(status));
  if (setValue) {
    DWORD size = 0;
    if (!command.force &&
        RegQueryValueExW(key.key, name.c_str(), nullptr, nullptr, nullptr, &size) == ERROR_SUCCESS)
      return Fail("Value " + DisplayName(name) +
                  " exists; arcwise-reg cannot ask, so add /f to overwrite it.");
    status = RegSetValueExW(key.key, name.c_str(), 0, type,
                            reinterpret_cast<const BYTE*>(bytes.data()),
                            static_cast<DWORD>(bytes.size()));
    if (status != ERROR_SUCCESS) return Fail(ErrorText(status));
  }
  Print(kSuccess);
  return 0;
}

int RunDelete(const CommandLine& command) {
  KeyPath path;
  std::string error;
  if (!KeyArgument(command, 1, &path, &error)) return Fail(error);
  if (command.type || command.data || command.recursive || command.overwriteFile)
    return Fail("Invalid syntax. delete takes /v, /ve, /va and /f only.");
  if (!command.force)
    return Fail("Deleting needs /f: arcwise-reg cannot ask for confirmation.");
  LSTATUS status;
  if (command.valueName || command.defaultValue || command.allValues) {
    KeyCloser key;
    status = OpenKey(path, KEY_QUERY_VALUE | KEY_SET_VALUE, &key.key);
    if (status != ERROR_SUCCESS) return Fail(ErrorText(status));
    if (command.allValues) {
      std::vector<RegValue> values;
      status = ReadValues(key.key, &values);
      for (size_t i = 0; status == ERROR_SUCCESS && i < values.size(); ++i)
        status = RegDeleteValueW(key.key, values[i].name.c_str());
    } else {
      WString name = command.valueName ? *command.valueName : WString();
      status = RegDeleteValueW(key.key, name.c_str());
    }
  } else {
    if (path.subKey.empty()) return Fail("A root key cannot be deleted.");
    status = SHDeleteKeyW(path.root, path.subKey.c_str());
  }
  if (status != ERROR_SUCCESS) return Fail(ErrorText(status));
  Print(kSuccess);
  return 0;
}

int RunExport(const CommandLine& command) {
  KeyPath path;
  std::string error;
  if (!KeyArgument(command, 2, &path, &error)) return Fail(error);
  if (command.valueName || command.defaultValue || command.allValues || command.type ||
      command.data || command.force || command.recursive)
    return Fail("Invalid syntax. export takes KEY FILE [/y] only.");
  std::string file = Utf16ToUtf8(command.arguments[1]);
  std::error_code ec;
  if (std::filesystem::exists(file, ec) && !command.overwriteFile)
    return Fail("The file " + file + " exists; add /y to overwrite it.");
  KeyCloser key;
  LSTATUS status = OpenKey(path, KEY_READ, &key.key);
  if (status != ERROR_SUCCESS) return Fail(ErrorText(status));
  RegKeyNode tree;
  status = ReadTree(key.key, &tree);
  if (status != ERROR_SUCCESS) return Fail(ErrorText(status));
  std::vector<RegFileKey> keys;
  Flatten(path, tree, &keys);
  std::string bytes = WriteRegFile(keys);
  std::ofstream out(file, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  out.close();
  if (!out) return Fail("Cannot write " + file + ".");
  Print(kSuccess);
  return 0;
}

int RunImport(const CommandLine& command) {
  if (command.arguments.size() != 1 || command.valueName || command.defaultValue ||
      command.allValues || command.type || command.data || command.recursive)
    return Fail("Invalid syntax. import takes FILE only.");
  std::string file = Utf16ToUtf8(command.arguments[0]);
  std::ifstream in(file, std::ios::binary);
  if (!in) return Fail("Cannot open " + file + ".");
  std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  std::vector<RegFileOp> ops;
  std::string error;
  if (!ParseRegFile(bytes, &ops, &error)) return Fail(file + ": " + error + "; nothing was imported.");
  ImportContext context{&ops};
  LSTATUS status = ArcwiseRegistryTransaction(&ApplyAll, &context);
  if (status == ERROR_CANCELLED)
    return Fail(file + ": line " + std::to_string(context.line) + ": " + ErrorText(context.status) +
                " Nothing was imported.");
  if (status != ERROR_SUCCESS) return Fail(ErrorText(status));
  Print(kSuccess);
  return 0;
}
