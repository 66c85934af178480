// Host cost of the device link against a zero-latency in-memory device: report exchanges per
// second through HidLink and the commands, and the cost of one discovery. A full-speed HID
// device moves one report per 1 ms frame; the host's share of that frame is printed as a ratio.

#include <unistd.h>

#include <array>
#include <chrono>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "device/device_commands.h"
#include "device/hid_link.h"
#include "platform/clock.h"
#include "platform/hid_bus.h"
#include "platform/named_mutex.h"

namespace qv {
namespace {

using Stopwatch = std::chrono::steady_clock;

// Answers every write and read at once.
class InstantPort final : public HidPort {
 public:
  bool GetAttributes(uint16_t& vendor_id, uint16_t& product_id) override {
    vendor_id = kDeviceVendorId;
    product_id = kDeviceProductId;
    return true;
  }
  int WriteReport(const Report&) override { return static_cast<int>(kReportSize); }
  int ReadReport(Report& report, int) override {
    report[0] = 0;
    return static_cast<int>(kReportSize);
  }
};

class InstantBus final : public HidBus {
 public:
  bool Enumerate(uint16_t, uint16_t, std::vector<HidInterfaceInfo>& out) override {
    out.assign(1, {"/dev/bench-hidraw0", kDeviceVendorId, kDeviceProductId, "", ""});
    return true;
  }
  HidOpenResult OpenWithReason(const std::string&) override {
    return {std::make_unique<InstantPort>(), HidOpenFailure::kNone};
  }
};

// The system's mutexes under a name of this process, so a running updater is not disturbed.
class PrivateMutexes final : public NamedMutexSystem {
 public:
  NamedMutexResult Create(const std::string& name) override {
    return SystemNamedMutexes().Create(name + "-bench-" + std::to_string(::getpid()));
  }
};

// Real ticks, but the release's 10 ms cancel pulse is not slept: it is a deliberate wait, not
// host cost.
class NoSleepClock final : public Clock {
 public:
  uint32_t TickMs() override { return SystemClock().TickMs(); }
  void SleepMs(uint32_t) override {}
};

class NoHooks final : public WriteHooks {
 public:
  void ProgressStep() override {}
  void TimeStep() override {}
};

double NsPer(Stopwatch::duration elapsed, uint64_t count) {
  return std::chrono::duration<double, std::nano>(elapsed).count() / static_cast<double>(count);
}

void PrintCost(const char* what, double ns_per_report) {
  const double percent_of_frame = ns_per_report / 1e6 * 100.0;
  std::printf("%-34s %9.0f ns/report  %11.0f reports/s  %7.4f%% of 1 ms  (target < 1%%: %s)\n",
              what, ns_per_report, 1e9 / ns_per_report, percent_of_frame,
              percent_of_frame < 1.0 ? "met" : "MISSED");
}

}  // namespace
}  // namespace qv

int main() {
  using namespace qv;
  InstantBus bus;
  PrivateMutexes mutexes;
  NoSleepClock clock;
  HidLink link(bus, mutexes, clock);
  if (link.Discover() != 1) {
    std::fprintf(stderr, "bench device not taken\n");
    return 1;
  }

  // One exchange: a report written and one read, each under the lock, as the query does.
  constexpr uint64_t kExchanges = 200000;
  auto start = Stopwatch::now();
  for (uint64_t i = 0; i < kExchanges; ++i) {
    std::array<uint8_t, 64> answer{};
    if (QueryExchange(link, answer) != 64) return 1;
  }
  const double exchange_ns = NsPer(Stopwatch::now() - start, kExchanges * 2);
  PrintCost("query exchange (write + read)", exchange_ns);

  // The bulk path: one CMD_WRITE and four data reports per page.
  constexpr uint32_t kPages = 2048;  // 512 KiB
  const std::vector<uint8_t> data(kPages * 256, 0xA5);
  NoHooks hooks;
  constexpr int kWrites = 20;
  start = Stopwatch::now();
  for (int i = 0; i < kWrites; ++i) {
    if (!WriteCommand(link, data.data(), 0, kPages, hooks)) return 1;
  }
  PrintCost("write command (data reports)",
            NsPer(Stopwatch::now() - start, static_cast<uint64_t>(kWrites) * (1 + kPages * 4)));

  // Discovery: release, enumerate, open, attributes, named mutex.
  constexpr int kDiscoveries = 2000;
  start = Stopwatch::now();
  for (int i = 0; i < kDiscoveries; ++i) {
    if (link.Discover() != 1) return 1;
  }
  const double discovery_us = NsPer(Stopwatch::now() - start, kDiscoveries) / 1000.0;
  std::printf("%-34s %9.1f us/discovery  %7.4f%% of the 200 ms device poll\n", "discovery",
              discovery_us, discovery_us / 200000.0 * 100.0);
  return 0;
}
