#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <memory>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>
#include <string>
#include <vector>

#include "platform/hid_bus.h"

namespace qv {

// Where traced reports go: one line per report, with the time since the trace began on the
// monotonic clock, the device path, the direction and the bytes moved:
//   0.012345 /dev/hidraw3 > 00 A7 0E ...
//   0.013001 /dev/hidraw3 < 00 50 31 ...
//   0.020000 /dev/hidraw3 ! read failed
// Shared by every device of a run; lines of different devices never mix. The lines are written
// by a thread of the sink's own from a bounded queue, so that no device waits on a slow disk:
// a line that finds the queue full is counted instead, and the count is written at the end.
class ReportTraceSink {
 public:
  // Called once, with the system's reason, when a line cannot be written; the trace then stops
  // (a trace with a gap would mislead) and the work it traces goes on.
  using WriteFailure = std::function<void(const std::string& reason)>;

  // Lines waiting to be written, at most.
  static constexpr std::size_t kMaxQueuedLines = 65536;

  // Takes ownership of `file` (closed by Close or at destruction).
  explicit ReportTraceSink(std::FILE* file, WriteFailure on_write_failure = {},
                           std::size_t max_queued_lines = kMaxQueuedLines);
  ~ReportTraceSink();
  ReportTraceSink(const ReportTraceSink&) = delete;
  ReportTraceSink& operator=(const ReportTraceSink&) = delete;

  void Report(const std::string& path, char direction, const uint8_t* bytes, std::size_t size);
  void Failure(const std::string& path, const char* what);
  // Writes what is queued, notes the lines that did not fit, closes the file; the number of
  // reports that are not in the trace for want of room. Later lines are dropped and counted.
  uint64_t Close();

 private:
  [[nodiscard]] std::string Stamp() const;
  void Queue(std::string line);
  void Serve();
  void WriteLine(const std::string& line);
  void Fail(int error_number);
  std::mutex mutex_;
  std::condition_variable changed_;
  std::deque<std::string> queue_;
  const std::size_t max_queued_;
  uint64_t dropped_ = 0;
  bool closing_ = false;
  std::FILE* file_;
  WriteFailure on_write_failure_;
  bool failed_ = false;  // only the writer's thread (and Close, after it) touch it
  const std::chrono::steady_clock::time_point start_ = std::chrono::steady_clock::now();
  std::thread writer_;
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
