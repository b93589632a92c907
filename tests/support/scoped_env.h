// ScopedEnv: sets (or, with nullptr, removes) one environment variable for a
// scope and puts back what was there before, so a test that switches the
// registry database, TMPDIR or the code page cannot leak it into the next
// test of the same process. Test threads only: the environment is
// process-wide and setenv is not safe against concurrent getenv.
#pragma once

#include <cstdlib>
#include <optional>
#include <string>

namespace arcwise_test {

class ScopedEnv {
 public:
  ScopedEnv(const char* name, const char* value) : m_name(name) {
    if (const char* old = std::getenv(name)) m_old = std::string(old);
    Set(value);
  }
  ScopedEnv(const char* name, const std::string& value) : ScopedEnv(name, value.c_str()) {}
  ~ScopedEnv() { Set(m_old ? m_old->c_str() : nullptr); }
  ScopedEnv(const ScopedEnv&) = delete;
  ScopedEnv& operator=(const ScopedEnv&) = delete;

  // A new value within the same scope; the restore still brings back the
  // value from before the scope.
  void Set(const char* value) {
    if (value) setenv(m_name.c_str(), value, 1);
    else unsetenv(m_name.c_str());
  }

 private:
  std::string m_name;
  std::optional<std::string> m_old;
};

}  // namespace arcwise_test
