#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>
#include <optional>
#include <span>

#include "device/command_frame.h"
#include "device/device_choice.h"
#include "device/device_identity.h"
#include "device/device_timings.h"
#include "device/hid_device.h"
#include "device/run_lock.h"
#include "platform/clock.h"
#include "platform/hid_bus.h"
#include "platform/named_mutex.h"
#include "platform/try_lock.h"

namespace qv {

inline constexpr uint16_t kDeviceVendorId = 0x0416;
inline constexpr uint16_t kDeviceProductId = 0xB501;
inline constexpr const char* kDeviceMutexName = "QV_UPDATER";

// What one report exchange achieved. Not moved: the lock was given up (nothing was sent), no
// device is held, the transfer failed, or a release cancelled it.
struct ReportOutcome {
  bool moved = false;
  uint32_t payload = 0;  // bytes moved without the report number; 64 for a whole report
};

// The one connection to the device: finds and takes it (with the named mutex), moves single
// 65-byte reports, each under a lock of five tries 200 ms apart, and releases it. The lock and
// the report buffer stay inside: every exchange takes the lock, fills or reads the buffer,
// moves one report and leaves the lock again, so no caller ever holds it across two reports.
class HidLink {
 public:
  HidLink(HidBus& bus, NamedMutexSystem& mutexes, Clock& clock);
  virtual ~HidLink();
  HidLink(const HidLink&) = delete;
  HidLink& operator=(const HidLink&) = delete;

  // Releases whatever is held, then takes the device that ChooseDevice picks. Returns the
  // number of devices now held (0 or 1), also kept as the connected flag.
  unsigned Discover();
  // From now on discovery takes only the device with this identity (also when it comes back
  // from its reset under another path), and none while two or more attached devices carry it;
  // nothing keeps to the first device again.
  void KeepToDevice(std::optional<DeviceIdentity> device);
  [[nodiscard]] std::optional<DeviceIdentity> KeptTo() const;
  // The identity of the device the last discovery took; empty when it took none.
  [[nodiscard]] std::optional<DeviceIdentity> TakenIdentity() const;
  // The entry the last discovery took (path, serial number, interface); empty when none.
  [[nodiscard]] std::optional<HidInterfaceInfo> TakenInterface() const;
  // Whether the last discovery found two or more attached devices with the identity of the one
  // it took, or of the one it is kept to (then none was taken).
  [[nodiscard]] bool LastFoundIndistinct() const;
  // The run lock: an update run holds it from its first discovery to its end; while another
  // process holds it, discovery takes no device.
  [[nodiscard]] RunLock& run_lock() { return run_lock_; }
  // Why the last discovery took no device (kNone after one that took a device, and before any).
  [[nodiscard]] DiscoveryMiss LastMiss() const;
  // The system's reason when the last discovery could not read the list of devices.
  [[nodiscard]] std::string LastEnumerationFailure() const;
  // Gives up the device and the mutex (cancel pulse first). Takes no lock; never fails.
  void Release();
  [[nodiscard]] bool Connected() const;

  // A command report: the frame, then 0xCC fill.
  [[nodiscard]] ReportOutcome SendCommand(const CommandFrame& frame);
  // A data report of the 64 bytes at source.
  [[nodiscard]] ReportOutcome SendData(const uint8_t* source);
  // Waits up to within_ms for one input report and copies as much of its payload as fits into
  // answer (which may be empty when only the arrival counts).
  [[nodiscard]] ReportOutcome ReadAnswer(std::span<uint8_t> answer,
                                         uint32_t within_ms = kAnswerWaitMs);

 private:
  template <typename Exchange>
  ReportOutcome UnderLock(Exchange&& exchange);
  [[nodiscard]] bool TakeLock();

  Report report_{};
  HidDevice device_;
  std::atomic<bool> connected_{false};
  std::atomic<DiscoveryMiss> last_miss_{DiscoveryMiss::kNone};
  TryLock lock_;
  HidBus& bus_;
  NamedMutexSystem& mutexes_;
  Clock& clock_;
  RunLock run_lock_{mutexes_};
  mutable std::mutex identity_mutex_;
  std::optional<DeviceIdentity> wanted_;
  std::optional<HidInterfaceInfo> taken_;
  bool indistinct_ = false;
  std::string enumeration_failure_;
};

}  // namespace qv
