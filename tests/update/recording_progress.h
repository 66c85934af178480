#pragma once

#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "update/progress_context.h"

namespace qv::test {

// Records every status text, every posted percentage and the flash text.
class RecordingProgress final : public ProgressContext {
 public:
  void SetStatusText(std::string_view text) override {
    std::lock_guard lock(mutex_);
    statuses_.emplace_back(text);
  }
  void PostProgressMessage() override {
    std::lock_guard lock(mutex_);
    posted_.push_back(percent.load());
  }
  void SetFlashText(std::string_view text) override {
    std::lock_guard lock(mutex_);
    flash_text_ = text;
  }
  [[nodiscard]] std::vector<std::string> statuses() const {
    std::lock_guard lock(mutex_);
    return statuses_;
  }
  [[nodiscard]] std::vector<uint32_t> posted() const {
    std::lock_guard lock(mutex_);
    return posted_;
  }
  [[nodiscard]] std::string flash_text() const {
    std::lock_guard lock(mutex_);
    return flash_text_;
  }

 private:
  mutable std::mutex mutex_;
  std::vector<std::string> statuses_;
  std::vector<uint32_t> posted_;
  std::string flash_text_;
};

}  // namespace qv::test
