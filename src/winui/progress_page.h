#pragma once

#include <memory>

#include "winui/dialog_page.h"
#include "wizard/progress_presenter.h"
#include "wizard/progress_view.h"
#include "wizard/wizard_threads.h"

namespace qv::winui {

// The third page's controls: draws what the ProgressPresenter says and hands it the page's
// events (the timers, Other device, Quit, Escape and the close box). The worker reaches the
// page's thread through kRunTaskMessage, sent or posted.
class ProgressPage final : public DialogPage, private ProgressView, private WizardThreads {
 public:
  ProgressPage(HINSTANCE instance, WizardDialogs& dialogs, WizardContext& context);
  ~ProgressPage() override;

  // The user declined to re-install the same version: the program ends with status 1.
  [[nodiscard]] bool run_declined() const { return presenter_ && presenter_->run_declined(); }

 private:
  void OnInit() override;
  void OnCommand(int id, int code) override;
  bool OnMessage(UINT message, WPARAM wparam, LPARAM lparam) override;

  // ProgressView
  void ShowStatusText(std::string_view text) override;
  void ShowPercent(int percent) override;
  void ShowNextDevicePrompt(std::string_view text) override;
  void ShowOtherDevice(bool shown) override;
  void EnableOtherDevice(bool enabled) override;
  void EnableQuit(bool enabled) override;
  void FocusQuit() override;
  void FocusOtherDevice() override;
  void PlaySuccessSound() override;
  void StartTimer(PageTimer timer, int interval_ms) override;
  void StopTimer(PageTimer timer) override;
  void ShowMessage(std::string_view text) override;
  void End(PageOutcome outcome) override;
  // WizardThreads
  void PostToUi(Task task) override;
  void SendToUi(Task task) override;

  WizardContext& context_;
  // Made when the window exists, so that the worker always has a page to post to.
  std::unique_ptr<ProgressPresenter> presenter_;
};

}  // namespace qv::winui
