#pragma once

#include <atomic>

namespace qv {

// A lock whose try never blocks and never fails spuriously: it fails only while another holder
// has it. Leave must be called exactly once after each successful try.
class TryLock {
 public:
  [[nodiscard]] bool TryEnter() {
    bool expected = false;
    return held_.compare_exchange_strong(expected, true, std::memory_order_acquire,
                                         std::memory_order_relaxed);
  }
  void Leave() { held_.store(false, std::memory_order_release); }

 private:
  std::atomic<bool> held_{false};
};

}  // namespace qv
