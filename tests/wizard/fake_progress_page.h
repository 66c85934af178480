#pragma once

// A progress page without a toolkit: the view records what is shown, the threads run the worker
// at once on the test's thread and queue what it posts until the test delivers it, as a
// user-interface thread busy elsewhere would.

#include <deque>
#include <optional>
#include <string>
#include <vector>

#include "wizard/progress_view.h"
#include "wizard/wizard_threads.h"

namespace qv::test {

class FakeProgressPage final : public ProgressView, public WizardThreads {
 public:
  // ProgressView
  void ShowStatusText(std::string_view text) override { status = std::string(text); }
  void ShowPercent(int value) override { percents.push_back(value); }
  void ShowNextDevicePrompt(std::string_view text) override { prompt = std::string(text); }
  void ShowOtherDevice(bool shown) override { other_device_shown = shown; }
  void EnableOtherDevice(bool enabled) override { other_device_enabled = enabled; }
  void EnableQuit(bool enabled) override { quit_enabled = enabled; }
  void FocusQuit() override { focus = "quit"; }
  void FocusOtherDevice() override { focus = "other device"; }
  void PlaySuccessSound() override { status_at_sound.push_back(status); }
  void StartTimer(PageTimer timer, int) override { Timer(timer) = true; }
  void StopTimer(PageTimer timer) override { Timer(timer) = false; }
  void ShowMessage(std::string_view text) override { messages.emplace_back(text); }
  void End(PageOutcome value) override { outcome = value; }

  // WizardThreads
  bool RunOnWorker(Task task) override {
    if (!can_start_worker) return false;
    task();
    return true;
  }
  void JoinWorker() override {}
  void PostToUi(Task task) override { posted.push_back(std::move(task)); }
  void SendToUi(Task task) override { task(); }

  // Delivers what was posted, in order.
  void DeliverPosted() {
    while (!posted.empty()) {
      Task task = std::move(posted.front());
      posted.pop_front();
      task();
    }
  }

  bool& Timer(PageTimer timer) { return timer == PageTimer::kDoneCheck ? done_check : poll; }

  bool can_start_worker = true;
  std::string status = "Progress:";
  std::vector<int> percents;
  std::string prompt;
  bool other_device_shown = true;
  bool other_device_enabled = true;
  bool quit_enabled = true;
  std::string focus;
  std::vector<std::string> status_at_sound;
  bool done_check = false;
  bool poll = false;
  std::vector<std::string> messages;
  std::optional<PageOutcome> outcome;
  std::deque<Task> posted;
};

}  // namespace qv::test
