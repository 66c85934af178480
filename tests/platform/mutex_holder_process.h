#pragma once

#include <chrono>
#include <string>
#include <thread>

#include "child_process.h"
#include "platform/host.h"
#include "temp_folder.h"

namespace qv::test {

// Runs the named-mutex holder helper as a second process and reads what it did.
class MutexHolderProcess {
 public:
  MutexHolderProcess(const std::string& helper, const std::string& name)
      : holder_({helper, name}, {}, output_.path()) {
    // The helper says what it did in one line, then holds the name until it is killed.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (holder_.started() && std::chrono::steady_clock::now() < deadline) {
      const std::string out = holder_.Stdout();
      if (const std::size_t end = out.find('\n'); end != std::string::npos) {
        status_ = out.substr(0, end);
        return;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
  }

  // "created", "exists" or "failed"; empty when the helper did not start or said nothing.
  const std::string& status() const { return status_; }

  // Ends the holder the hard way, as a crash would, and waits until it is gone.
  void Kill() { holder_.Kill(); }

 private:
  TempFolder output_{"qv_mutex_holder"};
  ChildProcess holder_;
  std::string status_;
};

// A name no other test run or updater uses, so parallel runs do not meet.
inline std::string UniqueMutexName(const std::string& base) {
  return base + "-test-" + std::to_string(ProcessId());
}

}  // namespace qv::test
