#include "station/station_model.h"

#include <cstdio>

#include "station/station_texts.h"
#include "station/visible_text.h"

namespace qv::station {

std::string SecondsText(uint64_t ms) {
  char text[32];
  std::snprintf(text, sizeof text, "%.1f s", static_cast<double>(ms) / 1000.0);
  return text;
}

std::string SlotRow::ShortStatus() const {
  if (!status_shows_time) return status;
  const uint32_t seconds = remaining_ms / 1000;
  if (seconds >= 60) {
    return std::to_string(seconds / 60) + " min " + std::to_string(seconds % 60) + " s left";
  }
  return std::to_string(seconds) + " s left";
}

void StationModel::AddSlot(int slot, const std::string& label) {
  SlotRow& row = rows_[slot];
  row.device = label;
  row.label = VisibleText(label);
}

bool StationModel::RemoveSlot(int slot) { return rows_.erase(slot) != 0; }

SlotRow& StationModel::StartUnit(const UnitStart& start, uint64_t now_ms) {
  if (!first_start_ms_) first_start_ms_ = now_ms;
  SlotRow& row = rows_[start.slot];
  row.name = VisibleText(DeviceName(start.device));
  row.running = true;
  row.area.clear();
  return row;
}

bool StationModel::SetStatus(int slot, std::string_view text) {
  SlotRow& row = rows_[slot];
  row.status_shows_time = row.remaining_fresh;
  row.remaining_fresh = false;
  const std::string line = OneLine(text);
  if (row.status == line) return false;
  row.status = line;
  return true;
}

bool StationModel::SetPercent(int slot, uint32_t percent) {
  SlotRow& row = rows_[slot];
  if (row.percent == percent) return false;
  row.percent = percent;
  return true;
}

void StationModel::SetRemaining(int slot, uint32_t ms) {
  rows_[slot].remaining_ms = ms;
  rows_[slot].remaining_fresh = true;
}

void StationModel::SetArea(int slot, std::string_view area) {
  rows_[slot].area = area;
}

void StationModel::FinishUnit(const UnitEnd& end) {
  if (const auto row = rows_.find(end.slot); row != rows_.end()) row->second.running = false;
  // A unit runs again only after a failed run: its retry takes that run's place.
  if (end.attempt > 1 && tally_.failed > 0) {
    --tally_.failed;
    ++tally_.retries;
  } else {
    ++tally_.units;
  }
  switch (end.result) {
    case UnitResult::kUpdated:
      ++tally_.updated;
      break;
    case UnitResult::kFailed:
      ++tally_.failed;
      break;
    case UnitResult::kDeclined:
      ++tally_.declined;
      break;
    case UnitResult::kInterrupted:
      ++tally_.interrupted;
      break;
  }
}

std::optional<double> StationModel::UpdatedPerHour(uint64_t now_ms) const {
  if (!first_start_ms_ || now_ms < *first_start_ms_ + 1000) return std::nullopt;
  return static_cast<double>(tally_.updated) * 3'600'000.0 /
         static_cast<double>(now_ms - *first_start_ms_);
}

std::string UnitLine(const UnitEnd& end, const std::string& name) {
  std::string text = "Unit " + std::to_string(end.unit);
  if (end.attempt > 1) text += " (attempt " + std::to_string(end.attempt) + ")";
  text += "  " + name + "  " + ResultText(end.result) + "  " + SecondsText(end.duration_ms);
  if (end.result != UnitResult::kUpdated) {
    text += "  " + OneLine(end.message);
    if (!end.area.empty()) text += " (" + end.area + " area)";
    if (end.result == UnitResult::kInterrupted) text += std::string("; ") + text::kUpdateAgain;
  }
  if (end.serial_after_reset) text += "  " + SerialAfterResetText(*end.serial_after_reset);
  return text;
}

}  // namespace qv::station
