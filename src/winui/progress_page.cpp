#include "winui/progress_page.h"

#include <commctrl.h>

#include "winui/resource_ids.h"
#include "winui/success_sound.h"
#include "winui/text_fit.h"
#include "winui/wizard_messages.h"

namespace qv::winui {

ProgressPage::ProgressPage(HINSTANCE instance, WizardDialogs& dialogs, WizardContext& context)
    : DialogPage(instance, dialogs, IDD_PROGRESS_PAGE), context_(context) {}

// The page's window is gone only after its run's end arrived (nothing ends it before), so the
// worker has returned; the presenter joins it.
ProgressPage::~ProgressPage() {
  presenter_.reset();
}

void ProgressPage::OnInit() {
  SendDlgItemMessageW(window(), IDC_PROGRESS_BAR, PBM_SETRANGE32, 0, 100);
  ProgressView& view = *this;
  WizardThreads& threads = *this;
  presenter_ = std::make_unique<ProgressPresenter>(context_, view, threads);
  presenter_->Begin();
}

bool ProgressPage::OnMessage(UINT message, WPARAM wparam, LPARAM lparam) {
  switch (message) {
    case kRunTaskMessage: {
      auto* task = reinterpret_cast<Task*>(lparam);
      (*task)();
      if (wparam == 0) delete task;  // posted: the page owns it
      return true;
    }
    case WM_TIMER:
      if (wparam == kDoneCheckTimer) presenter_->OnTimer(PageTimer::kDoneCheck);
      if (wparam == kPollTimer) presenter_->OnTimer(PageTimer::kPoll);
      return true;
    default:
      return false;
  }
}

void ProgressPage::OnCommand(int id, int code) {
  if (id == IDC_OTHER_DEVICE && code == BN_CLICKED) presenter_->OnOtherDevice();
  // Quit, and Escape and the close box, which arrive with Quit's id (IDCANCEL).
  if (id == IDC_QUIT) presenter_->OnCloseRequest();
  // A confirm command (Enter with no enabled default button) is ignored: the page has none.
}

void ProgressPage::ShowStatusText(std::string_view text) {
  SetItemText(IDC_STATUS_TEXT, text);
}

void ProgressPage::ShowPercent(int percent) {
  SendDlgItemMessageW(window(), IDC_PROGRESS_BAR, PBM_SETPOS, static_cast<WPARAM>(percent), 0);
}

void ProgressPage::ShowNextDevicePrompt(std::string_view text) {
  SetItemText(IDC_NEXT_DEVICE_PROMPT, text);
  FitTextHeight(Item(IDC_NEXT_DEVICE_PROMPT));
}

void ProgressPage::ShowOtherDevice(bool shown) {
  ShowWindow(Item(IDC_OTHER_DEVICE), shown ? SW_SHOW : SW_HIDE);
}

void ProgressPage::EnableOtherDevice(bool enabled) {
  EnableWindow(Item(IDC_OTHER_DEVICE), enabled ? TRUE : FALSE);
}

void ProgressPage::EnableQuit(bool enabled) {
  EnableWindow(Item(IDC_QUIT), enabled ? TRUE : FALSE);
}

void ProgressPage::FocusQuit() {
  FocusItem(IDC_QUIT);
}

void ProgressPage::FocusOtherDevice() {
  FocusItem(IDC_OTHER_DEVICE);
}

void ProgressPage::PlaySuccessSound() {
  winui::PlaySuccessSound(instance_);
}

void ProgressPage::StartTimer(PageTimer timer, int interval_ms) {
  SetTimer(window(), timer == PageTimer::kDoneCheck ? kDoneCheckTimer : kPollTimer,
           static_cast<UINT>(interval_ms), nullptr);
}

void ProgressPage::StopTimer(PageTimer timer) {
  KillTimer(window(), timer == PageTimer::kDoneCheck ? kDoneCheckTimer : kPollTimer);
}

void ProgressPage::ShowMessage(std::string_view text) {
  dialogs_.ShowMessage(text);
}

void ProgressPage::End(PageOutcome outcome) {
  DialogPage::End(outcome);
}

// A posted message is lost only when the page's queue is full; every task must arrive (the run's
// end above all), so it is posted again until it fits.
void ProgressPage::PostToUi(Task task) {
  auto* owned = new Task(std::move(task));
  while (!PostMessageW(window(), kRunTaskMessage, 0, reinterpret_cast<LPARAM>(owned))) {
    if (!IsWindow(window())) {
      delete owned;
      return;
    }
    Sleep(10);
  }
}

void ProgressPage::SendToUi(Task task) {
  SendMessageW(window(), kRunTaskMessage, 1, reinterpret_cast<LPARAM>(&task));
}

}  // namespace qv::winui
