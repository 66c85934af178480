#pragma once

#include <deque>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "platform/dialogs.h"

namespace qv::test {

// Records every message and question; questions are answered from a script (default: No).
class RecordingDialogs final : public Dialogs {
 public:
  void ShowMessage(std::string_view text) override {
    std::lock_guard lock(mutex_);
    messages_.emplace_back(text);
  }
  [[nodiscard]] bool AskYesNo(std::string_view text) override {
    std::lock_guard lock(mutex_);
    questions_.emplace_back(text);
    if (answers_.empty()) return false;
    bool answer = answers_.front();
    answers_.pop_front();
    return answer;
  }
  void QueueAnswer(bool yes) {
    std::lock_guard lock(mutex_);
    answers_.push_back(yes);
  }
  [[nodiscard]] std::vector<std::string> messages() const {
    std::lock_guard lock(mutex_);
    return messages_;
  }
  [[nodiscard]] std::vector<std::string> questions() const {
    std::lock_guard lock(mutex_);
    return questions_;
  }

 private:
  mutable std::mutex mutex_;
  std::vector<std::string> messages_;
  std::vector<std::string> questions_;
  std::deque<bool> answers_;
};

}  // namespace qv::test
