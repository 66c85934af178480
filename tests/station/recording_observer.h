#pragma once

#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "station/station_events.h"

namespace qv::test {

// Records a station's events, from every thread, and lets a test act on some of them: a hook
// runs on the thread that reported the event, after it has been recorded.
class RecordingObserver final : public station::StationObserver {
 public:
  std::function<void(const station::UnitEnd&)> on_finished;
  std::function<void(const std::string&)> on_notice;
  std::function<void(const std::string&)> on_message;  // the message's first line
  std::function<void(const station::StationQuestion&)> on_question;
  std::function<void(int slot, uint32_t percent)> on_percent;
  std::function<void(const station::UnitStart&)> on_started;

  void SlotAdded(int, const std::string&) override {}
  void SlotRemoved(int) override {}
  void UnitStarted(const station::UnitStart& start) override {
    if (on_started) on_started(start);
  }
  void Status(int, std::string_view) override {}
  void Percent(int slot, uint32_t percent) override {
    if (on_percent) on_percent(slot, percent);
  }
  void Remaining(int, uint32_t) override {}
  void FlashText(int, std::string_view) override {}
  void Area(int, std::string_view) override {}
  void Message(std::string_view text, std::string_view detail) override {
    Add(messages_, std::string(text) + (detail.empty() ? "" : " | " + std::string(detail)));
    if (on_message) on_message(std::string(text));
  }
  void Question(const station::StationQuestion& question) override {
    Add(questions_, question.label + ": " + question.text);
    if (on_question) on_question(question);
  }
  void UnitFinished(const station::UnitEnd& end) override {
    Add(runs_, std::to_string(end.unit) + "." + std::to_string(end.attempt) + " " +
                   station::ResultText(end.result));
    if (on_finished) on_finished(end);
  }
  void Notice(station::NoticeKind, std::string_view text) override {
    Add(notices_, std::string(text));
    if (on_notice) on_notice(std::string(text));
  }
  void DeviceNotTaken(DiscoveryMiss miss, const std::string& label) override {
    Add(not_taken_, std::to_string(static_cast<int>(miss)) + " " + label);
  }
  void Summary(const station::RecordSummary& summary, bool aborted) override {
    std::lock_guard lock(mutex_);
    summary_ = summary;
    summaries_ += 1;
    aborted_ = aborted;
  }

  // "unit.attempt result" for every run, in the order they ended.
  [[nodiscard]] std::vector<std::string> runs() const { return Copy(runs_); }
  [[nodiscard]] std::vector<std::string> messages() const { return Copy(messages_); }
  [[nodiscard]] std::vector<std::string> notices() const { return Copy(notices_); }
  [[nodiscard]] std::vector<std::string> questions() const { return Copy(questions_); }
  [[nodiscard]] std::vector<std::string> not_taken() const { return Copy(not_taken_); }
  [[nodiscard]] station::RecordSummary summary() const {
    std::lock_guard lock(mutex_);
    return summary_;
  }
  [[nodiscard]] int summaries() const {
    std::lock_guard lock(mutex_);
    return summaries_;
  }

 private:
  void Add(std::vector<std::string>& list, std::string entry) {
    std::lock_guard lock(mutex_);
    list.push_back(std::move(entry));
  }
  std::vector<std::string> Copy(const std::vector<std::string>& list) const {
    std::lock_guard lock(mutex_);
    return list;
  }

  mutable std::mutex mutex_;
  std::vector<std::string> runs_, messages_, notices_, questions_, not_taken_;
  station::RecordSummary summary_;
  int summaries_ = 0;
  bool aborted_ = false;
};

}  // namespace qv::test
