#include "support/test_env.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <stdexcept>

namespace arcwise_test {

namespace {
std::string g_root;
std::string g_registry;
}  // namespace

void InitTestEnvironment() {
  const char* base = getenv("TMPDIR");
  std::string templ = std::string(base && *base ? base : "/tmp") + "/arcwise-test-XXXXXX";
  std::vector<char> buffer(templ.begin(), templ.end());
  buffer.push_back('\0');
  if (!mkdtemp(buffer.data())) throw std::runtime_error("cannot create test folder");
  g_root = buffer.data();
  std::filesystem::create_directories(g_root + "/tmp");
  g_registry = g_root + "/registry.db";
  setenv("TMPDIR", (g_root + "/tmp").c_str(), 1);
  setenv("ARCWISE_REGISTRY", g_registry.c_str(), 1);
  unsetenv("ARCWISE_REGISTRY_READONLY");
}

void CleanupTestEnvironment() {
  if (g_root.empty()) return;
  std::error_code ec;
  // Make read-only leftovers of failed tests removable too.
  std::filesystem::permissions(g_root, std::filesystem::perms::owner_all,
                               std::filesystem::perm_options::add, ec);
  std::filesystem::remove_all(g_root, ec);
}

bool UseFreshRegistry(std::string* error) {
  static int generation = 0;
  const std::string previous = g_registry;
  g_registry = g_root + "/registry-" + std::to_string(++generation) + ".db";
  setenv("ARCWISE_REGISTRY", g_registry.c_str(), 1);
  unsetenv("ARCWISE_REGISTRY_READONLY");
  for (const char* suffix : {"", "-wal", "-shm"}) {
    std::error_code ec;
    std::filesystem::remove(previous + suffix, ec);
    if (ec) {
      *error = "cannot delete " + previous + suffix + ": " + ec.message();
      return false;
    }
  }
  return true;
}

const std::string& TestRoot() { return g_root; }
const std::string& RegistryFile() { return g_registry; }

std::string MakeTestFolder(const std::string& name) {
  std::string path = g_root + "/" + name;
  std::filesystem::remove_all(path);
  std::filesystem::create_directories(path);
  return path;
}

std::string MakeFolderOfCurrentTest() {
  return MakeTestFolder(::testing::UnitTest::GetInstance()->current_test_info()->name());
}

WString WindowsPath(const std::string& posixPath) {
  WString wide = Utf8ToUtf16(posixPath);
  for (auto& c : wide) {
    if (c == u'/') c = u'\\';
  }
  return wide;
}

WString WideFolder(const std::string& posixFolder) {
  WString wide = WindowsPath(posixFolder);
  if (wide.empty() || wide.back() != u'\\') wide += u'\\';
  return wide;
}

DebugCapture::DebugCapture() { ArcwiseSetDebugOutputCapture(&DebugCapture::OnOutput, this); }
DebugCapture::~DebugCapture() { ArcwiseSetDebugOutputCapture(nullptr, nullptr); }

void DebugCapture::OnOutput(LPCWSTR text, void* context) {
  auto* self = static_cast<DebugCapture*>(context);
  std::lock_guard<std::mutex> lock(self->m_mutex);
  self->m_lines.emplace_back(text ? text : W(""));
}

std::vector<WString> DebugCapture::Lines() const {
  std::lock_guard<std::mutex> lock(m_mutex);
  return m_lines;
}

std::vector<std::string> DebugCapture::Utf8Lines() const {
  std::lock_guard<std::mutex> lock(m_mutex);
  std::vector<std::string> lines;
  for (const auto& line : m_lines) lines.push_back(Utf16ToUtf8(line));
  return lines;
}

std::string DebugCapture::Text() const {
  std::lock_guard<std::mutex> lock(m_mutex);
  std::string all;
  for (const auto& line : m_lines) all += Utf16ToUtf8(line);
  return all;
}

void DebugCapture::Clear() {
  std::lock_guard<std::mutex> lock(m_mutex);
  m_lines.clear();
}

}  // namespace arcwise_test
