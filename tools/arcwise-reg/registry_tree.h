// Reading keys through the platform's Win32 registry API: the values of a
// key in enumeration order, its subkey names, a whole subtree. Single-threaded
// tool code.
#pragma once

#include <vector>

#include "reg_value.h"

struct RegKeyNode {
  WString name;  // the key's own name (empty for the top of a tree read)
  std::vector<RegValue> values;
  std::vector<RegKeyNode> children;
};

LSTATUS ReadValues(HKEY key, std::vector<RegValue>* values);
LSTATUS ReadSubKeyNames(HKEY key, std::vector<WString>* names);
// Reads `key` and everything below it.
LSTATUS ReadTree(HKEY key, RegKeyNode* node);
