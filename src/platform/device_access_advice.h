#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace qv {

// Where to look for the udev rule that lets a user open the device's hidraw node.
struct DeviceRuleLookup {
  // Folders udev reads rules from.
  std::vector<std::filesystem::path> udev_folders;
  // The running program's folder: a tarball keeps its copy of the rule in ../lib/udev/rules.d,
  // where udev does not read it.
  std::filesystem::path program_directory;
};

// The folders of this system's udev, and the given program folder.
[[nodiscard]] DeviceRuleLookup SystemDeviceRuleLookup(
    const std::filesystem::path& program_directory);

// What the lookup found.
struct DeviceRuleState {
  std::optional<std::filesystem::path> installed;     // in a folder udev reads
  std::optional<std::filesystem::path> shipped_copy;  // beside the program, not yet installed
};

[[nodiscard]] DeviceRuleState FindDeviceRule(const DeviceRuleLookup& lookup);

// For a device that is attached but whose node this user may not open: the cause, and what to
// do: the installed rule and a replug, or how to install the rule (its copy, or its whole text)
// and then replug. Several lines for a terminal, each ending with a line end.
[[nodiscard]] std::string DeviceAccessAdvice(const DeviceRuleState& rule);

// The same as one line, for a message box.
[[nodiscard]] std::string DeviceAccessLine(const DeviceRuleState& rule);

// The advice for a user the system refused the device, as this system gives it: on Linux the
// udev rule's state and what to do about it (DeviceAccessAdvice), on Windows, which has no such
// rule, what is true there.
[[nodiscard]] std::string SystemDeviceAccessAdvice(const std::filesystem::path& program_directory);
// The same as one line, for a message box; on Linux the rule is looked for where `rules` says.
[[nodiscard]] std::string SystemDeviceAccessLine(const DeviceRuleLookup& rules);

}  // namespace qv
