// qvupdate devices: lists the attached devices as discovery sees them and whether another
// updater process holds the device mutex, without taking anything.

#include <CLI/CLI.hpp>
#include <iostream>
#include <memory>
#include <nlohmann/json.hpp>
#include <string>

#include "cli/cli_discovery_miss.h"
#include "cli/commands.h"
#include "device/device_survey.h"
#include "device/hid_link.h"
#include "platform/hex_text.h"
#include "platform/hid_bus.h"
#include "platform/named_mutex.h"
#include "update/update_texts.h"

namespace qv::cli {
namespace {

struct DevicesOptions {
  bool json = false;
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

void PrintText(const DeviceSurvey& survey) {
  if (!survey.enumerated) std::cout << "Enumeration failed.\n";
  for (std::size_t i = 0; i < survey.interfaces.size(); ++i) {
    const ProbedInterface& entry = survey.interfaces[i];
    std::cout << entry.info.path;
    if (IdsRead(entry)) std::cout << "  " << IdsOf(entry);
    std::cout << "  " << StateOf(survey, i) << "\n";
    // What a station knows the device by, also after its reset.
    std::cout << "    serial " << (entry.info.serial_number.empty() ? "-" : entry.info.serial_number)
              << ", port " << (entry.info.usb_port.empty() ? "-" : entry.info.usb_port) << "\n";
  }
  std::cout << "Mutex " << kDeviceMutexName << ": " << MutexText(survey.mutex) << "\n";
  if (survey.run_lock_held_elsewhere) {
    std::cout << "Another updater process is in the middle of a run (" << kRunMutexName
              << ").\n";
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
  }
}

void PrintJson(const DeviceSurvey& survey) {
  nlohmann::json interfaces = nlohmann::json::array();
  for (std::size_t i = 0; i < survey.interfaces.size(); ++i) {
    const ProbedInterface& entry = survey.interfaces[i];
    nlohmann::json item = {{"path", entry.info.path},
                           {"serial", entry.info.serial_number},
                           {"port", entry.info.usb_port},
                           {"state", StateOf(survey, i)}};
    if (IdsRead(entry)) {
      item["vendor_id"] = entry.vendor_id;
      item["product_id"] = entry.product_id;
    }
    interfaces.push_back(item);
  }
  nlohmann::json out = {{"enumerated", survey.enumerated},
                        {"interfaces", interfaces},
                        {"mutex", MutexText(survey.mutex)},
                        {"run_in_progress", survey.run_lock_held_elsewhere}};
  out["would_take"] = survey.would_take
                          ? nlohmann::json(survey.interfaces[*survey.would_take].info.path)
                          : nlohmann::json(nullptr);
  std::cout << out.dump() << "\n";
}

int RunDevices(const DevicesOptions& options) {
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
      "holds the device mutex, and, for a device this user may not open, how to get access.\n"
      "Takes nothing; exit status 1 when no device would be taken.");
  devices->add_flag("--json", options->json, "Print one JSON object");
  devices->callback([options] { ExitStatus() = RunDevices(*options); });
}

}  // namespace qv::cli
