#include "sim/sim_port.h"

#include <algorithm>
#include <utility>

namespace qv::sim {
namespace {

// Waiting for input goes in slices this long, so that a device that leaves the bus or an
// answer that becomes due is noticed soon.
constexpr uint32_t kWaitSliceMs = 5;

}  // namespace

SimPort::SimPort(std::shared_ptr<SimDeviceModel> device, uint32_t interface_number, Clock& clock,
                 uint64_t epoch)
    : device_(std::move(device)),
      interface_number_(interface_number),
      clock_(clock),
      epoch_(epoch) {}

bool SimPort::GetAttributes(uint16_t& vendor_id, uint16_t& product_id) {
  if (!device_->Present() || device_->Epoch() != epoch_) return false;
  const SimDeviceConfig config = device_->config();
  vendor_id = config.vendor_id;
  product_id = config.product_id;
  return true;
}

int SimPort::WriteReport(const Report& report) {
  uint32_t latency_ms = 0;
  const int moved = device_->HostWrite(report, interface_number_, epoch_, latency_ms);
  if (latency_ms != 0) clock_.SleepMs(latency_ms);
  return moved;
}

int SimPort::ReadReport(Report& report, int timeout_ms) {
  const uint32_t start = clock_.TickMs();
  for (;;) {
    const SimDeviceModel::ReadStep step = device_->HostRead(report, interface_number_, epoch_);
    switch (step.status) {
      case SimDeviceModel::ReadStatus::kGone:
      case SimDeviceModel::ReadStatus::kFailed:
        return -1;
      case SimDeviceModel::ReadStatus::kMoved:
        if (step.latency_ms != 0) clock_.SleepMs(step.latency_ms);
        return step.moved;
      case SimDeviceModel::ReadStatus::kWait:
        break;
    }
    uint32_t slice = kWaitSliceMs;
    if (step.wait_ms != 0) slice = std::min(slice, step.wait_ms);
    if (timeout_ms >= 0) {
      const uint32_t waited = clock_.TickMs() - start;
      if (waited >= static_cast<uint32_t>(timeout_ms)) return 0;
      slice = std::min(slice, static_cast<uint32_t>(timeout_ms) - waited);
    }
    clock_.SleepMs(slice);
  }
}

}  // namespace qv::sim
