// The device poll and the progress page's states: the poll rules as bus scripts against a page,
// Other device, Quit while running, the progress message.
#include <QCheckBox>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QThread>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "ui/object_thread_call.h"
#include "ui/progress_page.h"
#include "update/update_texts.h"
#include "wizard_fixture.h"

using namespace qv;
using namespace qv::test;

namespace {

// A run that takes the device and lets it go, as a real run does, with a fixed outcome.
RunFunction ScriptedRun(RunResult result) {
  return [result](UpdateEnvironment& env, ProgressContext& progress) {
    env.link.Discover();
    progress.percent = 100;
    progress.PostProgressMessage();
    env.link.Release();
    return env.link.Connected() ? RunResult::kFailed : result;
  };
}

// Runs an action when the scope ends, before the page declared earlier waits for its worker.
class Finally {
 public:
  explicit Finally(std::function<void()> action) : action_(std::move(action)) {}
  ~Finally() { action_(); }
  Finally(const Finally&) = delete;
  Finally& operator=(const Finally&) = delete;

 private:
  std::function<void()> action_;
};

// A bus whose enumerations can be held, standing for a discovery that takes long. It lets go
// by itself after 5 s, so that a test that waits on it from the wrong thread ends, and fails.
class GatedBus final : public HidBus {
 public:
  explicit GatedBus(HidBus& inner) : inner_(inner) {}
  void Hold() {
    std::lock_guard lock(mutex_);
    held_ = true;
  }
  void LetGo() {
    {
      std::lock_guard lock(mutex_);
      held_ = false;
    }
    changed_.notify_all();
  }
  [[nodiscard]] bool waiting() const { return waiting_.load(); }
  [[nodiscard]] bool let_go_by_itself() const { return let_go_by_itself_.load(); }

  bool Enumerate(uint16_t vendor_id, uint16_t product_id,
                 std::vector<HidInterfaceInfo>& out) override {
    {
      std::unique_lock lock(mutex_);
      waiting_ = held_;
      if (!changed_.wait_for(lock, std::chrono::seconds(5), [this] { return !held_; })) {
        let_go_by_itself_ = true;
        held_ = false;
      }
      waiting_ = false;
    }
    return inner_.Enumerate(vendor_id, product_id, out);
  }
  HidOpenResult OpenWithReason(const std::string& path) override {
    return inner_.OpenWithReason(path);
  }

 private:
  HidBus& inner_;
  std::mutex mutex_;
  std::condition_variable changed_;
  bool held_ = false;
  std::atomic<bool> waiting_{false};
  std::atomic<bool> let_go_by_itself_{false};
};

struct PageRig {
  explicit PageRig(RunResult result, int32_t continuous = 1) {
    context.run = ScriptedRun(result);
    context.continuous_mode = continuous;
  }
  WizardRig rig;
  GatedBus gate{rig.bus};
  PackageStore store;
  HidLink link{gate, rig.mutexes, rig.clock};
  WizardContext context{link,        store,     rig.dialogs,   rig.clock,
                        rig.random,  rig.sound, RunFunction{}, PageTimings{60000, 60000},
                        {},          1};
};

// Waits for the worker and runs the done check, so the page is polling (continuous mode).
void FinishRun(ProgressPage& page) {
  QTRY_VERIFY_WITH_TIMEOUT(page.run_done(), 10000);
  QTRY_VERIFY(page.done_check_running());
  page.OnDoneCheck();
}

// Waits, without handling this thread's events, until `thread` has handled every event it had
// when called: a marker object moved to that thread answers a call queued behind them, and is
// moved back before the answer.
void WaitForEventsOf(QThread* thread) {
  QObject marker;
  marker.moveToThread(thread);
  QThread* const home = QThread::currentThread();
  QMetaObject::invokeMethod(
      &marker, [&marker, home] { marker.moveToThread(home); }, Qt::BlockingQueuedConnection);
}

enum class BusAction { kNone, kPlug, kUnplug, kSwap };

struct TickScript {
  const char* name;
  RunResult result;
  DevicePoll::Counters start;
  std::vector<BusAction> before_ticks;  // one action before each tick
  int hand_over_at;                     // 1-based tick that hands over; 0 = never
};

}  // namespace

