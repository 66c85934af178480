#include "cli/plain_station_view.h"

#include <string>

namespace qv::cli {

void PlainStationView::WriteRowLine(const station::SlotRow& row, std::string_view text) {
  if (quiet()) return;
  WriteOut(Prefix(row) + station::OneLine(text) + "\n");
}

void PlainStationView::DrawStatus(const station::SlotRow& row) {
  WriteRowLine(row, row.status);
}

void PlainStationView::DrawUnitStart(const station::UnitStart& start) {
  logged_tenth_.erase(start.slot);
}

void PlainStationView::DrawPercent(int slot, const station::SlotRow& row, bool changed) {
  uint32_t& logged = logged_tenth_[slot];
  if (!changed || row.percent / 10 <= logged) return;
  logged = row.percent / 10;
  WriteRowLine(row, "Progress: " + std::to_string(row.percent) + "%");
}

void PlainStationView::DrawFlashText(const station::SlotRow& row, std::string_view text) {
  WriteRowLine(row, text);
}

}  // namespace qv::cli
