#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "sim/shim/shim_control.h"
#include "sim/shim/shim_device_files.h"
#include "sim/shim/shim_settings.h"
#include "sim/shim/shim_wide_text.h"
#include "temp_folder.h"

namespace qv::sim::shim {
namespace {

std::map<std::string, std::string> environment;

const char* Lookup(const char* name) {
  const auto found = environment.find(name);
  return found == environment.end() ? nullptr : found->second.c_str();
}

TEST(ShimSettingsTest, VariablesSetTheDeviceConfiguration) {
  environment = {
      {"QVSIM_DEVICES", "3"},
      {"QVSIM_VENDOR_ID", "0x1234"},
      {"QVSIM_PRODUCT_ID", "4660"},
      {"QVSIM_VERSION", "50 41 42"},
      {"QVSIM_FLASH_ID", "EF13"},
      {"QVSIM_LENGTH_BYTE", "13"},
      {"QVSIM_INPUT_PAYLOAD", "32"},
      {"QVSIM_REPORT_LATENCY_MS", "2"},
      {"QVSIM_ERASE_MS_PER_SECTOR", "34"},
      {"QVSIM_RESET_ABSENT_MS", "0"},
      {"QVSIM_FAIL_REPORT", "7"},
      {"QVSIM_VANISH_REPORT", "9"},
      {"QVSIM_NEVER_RETURN", "1"},
      {"QVSIM_STOP_READS", "1"},
      {"QVSIM_DIR", "/tmp/x"},
      {"QVSIM_CONTROL", "/tmp/x/ctl"},
  };
  const ShimSettings s = ReadShimSettings(Lookup);
  EXPECT_TRUE(s.warnings.empty());
  EXPECT_EQ(s.devices, 3u);
  EXPECT_EQ(s.device.vendor_id, 0x1234);
  EXPECT_EQ(s.device.product_id, 4660);
  const std::array<uint8_t, 14> version{'P', 'A', 'B'};
  EXPECT_EQ(s.device.version, version);
  EXPECT_EQ(s.device.flash_id, "EF13");
  EXPECT_EQ(s.device.length_byte, 13);
  EXPECT_EQ(s.device.input_payload, 32u);
  EXPECT_EQ(s.device.report_latency_ms, 2u);
  EXPECT_EQ(s.device.erase_ms_per_sector, 34u);
  EXPECT_EQ(s.device.reset_absent_ms, 0u);
  EXPECT_EQ(s.device.fail_report, 7u);
  EXPECT_EQ(s.device.vanish_report, 9u);
  EXPECT_TRUE(s.device.never_return_after_reset);
  EXPECT_TRUE(s.device.stop_answering_reads);
  EXPECT_EQ(s.dir, "/tmp/x");
  EXPECT_EQ(s.control, "/tmp/x/ctl");
}

TEST(ShimSettingsTest, UnusableValuesKeepTheDefaultAndWarn) {
  const std::string raw_ok(128, 'a');
  struct Case {
    const char* name;
    std::string value;
  };
  const Case cases[] = {
      {"QVSIM_DEVICES", "two"},
      {"QVSIM_DEVICES", "65"},
      {"QVSIM_VENDOR_ID", "0x10000"},
      {"QVSIM_LENGTH_BYTE", "-1"},
      {"QVSIM_LENGTH_BYTE", "256"},
      {"QVSIM_VERSION", "5"},
      {"QVSIM_VERSION", std::string(30, '0')},  // 15 bytes
      {"QVSIM_VERSION", "zz"},
      {"QVSIM_RAW_ANSWER", raw_ok + "00"},
      {"QVSIM_RAW_ANSWER", "0102"},
      {"QVSIM_INPUT_PAYLOAD", "65"},
      {"QVSIM_INPUT_PAYLOAD", "0"},
      {"QVSIM_STOP_READS", "2"},
      {"QVSIM_FAIL_REPORT", "3x"},
      {"QVSIM_RESET_ABSENT_MS", ""},
  };
  const SimDeviceConfig defaults;
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.name) + "=" + c.value);
    environment = {{c.name, c.value}};
    const ShimSettings s = ReadShimSettings(Lookup);
    EXPECT_EQ(s.warnings.size(), 1u);
    EXPECT_EQ(s.devices, 1u);
    EXPECT_EQ(s.device.vendor_id, defaults.vendor_id);
    EXPECT_EQ(s.device.length_byte, defaults.length_byte);
    EXPECT_EQ(s.device.version, defaults.version);
    EXPECT_FALSE(s.device.raw_answer.has_value());
    EXPECT_EQ(s.device.input_payload, 64u);
    EXPECT_FALSE(s.device.stop_answering_reads);
    EXPECT_EQ(s.device.fail_report, 0u);
    EXPECT_EQ(s.device.reset_absent_ms, 500u);
  }
  environment = {{"QVSIM_RAW_ANSWER", raw_ok}};
  const ShimSettings s = ReadShimSettings(Lookup);
  ASSERT_TRUE(s.device.raw_answer.has_value());
  EXPECT_EQ((*s.device.raw_answer)[63], 0xAA);
}

