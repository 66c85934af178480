// hidapi behind HidBus/HidPort. This file and hidapi_calls.h are the only places that include
// hidapi.h, and this is the one place that knows how the 65-byte report (report number + 64
// payload bytes) maps onto hidapi's calls.

#include <algorithm>
#include <array>
#include <cerrno>
#include <memory>
#include <mutex>
#include <utility>

#include "platform/hid_bus.h"
#include "platform/hidapi_calls.h"
#include "platform/device_path.h"

namespace qv {
namespace {

void AppendUtf8(std::string& out, uint32_t c) {
  if (c < 0x80) {
    out += static_cast<char>(c);
  } else if (c < 0x800) {
    out += static_cast<char>(0xC0 | (c >> 6));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else if (c < 0x10000) {
    out += static_cast<char>(0xE0 | (c >> 12));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (c >> 18));
    out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  }
}

bool IsHighSurrogate(uint32_t c) { return c >= 0xD800 && c <= 0xDBFF; }
bool IsLowSurrogate(uint32_t c) { return c >= 0xDC00 && c <= 0xDFFF; }

// hidapi's words for an enumeration that found nothing (its back ends on Linux and Windows), or
// no words at all: any other text after a NULL list is a failure to read the list.
bool NothingFound(const std::string& error) {
  return error.empty() || error == "Success" || error.starts_with("No HID devices");
}

// What hidapi said of the last call made without a device; empty when it says nothing.
std::string GlobalError(const HidapiCalls& calls) {
  if (calls.error == nullptr) return {};
  return Utf8FromHidapi(calls.error(nullptr));
}

// hidapi does not promise that enumerate, open and close may run from several threads at once
// (its back ends keep shared state for them: udev contexts, device lists). A station calls them
// from every device's thread, so they take this one lock; reads and writes on different devices
// do not, and stay parallel.
using BusLock = std::shared_ptr<std::mutex>;

class HidapiPort final : public HidPort {
 public:
  HidapiPort(const HidapiCalls& calls, BusLock bus_lock, hid_device* device)
      : calls_(calls), bus_lock_(std::move(bus_lock)), device_(device) {}
  ~HidapiPort() override {
    std::lock_guard lock(*bus_lock_);
    calls_.close(device_);
  }
  HidapiPort(const HidapiPort&) = delete;
  HidapiPort& operator=(const HidapiPort&) = delete;

  // Asks the back end for the device's description, as an enumeration does: under the bus lock.
  [[nodiscard]] bool GetAttributes(uint16_t& vendor_id, uint16_t& product_id) override {
    std::lock_guard lock(*bus_lock_);
    const hid_device_info* info = calls_.get_device_info(device_);
    if (info == nullptr) return false;
    vendor_id = info->vendor_id;
    product_id = info->product_id;
    return true;
  }

  // hid_write takes the whole report with the report number first. For an unnumbered report
  // the kernel strips byte 0 and may count only the 64 payload bytes; both mean the whole
  // report went out.
  [[nodiscard]] int WriteReport(const Report& report) override {
    const int written = calls_.write(device_, report.data(), report.size());
    if (written < 0) return -1;
    if (static_cast<std::size_t>(written) >= kReportPayload) return static_cast<int>(kReportSize);
    return written;
  }

  // hidapi gives an unnumbered report's payload without the report number (64 bytes); some
  // of its back ends put the number 0 in front (65 bytes). Either way the caller gets the
  // 65-byte layout: number 0, the payload from byte 1 on, zeros after a short payload.
  [[nodiscard]] int ReadReport(Report& report, int timeout_ms) override {
    std::array<unsigned char, kReportSize> raw{};
    const int read = calls_.read_timeout(device_, raw.data(), raw.size(), timeout_ms);
    if (read < 0) return -1;
    if (read == 0) return 0;
    const std::size_t got = std::min(static_cast<std::size_t>(read), raw.size());
    const std::size_t number_bytes = got == kReportSize ? 1 : 0;
    const std::size_t payload = got - number_bytes;
    report.fill(0);
    std::copy_n(raw.begin() + number_bytes, payload, report.begin() + 1);
    return static_cast<int>(payload + 1);
  }

 private:
  const HidapiCalls& calls_;
  BusLock bus_lock_;
  hid_device* device_;
};

class HidapiBus final : public HidBus {
 public:
  explicit HidapiBus(const HidapiCalls& calls) : calls_(calls) {}

