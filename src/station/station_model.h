#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>

#include "station/station_events.h"
#include "station/visible_text.h"

namespace qv::station {

// What a device's row shows.
struct SlotRow {
  std::string device;  // the device as the station names it ("port 1-2, serial A1"), as given
  std::string label;   // the same, escaped for a terminal
  std::string name;    // its short name: port, else serial number, else path (escaped)
  std::string status;  // on one line
  uint32_t percent = 0;
  uint32_t remaining_ms = 0;
  bool status_shows_time = false;  // the status is an update's remaining-time text
  bool remaining_fresh = false;    // a remaining time came for the next status
  std::string area;                // being written; empty before any
  bool running = false;

  // The status, or where it is an update's remaining-time text, the time alone: "1 min 3 s
  // left", for a line too narrow for the status.
  [[nodiscard]] std::string ShortStatus() const;
};

// The units that ended so far: a retry replaces its unit's failed run, as in the summary.
struct StationTally {
  uint64_t units = 0;
  uint64_t updated = 0;
  uint64_t failed = 0;
  uint64_t declined = 0;
  uint64_t interrupted = 0;
  uint64_t retries = 0;
};

// A station's state as its front ends draw it: a row per device and the tallies. A front end
// feeds it the station's events on the thread that draws, and draws from it.
class StationModel {
 public:
  void AddSlot(int slot, const std::string& label);
  // False when there was no such slot.
  bool RemoveSlot(int slot);
  // `now_ms`: any steady clock's reading, for the rate.
  SlotRow& StartUnit(const UnitStart& start, uint64_t now_ms);
  // False when the row shows that text already.
  bool SetStatus(int slot, std::string_view text);
  // False when the row shows that percent already.
  bool SetPercent(int slot, uint32_t percent);
  // Comes before the status text that shows it.
  void SetRemaining(int slot, uint32_t ms);
  void SetArea(int slot, std::string_view area);
  void FinishUnit(const UnitEnd& end);
  // The rows go; the tallies stay.
  void ClearRows() { rows_.clear(); }

  [[nodiscard]] SlotRow& Row(int slot) { return rows_[slot]; }
  [[nodiscard]] const std::map<int, SlotRow>& rows() const { return rows_; }
  [[nodiscard]] const StationTally& tally() const { return tally_; }
  // Units that ended updated per hour since the first unit started; empty before a second
  // passed.
  [[nodiscard]] std::optional<double> UpdatedPerHour(uint64_t now_ms) const;

 private:
  std::map<int, SlotRow> rows_;
  StationTally tally_;
  std::optional<uint64_t> first_start_ms_;
};

// "12.3 s".
[[nodiscard]] std::string SecondsText(uint64_t ms);

// The permanent line of a unit that ended: unit, device, result, duration, for one not updated
// its message and area (and for one interrupted that it must be updated again), and what came
// back from its reset when that was another serial number.
[[nodiscard]] std::string UnitLine(const UnitEnd& end, const std::string& name);

}  // namespace qv::station
