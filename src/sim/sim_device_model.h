#pragma once

#include <array>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "platform/clock.h"
#include "platform/hid_bus.h"
#include "sim/sim_device.h"
#include "sim/sim_device_observer.h"
#include "sim/sim_flash.h"

namespace qv::sim {

// The one implementation of SimDevice: the protocol state machine over the NOR flash, the
// query answer, presence on the bus (reset absence, vanishing, unplugging), timing and fault
// injection. The ports of SimBus drive it; every member is thread-safe.
class SimDeviceModel final : public SimDevice {
 public:
  SimDeviceModel(Clock& clock, uint32_t number, const SimDeviceConfig& config);

  // SimDevice
  [[nodiscard]] std::string path() const override;
  [[nodiscard]] std::vector<std::string> InterfacePaths() const override;
  [[nodiscard]] std::string serial_number() const override;
  [[nodiscard]] std::string product_string() const override;
  [[nodiscard]] SimDeviceConfig config() const override;
  void SetConfig(const SimDeviceConfig& config) override;
  [[nodiscard]] std::vector<uint8_t> FlashImage() const override;
  [[nodiscard]] std::vector<std::string> Faults() const override;
  [[nodiscard]] std::vector<SimCommand> Commands() const override;
  [[nodiscard]] uint32_t ReportsReceived() const override;
  [[nodiscard]] uint32_t ReportsSent() const override;

  // The number given at plugging (1, 2, ...), and the name "dev<number>".
  [[nodiscard]] uint32_t number() const { return number_; }
  [[nodiscard]] std::string name() const;
  // What enumeration lists for it now: one entry per interface, in interface order.
  [[nodiscard]] std::vector<HidInterfaceInfo> InterfaceInfos() const;
  // Whether the given interface speaks the update protocol.
  [[nodiscard]] bool SpeaksProtocol(uint32_t interface_number) const;
  // The last layout block received by a complete set-layout.
  [[nodiscard]] std::optional<std::array<uint8_t, 256>> LayoutBlock() const;
  // Changes every time the flash content changes.
  [[nodiscard]] uint64_t FlashGeneration() const;
  void SetObserver(std::shared_ptr<SimDeviceObserver> observer);

  // Presence. A device is present while it is plugged in, has not vanished and is not inside
  // its absence after a reset. The epoch changes whenever the device leaves the bus, so that
  // ports opened before stay dead when it comes back.
  [[nodiscard]] bool Present();
  [[nodiscard]] uint64_t Epoch() const;
  void Unplug();
  // Records a fault found outside the report decoding (a host write of the wrong size).
  void RecordFault(const std::string& text);

  // A device swapped in while this one is away after its next reset: at that reset this device
  // leaves for good and `successor`, kept off the bus until then (AwaitPlace), arrives when this
  // one would have come back. Lock order: this device, then its successor.
  void ReplaceAtReset(std::shared_ptr<SimDeviceModel> successor);
  // The device that took this one's place at its reset; null until then.
  [[nodiscard]] std::shared_ptr<SimDeviceModel> Successor() const;
  // Keeps a fresh device off the bus until TakePlaceAt.
  void AwaitPlace();
  // Puts it on the bus at the given tick, in the place of the named device.
  void TakePlaceAt(uint32_t tick, const std::string& predecessor);

  // One host report on the given interface. Returns the bytes moved (65) or -1; `latency_ms`
  // is what the caller sleeps afterwards, outside the lock.
  [[nodiscard]] int HostWrite(const Report& report, uint32_t interface_number, uint64_t epoch,
                              uint32_t& latency_ms);

  enum class ReadStatus { kGone, kFailed, kMoved, kWait };
  struct ReadStep {
    ReadStatus status = ReadStatus::kWait;
    int moved = 0;            // kMoved: bytes moved counting the report number
    uint32_t wait_ms = 0;     // kWait: time until the next input report is due (0 = unknown)
    uint32_t latency_ms = 0;  // kMoved: sleep afterwards
  };
  // Takes the next due input report of the given interface into `report` when there is one.
  [[nodiscard]] ReadStep HostRead(Report& report, uint32_t interface_number, uint64_t epoch);

 private:
  enum class Phase { kIdle, kAwaitReadback, kWriteData, kLayoutData };
  struct Pending {
    std::vector<uint8_t> payload;
    uint32_t ready_at = 0;
  };

  bool PresentLocked();
  [[nodiscard]] uint32_t InterfaceCount() const;
  [[nodiscard]] uint32_t ProtocolInterface() const;
  [[nodiscard]] std::string InterfacePath(uint32_t interface_number) const;
  [[nodiscard]] std::string SerialNow() const;
  [[nodiscard]] std::string ProductNow() const;
  bool AliveFor(uint64_t epoch);
  // Counts one report transfer and applies the fault-injection knobs; false when it must fail.
  bool PassesInjection(const char* what);
  void LeaveBus(const std::string& why);
  void Event(const std::string& text);
  void Fault(const std::string& text);
  void Receive(const Report& report);
  void ReceiveData(const Report& report);
  void ReceiveWriteData(const uint8_t* data);
  void ReceiveLayoutData(const uint8_t* data);
  void EndDataPhase();
  void Execute(const SimCommand& command);
  void StartErase(const SimCommand& command);
  void AnswerReadback();
  void StartWrite(const SimCommand& command);
  void Reset();
  [[nodiscard]] std::size_t InputPayload() const;
  void Queue(const uint8_t* data, std::size_t size, uint32_t delay_ms);

  Clock& clock_;
  const uint32_t number_;
  mutable std::mutex mutex_;
  SimDeviceConfig config_;
  std::shared_ptr<SimDeviceObserver> observer_;
  SimFlash flash_;
  uint64_t flash_generation_ = 0;

  // Presence.
  bool unplugged_ = false;
  bool vanished_ = false;
  bool absent_ = false;  // inside the absence after a reset
  uint32_t back_at_ = 0;
  uint64_t epoch_ = 0;
  uint32_t path_generation_ = 0;  // resets that moved the device to a new path
  bool update_mode_ = false;      // it has reset: it reports its update mode's descriptors
  std::shared_ptr<SimDeviceModel> successor_;      // takes its place at its next reset
  bool replaced_ = false;                          // it has reset and its successor took its place
  bool awaiting_place_ = false;                    // a successor before its predecessor's reset
  std::string arrival_event_ = "back on the bus";  // logged when an absence ends

  // Protocol.
  Phase phase_ = Phase::kIdle;
  uint32_t erase_start_ = 0;
  uint32_t erase_count_ = 0;
  bool erase_done_ = false;
  uint64_t data_reports_left_ = 0;
  uint64_t write_offset_ = 0;
  bool write_in_window_ = false;
  std::optional<std::size_t> write_fault_;  // index in faults_ of this write's overwrite fault
  uint64_t write_unerased_ = 0;
  std::array<uint8_t, 256> layout_buffer_{};
  uint32_t layout_received_ = 0;
  std::optional<std::array<uint8_t, 256>> layout_;
  std::deque<Pending> input_;

  // Records.
  std::vector<std::string> faults_;
  std::vector<SimCommand> commands_;
  uint32_t received_ = 0;
  uint32_t sent_ = 0;
  uint32_t attempts_ = 0;  // reports tried in either direction, for the injection knobs
};

}  // namespace qv::sim
