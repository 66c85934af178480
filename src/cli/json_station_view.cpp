#include "cli/json_station_view.h"

#include "station/station_json_events.h"

namespace qv::cli {

namespace events = station::json_events;

void JsonStationView::DrawUnitStart(const station::UnitStart& start) {
  WriteOut(events::Line(events::UnitStarted(start)));
}

void JsonStationView::DrawStatus(const station::SlotRow& row) {
  WriteOut(events::Line(events::Status(row.device, row.status)));
}

void JsonStationView::DrawPercent(int, const station::SlotRow& row, bool changed) {
  if (changed) WriteOut(events::Line(events::Percent(row.device, row.percent)));
}

void JsonStationView::DrawRemaining(const station::SlotRow& row) {
  WriteOut(events::Line(events::Remaining(row.device, row.remaining_ms)));
}

void JsonStationView::DrawArea(const station::SlotRow& row) {
  WriteOut(events::Line(events::Area(row.device, row.area)));
}

void JsonStationView::DrawFlashText(const station::SlotRow& row, std::string_view text) {
  WriteOut(events::Line(events::FlashText(row.device, text)));
}

std::string JsonStationView::UnitEndLines(const station::UnitEnd& end, const station::SlotRow&) {
  return events::Line(events::UnitFinished(end));
}

void JsonStationView::DrawSummaryEvent(const station::RecordSummary& summary, bool aborted) {
  WriteOut(events::Line(events::Summary(summary, aborted)));
}

}  // namespace qv::cli
