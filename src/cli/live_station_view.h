#pragma once

#include <string>

#include "cli/station_view.h"

namespace qv::cli {

// The station on a terminal: units that end scroll above as one permanent line each, the
// devices in progress keep a fixed block of one line each at the bottom, redrawn in place, and
// with several units a footer under it gives the counts and the rate. No line ever wraps.
class LiveStationView final : public StationView {
 public:
  using StationView::StationView;

  [[nodiscard]] DisplayMode mode() const override { return DisplayMode::kLive; }

  // The terminal's width in columns: the terminal's own, else COLUMNS, else 80.
  [[nodiscard]] static int TerminalColumns(std::FILE* out);
  // The text cut to at most `columns` - 1 characters, so that it never wraps.
  [[nodiscard]] static std::string Fit(const std::string& text, int columns);
  // A device's line in `columns`: the bar shrinks first, then the status gives way to the
  // remaining time alone, then the label to the device's short name; the line never wraps.
  [[nodiscard]] static std::string RowText(const station::SlotRow& row, int columns, bool labelled);
  // The footer: "Units: 3  updated 2  failed 1  declined 0  interrupted 0  |  745.5 updated
  // per hour".
  [[nodiscard]] static std::string FooterText(const station::StationTally& tally,
                                              const std::optional<double>& updated_per_hour);

 private:
  void DrawStatus(const station::SlotRow& row) override;
  void DrawPercent(int slot, const station::SlotRow& row, bool changed) override;
  void DrawFlashText(const station::SlotRow& row, std::string_view text) override;
  void DrawSlotRemoved() override;
  std::string UnitEndLines(const station::UnitEnd& end, const station::SlotRow& row) override;
  void ClearForText() override;
  void DrawAfterText() override;
  void Settled() override { drawn_ = 0; }

  [[nodiscard]] bool Drawing() const { return !quiet() && !prompting(); }
  void EraseBlock();
  void DrawBlock();

  int drawn_ = 0;  // lines of the live block now on the screen
};

}  // namespace qv::cli
