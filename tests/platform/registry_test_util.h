// The registry tests' names for the shared helpers (support/registry_util.h,
// support/scoped_env.h): a test key is named by its test under
// HKEY_CURRENT_USER\Software\ArcwiseTests and removed when it goes out of
// scope. Single-threaded use from the test body.
#pragma once

#include <string>

#include "support/registry_util.h"
#include "support/scoped_env.h"

namespace registry_test {

using arcwise_test::Bytes;
using arcwise_test::ReadRaw;
using arcwise_test::ScopedEnv;
using arcwise_test::SetDword;
using arcwise_test::SetRaw;
using arcwise_test::SetString;

inline WString TestKeyPath(const WString& name) { return W("Software\\ArcwiseTests\\") + name; }

class TestKey : public arcwise_test::TestKey {
 public:
  explicit TestKey(const WString& name, HKEY root = HKEY_CURRENT_USER)
      : arcwise_test::TestKey(TestKeyPath(name), root) {}
};

}  // namespace registry_test
