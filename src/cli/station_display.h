#pragma once

#include <cstdint>
#include <cstdio>
#include <functional>
#include <map>
#include <utility>
#include <mutex>
#include <nlohmann/json.hpp>
#include <string>
#include <string_view>

#include "station/station_events.h"

namespace qv::cli {

// How a flash session shows itself.
enum class DisplayMode {
  kLive,   // stdout is a terminal: one line per device, redrawn in place
  kPlain,  // a log: each new status as a plain line, the percent at every tenth, no repeats
  kJson,   // JSON events on stdout and nothing else there
};

// Everything a flash session prints: an observer of the station, called from any device's
// thread, that only draws. Messages go to stderr in every mode, the message text first and a
// detail line after it when there is one. With `labelled` each device's lines carry its name
// (several devices at once); otherwise the output is that of a single device. Questions are
// handed to the station's owner (SetQuestionHandler), which answers them through the station
// and draws their prompt here.
// The version of the JSON event lines' format (--json), in every line's "schema".
inline constexpr int kEventSchema = 1;

class StationDisplay final : public station::StationObserver {
 public:
  StationDisplay(DisplayMode mode, bool quiet, bool verbose, bool labelled,
                 std::FILE* out = stdout, std::FILE* err = stderr);

  // Whether each unit that ends leaves a line of its own above the live lines (a station of
  // several units, on a terminal).
  void KeepUnitLines(bool keep) { keep_unit_lines_ = keep; }

  // Who takes the questions; without one they stay open.
  void SetQuestionHandler(std::function<void(const station::StationQuestion&)> handler) {
    question_handler_ = std::move(handler);
  }

  // The station's events.
  void SlotAdded(int id, const std::string& label) override;
  void SlotRemoved(int id) override;
  void UnitStarted(const station::UnitStart& start) override;
  void Status(int id, std::string_view text) override;
  void Percent(int id, uint32_t percent) override;
  void Remaining(int id, uint32_t ms) override;
  void FlashText(int id, std::string_view text) override;
  void Area(int id, std::string_view area) override;
  // A message: the text, then the detail (when not empty) on a line of its own.
  void Message(std::string_view text, std::string_view detail) override;
  void Question(const station::StationQuestion& question) override;
  void UnitFinished(const station::UnitEnd& end) override;
  void Notice(station::NoticeKind kind, std::string_view text) override;
  void DeviceNotTaken(DiscoveryMiss miss, const std::string& label) override;
  void Summary(const station::RecordSummary& summary, bool aborted) override;

  // The text of a question as people read it: with several devices it names its device.
  [[nodiscard]] std::string QuestionText(const station::StationQuestion& question) const;
  // A prompt on stderr, drawn below the device lines; until it ends the live lines are not
  // drawn again (their state is kept), so the prompt stays where the answer is typed. Nothing
  // is held while the owner waits for the answer: the devices go on.
  void BeginPrompt(std::string_view prompt);
  // Ends the prompt with the answer's note (a line of its own, when not empty).
  void EndPrompt(std::string_view note);
  // A line on stderr that must be seen at once (Ctrl-C acknowledged, a device given up).
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

  // The terminal's width in columns: the terminal's own, else COLUMNS, else 80.
  [[nodiscard]] static int TerminalColumns(std::FILE* out);
  // The text cut to at most `columns` - 1 characters, so that it never wraps.
  [[nodiscard]] static std::string Fit(const std::string& text, int columns);

  // What a device's live line shows.
  struct Row {
    std::string label;
    std::string name;  // the device's short name (port, else serial, else path)
    std::string status;
    uint32_t percent = 0;
    uint32_t remaining_ms = 0;
    bool remaining_fresh = false;  // a remaining time came, for the status that follows
    bool status_shows_time = false;  // the status is the remaining-time text of an update
    uint32_t logged_tenth = 0;
  };

  // A device's live line in `columns`: the bar shrinks first, then the status gives way to the
  // remaining time alone, then the label to the device's short name; the line never wraps.
  [[nodiscard]] std::string RowText(const Row& row, int columns) const;
  // The permanent line of a unit that ended: unit, device, result, duration, and for one not
  // updated its message and area.
  [[nodiscard]] static std::string UnitLine(const station::UnitEnd& end, const std::string& name);

 private:
  [[nodiscard]] int Columns() const;
  [[nodiscard]] std::string SummaryText(const station::RecordSummary& summary) const;
  [[nodiscard]] bool Drawing() const { return mode_ == DisplayMode::kLive && !quiet_ && !prompting_; }
  [[nodiscard]] std::string Prefix(const Row& row) const;
  void EraseBlock();
  void DrawBlock();
  void PlainLine(const Row& row, std::string_view text);
  void EmitJson(const nlohmann::json& event);
  void WriteErr(const std::string& lines);

  const DisplayMode mode_;
  const bool quiet_;
  const bool verbose_;
  const bool labelled_;
  std::FILE* out_;
  std::FILE* err_;
  std::mutex mutex_;
  std::map<int, Row> rows_;
  int drawn_ = 0;  // lines of the live block now on the screen
  bool keep_unit_lines_ = false;
  bool prompting_ = false;
  std::string prompt_;
  std::function<void(const station::StationQuestion&)> question_handler_;
};

}  // namespace qv::cli
