// The hidapi C API served by the simulated bus. Behaves like the hidraw back end: a write takes
// the report number first and returns the bytes given; a read returns the payload alone.
#include <hidapi/hidapi.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <memory>
#include <string>
#include <vector>

#include "platform/refused_open.h"
#include "sim/shim/shim_state.h"
#include "sim/shim/shim_wide_text.h"

// What leaves the library is decided by the build: the version script (qvsim_hidapi.map) on
// Linux, the .def file (qvsim_hidapi.def) for the DLL on Windows.
#define QVSIM_EXPORT extern "C"

using qv::sim::SimDeviceModel;
using qv::sim::SimPort;
using qv::sim::shim::ShimState;

struct hid_device_ {
  std::unique_ptr<SimPort> port;
  bool nonblocking = false;
  std::wstring error;
  hid_device_info* info = nullptr;
};

namespace {

// Reads wait in pieces this long so that control-file lines (an unplug) reach a waiting read.
constexpr int kReadPollMs = 20;

// The last error of calls made without a device, per thread so that the returned text stays
// valid while other threads fail.
thread_local std::wstring global_error;

void SetError(hid_device* dev, const wchar_t* text) {
  (dev != nullptr ? dev->error : global_error) = text;
}

char* Duplicate(const std::string& text) {
  auto* copy = static_cast<char*>(std::malloc(text.size() + 1));
  if (copy != nullptr) std::memcpy(copy, text.c_str(), text.size() + 1);
  return copy;
}

wchar_t* Duplicate(const std::wstring& text) {
  auto* copy = static_cast<wchar_t*>(std::calloc(text.size() + 1, sizeof(wchar_t)));
  if (copy != nullptr) std::wmemcpy(copy, text.c_str(), text.size());
  return copy;
}

constexpr const wchar_t* kManufacturer = L"qvsim";

// One enumeration entry, as hidapi lists an interface. A device without a serial number or
// product string gives an empty text, as hidapi does.
hid_device_info* MakeInfo(const qv::HidInterfaceInfo& entry) {
  auto* info = static_cast<hid_device_info*>(std::calloc(1, sizeof(hid_device_info)));
  if (info == nullptr) return nullptr;
  info->path = Duplicate(entry.path);
  info->vendor_id = entry.vendor_id;
  info->product_id = entry.product_id;
  info->serial_number = Duplicate(qv::sim::shim::WideFromUtf8(entry.serial_number));
  info->release_number = 0x0100;
  info->manufacturer_string = Duplicate(kManufacturer);
  info->product_string = Duplicate(qv::sim::shim::WideFromUtf8(entry.product));
  info->usage_page = entry.usage_page;
  info->usage = 0x0001;
  info->interface_number = entry.interface_number;
  info->next = nullptr;
  info->bus_type = HID_API_BUS_USB;
  return info;
}

// The entry of the interface a handle is open on.
hid_device_info* MakeInfo(SimPort& port) {
  const std::vector<qv::HidInterfaceInfo> interfaces = port.device().InterfaceInfos();
  if (port.interface_number() >= interfaces.size()) return nullptr;
  return MakeInfo(interfaces[port.interface_number()]);
}

void FreeInfo(hid_device_info* info) {
  if (info == nullptr) return;
  std::free(info->path);
  std::free(info->serial_number);
  std::free(info->manufacturer_string);
  std::free(info->product_string);
  std::free(info);
}

int CopyString(hid_device* dev, const std::wstring& text, wchar_t* out, size_t maxlen) {
  if (dev == nullptr || out == nullptr || maxlen == 0) {
    SetError(dev, L"invalid argument");
    return -1;
  }
  const size_t n = std::min(text.size(), maxlen - 1);
  std::wmemcpy(out, text.c_str(), n);
  out[n] = L'\0';
  return 0;
}

int Unsupported(hid_device* dev) {
  SetError(dev, L"not supported by the simulated device");
  return -1;
}

}  // namespace

QVSIM_EXPORT int hid_init(void) {
  (void)ShimState::Get();
  return 0;
}