TEST(ShimSettingsTest, VariablesShapeTheDevicesInterfacesAndUpdateMode) {
  environment = {
      {"QVSIM_PORTS", "1"},
      {"QVSIM_INTERFACES", "3"},
      {"QVSIM_PROTOCOL_INTERFACE", "2"},
      {"QVSIM_SERIAL_AFTER_RESET", ""},
      {"QVSIM_PRODUCT_AFTER_RESET", "Boot mode"},
      {"QVSIM_SERIALS", "A,,B"},
  };
  const ShimSettings s = ReadShimSettings(Lookup);
  EXPECT_TRUE(s.warnings.empty());
  EXPECT_TRUE(s.ports);
  EXPECT_EQ(s.device.interfaces, 3u);
  EXPECT_EQ(s.device.protocol_interface, 2u);
  EXPECT_EQ(s.device.serial_after_reset, std::optional<std::string>(""));  // set: none
  EXPECT_EQ(s.device.product_after_reset, std::optional<std::string>("Boot mode"));
  EXPECT_EQ(s.serials, (std::vector<std::string>{"A", "", "B"}));

  environment = {};
  const ShimSettings defaults = ReadShimSettings(Lookup);
  EXPECT_FALSE(defaults.ports);
  EXPECT_EQ(defaults.device.interfaces, 1u);
  EXPECT_FALSE(defaults.device.serial_after_reset.has_value());  // unset: unchanged
  EXPECT_FALSE(defaults.device.product_after_reset.has_value());
  EXPECT_TRUE(defaults.serials.empty());
}

TEST(ShimSettingsTest, UnusableInterfaceSettingsKeepOneProtocolInterfaceAndWarn) {
  struct Case {
    std::map<std::string, std::string> env;
    uint32_t interfaces;
    std::string warning;
  };
  const Case cases[] = {
      {{{"QVSIM_INTERFACES", "0"}}, 1, "QVSIM_INTERFACES=\"0\" ignored"},
      {{{"QVSIM_INTERFACES", "9"}}, 1, "QVSIM_INTERFACES=\"9\" ignored"},
      {{{"QVSIM_INTERFACES", "2"}, {"QVSIM_PROTOCOL_INTERFACE", "2"}},
       2,
       "QVSIM_PROTOCOL_INTERFACE=\"2\" ignored: a device has interfaces 0..1"},
      {{{"QVSIM_PROTOCOL_INTERFACE", "1"}},
       1,
       "QVSIM_PROTOCOL_INTERFACE=\"1\" ignored: a device has interfaces 0..0"},
      {{{"QVSIM_PROTOCOL_INTERFACE", "8"}}, 1, "QVSIM_PROTOCOL_INTERFACE=\"8\" ignored"},
      {{{"QVSIM_PORTS", "yes"}}, 1, "QVSIM_PORTS=\"yes\" ignored"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.warning);
    environment = c.env;
    const ShimSettings s = ReadShimSettings(Lookup);
    EXPECT_EQ(s.warnings, std::vector<std::string>{c.warning});
    EXPECT_EQ(s.device.interfaces, c.interfaces);
    EXPECT_EQ(s.device.protocol_interface, 0u);
    EXPECT_FALSE(s.ports);
  }
}

