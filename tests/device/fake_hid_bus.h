#pragma once

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "device/hid_link.h"
#include "fake_clock.h"
#include "platform/hid_bus.h"
#include "platform/named_mutex.h"

namespace qv::test {

// A scripted HID device: captures every report written, answers reads from a queue, fails on
// demand. Shared between the bus and the ports opened on it.
class FakeDevice {
  template <typename F>
  auto Locked(F&& f) const -> decltype(f()) {
    std::lock_guard lock(mutex_);
    return f();
  }

 public:
  FakeDevice(uint16_t vendor_id, uint16_t product_id)
      : vendor_id_(vendor_id), product_id_(product_id) {}

  // --- scripting ---
  void SetAttributesFail(bool fail) {
    Locked([&] { attributes_fail_ = fail; });
  }
  // Result of the next writes, in order (-1 fails, 65 moves a whole report); after the script
  // runs out every write moves the whole report.
  void QueueWriteResult(int result) {
    Locked([&] { write_results_.push_back(result); });
  }
  // An input report with the given payload bytes (at most 64).
  void QueueInput(const std::vector<uint8_t>& payload) {
    Report report{};
    std::copy_n(payload.begin(), std::min(payload.size(), kReportPayload), report.begin() + 1);
    Locked([&] { reads_.push_back({static_cast<int>(payload.size()) + 1, report}); });
  }
  void QueueWholeInputs(int count) {
    for (int i = 0; i < count; ++i) QueueInput(std::vector<uint8_t>(kReportPayload, 0x5A));
  }
  void QueueReadResult(int result) {
    Locked([&] { reads_.push_back({result, Report{}}); });
  }
  // With nothing queued a read times out; these say what the slice costs.
  void AdvanceClockOnEmptyRead(FakeClock* clock) {
    Locked([&] { clock_ = clock; });
  }
  void WaitRealTimeOnEmptyRead(bool wait) {
    Locked([&] { real_wait_ = wait; });
  }
  // Runs during every write, after the report was captured (e.g. to cancel the transfer).
  void OnWrite(std::function<void()> hook) {
    Locked([&] { on_write_ = std::move(hook); });
  }

  // Runs at the start of every read (e.g. to cancel the transfer).
  void OnRead(std::function<void()> hook) {
    Locked([&] { on_read_ = std::move(hook); });
  }
  // Makes every write wait, after its report was captured, until ResumeWrites: a transfer
  // that stays in progress (holding the link's lock) while the test does something else.
  void StallWrites() {
    Locked([&] { stall_ = true; });
  }
  void ResumeWrites() {
    {
      std::lock_guard lock(mutex_);
      stall_ = false;
    }
    resume_.notify_all();
  }
  // Waits until a write is stalled.
  void AwaitStalledWrite() {
    std::unique_lock lock(mutex_);
    resume_.wait(lock, [&] { return stalled_ > 0; });
  }

  // --- observations ---
  std::vector<Report> written() const {
    std::lock_guard lock(mutex_);
    return written_;
  }
  int opens() const {
    return Locked([&] { return opens_; });
  }
  int open_ports() const {
    return Locked([&] { return opens_ - closes_; });
  }
  int reads() const {
    return Locked([&] { return read_calls_; });
  }

  // --- the port side ---
  void Opened() {
    Locked([&] { ++opens_; });
  }
  void Closed() {
    Locked([&] { ++closes_; });
  }
  bool GetAttributes(uint16_t& vendor_id, uint16_t& product_id) {
    return Locked([&] {
      if (attributes_fail_) return false;
      vendor_id = vendor_id_;
      product_id = product_id_;
      return true;
    });
  }
  int Write(const Report& report) {
    std::function<void()> hook;
    int result = static_cast<int>(kReportSize);
    {
      std::lock_guard lock(mutex_);
      written_.push_back(report);
      if (!write_results_.empty()) {
        result = write_results_.front();
        write_results_.pop_front();
      }
      hook = on_write_;
    }
    if (hook) hook();
    std::unique_lock lock(mutex_);
    if (stall_) {
      ++stalled_;
      resume_.notify_all();
      resume_.wait(lock, [&] { return !stall_; });
      --stalled_;
    }
    return result;
  }
  int Read(Report& report, int timeout_ms) {
    const std::function<void()> hook = Locked([&] { return on_read_; });
    if (hook) hook();
    FakeClock* clock = nullptr;
    bool real_wait = false;
    {
      std::lock_guard lock(mutex_);
      ++read_calls_;
      if (!reads_.empty()) {
        const auto [result, data] = reads_.front();
        reads_.pop_front();
        if (result > 0) report = data;
        return result;
      }
      clock = clock_;
      real_wait = real_wait_;
    }
    if (clock != nullptr) clock->Advance(static_cast<uint32_t>(timeout_ms));
    if (real_wait) std::this_thread::sleep_for(std::chrono::milliseconds(timeout_ms));
    return 0;
  }

 private:
  struct ReadStep {
    int result;
    Report data;
  };

