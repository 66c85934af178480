#include "station/queued_observer.h"

#include <utility>

#include "platform/console.h"

namespace qv::station {

QueuedObserver::QueuedObserver(StationObserver& inner) : inner_(inner) {
  // The drawing thread takes no stop signal: those belong to the station's own thread.
  drawer_ = StartThreadWithoutStopRequests([this] { Serve(); });
}

QueuedObserver::~QueuedObserver() {
  {
    std::lock_guard lock(mutex_);
    ending_ = true;
  }
  changed_.notify_all();
  if (drawer_.joinable()) drawer_.join();
}

void QueuedObserver::Drain() {
  std::unique_lock lock(mutex_);
  const uint64_t target = posted_;
  changed_.wait(lock, [&] { return delivered_ >= target; });
}

void QueuedObserver::Post(Event event) {
  {
    std::lock_guard lock(mutex_);
    ++posted_;
    if (event.progress != Progress::kNone && queue_.size() >= kCoalesceAfter) {
      // Behind: the slot's older progress of this kind is stale before it is drawn, unless an
      // event that must keep its place (the unit's end, a message) comes after it.
      for (auto queued = queue_.rbegin(); queued != queue_.rend(); ++queued) {
        if (queued->progress == Progress::kNone &&
            (queued->slot == event.slot || queued->slot < 0)) {
          break;
        }
        if (queued->progress == event.progress && queued->slot == event.slot) {
          *queued = std::move(event);
          ++delivered_;
          changed_.notify_all();
          return;
        }
      }
    }
    queue_.push_back(std::move(event));
  }
  changed_.notify_all();
}

void QueuedObserver::Serve() {
  std::unique_lock lock(mutex_);
  for (;;) {
    changed_.wait(lock, [&] { return ending_ || !queue_.empty(); });
    if (queue_.empty()) return;  // ending, and nothing left to hand on
    Event event = std::move(queue_.front());
    queue_.pop_front();
    lock.unlock();
    event.deliver(inner_);
    lock.lock();
    ++delivered_;
    changed_.notify_all();
  }
}

void QueuedObserver::SlotAdded(int slot, const std::string& label) {
  Post({Progress::kNone, slot, [=](StationObserver& o) { o.SlotAdded(slot, label); }});
}

void QueuedObserver::SlotRemoved(int slot) {
  Post({Progress::kNone, slot, [=](StationObserver& o) { o.SlotRemoved(slot); }});
}

void QueuedObserver::UnitStarted(const UnitStart& start) {
  Post({Progress::kNone, start.slot, [=](StationObserver& o) { o.UnitStarted(start); }});
}

void QueuedObserver::Status(int slot, std::string_view text) {
  Post({Progress::kStatus, slot,
        [slot, text = std::string(text)](StationObserver& o) { o.Status(slot, text); }});
}

void QueuedObserver::Percent(int slot, uint32_t percent) {
  Post({Progress::kPercent, slot, [=](StationObserver& o) { o.Percent(slot, percent); }});
}

void QueuedObserver::Remaining(int slot, uint32_t ms) {
  Post({Progress::kRemaining, slot, [=](StationObserver& o) { o.Remaining(slot, ms); }});
}

void QueuedObserver::FlashText(int slot, std::string_view text) {
  Post({Progress::kNone, slot,
        [slot, text = std::string(text)](StationObserver& o) { o.FlashText(slot, text); }});
}

void QueuedObserver::Area(int slot, std::string_view area) {
  Post({Progress::kNone, slot,
        [slot, area = std::string(area)](StationObserver& o) { o.Area(slot, area); }});
}

void QueuedObserver::Message(std::string_view text, std::string_view detail) {
  Post({Progress::kNone, -1,
        [text = std::string(text), detail = std::string(detail)](StationObserver& o) {
          o.Message(text, detail);
        }});
}

void QueuedObserver::Question(const StationQuestion& question) {
  Post({Progress::kNone, question.slot, [=](StationObserver& o) { o.Question(question); }});
}

void QueuedObserver::UnitFinished(const UnitEnd& end) {
  Post({Progress::kNone, end.slot, [=](StationObserver& o) { o.UnitFinished(end); }});
}

void QueuedObserver::Notice(NoticeKind kind, std::string_view text) {
  Post({Progress::kNone, -1,
        [kind, text = std::string(text)](StationObserver& o) { o.Notice(kind, text); }});
}

void QueuedObserver::DeviceNotTaken(DiscoveryMiss miss, const std::string& label) {
  Post({Progress::kNone, -1, [=](StationObserver& o) { o.DeviceNotTaken(miss, label); }});
}

void QueuedObserver::Summary(const RecordSummary& summary, bool aborted) {
  Post({Progress::kNone, -1, [=](StationObserver& o) { o.Summary(summary, aborted); }});
}

}  // namespace qv::station
