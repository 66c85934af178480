#include "cli/station_display.h"

#include "station/visible_text.h"

#include <cstdio>
#include <cstdlib>

#include "cli/cli_discovery_miss.h"
#include "platform/terminal_width.h"
#include "station/station.h"
#include "update/update_texts.h"

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

// "1 min 3 s left", "40 s left": the remaining time when the status text does not fit.
std::string RemainingText(uint32_t ms) {
  const uint32_t seconds = ms / 1000;
  if (seconds >= 60) {
    return std::to_string(seconds / 60) + " min " + std::to_string(seconds % 60) + " s left";
  }
  return std::to_string(seconds) + " s left";
}

std::string Seconds(uint64_t ms) {
  char text[32];
  std::snprintf(text, sizeof text, "%.1f s", static_cast<double>(ms) / 1000.0);
  return text;
}

// One line whatever the text holds: line breaks become spaces.
std::string OneLine(std::string_view text) {
  std::string line(text);
  for (char& c : line) {
    if (c == '\n' || c == '\r') c = ' ';
  }
  return line;
}

}  // namespace

StationDisplay::StationDisplay(DisplayMode mode, bool quiet, bool verbose, bool labelled,
                               std::FILE* out, std::FILE* err)
    : mode_(mode), quiet_(quiet), verbose_(verbose), labelled_(labelled), out_(out), err_(err) {}

