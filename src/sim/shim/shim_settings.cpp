#include "sim/shim/shim_settings.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <optional>

namespace qv::sim::shim {
namespace {

constexpr uint32_t kMaxShimInterfaces = 8;

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

class Reader {
 public:
  Reader(const char* (*lookup)(const char*), ShimSettings& settings)
      : lookup_(lookup), settings_(settings) {}

  // Sets `target` from the variable when it is present and valid.
  template <typename T>
  void Number(const char* name, T& target, uint64_t max) {
    const char* text = lookup_(name);
    if (text == nullptr) return;
    uint64_t value = 0;
    if (!ParseNumber(text, max, value)) {
      Warn(name, text);
      return;
    }
    target = static_cast<T>(value);
  }

  void Flag(const char* name, bool& target) {
    uint32_t value = target ? 1 : 0;
    Number(name, value, 1);
    target = value != 0;
  }

  void Text(const char* name, std::string& target) {
    if (const char* text = lookup_(name)) target = text;
  }

  // Set even when empty: an empty value says "none".
  void OptionalText(const char* name, std::optional<std::string>& target) {
    if (const char* text = lookup_(name)) target = text;
  }

  // Comma-separated items; an empty item stays an empty text.
  void List(const char* name, std::vector<std::string>& target) {
    const char* text = lookup_(name);
    if (text == nullptr) return;
    target.clear();
    std::string item;
    for (const char* c = text;; ++c) {
      if (*c == ',' || *c == '\0') {
        target.push_back(item);
        item.clear();
        if (*c == '\0') return;
      } else {
        item.push_back(*c);
      }
    }
  }

  template <std::size_t N>
  bool Bytes(const char* name, std::array<uint8_t, N>& target, bool exact) {
    const char* text = lookup_(name);
    if (text == nullptr) return false;
    std::vector<uint8_t> bytes;
    if (!ParseHexBytes(text, N, bytes) || (exact && bytes.size() != N)) {
      Warn(name, text);
      return false;
    }
    target.fill(0);
    std::copy(bytes.begin(), bytes.end(), target.begin());
    return true;
  }

  void Warn(const char* name, const char* text, const std::string& why = "") {
    settings_.warnings.push_back(std::string(name) + "=\"" + text + "\" ignored" +
                                 (why.empty() ? "" : ": " + why));
  }

 private:
  const char* (*lookup_)(const char*);
  ShimSettings& settings_;
};

}  // namespace

bool ParseHexBytes(const std::string& text, std::size_t max_bytes, std::vector<uint8_t>& out) {
  out.clear();
  std::size_t i = 0;
  while (i < text.size()) {
    if (std::isspace(static_cast<unsigned char>(text[i]))) {
      ++i;
      continue;
    }
    if (i + 1 >= text.size()) return false;
    const int high = HexValue(text[i]);
    const int low = HexValue(text[i + 1]);
    if (high < 0 || low < 0 || out.size() == max_bytes) return false;
    out.push_back(static_cast<uint8_t>(high * 16 + low));
    i += 2;
  }
  return true;
}

bool ParseNumber(const std::string& text, uint64_t max, uint64_t& out) {
  if (text.empty() || !std::isdigit(static_cast<unsigned char>(text[0]))) return false;
  errno = 0;
  char* end = nullptr;
  const unsigned long long value = std::strtoull(text.c_str(), &end, 0);
  if (errno != 0 || *end != '\0' || value > max) return false;
  out = value;
  return true;
}

ShimSettings ReadShimSettings(const char* (*lookup)(const char* name)) {
  ShimSettings settings;
  Reader read(lookup, settings);
  SimDeviceConfig& device = settings.device;
  read.Number("QVSIM_DEVICES", settings.devices, 64);
  read.Number("QVSIM_VENDOR_ID", device.vendor_id, 0xFFFF);
  read.Number("QVSIM_PRODUCT_ID", device.product_id, 0xFFFF);
  read.Bytes("QVSIM_VERSION", device.version, false);
  read.Text("QVSIM_FLASH_ID", device.flash_id);
  if (const char* serial = lookup("QVSIM_SERIAL")) device.serial_number = serial;
  read.Number("QVSIM_LENGTH_BYTE", device.length_byte, 0xFF);
  std::array<uint8_t, 64> raw{};
  if (read.Bytes("QVSIM_RAW_ANSWER", raw, true)) device.raw_answer = raw;
  read.Number("QVSIM_INPUT_PAYLOAD", device.input_payload, 64);
  read.Number("QVSIM_REPORT_LATENCY_MS", device.report_latency_ms, 60000);
  read.Number("QVSIM_ERASE_MS_PER_SECTOR", device.erase_ms_per_sector, 60000);
  read.Number("QVSIM_RESET_ABSENT_MS", device.reset_absent_ms, 600000);
  read.Number("QVSIM_FAIL_REPORT", device.fail_report, 0xFFFFFFFF);
  read.Number("QVSIM_VANISH_REPORT", device.vanish_report, 0xFFFFFFFF);
  read.Flag("QVSIM_NEVER_RETURN", device.never_return_after_reset);
  read.Flag("QVSIM_NEW_PATH_AFTER_RESET", device.new_path_after_reset);
  read.Flag("QVSIM_STOP_READS", device.stop_answering_reads);
  read.Flag("QVSIM_OPEN_REFUSED", device.open_refused);
  read.Flag("QVSIM_PORTS", settings.ports);
  read.Number("QVSIM_INTERFACES", device.interfaces, kMaxShimInterfaces);
  read.Number("QVSIM_PROTOCOL_INTERFACE", device.protocol_interface, kMaxShimInterfaces - 1);
  read.OptionalText("QVSIM_SERIAL_AFTER_RESET", device.serial_after_reset);
  read.OptionalText("QVSIM_PRODUCT_AFTER_RESET", device.product_after_reset);
  read.List("QVSIM_SERIALS", settings.serials);
  read.Text("QVSIM_DIR", settings.dir);
  read.Text("QVSIM_CONTROL", settings.control);
  if (device.input_payload == 0) {
    read.Warn("QVSIM_INPUT_PAYLOAD", "0");
    device.input_payload = 64;
  }
  if (device.interfaces == 0) {
    read.Warn("QVSIM_INTERFACES", "0");
    device.interfaces = 1;
  }
  if (device.protocol_interface >= device.interfaces) {
    const std::string value = std::to_string(device.protocol_interface);
    read.Warn("QVSIM_PROTOCOL_INTERFACE", value.c_str(),
              "a device has interfaces 0.." + std::to_string(device.interfaces - 1));
    device.protocol_interface = 0;
  }
  return settings;
}

void FillPerDevice(const ShimSettings& settings, uint32_t number, SimDeviceConfig& config) {
  if (number >= 1 && number <= settings.serials.size()) {
    config.serial_number = settings.serials[number - 1];
  }
  if (settings.ports && config.usb_port.empty()) config.usb_port = "1-" + std::to_string(number);
}

}  // namespace qv::sim::shim
