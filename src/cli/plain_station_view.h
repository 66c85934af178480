#pragma once

#include <cstdint>
#include <map>

#include "cli/station_view.h"

namespace qv::cli {

// The station for a pipe or a log: one line per event, never the same status twice, the
// percent at every tenth, and no cursor control.
class PlainStationView final : public StationView {
 public:
  using StationView::StationView;

  [[nodiscard]] DisplayMode mode() const override { return DisplayMode::kPlain; }

 private:
  void DrawUnitStart(const station::UnitStart& start) override;
  void DrawStatus(const station::SlotRow& row) override;
  void DrawPercent(int slot, const station::SlotRow& row, bool changed) override;
  void DrawFlashText(const station::SlotRow& row, std::string_view text) override;
  void WriteRowLine(const station::SlotRow& row, std::string_view text);

  std::map<int, uint32_t> logged_tenth_;  // per slot, the last tenth of the percent logged
};

}  // namespace qv::cli
