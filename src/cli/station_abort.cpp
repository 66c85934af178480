#include "cli/station_abort.h"

#include <utility>

namespace qv::cli {
namespace {

class AbortablePort final : public HidPort {
 public:
  AbortablePort(std::unique_ptr<HidPort> inner, AbortSwitch& abort)
      : inner_(std::move(inner)), abort_(abort) {}
  [[nodiscard]] bool GetAttributes(uint16_t& vendor_id, uint16_t& product_id) override {
    return !abort_.thrown() && inner_->GetAttributes(vendor_id, product_id);
  }
  [[nodiscard]] int WriteReport(const Report& report) override {
    return abort_.thrown() ? -1 : inner_->WriteReport(report);
  }
  [[nodiscard]] int ReadReport(Report& report, int timeout_ms) override {
    return abort_.thrown() ? -1 : inner_->ReadReport(report, timeout_ms);
  }

 private:
  std::unique_ptr<HidPort> inner_;
  AbortSwitch& abort_;
};

}  // namespace

void AbortSwitch::Throw() {
  {
    std::lock_guard lock(mutex_);
    thrown_.store(true);
  }
  woken_.notify_all();
}

void AbortSwitch::Sleep(uint32_t ms) {
  std::unique_lock lock(mutex_);
  woken_.wait_for(lock, std::chrono::milliseconds(ms), [this] { return thrown_.load(); });
}

bool AbortableBus::Enumerate(uint16_t vendor_id, uint16_t product_id,
                             std::vector<HidInterfaceInfo>& out) {
  if (abort_.thrown()) return false;
  return inner_.Enumerate(vendor_id, product_id, out);
}

std::unique_ptr<HidPort> AbortableBus::Open(const std::string& path) {
  if (abort_.thrown()) return nullptr;
  std::unique_ptr<HidPort> port = inner_.Open(path);
  if (port == nullptr) return nullptr;
  return std::make_unique<AbortablePort>(std::move(port), abort_);
}

}  // namespace qv::cli
