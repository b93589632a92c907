#include "registry_tree.h"

LSTATUS ReadValues(HKEY key, std::vector<RegValue>* values) {
  values->clear();
  DWORD maxName = 0, maxData = 0;
  LSTATUS status = RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                                    nullptr, &maxName, &maxData, nullptr, nullptr);
  if (status != ERROR_SUCCESS) return status;
  for (DWORD index = 0;; ++index) {
    // Another process may grow a value between the calls: retry with more room.
    WString name(maxName + 1, u'\0');
    std::string data(maxData, '\0');
    DWORD cchName = static_cast<DWORD>(name.size());
    DWORD cbData = static_cast<DWORD>(data.size());
    DWORD type = 0;
    status = RegEnumValueW(key, index, name.data(), &cchName, nullptr, &type,
                           reinterpret_cast<BYTE*>(data.data()), &cbData);
    if (status == ERROR_NO_MORE_ITEMS) return ERROR_SUCCESS;
    if (status == ERROR_MORE_DATA) {
      maxName = maxName * 2 + 256;
      maxData = cbData > maxData ? cbData : maxData * 2 + 256;
      --index;
      continue;
    }
    if (status != ERROR_SUCCESS) return status;
    name.resize(cchName);
    data.resize(cbData);
    values->push_back(RegValue{name, type, data});
  }
}

LSTATUS ReadSubKeyNames(HKEY key, std::vector<WString>* names) {
  names->clear();
  for (DWORD index = 0;; ++index) {
    WCHAR name[256];
    DWORD cch = 256;
    LSTATUS status = RegEnumKeyExW(key, index, name, &cch, nullptr, nullptr, nullptr, nullptr);
    if (status == ERROR_NO_MORE_ITEMS) return ERROR_SUCCESS;
    if (status != ERROR_SUCCESS) return status;
    names->emplace_back(name, cch);
  }
}

LSTATUS ReadTree(HKEY key, RegKeyNode* node) {
  LSTATUS status = ReadValues(key, &node->values);
  if (status != ERROR_SUCCESS) return status;
  std::vector<WString> names;
  status = ReadSubKeyNames(key, &names);
  if (status != ERROR_SUCCESS) return status;
  for (const WString& name : names) {
    HKEY child = nullptr;
    status = RegOpenKeyExW(key, name.c_str(), 0, KEY_READ, &child);
    if (status != ERROR_SUCCESS) return status;
    RegKeyNode childNode;
    childNode.name = name;
    status = ReadTree(child, &childNode);
    RegCloseKey(child);
    if (status != ERROR_SUCCESS) return status;
    node->children.push_back(std::move(childNode));
  }
  return ERROR_SUCCESS;
}