// QVSIM_SERIALS names devices 1, 2, ... in plug order, so that devices sharing a serial number
// can stand in any order; QVSIM_PORTS gives device N port 1-N unless it has taken another's.
TEST(ShimSettingsTest, PerDeviceSerialNumbersAndPorts) {
  environment = {{"QVSIM_SERIALS", "S,,T"}, {"QVSIM_SERIAL", "ALL"}, {"QVSIM_PORTS", "1"}};
  const ShimSettings s = ReadShimSettings(Lookup);
  struct Case {
    uint32_t number;
    std::string port_before;  // set for a device swapped into another's socket
    std::string serial;       // past the list: QVSIM_SERIAL
    std::string port;
  };
  const Case cases[] = {
      {1, "", "S", "1-1"},   {2, "", "", "1-2"},       {3, "", "T", "1-3"},
      {4, "", "ALL", "1-4"}, {5, "1-2", "ALL", "1-2"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.number);
    SimDeviceConfig config = s.device;
    config.usb_port = c.port_before;
    FillPerDevice(s, c.number, config);
    EXPECT_EQ(config.serial_number, std::optional<std::string>(c.serial));
    EXPECT_EQ(config.usb_port, c.port);
  }
  environment = {};
  SimDeviceConfig plain;
  FillPerDevice(ReadShimSettings(Lookup), 1, plain);
  EXPECT_FALSE(plain.serial_number.has_value());  // the default, SIM<number>
  EXPECT_EQ(plain.usb_port, "");
}

// A character outside the Basic Multilingual Plane is one wchar_t where it has 32 bits and a
// surrogate pair where it has 16 (Windows).
std::wstring Units(char32_t code_point) {
  std::wstring units;
  if (sizeof(wchar_t) == 2 && code_point >= 0x10000) {
    units.push_back(static_cast<wchar_t>(0xD800 + ((code_point - 0x10000) >> 10)));
    units.push_back(static_cast<wchar_t>(0xDC00 + ((code_point - 0x10000) & 0x3FF)));
  } else {
    units.push_back(static_cast<wchar_t>(code_point));
  }
  return units;
}

