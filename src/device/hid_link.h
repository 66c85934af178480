#pragma once

#include <atomic>
#include <cstdint>
#include <memory>

#include "device/hid_device.h"
#include "platform/clock.h"
#include "platform/hid_bus.h"
#include "platform/named_mutex.h"
#include "platform/try_lock.h"

namespace qv {

inline constexpr uint16_t kDeviceVendorId = 0x0416;
inline constexpr uint16_t kDeviceProductId = 0xB501;
inline constexpr const char* kDeviceMutexName = "QV_UPDATER";

enum class TransferDirection { kWrite, kRead };

// How long a read waits for the device's report unless told otherwise.
inline constexpr uint32_t kReadTimeoutMs = 2000;

// The one connection to the device: finds and takes it (with the named mutex), moves single
// 65-byte reports under a five-try lock with a cancel path, and releases it.
//
// Public surface used by the commands and the update procedure. (The device-link implementer
// owns the private part and may add members; these signatures are relied upon elsewhere.)
class HidLink {
 public:
  HidLink(HidBus& bus, NamedMutexSystem& mutexes, Clock& clock);
  virtual ~HidLink();
  HidLink(const HidLink&) = delete;
  HidLink& operator=(const HidLink&) = delete;

  // Releases whatever is held, then takes the first matching device. Returns the number of
  // devices now held (0 or 1), also stored in the connected flag.
  unsigned Discover();
  // Gives up the device and the mutex (cancel pulse first). Takes no lock; never fails.
  void Release();
  [[nodiscard]] bool Connected() const;

  // Up to five non-blocking attempts 200 ms apart.
  [[nodiscard]] bool TakeLock();
  void LeaveLock();
  // Moves the report buffer in the given direction (lock held). On success count = bytes moved
  // counting the report number; the payload count is count - 1.
  [[nodiscard]] bool Transfer(TransferDirection direction, uint32_t& count);
  // The one report buffer; touched only while the lock is held.
  [[nodiscard]] Report& report_buffer();
  [[nodiscard]] Clock& clock();

  // Reads one input report into the report buffer (lock held), waiting up to timeout_ms for
  // it; Transfer's read waits kReadTimeoutMs. Same result and count as Transfer.
  [[nodiscard]] bool ReadWithin(uint32_t timeout_ms, uint32_t& count);
  // Whether the named mutex is held (it is not when its creation failed).
  [[nodiscard]] bool HoldsNamedMutex() const;

 private:
  Report report_{};
  HidDevice device_;
  std::atomic<uint32_t> connected_{0};
  TryLock lock_;
  HidBus& bus_;
  NamedMutexSystem& mutexes_;
  Clock& clock_;
};

}  // namespace qv
