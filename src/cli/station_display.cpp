#include "cli/station_display.h"

#include <sys/ioctl.h>
#include <unistd.h>

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

int StationDisplay::AddDevice(const std::string& label) {
  std::lock_guard lock(mutex_);
  const int id = next_id_++;
  rows_[id].label = label;
  return id;
}

void StationDisplay::RemoveDevice(int id) {
  std::lock_guard lock(mutex_);
  if (rows_.erase(id) == 0) return;
  if (mode_ == DisplayMode::kLive && !quiet_ && drawn_ > 0) DrawBlock();
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
      DrawBlock();
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
      DrawBlock();
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
  if (mode_ == DisplayMode::kLive) DrawBlock();
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
  std::fwrite(lines.data(), 1, lines.size(), err_);
  std::fflush(err_);
  if (mode_ == DisplayMode::kLive && !quiet_) DrawBlock();
}

bool StationDisplay::Ask(const std::function<bool()>& ask) {
  std::lock_guard lock(mutex_);
  if (mode_ == DisplayMode::kLive) EraseBlock();
  const bool answer = ask();
  if (mode_ == DisplayMode::kLive && !quiet_) DrawBlock();
  return answer;
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
  if (mode_ == DisplayMode::kLive && !quiet_) DrawBlock();
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