class PollRulesTest : public QObject {
  Q_OBJECT
 private slots:
  void busScriptsAgainstAPage_data();
  void busScriptsAgainstAPage();
  void deviceLeftInAfterSuccessIsReleasedEveryTick();
  void otherDevice();
  void otherDeviceWhileNotHandledRunsTheSameDeviceAgain();
  void normalModeFinishesWithoutPolling();
  void endingIsRefusedWhileRunning();
  void progressMessageCarriesThePercentPosted();
  void otherDeviceNeverBlocksTheUserInterface();
  void finalTextsAndSound_data();
  void finalTextsAndSound();
  void declinedRunEndsThePageAsDeclined_data();
  void declinedRunEndsThePageAsDeclined();
  void pageOutlivesItsWorker();
};

void PollRulesTest::busScriptsAgainstAPage_data() {
  QTest::addColumn<int>("row");
  QTest::newRow("success, device left in") << 0;
  QTest::newRow("success, swapped within two ticks") << 1;
  QTest::newRow("success, unplugged two ticks then a new one") << 2;
  QTest::newRow("failure, device left in, page from Start") << 3;
  QTest::newRow("failure, device left in, page from the poll") << 4;
  QTest::newRow("seen once, missed, then three fresh sightings") << 5;
}

void PollRulesTest::busScriptsAgainstAPage() {
  using A = BusAction;
  static const std::vector<TickScript> kScripts = {
      {"left in",
       RunResult::kSucceeded,
       {0, 0, true},
       {A::kNone, A::kNone, A::kNone, A::kNone, A::kNone, A::kNone},
       0},
      {"swap",
       RunResult::kSucceeded,
       {0, 0, true},
       {A::kSwap, A::kNone, A::kNone, A::kNone, A::kNone, A::kNone},
       0},
      {"replug",
       RunResult::kSucceeded,
       {0, 0, true},
       {A::kUnplug, A::kNone, A::kPlug, A::kNone, A::kNone, A::kNone},
       5},
      {"fail start", RunResult::kFailed, {0, 0, true}, {A::kNone, A::kNone, A::kNone}, 3},
      {"fail poll", RunResult::kFailed, {3, 0, true}, {A::kNone}, 1},
      {"seen once",
       RunResult::kSucceeded,
       {0, 0, true},
       {A::kUnplug, A::kNone, A::kPlug, A::kUnplug, A::kPlug, A::kNone, A::kNone},
       7},
  };
  QFETCH(int, row);
  const TickScript& script = kScripts[static_cast<size_t>(row)];
  PageRig p(script.result);
  auto device = p.rig.bus.Plug();
  p.context.poll.Replace(DevicePoll(DevicePoll::Rules{}, script.start));
  ProgressPage page(p.context);
  FinishRun(page);
  QVERIFY(page.poll_running());
  int handed_over_at = 0;
  for (size_t i = 0; i < script.before_ticks.size() && handed_over_at == 0; ++i) {
    switch (script.before_ticks[i]) {
      case BusAction::kNone:
        break;
      case BusAction::kPlug:
        device = p.rig.bus.Plug();
        break;
      case BusAction::kUnplug:
        p.rig.bus.Unplug(device);
        break;
      case BusAction::kSwap:
        device = p.rig.bus.Replace(device);
        break;
    }
    page.OnPollTick();
    if (page.ended()) handed_over_at = static_cast<int>(i) + 1;
  }
  QCOMPARE(handed_over_at, script.hand_over_at);
  if (handed_over_at != 0) {
    QCOMPARE(page.result(), int(kPageHandOver));
    QVERIFY(!page.poll_running());
    QVERIFY(p.context.poll.counters().handled);
    QVERIFY(p.link.Connected());  // the new page's run starts with the device taken
  } else {
    QVERIFY(page.poll_running());
  }
}

