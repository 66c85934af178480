#include "cli/station_view.h"

#include "cli/cli_discovery_miss.h"
#include "cli/json_station_view.h"
#include "cli/live_station_view.h"
#include "cli/plain_station_view.h"
#include "platform/clock.h"
#include "station/visible_text.h"
#include "update/update_texts.h"

namespace qv::cli {

StationView::StationView(bool quiet, bool verbose, bool labelled, std::FILE* out, std::FILE* err)
    : quiet_(quiet), verbose_(verbose), labelled_(labelled), out_(out), err_(err) {}

std::unique_ptr<StationView> StationView::Make(DisplayMode mode, bool quiet, bool verbose,
                                               bool labelled, std::FILE* out, std::FILE* err) {
  switch (mode) {
    case DisplayMode::kLive:
      return std::make_unique<LiveStationView>(quiet, verbose, labelled, out, err);
    case DisplayMode::kPlain:
      return std::make_unique<PlainStationView>(quiet, verbose, labelled, out, err);
    case DisplayMode::kJson:
      break;
  }
  return std::make_unique<JsonStationView>(quiet, verbose, labelled, out, err);
}

std::string StationView::Prefix(const station::SlotRow& row) const {
  return labelled_ ? row.label + ": " : std::string();
}

void StationView::WriteOut(const std::string& text) {
  std::fwrite(text.data(), 1, text.size(), out_);
  std::fflush(out_);
}

void StationView::WriteErr(const std::string& lines) {
  // A prompt waiting for its answer gets a line of its own above the text and is written again
  // below it, so the person still sees what is asked.
  if (prompting_) std::fputc('\n', err_);
  std::fwrite(lines.data(), 1, lines.size(), err_);
  if (prompting_) std::fwrite(prompt_.data(), 1, prompt_.size(), err_);
  std::fflush(err_);
}

void StationView::SlotAdded(int slot, const std::string& label) {
  std::lock_guard lock(mutex_);
  model_.AddSlot(slot, label);
}

void StationView::SlotRemoved(int slot) {
  std::lock_guard lock(mutex_);
  if (model_.RemoveSlot(slot)) DrawSlotRemoved();
}

void StationView::UnitStarted(const station::UnitStart& start) {
  std::lock_guard lock(mutex_);
  model_.StartUnit(start, SteadyMs());
  DrawUnitStart(start);
}

void StationView::Status(int slot, std::string_view text) {
  std::lock_guard lock(mutex_);
  if (model_.SetStatus(slot, text)) DrawStatus(model_.Row(slot));  // never the same line twice
}

void StationView::Percent(int slot, uint32_t percent) {
  std::lock_guard lock(mutex_);
  const bool changed = model_.SetPercent(slot, percent);
  DrawPercent(slot, model_.Row(slot), changed);
}

void StationView::Remaining(int slot, uint32_t ms) {
  std::lock_guard lock(mutex_);
  model_.SetRemaining(slot, ms);  // shown alone where the status text does not fit
  DrawRemaining(model_.Row(slot));
}

void StationView::FlashText(int slot, std::string_view text) {
  std::lock_guard lock(mutex_);
  DrawFlashText(model_.Row(slot), text);
}

void StationView::Area(int slot, std::string_view area) {
  std::lock_guard lock(mutex_);
  model_.SetArea(slot, area);
  DrawArea(model_.Row(slot));
}

void StationView::Message(std::string_view text, std::string_view detail) {
  std::lock_guard lock(mutex_);
  ClearForText();
  // A message may carry its own detail after a line break (the system's reason); it keeps it.
  std::string lines(text);
  std::erase(lines, '\r');
  lines += "\n";
  if (!detail.empty()) lines += "  " + station::OneLine(detail) + "\n";
  WriteErr(lines);
  DrawAfterText();
}

std::string StationView::QuestionText(const station::StationQuestion& question) const {
  return labelled_ ? station::VisibleText(question.label) + ": " + question.text : question.text;
}

void StationView::Question(const station::StationQuestion& question) {
  // Nothing is held: the owner answers when it likes.
  if (question_handler_) question_handler_(question);
}

void StationView::BeginPrompt(std::string_view prompt) {
  std::lock_guard lock(mutex_);
  ClearForText();
  prompt_ = station::OneLine(prompt);
  prompting_ = true;
  std::fwrite(prompt_.data(), 1, prompt_.size(), err_);
  std::fflush(err_);
}

void StationView::EndPrompt(std::string_view note) {
  std::lock_guard lock(mutex_);
  prompting_ = false;
  prompt_.clear();
  if (!note.empty()) {
    const std::string line = station::OneLine(note) + "\n";
    std::fwrite(line.data(), 1, line.size(), err_);
    std::fflush(err_);
  }
  DrawAfterText();
}

// With several units, the unit's line; -q a result line of its own; otherwise only what came
// back from the reset, when that was another serial number.
std::string StationView::UnitEndLines(const station::UnitEnd& end, const station::SlotRow& row) {
  const bool updated = end.result == station::UnitResult::kUpdated;
  const std::string label = station::VisibleText(end.label);
  const std::string came_back =
      end.serial_after_reset ? station::SerialAfterResetText(*end.serial_after_reset) : "";
  std::string lines;
  if (quiet_) {
    lines = label + ": " + station::ResultText(end.result) +
            (updated ? std::string() : ": " + station::OneLine(end.message)) +
            (came_back.empty() ? "" : " (" + came_back + ")") + "\n";
  } else if (keep_unit_lines_) {
    lines = station::UnitLine(end, row.name.empty() ? label : row.name) + "\n";
  } else if (!came_back.empty()) {
    lines = label + ": " + came_back + "\n";
  }
  if (verbose_) {
    lines += label + ": reports sent " + std::to_string(end.reports.sent) + ", received " +
             std::to_string(end.reports.received) + ", failed " +
             std::to_string(end.reports.failed) + "\n";
  }
  return lines;
}

void StationView::UnitFinished(const station::UnitEnd& end) {
  std::lock_guard lock(mutex_);
  model_.FinishUnit(end);
  const std::string lines = UnitEndLines(end, model_.Row(end.slot));
  if (lines.empty()) return;
  ClearForText();
  WriteOut(lines);
  DrawAfterText();
}

void StationView::Notice(station::NoticeKind kind, std::string_view text) {
  if (kind == station::NoticeKind::kPrompt) {
    Line(text);
  } else {
    Notice(text);
  }
}

void StationView::DeviceNotTaken(DiscoveryMiss miss, const std::string& label) {
  if (miss == DiscoveryMiss::kAccessDenied) {
    std::string advice = AccessAdviceForThisProgram();
    while (!advice.empty() && advice.back() == '\n') advice.pop_back();
    Message(advice, label.empty() ? std::string() : "device " + station::VisibleText(label));
    return;
  }
  Message(miss == DiscoveryMiss::kBusy ? kDeviceBusyText : qv::text::kNoDevice, "");
}

void StationView::Summary(const station::RecordSummary& summary, bool aborted) {
  std::lock_guard lock(mutex_);
  DrawSummaryEvent(summary, aborted);
  Settled();
  model_.ClearRows();
  if (!PrintsLines()) return;
  std::string text = station::SummaryText(summary);
  WriteOut(text);
}

void StationView::Notice(std::string_view text) {
  Message(text, "");
}

void StationView::Line(std::string_view text) {
  if (quiet_) return;
  ResultLine(text);
}

void StationView::ResultLine(std::string_view text) {
  std::lock_guard lock(mutex_);
  if (!PrintsLines()) return;
  ClearForText();
  WriteOut(std::string(text) + "\n");
  DrawAfterText();
}

void StationView::Settle() {
  std::lock_guard lock(mutex_);
  Settled();
  model_.ClearRows();
}

}  // namespace qv::cli
