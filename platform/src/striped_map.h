// A handle table split into stripes, each with its own lock: threads that
// open, use and close handles of their own (an indexer's workers) seldom
// meet on one lock, while everything done to one handle is still ordered by
// the lock of its stripe. Internal to the platform library.
#pragma once

#include <cstddef>
#include <cstdint>
#include <mutex>
#include <unordered_map>

namespace arcwise_platform {

template <typename Key, typename Value, size_t kStripes = 32>
class StripedMap {
 public:
  struct Stripe {
    std::mutex mutex;
    std::unordered_map<Key, Value> entries;
  };

  // Handles are addresses of their records: the low bits are alignment.
  Stripe& For(Key key) { return m_stripes[(reinterpret_cast<uintptr_t>(key) >> 4) % kStripes]; }

 private:
  Stripe m_stripes[kStripes];
};

}  // namespace arcwise_platform
