#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/hid_bus.h"

namespace qv {

// Where traced reports go: one line per report, with the time since the trace began on the
// monotonic clock, the device path, the direction and the bytes moved:
//   0.012345 /dev/hidraw3 > 00 A7 0E ...
//   0.013001 /dev/hidraw3 < 00 50 31 ...
//   0.020000 /dev/hidraw3 ! read failed
// Shared by every device of a run; lines of different devices never mix.
class ReportTraceSink {
 public:
  // Called once, with the system's reason, when a line cannot be written; the trace then stops
  // (a trace with a gap would mislead) and the work it traces goes on.
  using WriteFailure = std::function<void(const std::string& reason)>;

  // Takes ownership of `file` (closed at destruction).
  explicit ReportTraceSink(std::FILE* file, WriteFailure on_write_failure = {});
  ~ReportTraceSink();
  ReportTraceSink(const ReportTraceSink&) = delete;
  ReportTraceSink& operator=(const ReportTraceSink&) = delete;

  void Report(const std::string& path, char direction, const uint8_t* bytes, std::size_t size);
  void Failure(const std::string& path, const char* what);

 private:
  [[nodiscard]] std::string Stamp() const;
  void Write(const std::string& line);
  std::mutex mutex_;
  std::FILE* file_;
  WriteFailure on_write_failure_;
  bool failed_ = false;
  const std::chrono::steady_clock::time_point start_ = std::chrono::steady_clock::now();
};

// Report counts of one traced bus, since it was made.
struct ReportCounts {
  uint64_t sent = 0;
  uint64_t received = 0;
  uint64_t failed = 0;
};

// A HidBus in front of another that counts every report its ports move and, given a sink,
// writes each one to it. Enumeration and opening pass through unchanged.
class TracedHidBus final : public HidBus {
 public:
  TracedHidBus(HidBus& inner, std::shared_ptr<ReportTraceSink> sink);

  [[nodiscard]] bool Enumerate(uint16_t vendor_id, uint16_t product_id,
                               std::vector<HidInterfaceInfo>& out) override;
  [[nodiscard]] HidOpenResult OpenWithReason(const std::string& path) override;
  [[nodiscard]] std::string EnumerationFailure() const override {
    return inner_.EnumerationFailure();
  }

  [[nodiscard]] ReportCounts counts() const;

  struct Counters {
    std::atomic<uint64_t> sent{0};
    std::atomic<uint64_t> received{0};
    std::atomic<uint64_t> failed{0};
  };

 private:
  HidBus& inner_;
  std::shared_ptr<ReportTraceSink> sink_;
  std::shared_ptr<Counters> counters_ = std::make_shared<Counters>();
};

}  // namespace qv
