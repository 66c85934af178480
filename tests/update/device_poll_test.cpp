#include "update/device_poll.h"

#include <gtest/gtest.h>

#include <limits>
#include <string>

namespace qv {
namespace {

using Action = DevicePoll::Action;
using Counters = DevicePoll::Counters;

constexpr uint32_t kWizard = 0;  // no limit of failed runs
constexpr uint32_t kCommandLine = DevicePoll::kCommandLineMaxFailedRuns;

// Polls a script of sightings: '+' device found, '-' none. Returns the actions as letters:
// w wait, r release, S start; a start runs the device with the next outcome of `outcomes`
// ('y' success, 'n' failure; success once they run out).
std::string Drive(DevicePoll& poll, const std::string& script, std::string outcomes) {
  std::string actions;
  for (char c : script) {
    const Action action = poll.OnPoll(c == '+');
    if (action == Action::kWait) actions += 'w';
    if (action == Action::kRelease) actions += 'r';
    if (action == Action::kStartRun) {
      actions += 'S';
      const bool succeeded = outcomes.empty() || outcomes.front() == 'y';
      if (!outcomes.empty()) outcomes.erase(0, 1);
      poll.RunFinished(succeeded);
    }
  }
  return actions;
}

struct Case {
  const char* name;
  uint32_t max_failed_runs;
  Counters start;
  bool first_succeeded;  // the run that was in progress when polling began
  const char* script;
  const char* outcomes;
  const char* expected;
  bool handled_after;
};

TEST(DevicePoll, FollowsTheRulesWithAndWithoutTheFailureLimit) {
  const Counters fresh{};
  const Counters started_by_poll{3, 0, true};  // a page opened by the poll's hand-over
  const Counters bus_was_empty{0, 2, false};
  const Case cases[] = {
      // The rules both front ends share.
      {"updated device left plugged in is only released", kWizard, fresh, true, "++++", "",
       "rrrr", true},
      {"new device after two misses and three sightings", kWizard, fresh, true, "--+++", "",
       "wwwwS", true},
      {"one miss is not enough: the swap counts as the old device", kWizard, fresh, true, "-+++",
       "", "wrrr", true},
      {"a sighting broken by a miss starts counting again", kWizard, fresh, true, "--+-+++", "",
       "wwwwwwS", true},
      {"only misses forget the device", kWizard, fresh, false, "----", "", "wwww", false},
      {"failed first device is retried at the third sighting", kWizard, fresh, false, "+++", "y",
       "wwS", true},
      {"after a hand-over a failed device is retried at the first poll", kWizard,
       started_by_poll, false, "+", "y", "S", true},
      {"a retried device that succeeds is then left alone", kCommandLine, fresh, false, "++++",
       "y", "wwSr", true},
      {"a device not handled is counted as new", kWizard, bus_was_empty, true, "+++", "", "wwS",
       true},
      {"the command line's own limit is the same rule set", kCommandLine, fresh, true,
       "+--+++", "", "rwwwwS", true},
      // A device that keeps failing: retried for ever in the wizard, given up by the command line
      // after three failed runs in a row, until it is unplugged.
      {"wizard retries a failing device without limit", kWizard, fresh, false, "++++++", "nnnnn",
       "wwSSSS", true},
      {"command line gives up after three failed runs", kCommandLine, fresh, false, "+++++++",
       "nn", "wwSSrrr", true},
      {"after giving up, unplugging lets it be retried", kCommandLine, fresh, false,
       "+++++--+++", "nnn", "wwSSrwwwwS", true},
  };
  for (const Case& c : cases) {
    DevicePoll poll(DevicePoll::Rules{c.max_failed_runs}, c.start);
    poll.RunFinished(c.first_succeeded);
    EXPECT_EQ(Drive(poll, c.script, c.outcomes), c.expected) << c.name;
    EXPECT_EQ(poll.counters().handled, c.handled_after) << c.name;
  }
}

TEST(DevicePoll, GiveUpLastsUntilTheDeviceHasBeenMissingTwice) {
  DevicePoll poll(DevicePoll::Rules{kCommandLine});
  poll.RunFinished(false);
  EXPECT_FALSE(poll.GaveUp());
  EXPECT_EQ(Drive(poll, "+++++++", "nn"), "wwSSrrr");
  EXPECT_TRUE(poll.GaveUp());
  EXPECT_EQ(Drive(poll, "-", ""), "w");
  EXPECT_TRUE(poll.GaveUp());
  EXPECT_EQ(Drive(poll, "-", ""), "w");
  EXPECT_FALSE(poll.GaveUp());

  DevicePoll wizard;
  for (int run = 0; run < 10; ++run) wizard.RunFinished(false);
  EXPECT_FALSE(wizard.GaveUp());
}

// A poll left running for a very long time does not wrap its counters.
TEST(DevicePoll, CountersStopAtTheirMaximum) {
  constexpr uint32_t kMax = std::numeric_limits<uint32_t>::max();
  DevicePoll missing(DevicePoll::Rules{}, Counters{0, kMax, false});
  EXPECT_EQ(missing.OnPoll(false), Action::kWait);
  EXPECT_EQ(missing.counters().missed, kMax);

  DevicePoll failing(DevicePoll::Rules{}, Counters{kMax, 0, true});
  failing.RunFinished(false);
  EXPECT_EQ(failing.OnPoll(true), Action::kStartRun);
  EXPECT_EQ(failing.counters().seen, kMax);
}

}  // namespace
}  // namespace qv
