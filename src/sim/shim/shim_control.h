#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace qv::sim::shim {

// One instruction of the control file.
struct ControlLine {
  enum class Action {
    kPlug,
    kUnplug,
    kReplace,
    kReplaceAtReset,
    kVanish,
    kStall,
    kEnumerationFails,
    kEnumerationWorks,
    kInvalid
  };
  Action action = Action::kInvalid;
  uint32_t device = 0;  // all but plug and enumeration: the device number (the N of "devN")
  uint32_t report = 0;  // vanish: the report number at which the device leaves
  std::string text;     // the line as written, for warnings
};

// Parses "plug", "unplug N", "replace N", "replace-at-reset N", "vanish N K", "stall N",
// "enumeration fail", "enumeration ok".
[[nodiscard]] ControlLine ParseControlLine(const std::string& line);

// Follows a text file that a test appends lines to, handing out each complete line once.
// Not thread-safe; the stand-in calls it under its own lock.
class ControlFile {
 public:
  explicit ControlFile(std::string path) : path_(std::move(path)) {}
  // Lines completed since the last call (a line without its newline waits for it).
  [[nodiscard]] std::vector<std::string> NewLines();

 private:
  std::string path_;
  long offset_ = 0;
};

}  // namespace qv::sim::shim