QVSIM_EXPORT int hid_exit(void) {
  ShimState::Get().SaveAll();
  return 0;
}

QVSIM_EXPORT struct hid_device_info* hid_enumerate(unsigned short vendor_id,
                                                   unsigned short product_id) {
  ShimState& state = ShimState::Get();
  state.Poll();
  std::vector<qv::HidInterfaceInfo> found;
  if (!state.bus().Enumerate(vendor_id, product_id, found)) {
    SetError(nullptr, qv::sim::kSimEnumerationFailureText);
    return nullptr;
  }
  hid_device_info* head = nullptr;
  hid_device_info** tail = &head;
  for (const qv::HidInterfaceInfo& entry : found) {
    hid_device_info* info = MakeInfo(entry);
    if (info == nullptr) break;
    *tail = info;
    tail = &info->next;
  }
  SetError(nullptr, head != nullptr ? L"Success" : L"No HID devices found in the system.");
  return head;
}

QVSIM_EXPORT void hid_free_enumeration(struct hid_device_info* devs) {
  while (devs != nullptr) {
    hid_device_info* next = devs->next;
    FreeInfo(devs);
    devs = next;
  }
}

QVSIM_EXPORT hid_device* hid_open_path(const char* path) {
  if (path == nullptr) {
    SetError(nullptr, L"invalid argument");
    return nullptr;
  }
  ShimState& state = ShimState::Get();
  state.Poll();
  std::unique_ptr<SimPort> port = state.bus().OpenSim(path);
  if (!port) {
    const std::shared_ptr<SimDeviceModel> device = state.bus().FindPath(path);
    if (device != nullptr && device->config().open_refused) {
      // As this system's hidapi reports it: hidraw's errno, or Windows' error text alone.
      const qv::HidapiOpenError refusal = qv::RefusedOpenAsHidapiReportsIt();
      SetError(nullptr, qv::sim::shim::WideFromUtf8(refusal.hidapi_text).c_str());
      errno = refusal.error_number;
      return nullptr;
    }
    SetError(nullptr, L"no such device");
    errno = ENOENT;
    return nullptr;
  }
  auto* dev = new hid_device_;
  dev->port = std::move(port);
  SetError(nullptr, L"Success");
  return dev;
}

QVSIM_EXPORT hid_device* hid_open(unsigned short vendor_id, unsigned short product_id,
                                  const wchar_t* serial_number) {
  hid_device_info* list = hid_enumerate(vendor_id, product_id);
  hid_device* dev = nullptr;
  bool matched = false;
  for (hid_device_info* info = list; info != nullptr && dev == nullptr; info = info->next) {
    if (serial_number != nullptr &&
        (info->serial_number == nullptr || std::wcscmp(serial_number, info->serial_number) != 0)) {
      continue;
    }
    matched = true;
    dev = hid_open_path(info->path);
  }
  hid_free_enumeration(list);
  // A device that was found but not opened keeps the reason its open gave (errno included).
  if (!matched) SetError(nullptr, L"no such device");
  return dev;
}

QVSIM_EXPORT int hid_write(hid_device* dev, const unsigned char* data, size_t length) {
  if (dev == nullptr || data == nullptr) {
    SetError(dev, L"invalid argument");
    return -1;
  }
  ShimState& state = ShimState::Get();
  state.Poll();
  qv::Report report{};
  // An interface without output reports refuses every write, whatever its length.
  const bool takes_output = dev->port->device().SpeaksProtocol(dev->port->interface_number());
  if (length != report.size() && takes_output) {
    // The device's output report is always the report number plus 64 bytes.
    dev->port->device().RecordFault("host wrote " + std::to_string(length) +
                                    " bytes (a report is 65)");
    SetError(dev, L"wrong report length");
    return -1;
  }
  std::copy_n(data, std::min(length, report.size()), report.begin());
  const int moved = dev->port->WriteReport(report);
  state.SaveIfRequested(dev->port->device());
  if (moved < 0) {
    SetError(dev, takes_output ? L"write failed: the device is gone or the transfer failed"
                               : L"write failed: the interface has no output reports");
  }
  return moved;
}