void PollRulesTest::deviceLeftInAfterSuccessIsReleasedEveryTick() {
  PageRig p(RunResult::kSucceeded);
  p.rig.bus.Plug();
  ProgressPage page(p.context);
  FinishRun(page);
  for (int tick = 0; tick < 5; ++tick) {
    page.OnPollTick();
    QVERIFY(!p.link.Connected());
    QCOMPARE(p.rig.mutexes.held(kDeviceMutexName), 0);
  }
  QCOMPARE(p.context.poll.counters().seen, 0u);
}

void PollRulesTest::otherDevice() {
  PageRig p(RunResult::kSucceeded);
  auto device = p.rig.bus.Plug();
  ProgressPage page(p.context);
  FinishRun(page);
  auto* other = page.findChild<QPushButton*>(QStringLiteral("other_device_button"));
  QVERIFY(other->isEnabled());
  auto* prompt = page.findChild<QLabel*>(QStringLiteral("next_device_prompt"));
  QCOMPARE(prompt->text(), QString::fromLatin1(text::kNextDevicePrompt));
  // The whole prompt fits, above the buttons.
  QVERIFY(prompt->heightForWidth(prompt->width()) <= prompt->height());
  QVERIFY(prompt->geometry().bottom() < other->geometry().top());

  p.rig.bus.Unplug(device);
  QTest::mouseClick(other, Qt::LeftButton);
  QTRY_COMPARE(p.rig.dialogs.messages(), std::vector<std::string>{text::kNoDevice});
  QVERIFY(!page.ended());
  QVERIFY(page.poll_running());
  QVERIFY(other->isEnabled());

  p.rig.bus.Plug();
  const DevicePoll::Counters before = p.context.poll.counters();
  QTest::mouseClick(other, Qt::LeftButton);
  QTRY_VERIFY(page.ended());
  QCOMPARE(page.result(), int(kPageHandOver));
  QVERIFY(p.link.Connected());
  QCOMPARE(p.context.poll.counters().seen, before.seen);
  QCOMPARE(p.context.poll.counters().missed, before.missed);
  QCOMPARE(p.context.poll.counters().handled, before.handled);
}

void PollRulesTest::otherDeviceWhileNotHandledRunsTheSameDeviceAgain() {
  PageRig p(RunResult::kSucceeded);
  auto device = p.rig.bus.Plug();
  p.context.poll.Replace(DevicePoll(DevicePoll::Rules{}, {0, 2, false}));  // the bus was empty twice
  {
    ProgressPage first(p.context);
    FinishRun(first);
    first.OnOtherDevice();
    QTRY_VERIFY(first.ended());
    QCOMPARE(first.result(), int(kPageHandOver));
  }
  QVERIFY(!p.context.poll.counters().handled);
  ProgressPage second(p.context);
  FinishRun(second);
  second.OnPollTick();
  second.OnPollTick();
  QVERIFY(!second.ended());
  second.OnPollTick();
  QCOMPARE(second.result(), int(kPageHandOver));
  QVERIFY(p.context.poll.counters().handled);
}

// Other device is a queued request to the worker, answered by a signal: the user-interface
// thread goes on while the discovery takes its time, and one request is out at a time.
void PollRulesTest::otherDeviceNeverBlocksTheUserInterface() {
  PageRig p(RunResult::kSucceeded);
  p.rig.bus.Plug();
  ProgressPage page(p.context);
  FinishRun(page);
  auto* other = page.findChild<QPushButton*>(QStringLiteral("other_device_button"));
  p.gate.Hold();
  QTest::mouseClick(other, Qt::LeftButton);
  QVERIFY(!p.gate.let_go_by_itself());
  QTRY_VERIFY(p.gate.waiting());
  QVERIFY(!other->isEnabled());
  QVERIFY(!page.ended());
  p.gate.LetGo();
  QTRY_VERIFY(page.ended());
  QCOMPARE(page.result(), int(kPageHandOver));
  QVERIFY(p.link.Connected());
  QVERIFY(!p.gate.let_go_by_itself());
}

