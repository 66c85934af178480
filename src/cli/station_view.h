#pragma once

#include <cstdint>
#include <cstdio>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <utility>

#include "station/station_events.h"
#include "station/station_model.h"

namespace qv::cli {

// How a flash session shows itself.
enum class DisplayMode {
  kLive,   // stdout is a terminal: one line per device, redrawn in place
  kPlain,  // a log: each new status as a plain line, the percent at every tenth, no repeats
  kJson,   // JSON events on stdout and nothing else there
};

// Everything a flash session prints: an observer of the station that keeps the station's model
// (a row per device, the tallies) and draws it in one of three ways, a view per file:
// LiveStationView, PlainStationView and JsonStationView. Messages go to stderr in every mode,
// the message text first and a detail line after it when there is one. With `labelled` each
// device's lines carry its name (several devices at once). Questions are handed to the
// station's owner (SetQuestionHandler), which answers them through the station and draws
// their prompt here.
class StationView : public station::StationObserver {
 public:
  StationView(bool quiet, bool verbose, bool labelled, std::FILE* out, std::FILE* err);

  // The view of a mode.
  [[nodiscard]] static std::unique_ptr<StationView> Make(DisplayMode mode, bool quiet, bool verbose,
                                                         bool labelled, std::FILE* out = stdout,
                                                         std::FILE* err = stderr);

  // Whether each unit that ends leaves a line of its own (several units: --all or
  // --continuous). The line carries the unit's message and area, which the station then does
  // not say apart.
  void KeepUnitLines(bool keep) { keep_unit_lines_ = keep; }

  // Who takes the questions; without one they stay open.
  void SetQuestionHandler(std::function<void(const station::StationQuestion&)> handler) {
    question_handler_ = std::move(handler);
  }

  // The station's events.
  void SlotAdded(int slot, const std::string& label) final;
  void SlotRemoved(int slot) final;
  void UnitStarted(const station::UnitStart& start) final;
  void Status(int slot, std::string_view text) final;
  void Percent(int slot, uint32_t percent) final;
  void Remaining(int slot, uint32_t ms) final;
  void FlashText(int slot, std::string_view text) final;
  void Area(int slot, std::string_view area) final;
  // A message: the text, then the detail (when not empty) on a line of its own.
  void Message(std::string_view text, std::string_view detail) final;
  void Question(const station::StationQuestion& question) final;
  void UnitFinished(const station::UnitEnd& end) final;
  void Notice(station::NoticeKind kind, std::string_view text) final;
  void DeviceNotTaken(DiscoveryMiss miss, const std::string& label) final;
  void Summary(const station::RecordSummary& summary, bool aborted) final;

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
  // Ends the live block: the device lines stay on the screen as they stand, and what is printed
  // next (the summary) comes below them instead of above.
  void Settle();

  [[nodiscard]] virtual DisplayMode mode() const = 0;
  [[nodiscard]] bool verbose() const { return verbose_; }
  [[nodiscard]] bool labelled() const { return labelled_; }

 protected:
  // What each view draws; called with the view's lock held, after the model took the event.
  virtual void DrawUnitStart(const station::UnitStart& /*start*/) {}
  virtual void DrawStatus(const station::SlotRow& /*row*/) {}
  virtual void DrawPercent(int /*slot*/, const station::SlotRow& /*row*/, bool /*changed*/) {}
  virtual void DrawRemaining(const station::SlotRow& /*row*/) {}
  virtual void DrawArea(const station::SlotRow& /*row*/) {}
  virtual void DrawFlashText(const station::SlotRow& /*row*/, std::string_view /*text*/) {}
  virtual void DrawSlotRemoved() {}
  // The lines a unit's end leaves on stdout, each ending in a newline; empty for none.
  virtual std::string UnitEndLines(const station::UnitEnd& end, const station::SlotRow& row);
  virtual void DrawSummaryEvent(const station::RecordSummary& /*summary*/, bool /*aborted*/) {}
  // Around text written to stdout or stderr: the live view takes its block away and draws it
  // again below the text.
  virtual void ClearForText() {}
  virtual void DrawAfterText() {}
  // Whether lines for people go to stdout (not in JSON mode).
  [[nodiscard]] virtual bool PrintsLines() const { return true; }
  virtual void Settled() {}

  // Writes to stdout and flushes (no lock taken).
  void WriteOut(const std::string& text);
  // "label: " where several devices are shown, else nothing.
  [[nodiscard]] std::string Prefix(const station::SlotRow& row) const;

  [[nodiscard]] bool quiet() const { return quiet_; }
  [[nodiscard]] bool prompting() const { return prompting_; }
  [[nodiscard]] bool keep_unit_lines() const { return keep_unit_lines_; }
  [[nodiscard]] std::FILE* out() const { return out_; }
  [[nodiscard]] const station::StationModel& model() const { return model_; }

 private:
  void WriteErr(const std::string& lines);

  const bool quiet_;
  const bool verbose_;
  const bool labelled_;
  std::FILE* out_;
  std::FILE* err_;
  std::mutex mutex_;
  station::StationModel model_;
  bool keep_unit_lines_ = false;
  bool prompting_ = false;
  std::string prompt_;
  std::function<void(const station::StationQuestion&)> question_handler_;
};

}  // namespace qv::cli
