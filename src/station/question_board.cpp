#include "station/question_board.h"

namespace qv::station {

bool QuestionBoard::Ask(StationObserver& observer, int slot, const std::string& label,
                        const std::string& text, const AbortSwitch& abort) {
  uint64_t id = 0;
  {
    std::lock_guard lock(mutex_);
    if (closed_ || abort.thrown()) return false;
    id = next_id_++;
    open_[id] = std::nullopt;
  }
  // Outside the lock: the observer may answer at once.
  observer.Question(StationQuestion{id, slot, label, text});
  std::unique_lock lock(mutex_);
  changed_.wait(lock, [&] { return open_[id].has_value() || closed_ || abort.thrown(); });
  const bool yes = open_[id].value_or(false);
  open_.erase(id);
  return yes;
}

bool QuestionBoard::Answer(uint64_t id, bool yes) {
  {
    std::lock_guard lock(mutex_);
    const auto found = open_.find(id);
    if (found == open_.end() || found->second.has_value() || closed_) return false;
    found->second = yes;
  }
  changed_.notify_all();
  return true;
}

bool QuestionBoard::IsOpen(uint64_t id) const {
  std::lock_guard lock(mutex_);
  const auto found = open_.find(id);
  return found != open_.end() && !found->second.has_value() && !closed_;
}

void QuestionBoard::Close() {
  {
    std::lock_guard lock(mutex_);
    closed_ = true;
  }
  changed_.notify_all();
}

void QuestionBoard::Wake() {
  // Taking the lock orders the wake after a waiter's check of its switch.
  { std::lock_guard lock(mutex_); }
  changed_.notify_all();
}

}  // namespace qv::station
