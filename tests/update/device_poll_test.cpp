#include "update/device_poll.h"

#include <gtest/gtest.h>

#include <string>

namespace qv {
namespace {

using Action = DevicePoll::Action;

// Polls a script of sightings: '+' device found, '-' none. Returns the actions as letters:
// w wait, r release, S start (a start also runs the device with the next outcome given).
std::string Drive(DevicePoll& poll, const std::string& script, std::string outcomes = "") {
  std::string actions;
  for (char c : script) {
    const Action action = poll.OnPoll(c == '+');
    if (action == Action::kWait) actions += 'w';
    if (action == Action::kRelease) actions += 'r';
    if (action == Action::kStartRun) {
      actions += 'S';
      poll.RunStarted();
      const bool succeeded = outcomes.empty() || outcomes.front() == 'y';
      if (!outcomes.empty()) outcomes.erase(0, 1);
      poll.RunFinished(succeeded);
    }
  }
  return actions;
}

DevicePoll AfterFirstRun(bool succeeded) {
  DevicePoll poll;
  poll.RunStarted();
  poll.RunFinished(succeeded);
  return poll;
}

TEST(DevicePoll, FollowsThePollRules) {
  struct Case {
    const char* name;
    bool first_succeeded;
    const char* script;
    const char* outcomes;
    const char* expected;
  };
  const Case cases[] = {
      {"updated device left plugged in is only released", true, "++++++", "", "rrrrrr"},
      {"new device after two misses and three sightings", true, "+--+++", "", "rwwwwS"},
      {"one miss is not enough: the swap counts as the old device", true, "+-+++", "", "rwrrr"},
      {"a sighting broken by a miss starts counting again", true, "--+-+++", "", "wwwwwwS"},
      {"failed first device is retried at the third sighting", false, "+++", "y", "wwS"},
      {"a retried device that succeeds is then left alone", false, "++++", "y", "wwSr"},
      {"a device failing again is retried at once", false, "+++++", "nn", "wwSSr"},
      {"after giving up, unplugging lets it be retried", false, "+++++--+++", "nnn", "wwSSrwwwwS"},
  };
  for (const Case& c : cases) {
    DevicePoll poll = AfterFirstRun(c.first_succeeded);
    EXPECT_EQ(Drive(poll, c.script, c.outcomes), c.expected) << c.name;
  }
}

TEST(DevicePoll, GivesUpAfterThreeFailedRunsInARow) {
  DevicePoll poll = AfterFirstRun(false);
  EXPECT_FALSE(poll.GaveUp());
  EXPECT_EQ(Drive(poll, "+++++++", "nn"), "wwSSrrr");
  EXPECT_TRUE(poll.GaveUp());
  EXPECT_EQ(Drive(poll, "--"), "ww");
  EXPECT_FALSE(poll.GaveUp());
}

}  // namespace
}  // namespace qv
