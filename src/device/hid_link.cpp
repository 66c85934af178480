#include "device/hid_link.h"

#include <utility>
#include <vector>

#include "device/device_match.h"

namespace qv {
namespace {

constexpr int kLockAttempts = 5;
constexpr uint32_t kLockRetrySleepMs = 200;

}  // namespace

HidLink::HidLink(HidBus& bus, NamedMutexSystem& mutexes, Clock& clock)
    : device_(clock), bus_(bus), mutexes_(mutexes), clock_(clock) {}

// The device part releases its port and mutex in its own destructor; the connected flag is
// left as it is.
HidLink::~HidLink() = default;

unsigned HidLink::Discover() {
  Release();
  std::vector<HidInterfaceInfo> interfaces;
  // A failed enumeration is the same as an empty one: no device.
  if (!bus_.Enumerate(kDeviceVendorId, kDeviceProductId, interfaces)) interfaces.clear();
  for (const HidInterfaceInfo& info : interfaces) {
    std::unique_ptr<HidPort> port = bus_.Open(info.path);
    // Not openable: not set up yet by the system, or not ours to open.
    if (port == nullptr) continue;
    // Another device answers under this path: closed again at once.
    if (!PortMatches(*port)) continue;
    NamedMutexResult mutex = mutexes_.Create(kDeviceMutexName);
    // Another process of this system holds a device: take none, even if more follow.
    if (mutex.status == NamedMutexStatus::kAlreadyExists) break;
    // Without the mutex (its creation failed) the device is still taken.
    device_.Take(std::move(port), std::move(mutex.handle));
    break;
  }
  connected_.store(device_.count());
  return device_.count();
}

void HidLink::Release() {
  device_.Release();
  connected_.store(0);
}

bool HidLink::Connected() const {
  return connected_.load() != 0;
}

bool HidLink::TakeLock() {
  for (int attempt = 0; attempt < kLockAttempts; ++attempt) {
    if (lock_.TryEnter()) return true;
    clock_.SleepMs(kLockRetrySleepMs);
  }
  return false;
}

void HidLink::LeaveLock() {
  lock_.Leave();
}

bool HidLink::Transfer(TransferDirection direction, uint32_t& count) {
  if (direction == TransferDirection::kWrite) return device_.WriteReport(report_, count);
  return device_.ReadReport(report_, count, kReadTimeoutMs);
}

bool HidLink::ReadWithin(uint32_t timeout_ms, uint32_t& count) {
  return device_.ReadReport(report_, count, timeout_ms);
}

bool HidLink::HoldsNamedMutex() const {
  return device_.HoldsMutex();
}

Report& HidLink::report_buffer() {
  return report_;
}

Clock& HidLink::clock() {
  return clock_;
}

}  // namespace qv
