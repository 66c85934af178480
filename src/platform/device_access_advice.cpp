#include "platform/device_access_advice.h"

#include <system_error>

#include "device_rule.h"

namespace qv {
namespace {

constexpr const char* kAdminRulesFolder = "/etc/udev/rules.d";
constexpr const char* kCause =
    "The device is attached, but this user may not open it (permission denied).";

bool IsFile(const std::filesystem::path& path) {
  std::error_code error;
  return std::filesystem::is_regular_file(path, error);
}

std::string AdminRulePath() {
  return std::string(kAdminRulesFolder) + "/" + kDeviceRuleFileName;
}

}  // namespace

DeviceRuleLookup SystemDeviceRuleLookup(const std::filesystem::path& program_directory) {
  // udev's own order: the administrator's folder, run-time rules, then the packages' folders.
  return {{kAdminRulesFolder, "/run/udev/rules.d", "/usr/local/lib/udev/rules.d",
           "/usr/lib/udev/rules.d", "/lib/udev/rules.d"},
          program_directory};
}

DeviceRuleState FindDeviceRule(const DeviceRuleLookup& lookup) {
  DeviceRuleState state;
  for (const std::filesystem::path& folder : lookup.udev_folders) {
    const std::filesystem::path candidate = folder / kDeviceRuleFileName;
    if (IsFile(candidate)) {
      state.installed = candidate;
      break;
    }
  }
  if (!state.installed && !lookup.program_directory.empty()) {
    const std::filesystem::path copy =
        (lookup.program_directory / ".." / "lib" / "udev" / "rules.d" / kDeviceRuleFileName)
            .lexically_normal();
    if (IsFile(copy)) state.shipped_copy = copy;
  }
  return state;
}

std::string DeviceAccessAdvice(const DeviceRuleState& rule) {
  std::string text = std::string(kCause) + "\n";
  if (rule.installed) {
    text += "The udev rule " + rule.installed->string() +
            " is installed: it gives access to the user logged in at this machine and to the "
            "group plugdev.\n"
            "Unplug the device and plug it in again. If it is still refused, add this user to "
            "plugdev (sudo usermod -aG plugdev \"$USER\") and log in again.\n";
    return text;
  }
  text += "No udev rule gives access to it. Install the rule:\n";
  if (rule.shipped_copy) {
    text += "  sudo cp '" + rule.shipped_copy->string() + "' " + kAdminRulesFolder + "/\n";
  } else {
    std::string rule_text = kDeviceRuleText;
    if (rule_text.empty() || rule_text.back() != '\n') rule_text += '\n';
    text += "  sudo tee " + AdminRulePath() + " >/dev/null <<'EOF'\n" + rule_text + "EOF\n";
  }
  text +=
      "  sudo udevadm control --reload-rules\n"
      "Then unplug the device and plug it in again.\n";
  return text;
}

std::string DeviceAccessLine(const DeviceRuleState& rule) {
  const std::string cause = "The device is plugged in, but this user may not open it: ";
  if (rule.installed) {
    return cause + "unplug it and plug it in again (the udev rule " + rule.installed->string() +
           " gives access).";
  }
  if (rule.shipped_copy) {
    return cause + "copy " + rule.shipped_copy->string() + " into " + kAdminRulesFolder +
           ", then unplug and replug it.";
  }
  return cause + "install the udev rule " + AdminRulePath() +
         " (qvupdate devices prints it), then unplug and replug it.";
}

}  // namespace qv
