#include "device/hid_device.h"

#include <algorithm>

namespace qv {
namespace {

// How long a transfer waits for {cancel, completion} once the report has been moved.
constexpr uint32_t kCompletionWaitMs = 200;
// A read polls the port in slices this long and looks for a cancel between them.
constexpr int kReadSliceMs = 10;
// Length of the cancel pulse of a release.
constexpr uint32_t kCancelPulseMs = 10;

}  // namespace

HidDevice::~HidDevice() {
  Release();
}

void HidDevice::Take(std::unique_ptr<HidPort> port, std::unique_ptr<NamedMutexHandle> mutex) {
  {
    std::lock_guard lock(port_mutex_);
    port_ = std::move(port);
  }
  mutex_ = std::move(mutex);
  count_.store(1);
}

void HidDevice::Release() {
  if (HoldsPort()) {
    cancel_.Set();
    clock_.SleepMs(kCancelPulseMs);
    cancel_.Reset();
    std::shared_ptr<HidPort> closing;
    {
      std::lock_guard lock(port_mutex_);
      closing = std::move(port_);
    }
  }
  mutex_.reset();
  count_.store(0);
}

bool HidDevice::HoldsPort() const {
  std::lock_guard lock(port_mutex_);
  return port_ != nullptr;
}

std::shared_ptr<HidPort> HidDevice::CurrentPort() const {
  std::lock_guard lock(port_mutex_);
  return port_;
}

// A cancel counts when the event is signalled now or was pulsed since the transfer began: the
// pulse of a release lasts only 10 ms and may fall entirely inside one blocking call.
bool HidDevice::CancelSince(uint64_t mark) const {
  return cancel_.IsSet() || cancel_.SetCount() != mark;
}

bool HidDevice::Complete(ManualResetEvent& done, uint64_t cancel_mark, int moved, uint32_t& count) {
  done.Set();
  switch (WaitAny(cancel_, done, kCompletionWaitMs)) {
    case WaitResult::kFirst:
      cancel_.Reset();
      return false;
    case WaitResult::kSecond:
      done.Reset();
      if (CancelSince(cancel_mark)) {
        cancel_.Reset();
        return false;
      }
      count = static_cast<uint32_t>(std::min(moved, static_cast<int>(kReportSize)));
      return true;
    case WaitResult::kTimeout:
      break;
  }
  return false;
}

bool HidDevice::WriteReport(const Report& report, uint32_t& count) {
  count = 0;
  const uint64_t cancel_mark = cancel_.SetCount();
  const std::shared_ptr<HidPort> port = CurrentPort();
  if (port == nullptr) return false;
  const int moved = port->WriteReport(report);
  if (moved <= 0) return false;
  return Complete(write_, cancel_mark, moved, count);
}

bool HidDevice::ReadReport(Report& report, uint32_t& count, uint32_t timeout_ms) {
  count = 0;
  const uint64_t cancel_mark = cancel_.SetCount();
  const std::shared_ptr<HidPort> port = CurrentPort();
  if (port == nullptr) return false;
  const uint32_t start = clock_.TickMs();
  // Bounded twice: by the clock, and by the slices spent, so that a read also ends when the
  // clock does not move (a port that returns at once without waiting).
  uint64_t sliced_ms = 0;
  for (;;) {
    if (CancelSince(cancel_mark)) {
      cancel_.Reset();
      return false;
    }
    const int moved = port->ReadReport(report, kReadSliceMs);
    if (moved < 0) return false;
    if (moved > 0) return Complete(read_, cancel_mark, moved, count);
    sliced_ms += kReadSliceMs;
    if (sliced_ms >= timeout_ms || clock_.TickMs() - start >= timeout_ms) return false;
  }
}

}  // namespace qv
