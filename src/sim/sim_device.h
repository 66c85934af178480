#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "platform/clock.h"

namespace qv::sim {

inline constexpr uint32_t kSimFlashSize = 8u * 1024u * 1024u;  // the 8 MiB window
inline constexpr uint32_t kSimSectorSize = 4096;
inline constexpr uint32_t kSimPageSize = 256;
// The product string of every device, unless its update mode reports another.
inline constexpr const char* kSimProductString = "Simulated updater device";
inline constexpr uint16_t kSimProtocolUsagePage = 0xFF00;  // vendor-defined
inline constexpr uint16_t kSimOtherUsagePage = 0x0001;     // generic desktop

// How one simulated device looks and behaves. Defaults: a healthy device with the real ids.
struct SimDeviceConfig {
  uint16_t vendor_id = 0x0416;
  uint16_t product_id = 0xB501;
  // Identity: the serial number (by default "SIM" and the device's number; empty for a device
  // without one) and the USB port the bus reports (empty: unknown). A device with a port has the
  // paths hidapi's libusb back end gives, "<port>:1.<interface>", the same across its reset;
  // without one its paths are "sim:dev<number>" with "/<interface>" after them for every
  // interface but the first.
  std::optional<std::string> serial_number;
  std::string usb_port;

  // HID interfaces, each its own enumeration entry with the same port, serial number and
  // product string (at least 1, at most 256: a USB interface number is one byte). Only the
  // protocol interface (usage page 0xFF00; the others 0x0001) speaks the update protocol: on
  // the others every write fails and reads deliver nothing, as on an interface without output
  // reports. A protocol interface out of range means the last interface.
  uint32_t interfaces = 1;
  uint32_t protocol_interface = 0;

  // The descriptors of the device's update mode, reported from its first return after a reset
  // on: unset keeps them, "" reports none, anything else reports that text.
  std::optional<std::string> serial_after_reset;
  std::optional<std::string> product_after_reset;

  // Query answer. version: the 14 bytes the device reports ('P' + program tag bytes 1..3, any,
  // sound tag, any, map tag) - by default "P" followed by zeros, so it differs from any real
  // package. flash_id: four characters placed just before the length byte.
  std::array<uint8_t, 14> version{'P'};
  std::string flash_id = "C216";
  uint8_t length_byte = 20;
  // When set, the whole 64-byte answer payload is exactly this (deliberately odd answers).
  std::optional<std::array<uint8_t, 64>> raw_answer;
  // Payload bytes per input report (64 normally; fewer models a short report).
  uint32_t input_payload = 64;

  // Timing, in milliseconds of the bus's clock.
  uint32_t report_latency_ms = 0;    // per report moved
  uint32_t erase_ms_per_sector = 0;  // added before the read-back answer of an erase
  uint32_t reset_absent_ms = 500;    // how long the device is gone from the bus after CMD_RESET

  // Fault injection (1-based report numbers counted over every report the device receives or
  // sends; 0 = off).
  uint32_t fail_report = 0;    // the k-th report fails (not moved), the device stays
  uint32_t vanish_report = 0;  // at the k-th report the device disappears from the bus
  bool never_return_after_reset = false;
  // After a reset the device comes back under a new path (as a hidraw node may), with the same
  // serial number. No effect on a device with a USB port, whose paths name the port.
  bool new_path_after_reset = false;
  bool stop_answering_reads = false;  // reads time out

  // Access: the device enumerates, but every open is refused as the system refuses a device
  // node this user has no rights to (hidapi: hid_open_path gives NULL with errno EACCES).
  bool open_refused = false;
};

// One decoded command as the device understood it.
struct SimCommand {
  uint8_t opcode = 0;
  uint32_t param1 = 0;
  uint32_t param2 = 0;
};

}  // namespace qv::sim

namespace qv::sim {

// A model of one device: the NOR flash window and the command protocol, decoded with this
// simulator's own code. Thread-safe.
class SimDevice {
 public:
  virtual ~SimDevice() = default;
  // The first interface's path.
  [[nodiscard]] virtual std::string path() const = 0;
  // The paths of all its interfaces now, in interface order.
  [[nodiscard]] virtual std::vector<std::string> InterfacePaths() const = 0;
  // The serial number and product string it reports now (those of its update mode once it has
  // reset, where configured); empty for none.
  [[nodiscard]] virtual std::string serial_number() const = 0;
  [[nodiscard]] virtual std::string product_string() const = 0;
  [[nodiscard]] virtual SimDeviceConfig config() const = 0;
  // Changes the configuration (answers, timing, faults) of a device already plugged in.
  virtual void SetConfig(const SimDeviceConfig& config) = 0;
  // A copy of the 8 MiB flash window (index 0 = flash address 0x40000000).
  [[nodiscard]] virtual std::vector<uint8_t> FlashImage() const = 0;
  // Protocol and flash faults recorded so far (empty for a clean run), one text each.
  [[nodiscard]] virtual std::vector<std::string> Faults() const = 0;
  // Every command accepted so far, in order.
  [[nodiscard]] virtual std::vector<SimCommand> Commands() const = 0;
  // Reports received (host to device) and sent (device to host) so far.
  [[nodiscard]] virtual uint32_t ReportsReceived() const = 0;
  [[nodiscard]] virtual uint32_t ReportsSent() const = 0;
};

}  // namespace qv::sim
