#pragma once

#include <windows.h>

#include <string_view>
#include <thread>

#include "update/progress_context.h"
#include "winui/wizard_context.h"

namespace qv::winui {

// One progress page's update run, on a thread of its own. It reports to the page only through
// window messages: the status and flash texts are sent (the run goes on once the page has them),
// progress and the run's end are posted. The run's message boxes are shown by the page's thread
// (WizardDialogs). From Start until Join the device link belongs to this thread.
class UpdateWorker final : public ProgressContext {
 public:
  UpdateWorker(WizardContext& context, HWND page);
  ~UpdateWorker() override;
  UpdateWorker(const UpdateWorker&) = delete;
  UpdateWorker& operator=(const UpdateWorker&) = delete;

  // Starts the run; false when no thread could be started (nothing ran then).
  [[nodiscard]] bool Start();
  // Waits for the thread's end; the page calls it when kRunFinishedMessage arrives, which the
  // thread posts as its last act.
  void Join();

  // ProgressContext, called by the run on the worker thread.
  void SetStatusText(std::string_view text) override;
  void PostProgressMessage() override;
  void SetFlashText(std::string_view text) override;

 private:
  void Run();
  void Post(UINT message, WPARAM wparam);

  WizardContext& context_;
  HWND page_;
  bool continuous_mode_;
  std::thread thread_;
};

}  // namespace qv::winui
