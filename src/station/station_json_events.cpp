#include "station/station_json_events.h"

namespace qv::station::json_events {
namespace {

nlohmann::json Event(const char* name) {
  return {{"schema", kEventSchema}, {"event", name}};
}

nlohmann::json DeviceEvent(const char* name, const std::string& device) {
  nlohmann::json event = Event(name);
  event["device"] = device;
  return event;
}

}  // namespace

nlohmann::json UnitStarted(const UnitStart& start) {
  nlohmann::json event = DeviceEvent("device", start.label);
  event["path"] = start.device.path;
  event["port"] = start.device.usb_port;
  event["serial"] = start.device.serial_number;
  event["unit"] = start.unit;
  event["attempt"] = start.attempt;
  return event;
}

nlohmann::json Status(const std::string& device, std::string_view text) {
  nlohmann::json event = DeviceEvent("status", device);
  event["text"] = std::string(text);
  return event;
}

nlohmann::json Percent(const std::string& device, uint32_t percent) {
  nlohmann::json event = DeviceEvent("percent", device);
  event["percent"] = percent;
  return event;
}

nlohmann::json Remaining(const std::string& device, uint32_t ms) {
  nlohmann::json event = DeviceEvent("remaining", device);
  event["ms"] = ms;
  return event;
}

nlohmann::json Area(const std::string& device, std::string_view area) {
  nlohmann::json event = DeviceEvent("area", device);
  event["area"] = std::string(area);
  return event;
}

nlohmann::json FlashText(const std::string& device, std::string_view text) {
  nlohmann::json event = DeviceEvent("flash", device);
  event["text"] = std::string(text);
  return event;
}

nlohmann::json UnitFinished(const UnitEnd& end) {
  nlohmann::json event = DeviceEvent("result", end.label);
  event["unit"] = end.unit;
  event["attempt"] = end.attempt;
  event["result"] = ResultText(end.result);
  event["message"] = end.message;
  event["duration_ms"] = end.duration_ms;
  event["reports_sent"] = end.reports.sent;
  if (!end.area.empty()) event["area"] = end.area;
  if (end.serial_after_reset) event["serial_after_reset"] = *end.serial_after_reset;
  return event;
}

nlohmann::json Summary(const RecordSummary& summary, bool aborted) {
  nlohmann::json event = Event("summary");
  event["units"] = summary.units;
  event["updated"] = summary.updated;
  event["failed"] = summary.failed();
  event["declined"] = summary.declined;
  event["interrupted_units"] = summary.interrupted;
  event["retries"] = summary.retries;
  event["interrupted"] = aborted;
  return event;
}

std::string Line(const nlohmann::json& event) {
  return event.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace) + "\n";
}

}  // namespace qv::station::json_events