  // Asks hidapi for the one vendor/product pair only: a full enumeration on every poll disturbs
  // other devices. hid_enumerate gives NULL both when nothing matches and when it failed; its
  // error text tells them apart.
  [[nodiscard]] bool Enumerate(uint16_t vendor_id, uint16_t product_id,
                               std::vector<HidInterfaceInfo>& out) override {
    out.clear();
    if (!Init()) {
      Failed("hidapi could not be initialised");
      return false;
    }
    std::unique_lock lock(*bus_lock_);
    hid_device_info* list = calls_.enumerate(vendor_id, product_id);
    if (list == nullptr) {
      const std::string error = GlobalError(calls_);
      if (!NothingFound(error)) {
        Failed(error);
        return false;
      }
    }
    for (const hid_device_info* it = list; it != nullptr; it = it->next) {
      if (it->path == nullptr) continue;
      out.push_back({.path = it->path,
                     .vendor_id = it->vendor_id,
                     .product_id = it->product_id,
                     .serial_number = Utf8FromHidapi(it->serial_number),
                     .usb_port = {},
                     .interface_number = it->interface_number,
                     .usage_page = it->usage_page,
                     .product = Utf8FromHidapi(it->product_string)});
    }
    calls_.free_enumeration(list);
    lock.unlock();
    // The system's port files are read after the lock is let go: a slow read of them must not
    // hold up every other device's open and close.
    for (HidInterfaceInfo& info : out) info.usb_port = UsbPortOfDevice(info.path);
    return true;
  }


  [[nodiscard]] std::string EnumerationFailure() const override {
    std::lock_guard lock(failure_mutex_);
    return enumeration_failure_;
  }

  [[nodiscard]] HidOpenResult OpenWithReason(const std::string& path) override {
    HidOpenResult result;
    if (!Init()) {
      result.failure = HidOpenFailure::kOther;
      return result;
    }
    hid_device* device = nullptr;
    HidapiOpenError open_error;
    {
      std::lock_guard lock(*bus_lock_);
      errno = 0;
      device = calls_.open_path(path.c_str());
      open_error.error_number = errno;
      if (device == nullptr) open_error.hidapi_text = GlobalError(calls_);
    }
    if (device == nullptr) {
      result.failure = DeviceRefusesAccess(path, open_error) ? HidOpenFailure::kAccessDenied
                                                             : HidOpenFailure::kOther;
      return result;
    }
    result.port = std::make_unique<HidapiPort>(calls_, bus_lock_, device);
    return result;
  }

 private:
  // hid_init is not safe to race; it is called once, on first use.
  bool Init() {
    std::call_once(init_once_, [this] { init_ok_ = calls_.init() == 0; });
    return init_ok_;
  }

  const HidapiCalls& calls_;
  // Shared with the ports, which may outlive a bus made for a test.
  BusLock bus_lock_ = std::make_shared<std::mutex>();
  std::once_flag init_once_;
  bool init_ok_ = false;
  mutable std::mutex failure_mutex_;
  std::string enumeration_failure_;

  void Failed(std::string reason) {
    std::lock_guard lock(failure_mutex_);
    enumeration_failure_ = std::move(reason);
  }
};

const HidapiCalls kSystemHidapi = {
    .init = hid_init,
    .enumerate = hid_enumerate,
    .free_enumeration = hid_free_enumeration,
    .open_path = hid_open_path,
    .close = hid_close,
    .get_device_info = hid_get_device_info,
    .write = hid_write,
    .read_timeout = hid_read_timeout,
    .error = hid_error,
};

}  // namespace

std::string Utf8FromHidapi(const wchar_t* text) {
  std::string out;
  if (text == nullptr) return out;
  for (; *text != L'\0'; ++text) {
    auto c = static_cast<uint32_t>(*text);
    if (IsHighSurrogate(c) && IsLowSurrogate(static_cast<uint32_t>(text[1]))) {
      c = 0x10000 + ((c - 0xD800) << 10) + (static_cast<uint32_t>(text[1]) - 0xDC00);
      ++text;
    } else if (IsHighSurrogate(c) || IsLowSurrogate(c) || c >= 0x110000) {
      c = 0xFFFD;
    }
    AppendUtf8(out, c);
  }
  return out;
}

std::unique_ptr<HidBus> MakeHidapiBus(const HidapiCalls& calls) {
  return std::make_unique<HidapiBus>(calls);
}

HidBus& SystemHidBus() {
  static HidapiBus bus(kSystemHidapi);
  return bus;
}

}  // namespace qv
