// The system's hidapi behind HidBus/HidPort. This is the only file that includes hidapi.h, and
// the one place that knows how the 65-byte report (report number + 64 payload bytes) maps onto
// hidapi's calls.

#include <hidapi/hidapi.h>

#include <algorithm>
#include <mutex>

#include "platform/hid_bus.h"

namespace qv {
namespace {

// hid_init is not safe to race; it is called once for the process, on first use.
bool InitHidapi() {
  static std::once_flag once;
  static bool ok = false;
  std::call_once(once, [] { ok = hid_init() == 0; });
  return ok;
}

class HidapiPort final : public HidPort {
 public:
  explicit HidapiPort(hid_device* device) : device_(device) {}
  ~HidapiPort() override { hid_close(device_); }
  HidapiPort(const HidapiPort&) = delete;
  HidapiPort& operator=(const HidapiPort&) = delete;

  [[nodiscard]] bool GetAttributes(uint16_t& vendor_id, uint16_t& product_id) override {
    const hid_device_info* info = hid_get_device_info(device_);
    if (info == nullptr) return false;
    vendor_id = info->vendor_id;
    product_id = info->product_id;
    return true;
  }

  // hid_write takes the whole report with the report number first. For an unnumbered report
  // the kernel strips byte 0 and may count only the 64 payload bytes; both mean the whole
  // report went out.
  [[nodiscard]] int WriteReport(const Report& report) override {
    const int written = hid_write(device_, report.data(), report.size());
    if (written < 0) return -1;
    if (static_cast<std::size_t>(written) >= kReportPayload) return static_cast<int>(kReportSize);
    return written;
  }

  // hid_read gives the payload of an unnumbered report without the report number; it is put
  // back in front so that callers always see the 65-byte layout.
  [[nodiscard]] int ReadReport(Report& report, int timeout_ms) override {
    const int read = hid_read_timeout(device_, report.data() + 1, kReportPayload, timeout_ms);
    if (read < 0) return -1;
    if (read == 0) return 0;
    report[0] = 0;
    return std::min(read, static_cast<int>(kReportPayload)) + 1;
  }

 private:
  hid_device* device_;
};

class HidapiBus final : public HidBus {
 public:
  // Asks hidapi for the one vendor/product pair only: a full enumeration on every poll disturbs
  // other devices. hid_enumerate gives NULL both when nothing matches and when it failed; both
  // leave the list empty, which every caller treats as "no device".
  [[nodiscard]] bool Enumerate(uint16_t vendor_id, uint16_t product_id,
                               std::vector<HidInterfaceInfo>& out) override {
    out.clear();
    if (!InitHidapi()) return false;
    hid_device_info* list = hid_enumerate(vendor_id, product_id);
    for (const hid_device_info* it = list; it != nullptr; it = it->next) {
      if (it->path == nullptr) continue;
      out.push_back({it->path, it->vendor_id, it->product_id});
    }
    hid_free_enumeration(list);
    return true;
  }

  [[nodiscard]] std::unique_ptr<HidPort> Open(const std::string& path) override {
    if (!InitHidapi()) return nullptr;
    hid_device* device = hid_open_path(path.c_str());
    if (device == nullptr) return nullptr;
    return std::make_unique<HidapiPort>(device);
  }
};

}  // namespace

HidBus& SystemHidBus() {
  static HidapiBus bus;
  return bus;
}

}  // namespace qv
