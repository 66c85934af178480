// What the programs tell a user whose device is attached but may not be opened: the udev rule
// found where udev reads it, a copy shipped beside the program, or the rule's whole text.
#include "platform/device_access_advice.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "device_rule.h"

namespace qv {
namespace {

namespace fs = std::filesystem;

class DeviceAccessAdviceTest : public ::testing::Test {
 protected:
  void SetUp() override {
    root_ = fs::temp_directory_path() /
            ("qv_rule_" + std::to_string(getpid()) + "_" +
             ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(root_);
    for (const char* folder : {"etc", "usr-lib", "opt/qv/bin", "opt/qv/lib/udev/rules.d"}) {
      fs::create_directories(root_ / folder);
    }
    lookup_ = {{root_ / "etc", root_ / "usr-lib"}, root_ / "opt/qv/bin"};
  }
  void TearDown() override { fs::remove_all(root_); }

  fs::path PutRule(const fs::path& folder) {
    const fs::path rule = root_ / folder / kDeviceRuleFileName;
    std::ofstream(rule) << kDeviceRuleText;
    return rule;
  }

  fs::path root_;
  DeviceRuleLookup lookup_;
};

bool Contains(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

TEST_F(DeviceAccessAdviceTest, TheRuleIsLookedForWhereUdevReadsItFirst) {
  EXPECT_FALSE(FindDeviceRule(lookup_).installed);
  EXPECT_FALSE(FindDeviceRule(lookup_).shipped_copy);

  const fs::path copy = PutRule("opt/qv/lib/udev/rules.d");
  DeviceRuleState state = FindDeviceRule(lookup_);
  EXPECT_FALSE(state.installed);
  EXPECT_EQ(state.shipped_copy, copy);

  const fs::path packaged = PutRule("usr-lib");
  state = FindDeviceRule(lookup_);
  EXPECT_EQ(state.installed, packaged);
  EXPECT_FALSE(state.shipped_copy) << "an installed rule makes the copy irrelevant";

  const fs::path admin = PutRule("etc");
  EXPECT_EQ(FindDeviceRule(lookup_).installed, admin);

  // A folder of that name is no rule.
  fs::remove(admin);
  fs::create_directory(admin);
  EXPECT_EQ(FindDeviceRule(lookup_).installed, packaged);
}

// Every advice names the cause and ends with the replug; what lies between depends on the rule.
TEST_F(DeviceAccessAdviceTest, TheAdviceFitsWhatWasFound) {
  struct Case {
    std::string name;
    DeviceRuleState state;
    std::vector<std::string> advice_has;
    std::vector<std::string> line_has;
  };
  const std::string rule_line = "ATTRS{idVendor}==\"0416\", ATTRS{idProduct}==\"b501\"";
  const std::vector<Case> cases = {
      {"installed",
       {fs::path("/usr/lib/udev/rules.d/70-qvupdater.rules"), std::nullopt},
       {"The udev rule /usr/lib/udev/rules.d/70-qvupdater.rules is installed", "plug it in again",
        "usermod -aG plugdev"},
       {"/usr/lib/udev/rules.d/70-qvupdater.rules", "unplug it and plug it in again"}},
      {"copy beside the program",
       {std::nullopt, fs::path("/opt/qv/lib/udev/rules.d/70-qvupdater.rules")},
       {"sudo cp '/opt/qv/lib/udev/rules.d/70-qvupdater.rules' /etc/udev/rules.d/",
        "udevadm control --reload-rules", "plug it in again"},
       {"copy /opt/qv/lib/udev/rules.d/70-qvupdater.rules into /etc/udev/rules.d", "replug"}},
      {"nowhere",
       {},
       {"sudo tee /etc/udev/rules.d/70-qvupdater.rules", std::string(kDeviceRuleText) + "EOF\n",
        rule_line, "udevadm control --reload-rules", "plug it in again"},
       {"/etc/udev/rules.d/70-qvupdater.rules", "qvupdate devices", "replug"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string advice = DeviceAccessAdvice(c.state);
    EXPECT_TRUE(Contains(advice, "may not open it (permission denied)")) << advice;
    for (const std::string& part : c.advice_has) EXPECT_TRUE(Contains(advice, part)) << advice;
    EXPECT_EQ(advice.back(), '\n');

    const std::string line = DeviceAccessLine(c.state);
    EXPECT_TRUE(Contains(line, "plugged in, but this user may not open it")) << line;
    for (const std::string& part : c.line_has) EXPECT_TRUE(Contains(line, part)) << line;
    EXPECT_EQ(line.find('\n'), std::string::npos) << "one line for the message box";
  }
}

}  // namespace
}  // namespace qv
