#include "winui/progress_page.h"

#include <commctrl.h>

#include "update/update_texts.h"
#include "winui/no_device_message.h"
#include "winui/resource_ids.h"
#include "winui/success_sound.h"
#include "winui/text_fit.h"
#include "winui/wizard_messages.h"

namespace qv::winui {
namespace {

constexpr UINT kDoneCheckMs = 500;

}  // namespace

ProgressPage::ProgressPage(WizardContext& context) : DialogPage(context, IDD_PROGRESS_PAGE) {}

void ProgressPage::OnInit() {
  SendDlgItemMessageW(window(), IDC_PROGRESS_BAR, PBM_SETRANGE32, 0, 100);
  SendDlgItemMessageW(window(), IDC_PROGRESS_BAR, PBM_SETPOS, 0, 0);
  EnableWindow(Item(IDC_OTHER_DEVICE), FALSE);
  ShowWindow(Item(IDC_OTHER_DEVICE), context_.continuous_mode == 1 ? SW_SHOW : SW_HIDE);
  EnableWindow(Item(IDC_QUIT), FALSE);
  StartWorker();
}

void ProgressPage::StartWorker() {
  worker_ = std::make_unique<UpdateWorker>(context_, window());
  if (!worker_->Start()) {
    // No thread, no run: the device taken for it is let go and the page goes on as after a
    // failed run, so Quit (and in continuous mode the poll) still lead on.
    context_.link.Release();
    OnRunFinished(RunResult::kFailed);
  }
}

bool ProgressPage::OnMessage(UINT message, WPARAM wparam, LPARAM lparam) {
  switch (message) {
    case kProgressMessage:
      SendDlgItemMessageW(window(), IDC_PROGRESS_BAR, PBM_SETPOS, wparam, 0);
      return true;
    case kStatusTextMessage:
      SetDlgItemTextW(window(), IDC_STATUS_TEXT,
                      reinterpret_cast<const std::wstring*>(lparam)->c_str());
      return true;
    case kFlashTextMessage:
      flash_text_ = *reinterpret_cast<const std::wstring*>(lparam);
      return true;
    case kRunFinishedMessage:
      worker_->Join();
      OnRunFinished(static_cast<RunResult>(wparam));
      return true;
    case WM_TIMER:
      if (wparam == kDoneCheckTimer) OnDoneCheck();
      if (wparam == kPollTimer) OnPollTick();
      return true;
    default:
      return false;
  }
}

void ProgressPage::OnRunFinished(RunResult result) {
  if (run_done_) return;
  run_done_ = true;
  if (result == RunResult::kDeclined) {
    // The run has released the device; the program ends with status 1 at once.
    run_declined_ = true;
    EndPage(kPageDeclined);
    return;
  }
  run_succeeded_ = result == RunResult::kSucceeded;
  if (run_succeeded_) {
    SetItemText(IDC_STATUS_TEXT, text::kSuccess);
    PlaySuccessSound(context_.instance);
  } else {
    SetItemText(IDC_STATUS_TEXT, text::kFailure);
  }
  SetTimer(window(), kDoneCheckTimer, kDoneCheckMs, nullptr);
}

void ProgressPage::OnDoneCheck() {
  KillTimer(window(), kDoneCheckTimer);
  if (ended_ || !run_done_) return;
  EnableWindow(Item(IDC_QUIT), TRUE);
  if (context_.continuous_mode != 1) {
    // Quit is the only way on: Return or space ends the wizard without a Tab first.
    FocusItem(IDC_QUIT);
    return;
  }
  StartPolling();
}

void ProgressPage::StartPolling() {
  context_.poll.RunFinished(run_succeeded_);
  SetItemText(IDC_NEXT_DEVICE_PROMPT, text::kNextDevicePrompt);
  FitTextHeight(Item(IDC_NEXT_DEVICE_PROMPT));
  EnableWindow(Item(IDC_OTHER_DEVICE), TRUE);
  FocusItem(IDC_OTHER_DEVICE);
  polling_ = true;
  SetTimer(window(), kPollTimer, DevicePoll::kPollIntervalMs, nullptr);
}

void ProgressPage::OnPollTick() {
  if (ended_ || !polling_) return;
  const bool found = context_.link.Discover() != 0;
  const DevicePoll::Action action = context_.poll.OnPoll(found);
  if (action == DevicePoll::Action::kRelease) context_.link.Release();
  if (action == DevicePoll::Action::kStartRun) EndPage(kPageHandOver);
}

void ProgressPage::OnCommand(int id, int code) {
  if (id == IDC_OTHER_DEVICE && code == BN_CLICKED) OnOtherDevice();
  if (id == IDC_QUIT) OnQuit();
  // A confirm command (Enter with no enabled default button) is ignored: the page has none.
}

void ProgressPage::OnOtherDevice() {
  if (ended_ || !polling_) return;
  if (context_.link.Discover() != 0) {
    // The poll's memory stays as it is: a run started here is no sighting of the poll's.
    EndPage(kPageHandOver);
    return;
  }
  // The poll goes on while the message is open.
  context_.dialogs.ShowMessage(NoDeviceMessage(context_.link));
}

// Quit, Escape and the close box: refused while the run is in progress.
void ProgressPage::OnQuit() {
  if (ended_ || !run_done_) return;
  EndPage(kPageEnded);
}

void ProgressPage::EndPage(PageOutcome outcome) {
  if (ended_) return;
  ended_ = true;
  polling_ = false;
  KillTimer(window(), kDoneCheckTimer);
  KillTimer(window(), kPollTimer);
  End(outcome);
}

}  // namespace qv::winui
