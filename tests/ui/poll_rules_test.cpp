// The Qt progress page over its presenter: what needs real widgets, keys and threads (the
// prompt's fit, buttons shown and hidden, Escape, Enter and the close box while running, the
// queued percent, a page torn down while its worker waits). The page's flow and the poll rules
// themselves are tested once, without a toolkit, in tests/wizard.
#include <QCheckBox>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QThread>
#include <atomic>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "ui/object_thread_call.h"
#include "ui/progress_page.h"
#include "update/update_texts.h"
#include "wizard_fixture.h"
#include "scripted_run.h"

using namespace qv;
using namespace qv::test;

namespace {

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

struct PageRig {
  explicit PageRig(RunResult result, int32_t continuous = 1) {
    context.run = ScriptedRun(result);
    context.continuous_mode = continuous;
  }
  WizardRig rig;
  PackageStore store;
  HidLink link{rig.bus, rig.mutexes, rig.clock};
  WizardContext context{.link = link,
                        .store = store,
                        .dialogs = rig.dialogs,
                        .clock = rig.clock,
                        .random = rig.random,
                        .run = RunFunction{},
                        .timings = PageTimings{60000, 60000},
                        .poll = DevicePoll(),
                        .continuous_mode = 1,
                        .device_rules = {}};
};

// Waits for the worker and runs the done check, so the page is polling (continuous mode).
void FinishRun(ProgressPage& page) {
  QTRY_VERIFY_WITH_TIMEOUT(page.run_done(), 10000);
  QTRY_VERIFY(page.done_check_running());
  page.OnDoneCheck();
}

}  // namespace

class PollRulesTest : public QObject {
  Q_OBJECT
 private slots:
  void otherDevice();
  void normalModeFinishesWithoutPolling();
  void endingIsRefusedWhileRunning();
  void progressMessageCarriesThePercentPosted();
  void finalTextsAndSound_data();
  void finalTextsAndSound();
  void declinedRunEndsThePageAsDeclined_data();
  void declinedRunEndsThePageAsDeclined();
  void pageOutlivesItsWorker();
};

void PollRulesTest::otherDevice() {
  PageRig p(RunResult::kSucceeded);
  auto device = p.rig.bus.Plug();
  ProgressPage page(p.context, p.rig.sound);
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

void PollRulesTest::normalModeFinishesWithoutPolling() {
  PageRig p(RunResult::kSucceeded, 0);
  p.context.continuous_mode = 0;
  p.rig.bus.Plug();
  ProgressPage page(p.context, p.rig.sound);
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
  ProgressPage page(p.context, p.rig.sound);
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
  ProgressPage page(p.context, p.rig.sound);
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
  ProgressPage page(p.context, p.rig.sound);
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
  p.context.run = [](UpdateEnvironment&, ProgressContext&) { return RunResult::kDeclined; };
  ProgressPage page(p.context, p.rig.sound);
  page.show();
  // Wait without handling events, so the run's end is on its way when the input arrives.
  while (!page.worker_finished()) std::this_thread::yield();
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
  { ProgressPage page(p.context, p.rig.sound); }
  QVERIFY(served.load());
  QVERIFY(finished.load());
}

QTEST_MAIN(PollRulesTest)
#include "poll_rules_test.moc"
