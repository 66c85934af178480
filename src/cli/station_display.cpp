#include "cli/station_display.h"

#include <sys/ioctl.h>
#include <unistd.h>

#include <cstdio>

#include "cli/cli_discovery_miss.h"
#include "station/station.h"
#include "update/update_texts.h"

namespace qv::cli {
namespace {

constexpr int kBarWidth = 20;

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
  winsize size{};
  if (::ioctl(::fileno(out), TIOCGWINSZ, &size) == 0 && size.ws_col > 0) return size.ws_col;
  return 80;
}

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

std::string StationDisplay::RowText(const Row& row) const {
  const uint32_t percent = row.percent > 100 ? 100 : row.percent;
  const int filled = static_cast<int>(percent) * kBarWidth / 100;
  std::string bar(static_cast<std::size_t>(filled), '#');
  bar.append(static_cast<std::size_t>(kBarWidth - filled), '.');
  char number[8];
  std::snprintf(number, sizeof number, "%3u%%", static_cast<unsigned>(percent));
  return Prefix(row) + "[" + bar + "] " + number + "  " + row.status;
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
  const int columns = TerminalColumns(out_);
  int lines = 0;
  for (const auto& [id, row] : rows_) {
    const std::string text = Fit(RowText(row), columns);
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
  const std::string line =
      event.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace) + "\n";
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
  if (mode_ != DisplayMode::kJson) return;  // people read it in the status text
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
  Event({{"event", "result"},       {"device", end.label},
         {"unit", end.unit},         {"attempt", end.attempt},
         {"result", result},         {"message", end.message},
         {"duration_ms", end.duration_ms}, {"reports_sent", end.reports.sent}});
  if (quiet_) {
    ResultLine(end.label + ": " + result + (updated ? std::string() : ": " + end.message));
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

std::string StationDisplay::SummaryText(const station::RecordSummary& s) const {
  std::string text = "Devices updated: " + std::to_string(s.updated) +
                     "\nDevices failed: " + std::to_string(s.failed());
  if (s.declined != 0) text += "\nDevices declined: " + std::to_string(s.declined);
  if (s.interrupted != 0) text += "\nDevices interrupted: " + std::to_string(s.interrupted);
  for (const station::UnitSummary& unit : s.by_unit) {
    char seconds[32];
    std::snprintf(seconds, sizeof seconds, "%.1f s",
                  static_cast<double>(unit.duration_ms) / 1000.0);
    text += "\nDevice " + std::to_string(unit.unit) + ": " + station::ResultText(unit.result) +
            ", " + seconds;
    if (labelled_) {
      const HidInterfaceInfo device{unit.device_path, 0, 0, unit.device_serial,
                                    unit.device_port};
      text += " (" + station::DeviceLabel(device) + ")";
    }
    if (unit.retries() != 0) text += ", " + std::to_string(unit.retries()) + " retry";
  }
  return text + "\nRetries: " + std::to_string(s.retries);
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
