#include "device/hid_device.h"

#include <algorithm>
#include <utility>

#include "device/device_timings.h"

namespace qv {
namespace {

bool Raised(uint64_t cancel_edges) {
  return cancel_edges % 2 != 0;
}

uint32_t CountOf(int moved) {
  return static_cast<uint32_t>(std::min(moved, static_cast<int>(kReportSize)));
}

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
}

void HidDevice::Release() {
  std::shared_ptr<HidPort> closing;
  {
    std::lock_guard lock(port_mutex_);
    closing = std::move(port_);
  }
  if (closing != nullptr) {
    cancel_edges_.fetch_add(1);
    clock_.SleepMs(kCancelPulseMs);
    cancel_edges_.fetch_add(1);
  }
  // `closing` closes the port here unless a cancelled transfer still holds it.
  closing.reset();
  mutex_.reset();
}

std::shared_ptr<HidPort> HidDevice::CurrentPort() const {
  std::lock_guard lock(port_mutex_);
  return port_;
}

std::optional<uint32_t> HidDevice::Send(const Report& report) {
  const uint64_t cancel_mark = cancel_edges_.load();
  const std::shared_ptr<HidPort> port = CurrentPort();
  if (port == nullptr || Raised(cancel_mark)) return std::nullopt;
  const int moved = port->WriteReport(report);
  if (moved <= 0 || cancel_edges_.load() != cancel_mark) return std::nullopt;
  return CountOf(moved);
}

std::optional<uint32_t> HidDevice::Receive(Report& report, uint32_t within_ms) {
  const uint64_t cancel_mark = cancel_edges_.load();
  const std::shared_ptr<HidPort> port = CurrentPort();
  if (port == nullptr || Raised(cancel_mark)) return std::nullopt;
  const uint32_t start = clock_.TickMs();
  // Bounded twice: by the clock, and by the slices spent, so that a receive also ends when the
  // clock does not move (a port that returns at once without waiting).
  uint64_t sliced_ms = 0;
  for (;;) {
    const int moved = port->ReadReport(report, kReceiveSliceMs);
    if (moved < 0 || cancel_edges_.load() != cancel_mark) return std::nullopt;
    if (moved > 0) return CountOf(moved);
    sliced_ms += kReceiveSliceMs;
    if (sliced_ms >= within_ms || clock_.TickMs() - start >= within_ms) return std::nullopt;
  }
}

}  // namespace qv
