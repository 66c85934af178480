#pragma once

#include <condition_variable>
#include <cstdint>
#include <map>
#include <mutex>
#include <optional>
#include <string>

#include "station/abort_switch.h"
#include "station/station_events.h"

namespace qv::station {

// The questions of a station's runs that wait for their answer. A run's thread asks and waits
// on the board alone, holding no other lock, so every other run goes on meanwhile; the owner
// answers from any thread. Once closed (a stop), every open question and every later one is
// answered No.
class QuestionBoard {
 public:
  // Puts the question to the observer and waits for its answer: false when it was answered No,
  // the board was closed, or `abort` was thrown.
  [[nodiscard]] bool Ask(StationObserver& observer, int slot, const std::string& label,
                         const std::string& text, const AbortSwitch& abort);
  // False when the question is no longer open (answered, or answered No by a stop).
  bool Answer(uint64_t id, bool yes);
  [[nodiscard]] bool IsOpen(uint64_t id) const;
  // Answers every open question No, and every later one at once.
  void Close();
  // Wakes the waiting runs, so that one whose abort switch was thrown stops waiting.
  void Wake();

 private:
  mutable std::mutex mutex_;
  std::condition_variable changed_;
  std::map<uint64_t, std::optional<bool>> open_;
  uint64_t next_id_ = 1;
  bool closed_ = false;
};

}  // namespace qv::station
