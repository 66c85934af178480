#include "station/abort_switch.h"

#include <utility>

namespace qv::station {
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

void AbortSwitch::Throw() { thrown_.store(true); }

void AbortableClock::SleepMs(uint32_t ms) {
  while (ms > 0 && !abort_.thrown()) {
    const uint32_t slice = ms < kSliceMs ? ms : kSliceMs;
    inner_.SleepMs(slice);
    ms -= slice;
  }
}

bool AbortableBus::Enumerate(uint16_t vendor_id, uint16_t product_id,
                             std::vector<HidInterfaceInfo>& out) {
  if (abort_.thrown()) return false;
  return inner_.Enumerate(vendor_id, product_id, out);
}

HidOpenResult AbortableBus::OpenWithReason(const std::string& path) {
  if (abort_.thrown()) return {nullptr, HidOpenFailure::kOther};
  HidOpenResult opened = inner_.OpenWithReason(path);
  if (opened.port != nullptr) {
    opened.port = std::make_unique<AbortablePort>(std::move(opened.port), abort_);
  }
  return opened;
}

}  // namespace qv::station
