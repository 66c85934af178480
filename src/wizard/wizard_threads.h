#pragma once

#include <functional>
#include <thread>

namespace qv {

// The two threads a progress page uses, as a toolkit provides them: the worker that runs the
// update, and the user-interface thread every page lives on.
class WizardThreads {
 public:
  using Task = std::function<void()>;
  virtual ~WizardThreads() { JoinWorker(); }

  // Runs task on a thread of its own; false when no thread could be started (nothing ran).
  [[nodiscard]] virtual bool RunOnWorker(Task task);
  // Waits until the worker's task has returned.
  virtual void JoinWorker();

  // From the worker: runs task on the user-interface thread, after everything posted before it.
  // Post returns at once; Send returns once the task has run.
  virtual void PostToUi(Task task) = 0;
  virtual void SendToUi(Task task) = 0;

 private:
  std::thread worker_;
};

}  // namespace qv
