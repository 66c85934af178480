#include "sim/shim/shim_control.h"

#include <cstdio>
#include <optional>
#include <sstream>

#include "sim/shim/shim_settings.h"

namespace qv::sim::shim {
namespace {

// The lines whose one argument is a device number.
std::optional<ControlLine::Action> DeviceAction(const std::string& verb) {
  if (verb == "unplug") return ControlLine::Action::kUnplug;
  if (verb == "replace") return ControlLine::Action::kReplace;
  if (verb == "replace-at-reset") return ControlLine::Action::kReplaceAtReset;
  return std::nullopt;
}

}  // namespace

ControlLine ParseControlLine(const std::string& line) {
  ControlLine parsed;
  parsed.text = line;
  std::istringstream words(line);
  std::string verb;
  std::string argument;
  std::string second;
  std::string extra;
  words >> verb >> argument >> second >> extra;
  if (!extra.empty()) return parsed;
  uint64_t number = 0;
  uint64_t report = 0;
  if (verb == "vanish" && ParseNumber(argument, 0xFFFFFFFF, number) &&
      ParseNumber(second, 0xFFFFFFFF, report) && report != 0) {
    parsed.action = ControlLine::Action::kVanish;
    parsed.device = static_cast<uint32_t>(number);
    parsed.report = static_cast<uint32_t>(report);
    return parsed;
  }
  if (!second.empty()) return parsed;
  if (verb == "stall" && ParseNumber(argument, 0xFFFFFFFF, number)) {
    parsed.action = ControlLine::Action::kStall;
    parsed.device = static_cast<uint32_t>(number);
  } else if (verb == "plug" && argument.empty()) {
    parsed.action = ControlLine::Action::kPlug;
  } else if (const std::optional<ControlLine::Action> action = DeviceAction(verb);
             action && ParseNumber(argument, 0xFFFFFFFF, number)) {
    parsed.action = *action;
    parsed.device = static_cast<uint32_t>(number);
  } else if (verb == "enumeration" && argument == "fail") {
    parsed.action = ControlLine::Action::kEnumerationFails;
  } else if (verb == "enumeration" && argument == "ok") {
    parsed.action = ControlLine::Action::kEnumerationWorks;
  }
  return parsed;
}

std::vector<std::string> ControlFile::NewLines() {
  std::vector<std::string> lines;
  std::FILE* file = std::fopen(path_.c_str(), "rb");
  if (file == nullptr) return lines;
  if (std::fseek(file, offset_, SEEK_SET) == 0) {
    std::string pending;
    long consumed = offset_;
    int c = 0;
    while ((c = std::fgetc(file)) != EOF) {
      if (c != '\n') {
        pending.push_back(static_cast<char>(c));
        continue;
      }
      consumed += static_cast<long>(pending.size()) + 1;
      if (!pending.empty() && pending.back() == '\r') pending.pop_back();
      if (!pending.empty()) lines.push_back(pending);
      pending.clear();
    }
    offset_ = consumed;
  }
  std::fclose(file);
  return lines;
}

}  // namespace qv::sim::shim
