// The text .reg format ("Windows Registry Editor Version 5.00"): writing it
// as reg.exe exports it (UTF-16LE with BOM, CR LF lines) and reading it back
// (UTF-8 or UTF-16LE with BOM, [-KEY] and "name"=- deletions, backslash line
// continuations) into a list of operations. Pure; single-threaded tool code.
#pragma once

#include <string>
#include <vector>

#include "key_path.h"
#include "reg_value.h"

struct RegFileKey {
  WString path;  // full path with the long root name
  std::vector<RegValue> values;
};

// The whole file, ready to be written as bytes.
std::string WriteRegFile(const std::vector<RegFileKey>& keys);

struct RegFileOp {
  enum Kind { kCreateKey, kDeleteKey, kSetValue, kDeleteValue };
  Kind kind = kCreateKey;
  KeyPath key;
  RegValue value;  // name for both value kinds; type and data for kSetValue
  int line = 0;
};

// Parses the whole file; false with "line N: reason" when anything in it is
// malformed (nothing of such a file may be applied).
bool ParseRegFile(const std::string& bytes, std::vector<RegFileOp>* ops, std::string* error);
