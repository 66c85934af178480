// The station's model as its views draw it: the tallies count units, a retry takes its failed
// run's place, and a row shows each text once.

#include "station/station_model.h"

#include <gtest/gtest.h>

namespace qv::station {
namespace {

UnitEnd EndOf(int slot, uint64_t unit, uint32_t attempt, UnitResult result) {
  UnitEnd end;
  end.slot = slot;
  end.unit = unit;
  end.attempt = attempt;
  end.result = result;
  return end;
}

TEST(StationModel, ARetryTakesItsFailedRunsPlace) {
  StationModel model;
  const UnitEnd ends[] = {
      EndOf(0, 1, 1, UnitResult::kFailed),      EndOf(1, 2, 1, UnitResult::kDeclined),
      EndOf(0, 1, 2, UnitResult::kFailed),      EndOf(0, 1, 3, UnitResult::kUpdated),
      EndOf(2, 3, 1, UnitResult::kInterrupted), EndOf(1, 4, 1, UnitResult::kFailed),
  };
  for (const UnitEnd& end : ends) model.FinishUnit(end);
  const StationTally& t = model.tally();
  EXPECT_EQ(t.units, 4u);
  EXPECT_EQ(t.updated, 1u);
  EXPECT_EQ(t.failed, 1u);
  EXPECT_EQ(t.declined, 1u);
  EXPECT_EQ(t.interrupted, 1u);
  EXPECT_EQ(t.retries, 2u);
}

TEST(StationModel, ARowShowsEachTextOnceOnOneLine) {
  StationModel model;
  model.AddSlot(0, "port 1-2");
  EXPECT_TRUE(model.SetStatus(0, "Erase old data ,please wait ...\r\nagain"));
  EXPECT_EQ(model.rows().at(0).status, "Erase old data ,please wait ...  again");
  EXPECT_FALSE(model.SetStatus(0, "Erase old data ,please wait ...\r\nagain"));
  EXPECT_TRUE(model.SetPercent(0, 10));
  EXPECT_FALSE(model.SetPercent(0, 10));
  // A remaining time belongs to the status that follows it, and to that one only.
  model.SetRemaining(0, 63'000);
  EXPECT_TRUE(model.SetStatus(0, "Update:10% complete,abount 1 minute 3 second need..."));
  EXPECT_EQ(model.rows().at(0).ShortStatus(), "1 min 3 s left");
  EXPECT_TRUE(model.SetStatus(0, "Updata success !"));
  EXPECT_EQ(model.rows().at(0).ShortStatus(), "Updata success !");
  EXPECT_TRUE(model.RemoveSlot(0));
  EXPECT_FALSE(model.RemoveSlot(0));
}

}  // namespace
}  // namespace qv::station