int StationDisplay::TerminalColumns(std::FILE* out) {
  if (const int width = TerminalWidth(out); width > 0) return width;
  if (const char* columns = std::getenv("COLUMNS"); columns != nullptr) {
    const long width = std::strtol(columns, nullptr, 10);
    if (width > 0 && width < 10'000) return static_cast<int>(width);
  }
  return 80;
}

int StationDisplay::Columns() const { return TerminalColumns(out_); }

std::string StationDisplay::Fit(const std::string& text, int columns) {
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

std::string StationDisplay::Prefix(const Row& row) const {
  return labelled_ ? row.label + ": " : std::string();
}

std::string StationDisplay::RowText(const Row& row, int columns) const {
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
  const std::string remaining =
      row.status_shows_time ? RemainingText(row.remaining_ms) : row.status;
  const std::string label = Prefix(row);
  const std::string name = labelled_ && !row.name.empty() ? row.name + ": " : label;
  const std::pair<const std::string*, const std::string*> texts[] = {
      {&label, &row.status}, {&label, &remaining}, {&name, &remaining}};
  for (const auto& [prefix, status] : texts) {
    for (const bool bar : {true, false}) {
      if (std::string text = line(*prefix, *status, bar); !text.empty()) return text;
    }
  }
  return Fit(name + number + "  " + remaining, columns);
}

std::string StationDisplay::UnitLine(const station::UnitEnd& end, const std::string& name) {
  std::string text = "Unit " + std::to_string(end.unit);
  if (end.attempt > 1) text += " (attempt " + std::to_string(end.attempt) + ")";
  text += "  " + name + "  " + station::ResultText(end.result) + "  " + Seconds(end.duration_ms);
  if (end.result != station::UnitResult::kUpdated) {
    text += "  " + OneLine(end.message);
    if (!end.area.empty()) text += " (" + end.area + " area)";
  }
  if (end.serial_after_reset) text += "  " + station::SerialAfterResetText(*end.serial_after_reset);
  return text;
}

void StationDisplay::EraseBlock() {
  if (drawn_ == 0) return;
  // Up to the block's first line, then clear everything below.
  std::fprintf(out_, "\x1b[%dA\r\x1b[J", drawn_);
  std::fflush(out_);
  drawn_ = 0;
}

void StationDisplay::DrawBlock() {
  if (drawn_ > 0) std::fprintf(out_, "\x1b[%dA", drawn_);
  const int columns = Columns();
  int lines = 0;
  for (const auto& [id, row] : rows_) {
    const std::string text = Fit(RowText(row, columns), columns);
    std::fprintf(out_, "\r%s\x1b[K\n", text.c_str());
    ++lines;
  }
  // Lines left over from a longer block (a device removed) are cleared.
  if (lines < drawn_) std::fprintf(out_, "\x1b[J");
  drawn_ = lines;
  std::fflush(out_);
}

void StationDisplay::PlainLine(const Row& row, std::string_view text) {
  const std::string line = Prefix(row) + OneLine(text) + "\n";
  std::fwrite(line.data(), 1, line.size(), out_);
  std::fflush(out_);
}

void StationDisplay::EmitJson(const nlohmann::json& event) {
  // Every line says which version of the event format it is, as the record's lines do.
  nlohmann::json line_object = {{"schema", kEventSchema}};
  line_object.update(event);
  const std::string line =
      line_object.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace) + "\n";
  std::fwrite(line.data(), 1, line.size(), out_);
  std::fflush(out_);
}

void StationDisplay::WriteErr(const std::string& lines) {
  // A prompt waiting for its answer gets a line of its own above the text and is written again
  // below it, so the person still sees what is asked.
  if (prompting_) std::fputc('\n', err_);
  std::fwrite(lines.data(), 1, lines.size(), err_);
  if (prompting_) std::fwrite(prompt_.data(), 1, prompt_.size(), err_);
  std::fflush(err_);
}

void StationDisplay::SlotAdded(int id, const std::string& label) {
  std::lock_guard lock(mutex_);
  rows_[id].label = label;
}

void StationDisplay::SlotRemoved(int id) {
  std::lock_guard lock(mutex_);
  if (rows_.erase(id) == 0) return;
  if (Drawing() && drawn_ > 0) DrawBlock();
}

void StationDisplay::UnitStarted(const station::UnitStart& start) {
  std::lock_guard lock(mutex_);
  rows_[start.slot].name = station::VisibleText(station::DeviceName(start.device));
  if (mode_ != DisplayMode::kJson) return;
  EmitJson({{"event", "device"},
            {"device", start.label},
            {"path", start.device.path},
            {"port", start.device.usb_port},
            {"serial", start.device.serial_number},
            {"unit", start.unit},
            {"attempt", start.attempt}});
}

void StationDisplay::Status(int id, std::string_view text) {
  std::lock_guard lock(mutex_);
  Row& row = rows_[id];
  row.status_shows_time = row.remaining_fresh;
  row.remaining_fresh = false;
  if (row.status == text) return;  // never the same line twice
  row.status = OneLine(text);
  if (mode_ == DisplayMode::kJson) {
    EmitJson({{"event", "status"}, {"device", row.label}, {"text", row.status}});
  } else if (!quiet_) {
    if (mode_ == DisplayMode::kLive) {
      if (Drawing()) DrawBlock();
    } else {
      PlainLine(row, row.status);
    }
  }
}

void StationDisplay::Percent(int id, uint32_t percent) {
  std::lock_guard lock(mutex_);
  Row& row = rows_[id];
  if (row.percent == percent && (mode_ != DisplayMode::kLive || drawn_ > 0)) return;
  row.percent = percent;
  if (mode_ == DisplayMode::kJson) {
    EmitJson({{"event", "percent"}, {"device", row.label}, {"percent", percent}});
  } else if (!quiet_) {
    if (mode_ == DisplayMode::kLive) {
      if (Drawing()) DrawBlock();
    } else if (percent / 10 > row.logged_tenth) {
      row.logged_tenth = percent / 10;
      PlainLine(row, "Progress: " + std::to_string(percent) + "%");
    }
  }
}

void StationDisplay::Remaining(int id, uint32_t ms) {
  std::lock_guard lock(mutex_);
  rows_[id].remaining_ms = ms;  // shown alone where the status text does not fit
  rows_[id].remaining_fresh = true;
  if (mode_ != DisplayMode::kJson) return;
  EmitJson({{"event", "remaining"}, {"device", rows_[id].label}, {"ms", ms}});
}

void StationDisplay::FlashText(int id, std::string_view text) {
  std::lock_guard lock(mutex_);
  Row& row = rows_[id];
  if (mode_ == DisplayMode::kJson) {
    EmitJson({{"event", "flash"}, {"device", row.label}, {"text", std::string(text)}});
    return;
  }
  if (quiet_) return;
  if (mode_ == DisplayMode::kLive) EraseBlock();
  PlainLine(row, text);
  if (Drawing()) DrawBlock();
}

void StationDisplay::Area(int id, std::string_view area) {
  std::lock_guard lock(mutex_);
  if (mode_ != DisplayMode::kJson) return;
  EmitJson({{"event", "area"}, {"device", rows_[id].label}, {"area", std::string(area)}});
}

void StationDisplay::Message(std::string_view text, std::string_view detail) {
  std::lock_guard lock(mutex_);
  if (mode_ == DisplayMode::kLive) EraseBlock();
  // A message may carry its own detail after a line break (the system's reason); it keeps it.
  std::string lines(text);
  std::erase(lines, '\r');
  lines += "\n";
  if (!detail.empty()) lines += "  " + OneLine(detail) + "\n";
  WriteErr(lines);
  if (Drawing()) DrawBlock();
}

std::string StationDisplay::QuestionText(const station::StationQuestion& question) const {
  return labelled_ ? question.label + ": " + question.text : question.text;
}

void StationDisplay::Question(const station::StationQuestion& question) {
  // Called on the asking device's thread, with nothing held: the owner answers when it likes.
  if (question_handler_) question_handler_(question);
}

void StationDisplay::BeginPrompt(std::string_view prompt) {
  std::lock_guard lock(mutex_);
  if (mode_ == DisplayMode::kLive) EraseBlock();
  prompt_ = OneLine(prompt);
  prompting_ = true;
  std::fwrite(prompt_.data(), 1, prompt_.size(), err_);
  std::fflush(err_);
}

void StationDisplay::EndPrompt(std::string_view note) {
  std::lock_guard lock(mutex_);
  prompting_ = false;
  prompt_.clear();
  if (!note.empty()) {
    const std::string line = OneLine(note) + "\n";
    std::fwrite(line.data(), 1, line.size(), err_);
    std::fflush(err_);
  }
  if (Drawing()) DrawBlock();
}

void StationDisplay::UnitFinished(const station::UnitEnd& end) {
  const bool updated = end.result == station::UnitResult::kUpdated;
  const char* result = station::ResultText(end.result);
  nlohmann::json event = {{"event", "result"},       {"device", end.label},
                          {"unit", end.unit},         {"attempt", end.attempt},
                          {"result", result},         {"message", end.message},
                          {"duration_ms", end.duration_ms}, {"reports_sent", end.reports.sent}};
  if (end.serial_after_reset) event["serial_after_reset"] = *end.serial_after_reset;
  Event(event);
  const std::string came_back =
      end.serial_after_reset ? station::SerialAfterResetText(*end.serial_after_reset) : "";
  if (quiet_) {
    ResultLine(end.label + ": " + result + (updated ? std::string() : ": " + end.message) +
               (came_back.empty() ? "" : " (" + came_back + ")"));
  } else if (mode_ == DisplayMode::kPlain && !came_back.empty()) {
    ResultLine(end.label + ": " + came_back);
  } else if (keep_unit_lines_ && mode_ == DisplayMode::kLive) {
    std::string name;
    {
      std::lock_guard lock(mutex_);
      const auto row = rows_.find(end.slot);
      name = row != rows_.end() && !row->second.name.empty() ? row->second.name : end.label;
    }
    ResultLine(Fit(UnitLine(end, name), Columns()));
  }
  if (verbose_) {
    ResultLine(end.label + ": reports sent " + std::to_string(end.reports.sent) +
               ", received " + std::to_string(end.reports.received) + ", failed " +
               std::to_string(end.reports.failed));
  }
}

void StationDisplay::Notice(station::NoticeKind kind, std::string_view text) {
  if (kind == station::NoticeKind::kPrompt) {
    Line(text);
  } else {
    Notice(text);
  }
}

void StationDisplay::DeviceNotTaken(DiscoveryMiss miss, const std::string& label) {
  if (miss == DiscoveryMiss::kAccessDenied) {
    std::string advice = AccessAdviceForThisProgram();
    while (!advice.empty() && advice.back() == '\n') advice.pop_back();
    Message(advice, label.empty() ? std::string() : "device " + label);
    return;
  }
  Message(miss == DiscoveryMiss::kBusy ? kDeviceBusyText : qv::text::kNoDevice, "");
}

// The counts, then the units that did not end updated (every unit with -v), each with its
// device where several run at once, and its message.
std::string StationDisplay::SummaryText(const station::RecordSummary& s) const {
  const auto number = [](uint64_t n) { return std::to_string(n); };
  std::string text = "Units: " + number(s.units) + "\nDevices updated: " + number(s.updated) +
                     "\nDevices failed: " + number(s.failed());
  for (const auto& [message, count] : s.failed_by_message) {
    text += "\n  " + number(count) + "  " + (message.empty() ? "(no message)" : message);
  }
  text += "\nDevices declined: " + number(s.declined) +
          "\nDevices interrupted: " + number(s.interrupted) + "\nRetries: " + number(s.retries);
  if (s.updated_per_hour) {
    char line[64];
    std::snprintf(line, sizeof line, "\nUpdated units per hour: %.1f", *s.updated_per_hour);
    text += line;
  }
  for (const station::UnitSummary& unit : s.by_unit) {
    const bool updated = unit.result == station::UnitResult::kUpdated;
    if (updated && !verbose_) continue;
    text += "\nDevice " + number(unit.unit) + ": " + station::ResultText(unit.result) + ", " +
            Seconds(unit.duration_ms);
    if (labelled_) {
      HidInterfaceInfo device;
      device.path = unit.device_path;
      device.serial_number = unit.device_serial;
      device.usb_port = unit.device_port;
      text += " (" + station::VisibleText(station::DeviceName(device)) + ")";
    }
    if (unit.retries() != 0) text += ", " + number(unit.retries()) + " retry";
    if (!updated && !unit.message.empty()) text += ": " + OneLine(unit.message);
  }
  return text;
}

void StationDisplay::Summary(const station::RecordSummary& summary, bool aborted) {
  Event({{"event", "summary"},
         {"units", summary.units},
         {"updated", summary.updated},
         {"failed", summary.failed()},
         {"declined", summary.declined},
         {"interrupted_units", summary.interrupted},
         {"retries", summary.retries},
         {"interrupted", aborted}});
  Settle();
  ResultLine(SummaryText(summary));
}

void StationDisplay::Notice(std::string_view text) {
  Message(text, "");
}

void StationDisplay::Line(std::string_view text) {
  if (quiet_) return;
  ResultLine(text);
}

void StationDisplay::ResultLine(std::string_view text) {
  std::lock_guard lock(mutex_);
  if (mode_ == DisplayMode::kJson) return;
  if (mode_ == DisplayMode::kLive) EraseBlock();
  const std::string line = std::string(text) + "\n";
  std::fwrite(line.data(), 1, line.size(), out_);
  std::fflush(out_);
  if (Drawing()) DrawBlock();
}

void StationDisplay::Settle() {
  std::lock_guard lock(mutex_);
  drawn_ = 0;
  rows_.clear();
}

void StationDisplay::Event(const nlohmann::json& event) {
  std::lock_guard lock(mutex_);
  if (mode_ == DisplayMode::kJson) EmitJson(event);
}

}  // namespace qv::cli
