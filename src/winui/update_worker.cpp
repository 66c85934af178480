#include "winui/update_worker.h"

#include <string>
#include <system_error>

#include "platform/windows_text.h"
#include "update/update_run.h"
#include "winui/wizard_messages.h"

namespace qv::winui {

UpdateWorker::UpdateWorker(WizardContext& context, HWND page)
    : context_(context), page_(page), continuous_mode_(context.continuous_mode == 1) {}

UpdateWorker::~UpdateWorker() {
  Join();
}

bool UpdateWorker::Start() {
  try {
    thread_ = std::thread([this] { Run(); });
  } catch (const std::system_error&) {
    return false;
  }
  return true;
}

void UpdateWorker::Join() {
  if (thread_.joinable()) thread_.join();
}

void UpdateWorker::Run() {
  percent.store(0);
  remaining_time_ms = 0;
  UpdateEnvironment env{context_.link,  context_.store,  context_.dialogs,
                        context_.clock, context_.random, continuous_mode_};
  const RunResult result = RunUpdate(env, *this);
  if (result == RunResult::kSucceeded) {
    // The run's own steps fill the bar when the areas fill the package; a package with less
    // than 1 KiB after its header, or with data outside its areas, leaves it short of full.
    percent.store(100);
    PostProgressMessage();
  }
  Post(kRunFinishedMessage, static_cast<WPARAM>(result));
}

// A posted message is lost only when the page's queue is full; the run's end must arrive, so
// it is posted again until it fits (the page outlives this thread, see Join).
void UpdateWorker::Post(UINT message, WPARAM wparam) {
  while (!PostMessageW(page_, message, wparam, 0)) {
    if (!IsWindow(page_)) return;
    Sleep(10);
  }
}

void UpdateWorker::SetStatusText(std::string_view text) {
  const std::wstring wide = WideFromUtf8(text);
  SendMessageW(page_, kStatusTextMessage, 0, reinterpret_cast<LPARAM>(&wide));
}

void UpdateWorker::PostProgressMessage() {
  const uint32_t value = percent.load();
  // Progress may skip a step when the queue is full; the next one carries the newer value.
  PostMessageW(page_, kProgressMessage, value > 100 ? 100 : value, 0);
}

void UpdateWorker::SetFlashText(std::string_view text) {
  const std::wstring wide = WideFromUtf8(text);
  SendMessageW(page_, kFlashTextMessage, 0, reinterpret_cast<LPARAM>(&wide));
}

}  // namespace qv::winui
