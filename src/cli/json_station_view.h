#pragma once

#include "cli/station_view.h"

namespace qv::cli {

// The station as JSON event lines on stdout and nothing else there (the events are built by
// the station's core, station/station_json_events.h); messages stay on stderr.
class JsonStationView final : public StationView {
 public:
  using StationView::StationView;

  [[nodiscard]] DisplayMode mode() const override { return DisplayMode::kJson; }

 private:
  void DrawUnitStart(const station::UnitStart& start) override;
  void DrawStatus(const station::SlotRow& row) override;
  void DrawPercent(int slot, const station::SlotRow& row, bool changed) override;
  void DrawRemaining(const station::SlotRow& row) override;
  void DrawArea(const station::SlotRow& row) override;
  void DrawFlashText(const station::SlotRow& row, std::string_view text) override;
  std::string UnitEndLines(const station::UnitEnd& end, const station::SlotRow& row) override;
  void DrawSummaryEvent(const station::RecordSummary& summary, bool aborted) override;
  [[nodiscard]] bool PrintsLines() const override { return false; }
};

}  // namespace qv::cli