void PollRulesTest::normalModeFinishesWithoutPolling() {
  PageRig p(RunResult::kSucceeded, 0);
  p.context.continuous_mode = 0;
  p.rig.bus.Plug();
  ProgressPage page(p.context);
  auto* other = page.findChild<QPushButton*>(QStringLiteral("other_device_button"));
  auto* quit = page.findChild<QPushButton*>(QStringLiteral("quit_button"));
  QVERIFY(other->isHidden());
  FinishRun(page);
  QVERIFY(other->isHidden());
  QVERIFY(quit->isEnabled());
  QVERIFY(!page.poll_running());
  QVERIFY(page.findChild<QLabel*>(QStringLiteral("next_device_prompt"))->text().isEmpty());
  QVERIFY(!page.ended());
  QTest::mouseClick(quit, Qt::LeftButton);
  QVERIFY(page.ended());
  QCOMPARE(page.result(), int(kPageEnded));
}

void PollRulesTest::endingIsRefusedWhileRunning() {
  PageRig p(RunResult::kSucceeded);
  std::atomic<bool> release{false};
  p.context.run = [&release](UpdateEnvironment&, ProgressContext&) {
    while (!release.load()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    return RunResult::kSucceeded;
  };
  ProgressPage page(p.context);
  const Finally let_go([&release] { release = true; });
  page.show();
  auto* quit = page.findChild<QPushButton*>(QStringLiteral("quit_button"));
  auto* other = page.findChild<QPushButton*>(QStringLiteral("other_device_button"));
  QVERIFY(!quit->isEnabled());
  QVERIFY(other->isVisible());
  QVERIFY(!other->isEnabled());
  QTest::keyClick(&page, Qt::Key_Escape);
  page.close();
  QTest::keyClick(&page, Qt::Key_Return);
  QVERIFY(page.isVisible());
  QVERIFY(!page.ended());
  release = true;
  FinishRun(page);
  QVERIFY(quit->isEnabled());
  QTest::keyClick(&page, Qt::Key_Escape);
  QVERIFY(page.ended());
  QCOMPARE(page.result(), int(kPageEnded));
}

// The progress signal carries the percent as it was when posted: the page never reads the
// worker's members, and shows every posted value in order.
void PollRulesTest::progressMessageCarriesThePercentPosted() {
  PageRig p(RunResult::kSucceeded);
  std::atomic<int> stage{0};
  p.context.run = [&stage](UpdateEnvironment&, ProgressContext& progress) {
    progress.percent = 30;
    progress.PostProgressMessage();
    progress.percent = 70;  // moved on, not posted
    stage = 1;
    while (stage.load() != 2) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    progress.percent = 50;
    progress.PostProgressMessage();
    return RunResult::kFailed;
  };
  ProgressPage page(p.context);
  auto* bar = page.findChild<QProgressBar*>(QStringLiteral("progress_bar"));
  QCOMPARE(bar->minimum(), 0);
  QCOMPARE(bar->maximum(), 100);
  QCOMPARE(bar->value(), 0);
  QSignalSpy shown(bar, &QProgressBar::valueChanged);
  const Finally let_go([&stage] { stage = 2; });  // a failed check must not strand the worker
  // Wait without handling events, so the message is still queued when percent moves on.
  while (stage.load() != 1) std::this_thread::yield();
  QTRY_COMPARE(bar->value(), 30);
  stage = 2;
  FinishRun(page);
  QCOMPARE(bar->value(), 50);
  QCOMPARE(shown.size(), 2);
  QCOMPARE(shown.at(0).at(0).toInt(), 30);
  QCOMPARE(shown.at(1).at(0).toInt(), 50);
}

void PollRulesTest::finalTextsAndSound_data() {
  QTest::addColumn<int>("result");
  QTest::addColumn<QString>("text");
  QTest::addColumn<int>("sounds");
  QTest::newRow("success") << int(RunResult::kSucceeded) << QString::fromLatin1(text::kSuccess) << 1;
  QTest::newRow("failure") << int(RunResult::kFailed) << QString::fromLatin1(text::kFailure) << 0;
}

void PollRulesTest::finalTextsAndSound() {
  QFETCH(int, result);
  QFETCH(QString, text);
  QFETCH(int, sounds);
  PageRig p(static_cast<RunResult>(result));
  p.context.run = [result](UpdateEnvironment&, ProgressContext& progress) {
    progress.SetStatusText("Updata faile ,please try again !");
    progress.SetFlashText("Flash:C216");
    return static_cast<RunResult>(result);
  };
  ProgressPage page(p.context);
  auto* status = page.findChild<QLabel*>(QStringLiteral("status_text"));
  QCOMPARE(status->text(), QStringLiteral("Progress:"));
  QString status_at_sound;
  p.rig.sound.on_request = [&] {
    // The sound is asked for only after the final text is shown.
    CallOnObjectThread(&page, [&] { status_at_sound = status->text(); });
  };
  FinishRun(page);
  QCOMPARE(status->text(), text);
  QCOMPARE(p.rig.sound.requests.load(), sounds);
  if (sounds > 0) QCOMPARE(status_at_sound, text);
  QCOMPARE(page.flash_text(), QStringLiteral("Flash:C216"));
  QVERIFY(page.findChild<QLabel*>(QStringLiteral("title_text"))->text().isEmpty());
}

// Whatever reaches the page between the worker's end and the page's own handling of it, a
// declined run ends the page as declined.
void PollRulesTest::declinedRunEndsThePageAsDeclined_data() {
  QTest::addColumn<QString>("meanwhile");
  QTest::newRow("nothing") << "";
  QTest::newRow("Escape") << "escape";
  QTest::newRow("close box") << "close";
  QTest::newRow("Enter") << "enter";
  QTest::newRow("Quit clicked") << "quit";
}

void PollRulesTest::declinedRunEndsThePageAsDeclined() {
  QFETCH(QString, meanwhile);
  PageRig p(RunResult::kDeclined);
  std::atomic<QThread*> worker{nullptr};
  p.context.run = [&worker](UpdateEnvironment&, ProgressContext&) {
    worker = QThread::currentThread();
    return RunResult::kDeclined;
  };
  ProgressPage page(p.context);
  page.show();
  // Wait without handling events, so the run's end is still queued when the input arrives: the
  // worker signals it as its run returns, before its thread handles its next event.
  while (worker.load() == nullptr) std::this_thread::yield();
  WaitForEventsOf(worker.load());
  if (meanwhile == QLatin1String("escape")) QTest::keyClick(&page, Qt::Key_Escape);
  if (meanwhile == QLatin1String("close")) page.close();
  if (meanwhile == QLatin1String("enter")) QTest::keyClick(&page, Qt::Key_Return);
  if (meanwhile == QLatin1String("quit")) {
    QTest::mouseClick(page.findChild<QPushButton*>(QStringLiteral("quit_button")),
                      Qt::LeftButton);
  }
  QVERIFY(!page.ended());
  QTRY_VERIFY(page.ended());
  QVERIFY(page.run_declined());
  QCOMPARE(page.result(), int(kPageDeclined));
  QCOMPARE(page.findChild<QLabel*>(QStringLiteral("status_text"))->text(),
           QStringLiteral("Progress:"));
  QCOMPARE(p.rig.sound.requests.load(), 0);
}

// A page destroyed while its worker still needs the user-interface thread (a status text, then
// a call that waits for that thread, as a message box does) serves those calls and joins the
// worker before it goes. This thread handles no events before the page goes, so only the page's
// teardown can serve the waiting call: the run is still going when the teardown begins.
void PollRulesTest::pageOutlivesItsWorker() {
  PageRig p(RunResult::kSucceeded);
  std::atomic<bool> served{false};
  std::atomic<bool> finished{false};
  p.context.run = [&](UpdateEnvironment&, ProgressContext& progress) {
    progress.SetStatusText("To updata ,please wait...");
    QMetaObject::invokeMethod(
        QCoreApplication::instance(), [&served] { served = true; },
        Qt::BlockingQueuedConnection);
    finished = true;
    return RunResult::kFailed;
  };
  { ProgressPage page(p.context); }
  QVERIFY(served.load());
  QVERIFY(finished.load());
}

QTEST_MAIN(PollRulesTest)
#include "poll_rules_test.moc"
