#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace qv {

// One HID report as the link exchanges it: byte 0 is the report number (always 0 here),
// bytes 1..64 the payload.
inline constexpr std::size_t kReportSize = 65;
inline constexpr std::size_t kReportPayload = 64;
using Report = std::array<uint8_t, kReportSize>;

// One HID interface seen during enumeration. A composite USB device lists one entry per
// interface (on Windows one per top-level collection), all with its port and serial number.
struct HidInterfaceInfo {
  std::string path;
  uint16_t vendor_id = 0;
  uint16_t product_id = 0;
  std::string serial_number;  // UTF-8; empty when the device has none
  std::string usb_port;       // where it is plugged, e.g. "1-2.3"; empty when unknown
  int interface_number = -1;  // the USB interface; -1 when unknown
  uint16_t usage_page = 0;    // of the interface's top-level collection; 0 when unknown
  std::string product = {};   // the product string, UTF-8; empty when the device has none
};

// An open HID interface. Implementations: hidapi (src/platform), the in-process simulator.
class HidPort {
 public:
  virtual ~HidPort() = default;
  // Vendor and product id as the open device reports them; false when they cannot be read.
  [[nodiscard]] virtual bool GetAttributes(uint16_t& vendor_id, uint16_t& product_id) = 0;
  // Sends one whole 65-byte report (report number first). Returns the bytes moved, counting the
  // report number (65 for a whole report), or -1 on failure.
  [[nodiscard]] virtual int WriteReport(const Report& report) = 0;
  // Waits up to timeout_ms for one input report. On success fills report[0] = 0 and the payload
  // from report[1] on, and returns the bytes moved counting the report number (65 for a whole
  // report). Returns 0 on time-out and -1 on failure (the device is gone).
  [[nodiscard]] virtual int ReadReport(Report& report, int timeout_ms) = 0;
};

// Why an interface could not be opened.
enum class HidOpenFailure {
  kNone,          // it was opened
  kAccessDenied,  // the system refused this user (EACCES/EPERM on its device node)
  kOther,         // gone, not set up yet, or any other reason
};

struct HidOpenResult {
  std::unique_ptr<HidPort> port;  // null when the open failed
  HidOpenFailure failure = HidOpenFailure::kNone;
};

// Enumerates and opens HID interfaces.
class HidBus {
 public:
  virtual ~HidBus() = default;
  // Lists the interfaces with the given vendor and product id, in enumeration order.
  // Returns false when the enumeration itself failed (the list could not be read at all).
  [[nodiscard]] virtual bool Enumerate(uint16_t vendor_id, uint16_t product_id,
                                       std::vector<HidInterfaceInfo>& out) = 0;
  // Why the last enumeration that failed failed, in the system's words; empty when it gave
  // none.
  [[nodiscard]] virtual std::string EnumerationFailure() const { return {}; }
  // Opens an interface for reading and writing, telling why it failed. The one way a bus
  // opens, so that a bus placed in front of another (tracing, aborting) passes the reason on.
  // A bus that cannot tell gives kOther for every failure.
  [[nodiscard]] virtual HidOpenResult OpenWithReason(const std::string& path) = 0;
  // The port alone; null when it cannot be opened.
  [[nodiscard]] std::unique_ptr<HidPort> Open(const std::string& path) {
    return OpenWithReason(path).port;
  }
};

// The system's hidapi (libhidapi-hidraw).
HidBus& SystemHidBus();

}  // namespace qv
