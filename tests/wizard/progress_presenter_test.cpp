// The progress page's flow, without a toolkit: its states from the run's start to its end, the
// done check, continuous mode's poll over a simulated bus, Other device, and what ends a page.
#include "wizard/progress_presenter.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "fake_clock.h"
#include "fake_progress_page.h"
#include "in_process_mutexes.h"
#include "package/package_store.h"
#include "platform/random.h"
#include "recording_dialogs.h"
#include "scripted_run.h"
#include "sim/sim_bus.h"
#include "update/update_texts.h"

namespace qv {
namespace {

struct PageRig {
  explicit PageRig(RunResult result, int32_t continuous = 1) {
    context.run = test::ScriptedRun(result);
    context.continuous_mode = continuous;
  }
  // The page as the wizard opens it, its run delivered and, when asked, its done check made.
  std::unique_ptr<ProgressPresenter> Open(bool finish = true) {
    auto page = std::make_unique<ProgressPresenter>(context, fake, fake);
    page->Begin();
    if (finish) {
      fake.DeliverPosted();
      page->OnTimer(PageTimer::kDoneCheck);
    }
    return page;
  }

  test::FakeClock clock;
  sim::SimBus bus{clock};
  test::InProcessMutexes mutexes;
  RuntimeRandom random;
  test::RecordingDialogs dialogs;
  PackageStore store;
  HidLink link{bus, mutexes, clock};
  WizardContext context{.link = link,
                        .store = store,
                        .dialogs = dialogs,
                        .clock = clock,
                        .random = random,
                        .run = {},
                        .timings = {},
                        .poll = DevicePoll(),
                        .continuous_mode = 1,
                        .device_rules = {}};
  test::FakeProgressPage fake;
};

enum class Bus { kNone, kPlug, kUnplug, kSwap };

struct PollCase {
  const char* name;
  RunResult result;
  DevicePoll::Counters start;
  std::vector<Bus> before_ticks;  // one change of the bus before each tick
  int hand_over_at;               // the tick (from 1) that hands over; 0: none
};

TEST(ProgressPresenter, ContinuousModePollsUnderTheRules) {
  using B = Bus;
  const std::vector<PollCase> cases = {
      {"success, device left in", RunResult::kSucceeded, {0, 0, true},
       {B::kNone, B::kNone, B::kNone, B::kNone, B::kNone, B::kNone}, 0},
      {"success, swapped within two ticks", RunResult::kSucceeded, {0, 0, true},
       {B::kSwap, B::kNone, B::kNone, B::kNone, B::kNone, B::kNone}, 0},
      {"success, unplugged two ticks, then a device", RunResult::kSucceeded, {0, 0, true},
       {B::kUnplug, B::kNone, B::kPlug, B::kNone, B::kNone, B::kNone}, 5},
      {"failure, device left in, page from Start", RunResult::kFailed, {0, 0, true},
       {B::kNone, B::kNone, B::kNone}, 3},
      {"failure, device left in, page from the poll", RunResult::kFailed, {3, 0, true},
       {B::kNone}, 1},
      {"seen once, missed, then three fresh sightings", RunResult::kSucceeded, {0, 0, true},
       {B::kUnplug, B::kNone, B::kPlug, B::kUnplug, B::kPlug, B::kNone, B::kNone}, 7},
  };
  for (const PollCase& c : cases) {
    SCOPED_TRACE(c.name);
    PageRig rig(c.result);
    auto device = rig.bus.Plug();
    rig.context.poll = DevicePoll(DevicePoll::Rules{}, c.start);
    auto page = rig.Open();
    ASSERT_TRUE(page->polling());
    EXPECT_TRUE(rig.fake.poll);
    int handed_over_at = 0;
    for (std::size_t i = 0; i < c.before_ticks.size() && handed_over_at == 0; ++i) {
      if (c.before_ticks[i] == Bus::kPlug) device = rig.bus.Plug();
      if (c.before_ticks[i] == Bus::kUnplug) rig.bus.Unplug(device);
      if (c.before_ticks[i] == Bus::kSwap) device = rig.bus.Replace(device);
      page->OnTimer(PageTimer::kPoll);
      if (page->ended()) handed_over_at = static_cast<int>(i) + 1;
    }
    EXPECT_EQ(handed_over_at, c.hand_over_at);
    if (handed_over_at != 0) {
      EXPECT_EQ(rig.fake.outcome, kPageHandOver);
      EXPECT_FALSE(rig.fake.poll) << "the poll stops with the page";
      EXPECT_TRUE(rig.context.poll.counters().handled);
      EXPECT_TRUE(rig.link.Connected()) << "the next page's run starts with the device taken";
    } else {
      EXPECT_TRUE(page->polling());
      EXPECT_FALSE(rig.fake.outcome.has_value());
    }
  }
}

TEST(ProgressPresenter, ADeviceLeftInAfterSuccessIsReleasedAtEveryTick) {
  PageRig rig(RunResult::kSucceeded);
  rig.bus.Plug();
  auto page = rig.Open();
  for (int tick = 0; tick < 5; ++tick) {
    page->OnTimer(PageTimer::kPoll);
    EXPECT_FALSE(rig.link.Connected());
    EXPECT_EQ(rig.mutexes.held(kDeviceMutexName), 0);
  }
  EXPECT_EQ(rig.context.poll.counters().seen, 0u);
}

TEST(ProgressPresenter, TheDoneCheckLeadsToQuitOrToThePoll) {
  for (const int32_t continuous : {0, 1}) {
    SCOPED_TRACE(continuous);
    PageRig rig(RunResult::kSucceeded, continuous);
    rig.bus.Plug();
    auto page = rig.Open(false);
    // Running: the bar at 0, Quit and Other device disabled, Other device shown only in
    // continuous mode.
    EXPECT_EQ(rig.fake.percents.front(), 0);
    EXPECT_FALSE(rig.fake.quit_enabled);
    EXPECT_FALSE(rig.fake.other_device_enabled);
    EXPECT_EQ(rig.fake.other_device_shown, continuous == 1);
    rig.fake.DeliverPosted();
    // Finishing: the final text, the done check's timer.
    EXPECT_TRUE(page->run_done());
    EXPECT_TRUE(rig.fake.done_check);
    EXPECT_FALSE(rig.fake.quit_enabled);
    page->OnTimer(PageTimer::kDoneCheck);
    EXPECT_FALSE(rig.fake.done_check);
    EXPECT_TRUE(rig.fake.quit_enabled);
    if (continuous == 1) {
      EXPECT_EQ(rig.fake.prompt, text::kNextDevicePrompt);
      EXPECT_TRUE(rig.fake.other_device_enabled);
      EXPECT_EQ(rig.fake.focus, "other device");
      EXPECT_TRUE(rig.fake.poll);
    } else {
      EXPECT_EQ(rig.fake.prompt, "");
      EXPECT_FALSE(rig.fake.other_device_enabled);
      EXPECT_EQ(rig.fake.focus, "quit");
      EXPECT_FALSE(rig.fake.poll);
      EXPECT_FALSE(page->polling());
    }
    page->OnCloseRequest();
    EXPECT_EQ(rig.fake.outcome, kPageEnded);
  }
}

TEST(ProgressPresenter, FinalTextsAndTheSoundAfterTheText) {
  struct Case {
    RunResult result;
    const char* text;
    std::size_t sounds;
  };
  for (const Case& c : {Case{RunResult::kSucceeded, text::kSuccess, 1},
                        Case{RunResult::kFailed, text::kFailure, 0}}) {
    SCOPED_TRACE(c.text);
    PageRig rig(c.result);
    rig.context.run = [&c](UpdateEnvironment&, ProgressContext& progress) {
      progress.SetStatusText("Updata faile ,please try again !");
      progress.SetFlashText("Flash:C216");
      return c.result;
    };
    auto page = rig.Open();
    EXPECT_EQ(rig.fake.status, c.text);
    ASSERT_EQ(rig.fake.status_at_sound.size(), c.sounds);
    if (c.sounds > 0) {
      EXPECT_EQ(rig.fake.status_at_sound.front(), c.text);
    }
    EXPECT_EQ(page->flash_text(), "Flash:C216");
  }
}

// The percent is the value when posted, shown in order; on success the bar ends full.
TEST(ProgressPresenter, TheBarShowsEachPercentAsPosted) {
  PageRig rig(RunResult::kSucceeded);
  rig.context.run = [](UpdateEnvironment&, ProgressContext& progress) {
    progress.percent = 30;
    progress.PostProgressMessage();
    progress.percent = 70;  // moved on, not posted
    progress.percent = 50;
    progress.PostProgressMessage();
    progress.percent = 250;  // out of range: shown as 100
    progress.PostProgressMessage();
    return RunResult::kSucceeded;
  };
  rig.Open();
  EXPECT_EQ(rig.fake.percents, (std::vector<int>{0, 30, 50, 100, 100}));
}

TEST(ProgressPresenter, NothingEndsThePageWhileItsRunIsGoing) {
  PageRig rig(RunResult::kSucceeded);
  auto page = rig.Open(false);
  page->OnCloseRequest();
  page->OnOtherDevice();
  page->OnTimer(PageTimer::kPoll);
  page->OnTimer(PageTimer::kDoneCheck);
  EXPECT_FALSE(page->ended());
  EXPECT_FALSE(rig.fake.outcome.has_value());
  rig.fake.DeliverPosted();
  page->OnTimer(PageTimer::kDoneCheck);
  page->OnCloseRequest();
  EXPECT_EQ(rig.fake.outcome, kPageEnded);
}

// Whatever the user does while the run's end is on its way, a declined run ends the page as
// declined, with no final text and no sound.
TEST(ProgressPresenter, ADeclinedRunEndsThePageAsDeclined) {
  PageRig rig(RunResult::kDeclined);
  rig.context.run = [](UpdateEnvironment&, ProgressContext&) { return RunResult::kDeclined; };
  auto page = rig.Open(false);
  page->OnCloseRequest();
  EXPECT_FALSE(page->ended());
  rig.fake.DeliverPosted();
  EXPECT_TRUE(page->run_declined());
  EXPECT_EQ(rig.fake.outcome, kPageDeclined);
  EXPECT_EQ(rig.fake.status, "Progress:");
  EXPECT_TRUE(rig.fake.status_at_sound.empty());
  EXPECT_FALSE(rig.fake.done_check);
}

TEST(ProgressPresenter, OtherDeviceTakesADeviceOrSaysThereIsNone) {
  PageRig rig(RunResult::kSucceeded);
  auto device = rig.bus.Plug();
  auto page = rig.Open();
  rig.bus.Unplug(device);
  page->OnOtherDevice();
  EXPECT_EQ(rig.fake.messages, std::vector<std::string>{text::kNoDevice});
  EXPECT_FALSE(page->ended());
  EXPECT_TRUE(page->polling()) << "the poll goes on after the message";

  rig.bus.Plug();
  const DevicePoll::Counters before = rig.context.poll.counters();
  page->OnOtherDevice();
  EXPECT_EQ(rig.fake.outcome, kPageHandOver);
  EXPECT_TRUE(rig.link.Connected());
  // A run started by Other device is no sighting of the poll's.
  EXPECT_EQ(rig.context.poll.counters().seen, before.seen);
  EXPECT_EQ(rig.context.poll.counters().missed, before.missed);
  EXPECT_EQ(rig.context.poll.counters().handled, before.handled);
}

// Other device while the device is not handled: the next page's poll counts the same device
// and runs it again at its third sighting.
TEST(ProgressPresenter, OtherDeviceWhileNotHandledRunsTheSameDeviceAgain) {
  PageRig rig(RunResult::kSucceeded);
  rig.bus.Plug();
  rig.context.poll = DevicePoll(DevicePoll::Rules{}, {0, 2, false});
  {
    auto first = rig.Open();
    first->OnOtherDevice();
    EXPECT_EQ(rig.fake.outcome, kPageHandOver);
  }
  EXPECT_FALSE(rig.context.poll.counters().handled);
  rig.fake.outcome.reset();
  auto second = rig.Open();
  second->OnTimer(PageTimer::kPoll);
  second->OnTimer(PageTimer::kPoll);
  EXPECT_FALSE(second->ended());
  second->OnTimer(PageTimer::kPoll);
  EXPECT_EQ(rig.fake.outcome, kPageHandOver);
  EXPECT_TRUE(rig.context.poll.counters().handled);
}

// A worker that cannot start: the device is let go and the page goes on as after a failed run.
TEST(ProgressPresenter, AWorkerThatCannotStartEndsAsAFailedRun) {
  PageRig rig(RunResult::kSucceeded, 0);
  rig.bus.Plug();
  ASSERT_NE(rig.link.Discover(), 0) << "no device";
  rig.fake.can_start_worker = false;
  auto page = rig.Open();
  EXPECT_FALSE(rig.link.Connected());
  EXPECT_TRUE(page->run_done());
  EXPECT_FALSE(page->run_succeeded());
  EXPECT_EQ(rig.fake.status, text::kFailure);
  EXPECT_TRUE(rig.fake.quit_enabled);
}

}  // namespace
}  // namespace qv
