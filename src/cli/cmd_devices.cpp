// qvupdate devices: lists the attached devices as discovery sees them and whether another
// updater process holds the device mutex, without taking anything.

#include <CLI/CLI.hpp>
#include <filesystem>
#include <iostream>
#include <memory>
#include <nlohmann/json.hpp>
#include <string>

#include "cli/cli_discovery_miss.h"
#include "cli/commands.h"
#include "device/attached_devices.h"
#include "device/device_survey.h"
#include "station/visible_text.h"
#include "device/hid_link.h"
#include "cli/cli_dialogs.h"
#include "package/package_load.h"
#include "platform/clock.h"
#include "platform/random.h"
#include "update/device_query.h"
#include "update/version_check.h"
#include "platform/hex_text.h"
#include "platform/hid_bus.h"
#include "platform/named_mutex.h"
#include "platform/utf8_path.h"
#include "update/update_texts.h"

namespace qv::cli {
namespace {

struct DevicesOptions {
  bool json = false;
  bool query = false;
  std::string package;  // with --query: compare each answer with this package's version
};

std::string IdsOf(const ProbedInterface& entry) {
  return HexUsbId(entry.vendor_id) + ":" + HexUsbId(entry.product_id);
}

// Ids are known once the open port could tell them.
bool IdsRead(const ProbedInterface& entry) {
  return entry.state == InterfaceState::kOtherDevice || entry.state == InterfaceState::kMatches;
}

std::string StateOf(const DeviceSurvey& survey, std::size_t index) {
  switch (survey.interfaces[index].state) {
    case InterfaceState::kNotOpened:
      return "cannot be opened";
    case InterfaceState::kAccessDenied:
      return "access denied";
    case InterfaceState::kAttributesUnreadable:
      return "attributes unreadable";
    case InterfaceState::kOtherDevice:
      return "other device";
    case InterfaceState::kMatches:
      break;
  }
  return survey.would_take == index ? "would be taken" : "matches";
}

std::string MutexText(NamedMutexStatus status) {
  switch (status) {
    case NamedMutexStatus::kCreated:
      return "free";
    case NamedMutexStatus::kAlreadyExists:
      return "held by another updater process";
    case NamedMutexStatus::kFailed:
      break;
  }
  return "cannot be created";
}

// The process that holds a lock, where the system lets this user see it.
void PrintHolder(const std::string& name) {
  if (const std::optional<LockHolder> holder = SystemNamedMutexes().Holder(name)) {
    std::cout << "  " << name << " is held by " << station::VisibleText(HolderText(*holder))
              << "\n";
  }
}

nlohmann::json HolderJson(const std::string& name) {
  const std::optional<LockHolder> holder = SystemNamedMutexes().Holder(name);
  if (!holder) return nullptr;
  return {{"pid", holder->pid}, {"program", holder->program}};
}

// "interface 1, usage page FF00", as far as hidapi tells them.
std::string InterfaceText(const HidInterfaceInfo& info) {
  std::string text;
  if (info.interface_number >= 0) text = "interface " + std::to_string(info.interface_number);
  if (info.usage_page != 0) {
    text += (text.empty() ? "" : ", ") + std::string("usage page ") + HexUsbId(info.usage_page);
  }
  return text;
}

// The device's own texts (a serial number, a product string) are shown, never obeyed, by a
// terminal.
std::string Shown(const std::string& text) { return station::VisibleText(text); }

// What a station knows the device by, also after its reset: its port, else its serial number.
std::string DeviceHeading(const AttachedDevice& device) {
  const HidInterfaceInfo& first = device.first();
  std::string text = "Device: " + Shown(device.identity.Text());
  if (!first.usb_port.empty()) {
    text += ", serial " + (first.serial_number.empty() ? "-" : Shown(first.serial_number));
  }
  if (!first.product.empty()) text += ", \"" + Shown(first.product) + "\"";
  return text;
}

std::size_t IndexOf(const DeviceSurvey& survey, const HidInterfaceInfo& info) {
  for (std::size_t i = 0; i < survey.interfaces.size(); ++i) {
    if (survey.interfaces[i].info.path == info.path) return i;
  }
  return survey.interfaces.size();
}

std::vector<HidInterfaceInfo> Entries(const DeviceSurvey& survey) {
  std::vector<HidInterfaceInfo> entries;
  for (const ProbedInterface& probed : survey.interfaces) entries.push_back(probed.info);
  return entries;
}

// One device per port (or serial number), its interfaces below it in enumeration order.
void PrintText(const DeviceSurvey& survey) {
  for (const AttachedDevice& device : GroupByDevice(Entries(survey))) {
    std::cout << DeviceHeading(device) << "\n";
    for (const HidInterfaceInfo& info : device.interfaces) {
      const std::size_t i = IndexOf(survey, info);
      const ProbedInterface& entry = survey.interfaces[i];
      std::cout << "  " << info.path;  // the system's own name for it
      if (IdsRead(entry)) std::cout << "  " << IdsOf(entry);
      std::cout << "  " << StateOf(survey, i) << "\n";
      if (const std::string details = InterfaceText(info); !details.empty()) {
        std::cout << "    " << details << "\n";
      }
    }
    if (device.indistinct) {
      std::cout << "  Nothing tells these entries apart from another device's (no USB port); an "
                   "update leaves them alone.\n";
    }
  }
  std::cout << "Mutex " << kDeviceMutexName << ": " << MutexText(survey.mutex) << "\n";
  if (survey.mutex == NamedMutexStatus::kAlreadyExists) PrintHolder(kDeviceMutexName);
  if (survey.run_lock_held_elsewhere) {
    std::cout << "Another updater process is in the middle of a run (" << kRunMutexName
              << ").\n";
    PrintHolder(kRunMutexName);
  }
  switch (MissOf(survey)) {
    case DiscoveryMiss::kNone:
      break;
    case DiscoveryMiss::kBusy:
      std::cout << "No device would be taken while another updater process holds one.\n";
      break;
    case DiscoveryMiss::kAccessDenied:
      std::cout << AccessAdviceForThisProgram();
      break;
    case DiscoveryMiss::kNoDevice:
      std::cout << text::kNoDevice << "\n";
      break;
    case DiscoveryMiss::kEnumerationFailed:
      std::cout << text::CannotListDevices(Shown(survey.enumeration_failure)) << "\n";
      break;
  }
}

void PrintJson(const DeviceSurvey& survey) {
  nlohmann::json interfaces = nlohmann::json::array();
  for (std::size_t i = 0; i < survey.interfaces.size(); ++i) {
    const ProbedInterface& entry = survey.interfaces[i];
    nlohmann::json item = {{"path", entry.info.path},
                           {"serial", entry.info.serial_number},
                           {"port", entry.info.usb_port},
                           {"interface", entry.info.interface_number},
                           {"usage_page", entry.info.usage_page},
                           {"product", entry.info.product},
                           {"state", StateOf(survey, i)}};
    if (IdsRead(entry)) {
      item["vendor_id"] = entry.vendor_id;
      item["product_id"] = entry.product_id;
    }
    interfaces.push_back(item);
  }
  nlohmann::json devices = nlohmann::json::array();
  for (const AttachedDevice& device : GroupByDevice(Entries(survey))) {
    nlohmann::json paths = nlohmann::json::array();
    for (const HidInterfaceInfo& info : device.interfaces) paths.push_back(info.path);
    devices.push_back({{"device", device.identity.Text()},
                       {"port", device.identity.usb_port},
                       {"serial", device.first().serial_number},
                       {"indistinct", device.indistinct},
                       {"interfaces", paths}});
  }
  nlohmann::json out = {{"enumerated", survey.enumerated},
                        {"enumeration_failure", survey.enumeration_failure},
                        {"devices", devices},
                        {"interfaces", interfaces},
                        {"mutex", MutexText(survey.mutex)},
                        {"run_in_progress", survey.run_lock_held_elsewhere}};
  out["mutex_holder"] = survey.mutex == NamedMutexStatus::kAlreadyExists
                            ? HolderJson(kDeviceMutexName)
                            : nlohmann::json(nullptr);
  out["run_holder"] =
      survey.run_lock_held_elsewhere ? HolderJson(kRunMutexName) : nlohmann::json(nullptr);
  out["would_take"] = survey.would_take
                          ? nlohmann::json(survey.interfaces[*survey.would_take].info.path)
                          : nlohmann::json(nullptr);
  std::cout << out.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace) << "\n";
}

// What one device said: its version record and flash id, and with a package whether the
// package's version is the one the device runs.
struct QueryLine {
  const DeviceQueryResult& result;
  std::optional<std::string> flash_id;
  std::optional<std::string> flash_text;
  std::optional<bool> same_version;
};

QueryLine ReadQuery(const DeviceQueryResult& result, const PackageStore* package) {
  QueryLine line{result, std::nullopt, std::nullopt, std::nullopt};
  if (result.state != DeviceQueryResult::State::kAnswered) return line;
  const AnswerSummary summary =
      SummariseAnswer(result.answer, package != nullptr ? package->version_record.data() : nullptr);
  line.flash_id = summary.flash_id;
  line.flash_text = summary.flash_text;
  line.same_version = summary.same_version;
  return line;
}

void PrintQueryText(const QueryLine& line) {
  const DeviceQueryResult& r = line.result;
  std::cout << r.device.path << "  " << QueryStateText(r.state) << "\n";
  std::cout << "    serial "
            << (r.device.serial_number.empty() ? "-" : Shown(r.device.serial_number))
            << ", port " << (r.device.usb_port.empty() ? "-" : Shown(r.device.usb_port)) << "\n";
  if (r.holder) std::cout << "    held by " << station::VisibleText(HolderText(*r.holder)) << "\n";
  if (r.state != DeviceQueryResult::State::kAnswered) return;
  std::cout << "    version " << AnswerVersionHex(r.answer) << "\n";
  std::cout << "    flash id " << line.flash_id.value_or("-");
  if (line.flash_text) std::cout << " (" << *line.flash_text << ")";
  std::cout << "\n";
  if (line.same_version) {
    std::cout << (*line.same_version ? "    runs the package's version\n"
                                     : "    runs another version than the package's\n");
  }
}

nlohmann::json QueryJson(const QueryLine& line) {
  const DeviceQueryResult& r = line.result;
  nlohmann::json item = {{"path", r.device.path},
                         {"serial", r.device.serial_number},
                         {"port", r.device.usb_port},
                         {"state", QueryStateText(r.state)}};
  item["holder"] = r.holder ? nlohmann::json{{"pid", r.holder->pid}, {"program", r.holder->program}}
                            : nlohmann::json(nullptr);
  const bool answered = r.state == DeviceQueryResult::State::kAnswered;
  item["version"] = answered ? nlohmann::json(AnswerVersionHex(r.answer)) : nlohmann::json(nullptr);
  item["flash_id"] = line.flash_id ? nlohmann::json(*line.flash_id) : nlohmann::json(nullptr);
  item["flash"] = line.flash_text ? nlohmann::json(*line.flash_text) : nlohmann::json(nullptr);
  item["same_version"] =
      line.same_version ? nlohmann::json(*line.same_version) : nlohmann::json(nullptr);
  return item;
}

int RunQuery(const DevicesOptions& options) {
  PackageStore store;
  const bool with_package = !options.package.empty();
  if (with_package) {
    TerminalDialogs dialogs(AnswerPolicy::kNo);
    RuntimeRandom random;
    const std::filesystem::path package = PathFromUtf8(options.package);
    if (!LoadPackage(store, PackagePaths{package, package.parent_path() / kReadmeFileName},
                     dialogs, random, SystemClock())) {
      return 1;
    }
  }
  const std::vector<DeviceQueryResult> results =
      QueryDevices(SystemHidBus(), SystemNamedMutexes(), SystemClock());
  bool answered = false;
  nlohmann::json items = nlohmann::json::array();
  for (const DeviceQueryResult& result : results) {
    const QueryLine line = ReadQuery(result, with_package ? &store : nullptr);
    answered = answered || result.state == DeviceQueryResult::State::kAnswered;
    if (options.json) {
      items.push_back(QueryJson(line));
    } else {
      PrintQueryText(line);
    }
  }
  store.Release();
  if (options.json) {
    std::cout << nlohmann::json{{"devices", items}}.dump(-1, ' ', false,
                                                        nlohmann::json::error_handler_t::replace)
              << "\n";
  } else if (results.empty()) {
    std::cout << text::kNoDevice << "\n";
  }
  std::cout.flush();
  return answered ? 0 : 1;
}

int RunDevices(const DevicesOptions& options) {
  if (options.query) return RunQuery(options);
  const DeviceSurvey survey = SurveyDevices(SystemHidBus(), SystemNamedMutexes());
  if (options.json) {
    PrintJson(survey);
  } else {
    PrintText(survey);
  }
  std::cout.flush();
  return survey.would_take ? 0 : 1;
}

}  // namespace

void AddDevicesCommand(CLI::App& app) {
  auto options = std::make_shared<DevicesOptions>();
  CLI::App* devices =
      app.add_subcommand("devices", "List the attached devices as discovery sees them");
  devices->footer(
      "Lists the attached devices (vendor 0416, product B501): path, ids read from the open "
      "device, and which one an update would take. Also tells whether another updater process "
      "holds the device mutex (and which process: its id and program name, where the system "
      "lets this user read them), and, for a device this user may not open, how to get access.\n"
      "Takes nothing; exit status 1 when no device would be taken. With --query it asks each "
      "device what it runs instead.");
  devices->add_flag("--json", options->json, "Print one JSON object");
  CLI::Option* query = devices->add_flag(
      "--query", options->query,
      "Ask each attached device that no other updater process holds for its version record "
      "and flash id, with the query an update sends first (nothing is reset or written); a "
      "device that does not answer within 2 seconds is reported as such. Exit status 0 when "
      "a device answered");
  devices
      ->add_option("--package", options->package,
                   "With --query: say whether each device already runs the version of the "
                   "package FILE")
      ->type_name("FILE")
      ->needs(query);
  devices->callback([options] { ExitStatus() = RunDevices(*options); });
}

}  // namespace qv::cli
