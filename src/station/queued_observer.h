#pragma once

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>

#include "station/station_events.h"

namespace qv::station {

// A StationObserver in front of another that never lets its caller wait on the other: every
// event is put on a queue and handed on by one thread of its own. A device thread therefore
// goes on writing its flash while a terminal is stopped (Ctrl-S, a console selection) or a
// pipe is not read. When the drawing falls behind, only the latest progress of each slot (its
// status, percent, remaining time) waits to be drawn; every other event, a unit's end above all,
// is handed on, in order.
class QueuedObserver final : public StationObserver {
 public:
  explicit QueuedObserver(StationObserver& inner);
  // Hands on what is still queued, then ends the thread.
  ~QueuedObserver() override;
  QueuedObserver(const QueuedObserver&) = delete;
  QueuedObserver& operator=(const QueuedObserver&) = delete;

  // Waits until everything queued so far has been handed on.
  void Drain();

  void SlotAdded(int slot, const std::string& label) override;
  void SlotRemoved(int slot) override;
  void UnitStarted(const UnitStart& start) override;
  void Status(int slot, std::string_view text) override;
  void Percent(int slot, uint32_t percent) override;
  void Remaining(int slot, uint32_t ms) override;
  void FlashText(int slot, std::string_view text) override;
  void Area(int slot, std::string_view area) override;
  void Message(std::string_view text, std::string_view detail) override;
  void Question(const StationQuestion& question) override;
  void UnitFinished(const UnitEnd& end) override;
  void Notice(NoticeKind kind, std::string_view text) override;
  void DeviceNotTaken(DiscoveryMiss miss, const std::string& label) override;
  void Summary(const RecordSummary& summary, bool aborted) override;

  // Queued events past which a slot's progress replaces its older progress still queued.
  static constexpr std::size_t kCoalesceAfter = 64;

 private:
  // Progress of one slot that a newer one of the same kind makes stale.
  enum class Progress { kNone, kStatus, kPercent, kRemaining };
  struct Event {
    Progress progress = Progress::kNone;
    int slot = -1;
    std::function<void(StationObserver&)> deliver;
  };

  void Post(Event event);
  void Serve();

  StationObserver& inner_;
  std::mutex mutex_;
  std::condition_variable changed_;
  std::deque<Event> queue_;
  uint64_t posted_ = 0;     // events put on the queue, ever
  uint64_t delivered_ = 0;  // events handed on or replaced, ever
  bool ending_ = false;
  std::thread drawer_;
};

}  // namespace qv::station