TEST(ShimWideTextTest, Utf8BecomesWholeWideCharacters) {
  struct Case {
    const char* name;
    std::string utf8;
    std::wstring wide;
  };
  const Case cases[] = {
      {"ASCII", "SIM1", L"SIM1"},
      {"empty", "", L""},
      {"two bytes", "\xC3\xA9", Units(0xE9)},
      {"three bytes", "\xE2\x82\xAC", Units(0x20AC)},
      {"four bytes", "A\xF0\x9F\x98\x80Z", L"A" + Units(0x1F600) + L"Z"},
      {"highest", "\xF4\x8F\xBF\xBF", Units(0x10FFFF)},
      {"stray continuation byte", "A\x80Z", L"A\xFFFDZ"},
      {"cut short at the end", "A\xF0\x9F\x98", L"A\xFFFD\xFFFD\xFFFD"},
      {"overlong", "\xC0\xAF", L"\xFFFD"},
      {"encoded surrogate", "\xED\xA0\x80", L"\xFFFD"},
      {"past U+10FFFF", "\xF4\x90\x80\x80", L"\xFFFD"},
      {"invalid lead byte", "\xFF", L"\xFFFD"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(WideFromUtf8(c.utf8), c.wide);
  }
}

TEST(ShimControlTest, ParsesItsLines) {
  using Action = ControlLine::Action;
  struct Case {
    const char* line;
    Action action;
    uint32_t device;
  };
  const Case cases[] = {
      {"plug", Action::kPlug, 0},
      {"  unplug   2 ", Action::kUnplug, 2},
      {"replace 0x10", Action::kReplace, 16},
      {"enumeration fail", Action::kEnumerationFails, 0},
      {"enumeration ok", Action::kEnumerationWorks, 0},
      {"plug 1", Action::kInvalid, 0},
      {"unplug", Action::kInvalid, 0},
      {"unplug x", Action::kInvalid, 0},
      {"replace 1 2", Action::kInvalid, 0},
      {"unplug 99999999999", Action::kInvalid, 0},
      {"reboot", Action::kInvalid, 0},
      {"vanish 3 420", Action::kVanish, 3},
      {"vanish 3", Action::kInvalid, 0},
      {"vanish 3 0", Action::kInvalid, 0},
      {"stall 2", Action::kStall, 2},
      {"stall 2 1", Action::kInvalid, 0},
      {"replace-at-reset 4", Action::kReplaceAtReset, 4},
      {"replace-at-reset", Action::kInvalid, 0},
      {"replace-at-reset 4 5", Action::kInvalid, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.line);
    const ControlLine parsed = ParseControlLine(c.line);
    EXPECT_EQ(parsed.action, c.action);
    EXPECT_EQ(parsed.device, c.device);
  }
  EXPECT_EQ(ParseControlLine("vanish 3 420").report, 420u);
}

TEST(ShimControlTest, HandsOutEachCompleteLineOnce) {
  const test::TempFolder folder("qvsim-control");
  const std::string path = (folder.path() / "control").string();
  // Binary: the bytes the test writes are the bytes the control file reads.
  std::FILE* writer = std::fopen(path.c_str(), "wb");
  ASSERT_NE(writer, nullptr);
  ControlFile control(path);
  EXPECT_TRUE(control.NewLines().empty());
  std::fputs("plug\r\n\nunp", writer);
  std::fflush(writer);
  EXPECT_EQ(control.NewLines(), std::vector<std::string>{"plug"});
  EXPECT_TRUE(control.NewLines().empty());  // half a line waits for its end
  std::fputs("lug 1\nplug\n", writer);
  std::fflush(writer);
  EXPECT_EQ(control.NewLines(), (std::vector<std::string>{"unplug 1", "plug"}));
  std::fclose(writer);
  std::remove(path.c_str());
  EXPECT_TRUE(control.NewLines().empty());  // a missing file is no error
}

// A folder of its own under the system's temporary folder, removed with everything in it.
class ScratchFolder {
 public:
  ScratchFolder()
      : path_(std::filesystem::temp_directory_path() /
              ("qvsim-save-" + std::to_string(std::random_device{}()))) {
    std::filesystem::create_directories(path_);
  }
  ~ScratchFolder() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
  }
  ScratchFolder(const ScratchFolder&) = delete;
  ScratchFolder& operator=(const ScratchFolder&) = delete;
  [[nodiscard]] const std::filesystem::path& path() const { return path_; }

 private:
  std::filesystem::path path_;
};

std::vector<uint8_t> FileBytes(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// Every save after the first replaces an existing image: a rename that does not replace (the
// C library's on Windows) would keep the first image for good.
TEST(ShimDeviceFilesTest, SavingAgainReplacesTheImageAndLeavesNoTemporaryFile) {
  const ScratchFolder folder;
  const std::string dir = folder.path().string();
  ASSERT_TRUE(SaveFlashImage(dir, "dev1", {1, 2, 3}));
  ASSERT_TRUE(SaveFlashImage(dir, "dev1", {4, 5}));
  EXPECT_EQ(FileBytes(folder.path() / "dev1.flash"), (std::vector<uint8_t>{4, 5}));
  EXPECT_FALSE(std::filesystem::exists(folder.path() / "dev1.flash.tmp"));
}

TEST(ShimDeviceFilesTest, ASaveThatCannotTakeThePlaceFailsAndLeavesNoTemporaryFile) {
  const ScratchFolder folder;
  // A folder with content where the image belongs: nothing can be renamed over it.
  std::filesystem::create_directories(folder.path() / "dev1.flash" / "in-the-way");
  EXPECT_FALSE(SaveFlashImage(folder.path().string(), "dev1", {1, 2, 3}));
  EXPECT_FALSE(std::filesystem::exists(folder.path() / "dev1.flash.tmp"));
}

}  // namespace
}  // namespace qv::sim::shim
