#include "device/report_trace.h"

#include <algorithm>
#include <cerrno>
#include <utility>

#include "platform/system_reason.h"

namespace qv {
namespace {

// A port of the traced bus: every report passes through to the inner port and is counted
// (and written to the sink when there is one) on its way.
class TracedPort final : public HidPort {
 public:
  TracedPort(std::unique_ptr<HidPort> inner, std::string path,
             std::shared_ptr<ReportTraceSink> sink,
             std::shared_ptr<TracedHidBus::Counters> counters)
      : inner_(std::move(inner)),
        path_(std::move(path)),
        sink_(std::move(sink)),
        counters_(std::move(counters)) {}

  [[nodiscard]] bool GetAttributes(uint16_t& vendor_id, uint16_t& product_id) override {
    return inner_->GetAttributes(vendor_id, product_id);
  }

  [[nodiscard]] int WriteReport(const Report& report) override {
    const int moved = inner_->WriteReport(report);
    if (moved < 0) {
      counters_->failed.fetch_add(1, std::memory_order_relaxed);
      if (sink_) sink_->Failure(path_, "write failed");
      return moved;
    }
    counters_->sent.fetch_add(1, std::memory_order_relaxed);
    if (sink_) sink_->Report(path_, '>', report.data(), report.size());
    return moved;
  }

  [[nodiscard]] int ReadReport(Report& report, int timeout_ms) override {
    const int moved = inner_->ReadReport(report, timeout_ms);
    if (moved < 0) {
      counters_->failed.fetch_add(1, std::memory_order_relaxed);
      if (sink_) sink_->Failure(path_, "read failed");
      return moved;
    }
    if (moved == 0) return 0;  // nothing arrived within this wait: not a report
    counters_->received.fetch_add(1, std::memory_order_relaxed);
    if (sink_) {
      sink_->Report(path_, '<', report.data(), std::min<std::size_t>(moved, report.size()));
    }
    return moved;
  }

 private:
  std::unique_ptr<HidPort> inner_;
  std::string path_;
  std::shared_ptr<ReportTraceSink> sink_;
  std::shared_ptr<TracedHidBus::Counters> counters_;
};

}  // namespace

ReportTraceSink::ReportTraceSink(std::FILE* file, WriteFailure on_write_failure,
                                 std::size_t max_queued_lines)
    : max_queued_(max_queued_lines), file_(file), on_write_failure_(std::move(on_write_failure)) {
  writer_ = std::thread([this] { Serve(); });
}

ReportTraceSink::~ReportTraceSink() { (void)Close(); }

uint64_t ReportTraceSink::Close() {
  {
    std::lock_guard lock(mutex_);
    if (closing_) return dropped_;
    closing_ = true;
  }
  changed_.notify_all();
  if (writer_.joinable()) writer_.join();
  std::lock_guard lock(mutex_);
  if (dropped_ != 0) {
    WriteLine(Stamp() + " ! " + std::to_string(dropped_) +
              " reports not written: the trace could not keep up\n");
  }
  if (file_ != nullptr) {
    errno = 0;
    if (!failed_ && std::fflush(file_) != 0) Fail(errno);
    std::fclose(file_);
  }
  file_ = nullptr;
  return dropped_;
}

void ReportTraceSink::Queue(std::string line) {
  {
    std::lock_guard lock(mutex_);
    if (closing_ || queue_.size() >= max_queued_) {
      ++dropped_;
      return;
    }
    queue_.push_back(std::move(line));
  }
  changed_.notify_one();
}

// Writes in batches and flushes after each: a trace is read after something went wrong,
// crashes included, and a batch is what the devices produced meanwhile.
void ReportTraceSink::Serve() {
  std::unique_lock lock(mutex_);
  for (;;) {
    changed_.wait(lock, [&] { return closing_ || !queue_.empty(); });
    if (queue_.empty()) return;
    std::deque<std::string> batch;
    batch.swap(queue_);
    lock.unlock();
    for (const std::string& line : batch) WriteLine(line);
    if (file_ != nullptr && !failed_) {
      errno = 0;
      if (std::fflush(file_) != 0) Fail(errno);
    }
    lock.lock();
  }
}

std::string ReportTraceSink::Stamp() const {
  const auto elapsed = std::chrono::duration_cast<std::chrono::microseconds>(
      std::chrono::steady_clock::now() - start_);
  char text[32];
  std::snprintf(text, sizeof text, "%lld.%06lld", static_cast<long long>(elapsed.count() / 1000000),
                static_cast<long long>(elapsed.count() % 1000000));
  return text;
}

void ReportTraceSink::Report(const std::string& path, char direction, const uint8_t* bytes,
                             std::size_t size) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string line = Stamp() + " " + path + " " + direction;
  line.reserve(line.size() + size * 3 + 1);
  for (std::size_t i = 0; i < size; ++i) {
    line += ' ';
    line += kHex[bytes[i] >> 4];
    line += kHex[bytes[i] & 0x0F];
  }
  line += '\n';
  Queue(std::move(line));
}

// On the writer's thread, or in Close after it has ended.
void ReportTraceSink::WriteLine(const std::string& line) {
  if (file_ == nullptr || failed_) return;
  errno = 0;
  if (std::fwrite(line.data(), 1, line.size(), file_) != line.size()) Fail(errno);
}

void ReportTraceSink::Fail(int error_number) {
  failed_ = true;
  if (on_write_failure_) {
    on_write_failure_(error_number != 0 ? SystemReason(error_number) : "write failed");
  }
}

void ReportTraceSink::Failure(const std::string& path, const char* what) {
  Queue(Stamp() + " " + path + " ! " + what + "\n");
}

TracedHidBus::TracedHidBus(HidBus& inner, std::shared_ptr<ReportTraceSink> sink)
    : inner_(inner), sink_(std::move(sink)) {}

bool TracedHidBus::Enumerate(uint16_t vendor_id, uint16_t product_id,
                             std::vector<HidInterfaceInfo>& out) {
  return inner_.Enumerate(vendor_id, product_id, out);
}

HidOpenResult TracedHidBus::OpenWithReason(const std::string& path) {
  HidOpenResult opened = inner_.OpenWithReason(path);
  if (opened.port != nullptr) {
    opened.port = std::make_unique<TracedPort>(std::move(opened.port), path, sink_, counters_);
  }
  return opened;
}

ReportCounts TracedHidBus::counts() const {
  return {counters_->sent.load(), counters_->received.load(), counters_->failed.load()};
}

}  // namespace qv
