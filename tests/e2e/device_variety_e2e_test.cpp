// qvupdate flash in every mode against the kinds of device real hardware brings: composite
// devices (one entry per interface), the protocol on an interface that is not the first,
// devices that report another serial number (or none) in their update mode, a device swapped
// into the same port while the reset one is away, and devices without a port that share a
// serial number beside one that does not.

#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <ostream>
#include <set>
#include <string>
#include <vector>

#include "device/device_identity.h"
#include "flash_e2e_fixture.h"

namespace qv::test {
namespace {

enum Mode { kSingle, kDevice, kAll, kAllContinuous, kModes };

const char* const kModeNames[kModes] = {"flash", "flash --device", "flash --all",
                                        "flash --all --continuous"};

// What one mode must do with one kind of device.
struct Outcome {
  int status = 0;
  std::set<int> updated;    // simulated devices (dev<N>) that must hold the package
  std::set<int> untouched;  // devices that must have received no command at all
  std::vector<std::string> texts = {};                     // on stderr
  std::map<int, std::string> serial_after_reset = {};      // by unit number
};

struct VarietyCase {
  const char* name;
  std::vector<std::string> env;
  const char* control;  // the control file's lines at the start
  const char* device;   // what --device names
  int units;            // --count of the continuous station
  Outcome outcomes[kModes];
};

const std::string kUnanswered = "The device did not answer on its interface 1-1:1.0";

const VarietyCase kCases[] = {
    {"a composite device, the protocol on its first interface",
     {"QVSIM_PORTS=1", "QVSIM_INTERFACES=3"},
     "",
     "1-1",
     1,
     {{0, {1}, {}}, {0, {1}, {}}, {0, {1}, {}}, {0, {1}, {}}}},
    {"a composite device, the protocol on its second interface",
     {"QVSIM_PORTS=1", "QVSIM_INTERFACES=2", "QVSIM_PROTOCOL_INTERFACE=1"},
     "",
     "1-1:1.1",
     1,
     {{1, {}, {}, {kUnanswered}},
      {0, {1}, {}},
      {1, {}, {}, {kUnanswered}},
      {1, {}, {}, {kUnanswered, "failed 3 times in a row"}}}},
    {"the serial number gone in update mode",
     {"QVSIM_PORTS=1", "QVSIM_SERIAL_AFTER_RESET="},
     "",
     "SIM1",
     1,
     {{0, {1}, {}, {}, {{1, ""}}},
      {0, {1}, {}, {}, {{1, ""}}},
      {0, {1}, {}, {"came back from its reset without a serial number"}, {{1, ""}}},
      {0, {1}, {}, {}, {{1, ""}}}}},
    {"another serial number in update mode",
     {"QVSIM_PORTS=1", "QVSIM_SERIAL_AFTER_RESET=BOOT"},
     "",
     "1-1",
     1,
     {{0, {1}, {}, {}, {{1, "BOOT"}}},
      {0, {1}, {}, {}, {{1, "BOOT"}}},
      {0, {1}, {}, {"came back from its reset with serial BOOT"}, {{1, "BOOT"}}},
      {0, {1}, {}, {}, {{1, "BOOT"}}}}},
    {"two composite devices on two ports",
     {"QVSIM_DEVICES=2", "QVSIM_PORTS=1", "QVSIM_INTERFACES=2"},
     "",
     "1-2",
     2,
     {{0, {1}, {2}}, {0, {2}, {1}}, {0, {1, 2}, {}}, {0, {1, 2}, {}}}},
    {"a device swapped into the same port during the reset",
     {"QVSIM_PORTS=1"},
     "replace-at-reset 1\n",
     "1-1",
     1,
     {{0, {2}, {}, {}, {{1, "SIM2"}}},
      {0, {2}, {}, {}, {{1, "SIM2"}}},
      {0, {2}, {}, {}, {{1, "SIM2"}}},
      {0, {2}, {}, {}, {{1, "SIM2"}}}}},
    {"two devices without a port that share a serial number, then a distinct one",
     {"QVSIM_DEVICES=3", "QVSIM_SERIALS=S,S,X"},
     "",
     "X",
     1,
     {{1, {}, {1, 2, 3}, {kIndistinctDevicesText}},
      {0, {3}, {1, 2}},
      {1, {3}, {1, 2}, {kIndistinctDevicesText}},
      {1, {3}, {1, 2}, {kIndistinctDevicesText}}}},
    {"a distinct device, then two without a port that share a serial number",
     {"QVSIM_DEVICES=3", "QVSIM_SERIALS=X,S,S"},
     "",
     "X",
     1,
     {{0, {1}, {2, 3}},
      {0, {1}, {2, 3}},
      {1, {1}, {2, 3}, {kIndistinctDevicesText}},
      {1, {1}, {2, 3}, {kIndistinctDevicesText}}}},
};

void PrintTo(const VarietyCase& c, std::ostream* out) { *out << c.name; }

std::vector<std::string> ModeArguments(Mode mode, const VarietyCase& c) {
  switch (mode) {
    case kSingle:
      return {};
    case kDevice:
      return {"--device", c.device};
    case kAll:
      return {"--all"};
    case kAllContinuous:
    case kModes:
      break;
  }
  return {"--all", "--continuous", "--count", std::to_string(c.units)};
}

class DeviceVariety : public FlashE2E, public ::testing::WithParamInterface<VarietyCase> {};

// Each mode writes the devices it should and no other, says why it leaves any alone, and
// records every unit whole: none is recorded as interrupted, since nobody stopped one.
TEST_P(DeviceVariety, EveryModeWritesTheRightDevices) {
  const VarietyCase& c = GetParam();
  for (int m = kSingle; m < kModes; ++m) {
    const Mode mode = static_cast<Mode>(m);
    const Outcome& want = c.outcomes[mode];
    SCOPED_TRACE(kModeNames[mode]);
    const fs::path sim = dir_ / "sim";
    fs::remove_all(sim);
    fs::create_directories(sim);
    const fs::path control = dir_ / "control.txt";
    std::ofstream(control, std::ios::trunc) << c.control;
    const fs::path record = dir_ / ("record" + std::to_string(m) + ".jsonl");
    std::vector<std::string> args{"flash", PackagePath(), "--record", record.string()};
    const std::vector<std::string> more = ModeArguments(mode, c);
    args.insert(args.end(), more.begin(), more.end());
    std::vector<std::string> env = c.env;
    env.push_back("QVSIM_CONTROL=" + control.string());

    EXPECT_EQ(Flash(args, env), want.status) << stdout_ << stderr_;
    for (const std::string& text : want.texts) {
      EXPECT_NE((stderr_ + stdout_).find(text), std::string::npos) << text << "\n" << stderr_;
    }
    for (int device : want.updated) {
      SCOPED_TRACE("dev" + std::to_string(device));
      test::ExpectFlashHoldsPackage(Flash(device), package_);
      EXPECT_EQ(Events(device).find("FAULT"), std::string::npos) << Events(device);
    }
    for (int device : want.untouched) {
      EXPECT_EQ(Events(device).find("QUERY"), std::string::npos)
          << "dev" << device << ":\n" << Events(device);
    }

    const std::vector<nlohmann::json> lines =
        fs::exists(record) ? RecordLines(record) : std::vector<nlohmann::json>{};
    for (const nlohmann::json& line : lines) {
      EXPECT_NE(line["result"], "interrupted") << line.dump();
      const int unit = line["unit"].get<int>();
      const auto serial = want.serial_after_reset.find(unit);
      if (serial == want.serial_after_reset.end()) {
        EXPECT_FALSE(line["device"].contains("serial_after_reset")) << line.dump();
      } else {
        EXPECT_EQ(line["device"].value("serial_after_reset", "(none)"), serial->second)
            << line.dump();
      }
    }
    std::size_t updated_lines = 0;
    for (const nlohmann::json& line : lines) updated_lines += line["result"] == "updated";
    EXPECT_EQ(updated_lines, want.updated.size());
  }
}

const std::string kCannotList =
    "The list of attached devices cannot be read: the simulated bus cannot list its devices";

// A list of devices the system cannot read is said as such, with the system's reason, once, in
// every mode; "No device" would send the user to the cable. A continuous station goes on once
// the list can be read again.
TEST_F(FlashE2E, AListThatCannotBeReadIsSaidOnceInEveryMode) {
  const fs::path control = dir_ / "control.txt";
  const std::vector<std::vector<std::string>> runs = {
      {"devices"}, {"flash", PackagePath()}, {"flash", PackagePath(), "--all"}};
  for (const std::vector<std::string>& args : runs) {
    SCOPED_TRACE(args.size() == 1 ? "devices" : args.back());
    std::ofstream(control, std::ios::trunc) << "enumeration fail\n";
    EXPECT_EQ(Flash(args, {"QVSIM_CONTROL=" + control.string()}), 1);
    const std::string said = stdout_ + stderr_;
    EXPECT_EQ(Count(said, kCannotList), 1u) << said;
    EXPECT_EQ(said.find("No device"), std::string::npos) << said;
  }

  std::ofstream(control, std::ios::trunc) << "enumeration fail\n";
  auto station = Start({"flash", PackagePath(), "--continuous", "--count", "1"},
                       {"QVSIM_CONTROL=" + control.string()});
  ASSERT_TRUE(station->started());
  ASSERT_TRUE(WaitUntil([&] { return station->Stderr().find(kCannotList) != std::string::npos; }))
      << station->Stderr();
  std::this_thread::sleep_for(std::chrono::milliseconds(600));  // several polls fail meanwhile
  std::ofstream(control, std::ios::app) << "enumeration ok\n";
  EXPECT_EQ(station->Wait(90'000), 0) << station->Stderr();
  EXPECT_EQ(Count(station->Stderr(), kCannotList), 1u) << station->Stderr();
  EXPECT_NE((station->Stdout() + station->Stderr()).find("can be read again"), std::string::npos);
  test::ExpectFlashHoldsPackage(Flash(1), package_);
}

// A device's own texts reach a terminal shown, never obeyed: an escape sequence in a serial
// number is printed as \x1B, in every listing and station line, and JSON keeps the text as it
// is.
TEST_F(FlashE2E, ADevicesEscapeSequencesAreShownNotObeyed) {
  const std::string serial = "\x1b]0;owned\x07S1";
  const std::vector<std::vector<std::string>> runs = {
      {"devices"},
      {"devices", "--query"},
      {"flash", PackagePath(), "--all", "-v"},
      {"flash", PackagePath(), "--all", "-q"},
  };
  for (const std::vector<std::string>& args : runs) {
    SCOPED_TRACE(args.back());
    (void)Flash(args, {"QVSIM_SERIAL=" + serial, "QVSIM_DEVICES=1"});
    const std::string said = stdout_ + stderr_;
    EXPECT_EQ(said.find('\x1b'), std::string::npos) << said;
    EXPECT_EQ(said.find('\x07'), std::string::npos) << said;
    EXPECT_NE(said.find("\\x1B]0;owned\\x07S1"), std::string::npos) << said;
  }
  EXPECT_EQ(Flash({"devices", "--json"}, {"QVSIM_SERIAL=" + serial}), 0);
  EXPECT_EQ(nlohmann::json::parse(stdout_)["interfaces"][0]["serial"], serial);
}

INSTANTIATE_TEST_SUITE_P(Kinds, DeviceVariety, ::testing::ValuesIn(kCases),
                         [](const ::testing::TestParamInfo<VarietyCase>& info) {
                           return "Kind" + std::to_string(info.index);
                         });

}  // namespace
}  // namespace qv::test