  mutable std::mutex mutex_;
  uint16_t vendor_id_;
  uint16_t product_id_;
  bool attributes_fail_ = false;
  std::deque<int> write_results_;
  std::deque<ReadStep> reads_;
  FakeClock* clock_ = nullptr;
  bool real_wait_ = false;
  std::function<void()> on_write_;
  std::function<void()> on_read_;
  bool stall_ = false;
  int stalled_ = 0;
  std::condition_variable resume_;
  std::vector<Report> written_;
  int opens_ = 0;
  int closes_ = 0;
  int read_calls_ = 0;
};

class FakePort final : public HidPort {
 public:
  explicit FakePort(std::shared_ptr<FakeDevice> device) : device_(std::move(device)) {
    device_->Opened();
  }
  ~FakePort() override { device_->Closed(); }
  bool GetAttributes(uint16_t& vendor_id, uint16_t& product_id) override {
    return device_->GetAttributes(vendor_id, product_id);
  }
  int WriteReport(const Report& report) override { return device_->Write(report); }
  int ReadReport(Report& report, int timeout_ms) override {
    return device_->Read(report, timeout_ms);
  }

 private:
  std::shared_ptr<FakeDevice> device_;
};

// A bus of scripted devices, enumerated in the order they were added.
class FakeHidBus final : public HidBus {
 public:
  std::shared_ptr<FakeDevice> Add(const std::string& path, uint16_t vendor_id = 0x0416,
                                  uint16_t product_id = 0xB501) {
    auto device = std::make_shared<FakeDevice>(vendor_id, product_id);
    std::lock_guard lock(mutex_);
    entries_.push_back({{path, 0x0416, 0xB501, "", ""}, device});
    return device;
  }
  void FailOpen(const std::string& path) {
    std::lock_guard lock(mutex_);
    failing_opens_.push_back(path);
  }
  // Opens of the path fail as for a device node this user has no rights to.
  void DenyAccess(const std::string& path) {
    std::lock_guard lock(mutex_);
    denied_opens_.push_back(path);
  }
  void FailEnumeration(bool fail) {
    std::lock_guard lock(mutex_);
    enumeration_fails_ = fail;
  }
  int enumerations() const {
    std::lock_guard lock(mutex_);
    return enumerations_;
  }

  bool Enumerate(uint16_t vendor_id, uint16_t product_id,
                 std::vector<HidInterfaceInfo>& out) override {
    std::lock_guard lock(mutex_);
    ++enumerations_;
    out.clear();
    if (enumeration_fails_) return false;
    for (const auto& entry : entries_) {
      if (entry.info.vendor_id == vendor_id && entry.info.product_id == product_id) {
        out.push_back(entry.info);
      }
    }
    return true;
  }
  HidOpenResult OpenWithReason(const std::string& path) override {
    std::lock_guard lock(mutex_);
    HidOpenResult refused;
    refused.failure =
        Contains(denied_opens_, path) ? HidOpenFailure::kAccessDenied : HidOpenFailure::kOther;
    if (refused.failure == HidOpenFailure::kAccessDenied || Contains(failing_opens_, path)) {
      return refused;
    }
    for (const auto& entry : entries_) {
      if (entry.info.path == path) return {std::make_unique<FakePort>(entry.device)};
    }
    return refused;
  }

 private:
  static bool Contains(const std::vector<std::string>& paths, const std::string& path) {
    return std::find(paths.begin(), paths.end(), path) != paths.end();
  }

  struct Entry {
    HidInterfaceInfo info;
    std::shared_ptr<FakeDevice> device;
  };
  mutable std::mutex mutex_;
  std::vector<Entry> entries_;
  std::vector<std::string> failing_opens_;
  std::vector<std::string> denied_opens_;
  bool enumeration_fails_ = false;
  int enumerations_ = 0;
};

// Named mutexes within this process, with a scripted outcome.
class FakeNamedMutexes final : public NamedMutexSystem {
 public:
  // What creating the device mutex gives from now on; every other name is always created.
  void ForceStatus(NamedMutexStatus status) { forced_ = status; }
  int held() const { return *held_; }
  int creations() const { return creations_; }

  NamedMutexResult Create(const std::string& name) override {
    NamedMutexResult result;
    result.status = NamedMutexStatus::kCreated;
    if (name == kDeviceMutexName) {
      ++creations_;
      last_name_ = name;
      result.status = forced_;
    }
    if (result.status == NamedMutexStatus::kCreated) {
      result.handle = std::make_unique<Handle>(name == kDeviceMutexName ? held_ : other_held_);
    }
    return result;
  }
  const std::string& last_name() const { return last_name_; }

 private:
  class Handle final : public NamedMutexHandle {
   public:
    explicit Handle(std::shared_ptr<int> held) : held_(std::move(held)) { ++*held_; }
    ~Handle() override { --*held_; }

   private:
    std::shared_ptr<int> held_;
  };
  NamedMutexStatus forced_ = NamedMutexStatus::kCreated;
  std::shared_ptr<int> held_ = std::make_shared<int>(0);
  std::shared_ptr<int> other_held_ = std::make_shared<int>(0);
  int creations_ = 0;
  std::string last_name_;
};

}  // namespace qv::test
