#include "platform/event.h"

#include <algorithm>
#include <chrono>

namespace qv {

void ManualResetEvent::Set() {
  std::lock_guard lock(mutex_);
  signalled_ = true;
  ++set_count_;
  for (EventWaiter* waiter : waiters_) {
    std::lock_guard waiter_lock(waiter->mutex);
    waiter->woken = true;
    waiter->wake.notify_all();
  }
}

void ManualResetEvent::Reset() {
  std::lock_guard lock(mutex_);
  signalled_ = false;
}

bool ManualResetEvent::IsSet() const {
  std::lock_guard lock(mutex_);
  return signalled_;
}

uint64_t ManualResetEvent::SetCount() const {
  std::lock_guard lock(mutex_);
  return set_count_;
}

void ManualResetEvent::AddWaiter(EventWaiter* waiter) {
  std::lock_guard lock(mutex_);
  waiters_.push_back(waiter);
}

void ManualResetEvent::RemoveWaiter(EventWaiter* waiter) {
  std::lock_guard lock(mutex_);
  waiters_.erase(std::remove(waiters_.begin(), waiters_.end(), waiter), waiters_.end());
}

namespace {

// Registers a waiter with an event for the length of one wait.
class WaiterRegistration {
 public:
  WaiterRegistration(ManualResetEvent& event, EventWaiter& waiter)
      : event_(event), waiter_(waiter) {
    event_.AddWaiter(&waiter_);
  }
  ~WaiterRegistration() { event_.RemoveWaiter(&waiter_); }
  WaiterRegistration(const WaiterRegistration&) = delete;
  WaiterRegistration& operator=(const WaiterRegistration&) = delete;

 private:
  ManualResetEvent& event_;
  EventWaiter& waiter_;
};

}  // namespace

WaitResult WaitAny(ManualResetEvent& first, ManualResetEvent& second, uint32_t timeout_ms) {
  EventWaiter waiter;
  WaiterRegistration first_registration(first, waiter);
  WaiterRegistration second_registration(second, waiter);
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
  for (;;) {
    // Registered before the levels are read, so a Set after this point wakes the wait below.
    if (first.IsSet()) return WaitResult::kFirst;
    if (second.IsSet()) return WaitResult::kSecond;
    std::unique_lock lock(waiter.mutex);
    if (!waiter.wake.wait_until(lock, deadline, [&] { return waiter.woken; })) {
      lock.unlock();
      if (first.IsSet()) return WaitResult::kFirst;
      if (second.IsSet()) return WaitResult::kSecond;
      return WaitResult::kTimeout;
    }
    waiter.woken = false;
  }
}

}  // namespace qv
