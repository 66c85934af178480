#include "cli/live_station_view.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <utility>

#include "platform/clock.h"
#include "platform/terminal_width.h"

namespace qv::cli {
namespace {

constexpr int kBarWidth = 20;
constexpr int kNarrowestBar = 5;  // a shorter bar says nothing: the line goes without one

// Columns a text takes: its characters, not its bytes.
int Width(std::string_view text) {
  int width = 0;
  for (char c : text) {
    if ((static_cast<unsigned char>(c) & 0xC0) != 0x80) ++width;
  }
  return width;
}


}  // namespace

int LiveStationView::TerminalColumns(std::FILE* out) {
  if (const int width = TerminalWidth(out); width > 0) return width;
  if (const char* columns = std::getenv("COLUMNS"); columns != nullptr) {
    const long width = std::strtol(columns, nullptr, 10);
    if (width > 0 && width < 10'000) return static_cast<int>(width);
  }
  return 80;
}

std::string LiveStationView::Fit(const std::string& text, int columns) {
  // Counted in characters, not bytes: a UTF-8 sequence is never cut in two.
  const int limit = columns > 1 ? columns - 1 : 1;
  int shown = 0;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const auto byte = static_cast<unsigned char>(text[i]);
    if ((byte & 0xC0) == 0x80) continue;  // continuation byte
    if (shown == limit) return text.substr(0, i);
    ++shown;
  }
  return text;
}

std::string LiveStationView::RowText(const station::SlotRow& row, int columns, bool labelled) {
  const uint32_t percent = row.percent > 100 ? 100 : row.percent;
  char number[8];
  std::snprintf(number, sizeof number, "%3u%%", static_cast<unsigned>(percent));
  const int room = columns > 1 ? columns - 1 : 1;
  // The line with the widest bar that fits beside the texts; empty when not even the
  // narrowest one fits, or, with `bar` false, the line without a bar when it fits.
  const auto line = [&](const std::string& prefix, const std::string& status, bool bar) {
    const std::string tail = std::string(number) + "  " + status;
    if (!bar) return Width(prefix) + Width(tail) <= room ? prefix + tail : std::string();
    const int width = std::min(kBarWidth, room - Width(prefix) - Width(tail) - 3);
    if (width < kNarrowestBar) return std::string();
    const int filled = static_cast<int>(percent) * width / 100;
    return prefix + "[" + std::string(static_cast<std::size_t>(filled), '#') +
           std::string(static_cast<std::size_t>(width - filled), '.') + "] " + tail;
  };
  const std::string remaining = row.ShortStatus();
  const std::string label = labelled ? row.label + ": " : std::string();
  const std::string name = labelled && !row.name.empty() ? row.name + ": " : label;
  const std::pair<const std::string*, const std::string*> texts[] = {
      {&label, &row.status}, {&label, &remaining}, {&name, &remaining}};
  for (const auto& [prefix, status] : texts) {
    for (const bool bar : {true, false}) {
      if (std::string text = line(*prefix, *status, bar); !text.empty()) return text;
    }
  }
  return Fit(name + number + "  " + remaining, columns);
}

std::string LiveStationView::FooterText(const station::StationTally& tally,
                                        const std::optional<double>& updated_per_hour) {
  const auto number = [](uint64_t n) { return std::to_string(n); };
  std::string text = "Units: " + number(tally.units) + "  updated " + number(tally.updated) +
                     "  failed " + number(tally.failed) + "  declined " + number(tally.declined) +
                     "  interrupted " + number(tally.interrupted);
  if (tally.retries != 0) text += "  retries " + number(tally.retries);
  if (updated_per_hour && tally.updated != 0) {
    char rate[64];
    std::snprintf(rate, sizeof rate, "  |  %.1f updated per hour", *updated_per_hour);
    text += rate;
  }
  return text;
}

void LiveStationView::EraseBlock() {
  if (drawn_ == 0) return;
  // Up to the block's first line, then clear everything below.
  std::fprintf(out(), "\x1b[%dA\r\x1b[J", drawn_);
  std::fflush(out());
  drawn_ = 0;
}

void LiveStationView::DrawBlock() {
  std::string block;
  if (drawn_ > 0) block += "\x1b[" + std::to_string(drawn_) + "A";
  const int columns = TerminalColumns(out());
  int lines = 0;
  const auto add = [&](const std::string& text) {
    block += "\r" + Fit(text, columns) + "\x1b[K\n";
    ++lines;
  };
  for (const auto& [slot, row] : model().rows()) add(RowText(row, columns, labelled()));
  if (keep_unit_lines()) add(FooterText(model().tally(), model().UpdatedPerHour(SteadyMs())));
  // Lines left over from a longer block (a device removed) are cleared.
  if (lines < drawn_) block += "\x1b[J";
  drawn_ = lines;
  WriteOut(block);
}

void LiveStationView::DrawStatus(const station::SlotRow&) {
  if (Drawing()) DrawBlock();
}

void LiveStationView::DrawPercent(int, const station::SlotRow&, bool changed) {
  // The first percent draws the block even when it is the row's 0.
  if ((changed || drawn_ == 0) && Drawing()) DrawBlock();
}

void LiveStationView::DrawFlashText(const station::SlotRow& row, std::string_view text) {
  if (quiet()) return;
  EraseBlock();
  WriteOut(Prefix(row) + station::OneLine(text) + "\n");
  if (Drawing()) DrawBlock();
}

void LiveStationView::DrawSlotRemoved() {
  if (Drawing() && drawn_ > 0) DrawBlock();
}

std::string LiveStationView::UnitEndLines(const station::UnitEnd& end,
                                          const station::SlotRow& row) {
  std::string lines = StationView::UnitEndLines(end, row);
  if (!keep_unit_lines() || quiet()) return lines;
  // The unit's line fits the terminal; what follows it (-v) is a line of its own.
  const std::size_t first = lines.find('\n');
  return Fit(lines.substr(0, first), TerminalColumns(out())) + lines.substr(first);
}

void LiveStationView::ClearForText() {
  EraseBlock();
}

void LiveStationView::DrawAfterText() {
  if (Drawing()) DrawBlock();
}

}  // namespace qv::cli
