#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "device/device_choice.h"
#include "device/report_trace.h"
#include "platform/hid_bus.h"
#include "station/record_summary.h"
#include "station/unit_result.h"

namespace qv::station {

// A device as people tell it apart at a station: its USB port, else its serial number, else
// its path.
[[nodiscard]] std::string DeviceName(const HidInterfaceInfo& device);

// A run of a unit that starts: which device, which unit, which attempt. Labels hold the
// device's own texts as it gave them; a front end escapes them where it draws on a terminal.
struct UnitStart {
  int slot = 0;
  std::string label;
  HidInterfaceInfo device;
  uint64_t unit = 0;
  uint32_t attempt = 1;
};

// A run of a unit that has ended.
struct UnitEnd {
  int slot = 0;
  std::string label;
  uint64_t unit = 0;
  uint32_t attempt = 1;
  UnitResult result = UnitResult::kFailed;
  std::string message;  // the message shown for the outcome
  std::string area;     // where a run not updated stopped; empty before any
  uint64_t duration_ms = 0;
  ReportCounts reports;
  // The serial number the device reported when it came back from its reset, when it was not
  // the one it started with (empty: none at all).
  std::optional<std::string> serial_after_reset = {};
};

// "came back from its reset with serial X" or "... without a serial number".
[[nodiscard]] std::string SerialAfterResetText(const std::string& serial);

// A Yes/No question of a run. The run waits for it; the station's owner answers it through
// Station::Answer whenever it likes. A stop or an abort answers it No.
struct StationQuestion {
  uint64_t id = 0;
  int slot = 0;
  std::string label;
  std::string text;
};

// Where a note of the station goes.
enum class NoticeKind {
  kPrompt,  // for the people at the station, on the output: waiting for a device
  kNotice,  // to be seen at once, with the messages: stopping, a device given up, ...
};

// What a front end learns of a station. Calls come from the station's thread and from every
// device's thread at once; an observer draws and returns, and never waits for a person (a
// question is answered later, through the station).
class StationObserver {
 public:
  virtual ~StationObserver() = default;

  // A device the station now knows (its line) and one it has forgotten.
  virtual void SlotAdded(int slot, const std::string& label) = 0;
  virtual void SlotRemoved(int slot) = 0;

  virtual void UnitStarted(const UnitStart& start) = 0;
  virtual void Status(int slot, std::string_view text) = 0;
  virtual void Percent(int slot, uint32_t percent) = 0;
  virtual void Remaining(int slot, uint32_t ms) = 0;
  virtual void FlashText(int slot, std::string_view text) = 0;
  virtual void Area(int slot, std::string_view area) = 0;
  // A message of a run or of the station: the text, and a detail (the device, the area, the
  // system's reason) or nothing.
  virtual void Message(std::string_view text, std::string_view detail) = 0;
  virtual void Question(const StationQuestion& question) = 0;
  virtual void UnitFinished(const UnitEnd& end) = 0;
  virtual void Notice(NoticeKind kind, std::string_view text) = 0;
  // No device could be taken (single mode), or the device of a slot may not be opened by this
  // user (label names it; empty in single mode).
  virtual void DeviceNotTaken(DiscoveryMiss miss, const std::string& label) = 0;
  // The station's summary at its end; `aborted` after a second stop.
  virtual void Summary(const RecordSummary& summary, bool aborted) = 0;
};

}  // namespace qv::station
