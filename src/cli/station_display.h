#pragma once

#include <cstdint>
#include <cstdio>
#include <functional>
#include <map>
#include <mutex>
#include <nlohmann/json.hpp>
#include <string>
#include <string_view>

namespace qv::cli {

// How a flash session shows itself.
enum class DisplayMode {
  kLive,   // stdout is a terminal: one line per device, redrawn in place
  kPlain,  // a log: each new status as a plain line, the percent at every tenth, no repeats
  kJson,   // JSON events on stdout and nothing else there
};

// Everything a flash session prints, from any device's thread. Messages go to stderr in every
// mode, the message text first and a detail line after it when there is one. With `labelled`
// each device's lines carry its name (several devices at once); otherwise the output is that of
// a single device.
class StationDisplay {
 public:
  StationDisplay(DisplayMode mode, bool quiet, bool verbose, bool labelled,
                 std::FILE* out = stdout, std::FILE* err = stderr);

  // A device line; its id is used for everything that device shows.
  int AddDevice(const std::string& label);
  void RemoveDevice(int id);

  void Status(int id, std::string_view text);
  void Percent(int id, uint32_t percent);
  void Remaining(int id, uint32_t ms);
  void FlashText(int id, std::string_view text);
  void Area(int id, std::string_view area);
  // A message of the run: the text, then the detail (when not empty) on a line of its own.
  void Message(std::string_view text, std::string_view detail);
  // Asks a question through `ask` with the device lines out of the way.
  bool Ask(const std::function<bool()>& ask);
  // A line on stderr that must be seen at once (Ctrl-C acknowledged, waiting for a device).
  void Notice(std::string_view text);
  // A line for people on stdout; left out in JSON and quiet mode.
  void Line(std::string_view text);
  // A line of results on stdout; left out in JSON mode only.
  void ResultLine(std::string_view text);
  // A JSON event; only in JSON mode.
  void Event(const nlohmann::json& event);
  // Ends the live block: the device lines stay on the screen as they stand, and what is printed
  // next (the summary) comes below them instead of above.
  void Settle();

  [[nodiscard]] DisplayMode mode() const { return mode_; }
  [[nodiscard]] bool verbose() const { return verbose_; }
  [[nodiscard]] bool labelled() const { return labelled_; }

  // The terminal's width in columns (80 when it cannot be read).
  [[nodiscard]] static int TerminalColumns(std::FILE* out);
  // The text cut to at most `columns` - 1 characters, so that it never wraps.
  [[nodiscard]] static std::string Fit(const std::string& text, int columns);

 private:
  struct Row {
    std::string label;
    std::string status;
    uint32_t percent = 0;
    uint32_t logged_tenth = 0;
  };
  [[nodiscard]] std::string RowText(const Row& row) const;
  [[nodiscard]] std::string Prefix(const Row& row) const;
  void EraseBlock();
  void DrawBlock();
  void PlainLine(const Row& row, std::string_view text);
  void EmitJson(const nlohmann::json& event);

  const DisplayMode mode_;
  const bool quiet_;
  const bool verbose_;
  const bool labelled_;
  std::FILE* out_;
  std::FILE* err_;
  std::mutex mutex_;
  std::map<int, Row> rows_;
  int next_id_ = 0;
  int drawn_ = 0;  // lines of the live block now on the screen
};

}  // namespace qv::cli
