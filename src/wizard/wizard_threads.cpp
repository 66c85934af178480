#include "wizard/wizard_threads.h"

#include <system_error>

namespace qv {

bool WizardThreads::RunOnWorker(Task task) {
  JoinWorker();
  try {
    worker_ = std::thread(std::move(task));
  } catch (const std::system_error&) {
    return false;
  }
  return true;
}

void WizardThreads::JoinWorker() {
  if (worker_.joinable()) worker_.join();
}

}  // namespace qv
