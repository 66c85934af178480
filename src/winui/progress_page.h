#pragma once

#include <memory>
#include <string>

#include "update/update_run.h"
#include "winui/dialog_page.h"
#include "winui/update_worker.h"

namespace qv::winui {

// The third page: runs one update on its worker thread, shows its progress and result, and in
// continuous mode waits for the next device: a 200 ms poll on this thread under the shared
// DevicePoll rules, or Other device, hands over to a new progress page.
//
// Quit, Escape and the close box are refused until the run's end has arrived, so the worker
// never outlives the page, the package or a half-written device; the worker is joined as soon
// as its end arrives, before anything else happens on the page.
class ProgressPage final : public DialogPage {
 public:
  explicit ProgressPage(WizardContext& context);

  // The user declined to re-install the same version: the program ends with status 1.
  [[nodiscard]] bool run_declined() const { return run_declined_; }

 private:
  void OnInit() override;
  void OnCommand(int id, int code) override;
  bool OnMessage(UINT message, WPARAM wparam, LPARAM lparam) override;

  void StartWorker();
  void OnRunFinished(RunResult result);
  void OnDoneCheck();
  void StartPolling();
  void OnPollTick();
  void OnOtherDevice();
  void OnQuit();
  void EndPage(PageOutcome outcome);

  std::unique_ptr<UpdateWorker> worker_;
  std::wstring flash_text_;  // kept, never shown
  bool run_done_ = false;
  bool run_succeeded_ = false;
  bool run_declined_ = false;
  bool polling_ = false;
  bool ended_ = false;
};

}  // namespace qv::winui
