#include "device/hid_link.h"

#include <algorithm>
#include <utility>

#include "device/device_choice.h"

namespace qv {
namespace {

ReportOutcome OutcomeOf(std::optional<uint32_t> count) {
  if (!count) return {};
  // The report number is not payload.
  return {true, *count > 0 ? *count - 1 : 0};
}

}  // namespace

HidLink::HidLink(HidBus& bus, NamedMutexSystem& mutexes, Clock& clock)
    : device_(clock), bus_(bus), mutexes_(mutexes), clock_(clock) {}

// The device part releases its port and mutex in its own destructor.
HidLink::~HidLink() = default;

unsigned HidLink::Discover() {
  Release();
  DiscoveryRequest request;
  request.wanted = KeptTo();
  request.run_lock_held_elsewhere = run_lock_.HeldElsewhere();
  DeviceChoice choice = ChooseDevice(bus_, mutexes_, request);
  last_miss_.store(MissOf(choice));
  {
    std::lock_guard lock(identity_mutex_);
    indistinct_ = choice.indistinct;
    enumeration_failure_ = choice.enumeration_failure;
    taken_.reset();
    if (choice.taken) taken_ = choice.interfaces[*choice.taken].info;
  }
  if (!choice.port) return 0;
  device_.Take(std::move(choice.port), std::move(choice.mutex));
  connected_.store(true);
  return 1;
}

void HidLink::Release() {
  device_.Release();
  connected_.store(false);
}

void HidLink::KeepToDevice(std::optional<DeviceIdentity> device) {
  std::lock_guard lock(identity_mutex_);
  wanted_ = std::move(device);
}

std::optional<DeviceIdentity> HidLink::KeptTo() const {
  std::lock_guard lock(identity_mutex_);
  return wanted_;
}

std::optional<DeviceIdentity> HidLink::TakenIdentity() const {
  std::lock_guard lock(identity_mutex_);
  if (!taken_) return std::nullopt;
  return DeviceIdentity::Of(*taken_);
}

std::optional<HidInterfaceInfo> HidLink::TakenInterface() const {
  std::lock_guard lock(identity_mutex_);
  return taken_;
}

bool HidLink::LastFoundIndistinct() const {
  std::lock_guard lock(identity_mutex_);
  return indistinct_;
}

DiscoveryMiss HidLink::LastMiss() const {
  return last_miss_.load();
}

std::string HidLink::LastEnumerationFailure() const {
  std::lock_guard lock(identity_mutex_);
  return enumeration_failure_;
}

bool HidLink::Connected() const {
  return connected_.load();
}

bool HidLink::TakeLock() {
  for (int attempt = 0; attempt < kLockAttempts; ++attempt) {
    if (lock_.TryEnter()) return true;
    clock_.SleepMs(kLockRetrySleepMs);
  }
  return false;
}

template <typename Exchange>
ReportOutcome HidLink::UnderLock(Exchange&& exchange) {
  if (!TakeLock()) return {};
  const ReportOutcome outcome = exchange();
  lock_.Leave();
  return outcome;
}

ReportOutcome HidLink::SendCommand(const CommandFrame& frame) {
  return UnderLock([&] {
    FillCommandReport(report_, frame);
    return OutcomeOf(device_.Send(report_));
  });
}

ReportOutcome HidLink::SendData(const uint8_t* source) {
  return UnderLock([&] {
    FillDataReport(report_, source);
    return OutcomeOf(device_.Send(report_));
  });
}

ReportOutcome HidLink::ReadAnswer(std::span<uint8_t> answer, uint32_t within_ms) {
  return UnderLock([&] {
    const ReportOutcome outcome = OutcomeOf(device_.Receive(report_, within_ms));
    if (outcome.moved) {
      const std::size_t copied = std::min<std::size_t>(outcome.payload, answer.size());
      std::copy_n(report_.begin() + 1, copied, answer.begin());
    }
    return outcome;
  });
}

}  // namespace qv
