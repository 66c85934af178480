// The parts every run of a station stands on: the buses placed in front of the system's (abort,
// trace) keep the reason an open failed, the abort cuts sleeps short.

#include <gtest/gtest.h>

#include <functional>
#include <memory>

#include "device/report_trace.h"
#include "fake_clock.h"
#include "sim/sim_bus.h"
#include "station/abort_switch.h"

namespace qv::station {
namespace {

// Every bus the station places in front of another passes the reason for a failed open on:
// a device this user may not open is told apart from one that is gone.
TEST(StationBuses, KeepTheReasonAnOpenFailed) {
  struct Case {
    const char* name;
    std::function<std::unique_ptr<HidBus>(HidBus&, AbortSwitch&)> wrap;
  };
  const Case cases[] = {
      {"abortable", [](HidBus& inner, AbortSwitch& abort) -> std::unique_ptr<HidBus> {
         return std::make_unique<AbortableBus>(inner, abort);
       }},
      {"traced", [](HidBus& inner, AbortSwitch&) -> std::unique_ptr<HidBus> {
         return std::make_unique<TracedHidBus>(inner, nullptr);
       }},
      {"traced over abortable", [](HidBus& inner, AbortSwitch& abort) -> std::unique_ptr<HidBus> {
         struct Both final : HidBus {
           Both(HidBus& inner, AbortSwitch& abort) : abortable(inner, abort), traced(abortable, nullptr) {}
           bool Enumerate(uint16_t v, uint16_t p, std::vector<HidInterfaceInfo>& out) override {
             return traced.Enumerate(v, p, out);
           }
           HidOpenResult OpenWithReason(const std::string& path) override {
             return traced.OpenWithReason(path);
           }
           AbortableBus abortable;
           TracedHidBus traced;
         };
         return std::make_unique<Both>(inner, abort);
       }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    test::FakeClock clock;
    sim::SimBus sim(clock);
    sim::SimDeviceConfig refused;
    refused.open_refused = true;
    const auto denied = sim.Plug(refused);
    const auto fine = sim.Plug();
    AbortSwitch abort;
    const std::unique_ptr<HidBus> bus = c.wrap(sim, abort);

    HidOpenResult opened = bus->OpenWithReason(denied->path());
    EXPECT_EQ(opened.port, nullptr);
    EXPECT_EQ(opened.failure, HidOpenFailure::kAccessDenied);
    opened = bus->OpenWithReason("/dev/no-such-device");
    EXPECT_EQ(opened.failure, HidOpenFailure::kOther);
    opened = bus->OpenWithReason(fine->path());
    ASSERT_NE(opened.port, nullptr);
    EXPECT_EQ(opened.failure, HidOpenFailure::kNone);
    uint16_t vendor = 0;
    uint16_t product = 0;
    EXPECT_TRUE(opened.port->GetAttributes(vendor, product));
  }
}

TEST(AbortSwitch, FailsEveryReportAndCutsSleepsShort) {
  test::FakeClock inner;
  sim::SimBus sim(inner);
  const auto device = sim.Plug();
  AbortSwitch abort;
  AbortableBus bus(sim, abort);
  AbortableClock clock(inner, abort);
  std::unique_ptr<HidPort> port = bus.Open(device->path());
  ASSERT_NE(port, nullptr);

  clock.SleepMs(95);
  EXPECT_EQ(inner.slept_ms(), 95u);  // in slices, all of it
  abort.Throw();
  clock.SleepMs(5000);
  EXPECT_EQ(inner.slept_ms(), 95u);
  Report report{};
  EXPECT_EQ(port->WriteReport(report), -1);
  EXPECT_EQ(port->ReadReport(report, 10), -1);
  EXPECT_EQ(bus.Open(device->path()), nullptr);
  std::vector<HidInterfaceInfo> found;
  EXPECT_FALSE(bus.Enumerate(0x0416, 0xB501, found));
}

}  // namespace
}  // namespace qv::station