QVSIM_EXPORT int hid_read_timeout(hid_device* dev, unsigned char* data, size_t length,
                                  int milliseconds) {
  if (dev == nullptr || data == nullptr) {
    SetError(dev, L"invalid argument");
    return -1;
  }
  ShimState& state = ShimState::Get();
  qv::Report report{};
  const uint32_t start = state.clock().TickMs();
  int moved = 0;
  for (;;) {
    state.Poll();
    int slice = kReadPollMs;
    if (milliseconds >= 0) {
      const int waited = static_cast<int>(state.clock().TickMs() - start);
      slice = std::clamp(milliseconds - waited, 0, kReadPollMs);
    }
    moved = dev->port->ReadReport(report, slice);
    if (moved != 0 || (milliseconds >= 0 && slice < kReadPollMs)) break;
  }
  if (moved < 0) {
    SetError(dev, L"read failed: the device is gone or the transfer failed");
    return -1;
  }
  if (moved == 0) return 0;
  const size_t payload = std::min(length, static_cast<size_t>(moved - 1));
  std::copy_n(report.begin() + 1, payload, data);
  return static_cast<int>(payload);
}

QVSIM_EXPORT int hid_read(hid_device* dev, unsigned char* data, size_t length) {
  return hid_read_timeout(dev, data, length, dev != nullptr && dev->nonblocking ? 0 : -1);
}

QVSIM_EXPORT int hid_set_nonblocking(hid_device* dev, int nonblock) {
  if (dev == nullptr) return -1;
  dev->nonblocking = nonblock != 0;
  return 0;
}

QVSIM_EXPORT int hid_send_feature_report(hid_device* dev, const unsigned char*, size_t) {
  return Unsupported(dev);
}

QVSIM_EXPORT int hid_get_feature_report(hid_device* dev, unsigned char*, size_t) {
  return Unsupported(dev);
}

QVSIM_EXPORT int hid_get_input_report(hid_device* dev, unsigned char*, size_t) {
  return Unsupported(dev);
}

QVSIM_EXPORT void hid_close(hid_device* dev) {
  if (dev == nullptr) return;
  ShimState::Get().Save(dev->port->device());
  FreeInfo(dev->info);
  delete dev;
}

QVSIM_EXPORT int hid_get_manufacturer_string(hid_device* dev, wchar_t* string, size_t maxlen) {
  return CopyString(dev, kManufacturer, string, maxlen);
}

QVSIM_EXPORT int hid_get_product_string(hid_device* dev, wchar_t* string, size_t maxlen) {
  if (dev == nullptr) return CopyString(dev, L"", string, maxlen);
  return CopyString(dev, qv::sim::shim::WideFromUtf8(dev->port->device().product_string()), string,
                    maxlen);
}

QVSIM_EXPORT int hid_get_serial_number_string(hid_device* dev, wchar_t* string, size_t maxlen) {
  if (dev == nullptr) return CopyString(dev, L"", string, maxlen);
  return CopyString(dev, qv::sim::shim::WideFromUtf8(dev->port->device().serial_number()), string,
                    maxlen);
}

QVSIM_EXPORT struct hid_device_info* hid_get_device_info(hid_device* dev) {
  if (dev == nullptr) return nullptr;
  if (dev->info == nullptr) dev->info = MakeInfo(*dev->port);
  return dev->info;
}

QVSIM_EXPORT int hid_get_indexed_string(hid_device* dev, int, wchar_t*, size_t) {
  return Unsupported(dev);
}

QVSIM_EXPORT const wchar_t* hid_error(hid_device* dev) {
  const std::wstring& error = dev != nullptr ? dev->error : global_error;
  return error.empty() ? L"Success" : error.c_str();
}

QVSIM_EXPORT const struct hid_api_version* hid_version(void) {
  static const hid_api_version version{HID_API_VERSION_MAJOR, HID_API_VERSION_MINOR,
                                       HID_API_VERSION_PATCH};
  return &version;
}

QVSIM_EXPORT const char* hid_version_str(void) {
  return HID_API_VERSION_STR;
}
