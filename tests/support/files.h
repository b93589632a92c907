// File helpers of every test folder: whole-file reads and writes, the lines
// of a text, the names in a folder or a tree, and the shape of the names the
// temporary-name service hands out. Plain POSIX/std::filesystem, so a test can check what
// the module did without going through the code under test. Any thread.
#pragma once

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <sstream>
#include <string>
#include <vector>

namespace arcwise_test {

inline std::string ReadAll(const std::filesystem::path& path) {
  std::ifstream file(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

// Replaces the file's content (creating it) with exactly these bytes.
inline void WriteAll(const std::filesystem::path& path, const std::string& data) {
  std::ofstream file(path, std::ios::binary | std::ios::trunc);
  file.write(data.data(), static_cast<std::streamsize>(data.size()));
}

// The lines of a text (a file's, a program's output) without their '\n'.
inline std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

// The names directly in folder, sorted.
inline std::vector<std::string> NamesIn(const std::string& folder) {
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(folder)) {
    names.push_back(entry.path().filename().string());
  }
  std::sort(names.begin(), names.end());
  return names;
}

// Every path below root (files, folders, links), relative to root.
inline std::set<std::string> ListTree(const std::string& root) {
  std::set<std::string> paths;
  std::error_code ec;
  for (auto it = std::filesystem::recursive_directory_iterator(root, ec);
       !ec && it != std::filesystem::recursive_directory_iterator(); it.increment(ec)) {
    paths.insert(std::filesystem::relative(it->path(), root, ec).string());
  }
  return paths;
}

// True for <prefix><one to four upper-case hex digits>.<extension>, the
// names the temporary-name service hands out.
inline bool IsTempName(const std::string& name, const std::string& prefix, const std::string& extension) {
  if (name.compare(0, prefix.size(), prefix) != 0) return false;
  const size_t dot = name.find('.', prefix.size());
  if (dot == std::string::npos || name.substr(dot + 1) != extension) return false;
  const std::string digits = name.substr(prefix.size(), dot - prefix.size());
  if (digits.empty() || digits.size() > 4) return false;
  return digits.find_first_not_of("0123456789ABCDEF") == std::string::npos;
}

}  // namespace arcwise_test
