// Cost of a full-window update (program, sound and map, about 8 MiB) against the in-process
// simulated device.
//  1. Zero device latency, a clock whose sleeps return at once: the host's own cost per report
//     (the simulator's work included, so this is an upper bound) and the whole run's wall time
//     without the fixed waits. Target: < 10 us per report.
//  2. 1 ms per report and 45 ms per sector erase on a virtual clock: the run's simulated time
//     against the protocol's floor (reports x 1 ms + erase time + the fixed 2 s / 100 ms / 1 s
//     waits of the reconnect). Target: <= 1.02x.

#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "device/hid_link.h"
#include "fake_clock.h"
#include "package/package_builder.h"
#include "package/package_load.h"
#include "package/package_source.h"
#include "platform/named_mutex.h"
#include "platform/random.h"
#include "bench_package.h"
#include "sim/sim_bus.h"
#include "update/progress_context.h"
#include "update/update_run.h"

namespace {

using namespace qv;

class QuietProgress final : public ProgressContext {
 public:
  void SetStatusText(std::string_view) override {}
  void PostProgressMessage() override {}
  void SetFlashText(std::string_view) override {}
};

std::vector<uint8_t> Pattern(uint32_t length, uint8_t seed) {
  std::vector<uint8_t> bytes(length);
  for (uint32_t i = 0; i < length; ++i) bytes[i] = static_cast<uint8_t>(i * 13 + seed + (i >> 9));
  return bytes;
}

// Program 3 MiB, sound 2.5 MiB and map 2.43 MiB (with its prefix): nearly the window from
// 0x40010000 to its end.
bool LoadFullWindowPackage(PackageStore& store, Clock& clock, uint64_t& sectors) {
  BuildInput input;
  const uint32_t lengths[3] = {0x300000, 0x280000, 0x26F000};
  const uint32_t addresses[3] = {0x40010000, 0x40310000, 0x40590000};
  for (int i = 0; i < 3; ++i) {
    input.areas[i].present = true;
    input.areas[i].data = Pattern(lengths[i], static_cast<uint8_t>(i + 1));
    input.areas[i].address = addresses[i];
    input.areas[i].version_tag = {static_cast<uint8_t>('A' + i), 1, 2, 3};
  }
  // The map is sent with its 256-byte prefix; then the two one-sector blocks.
  sectors = (0x300000 + 0x280000) / 4096 + (0x26F000 + 256 + 4095) / 4096 + 2;
  return bench::BuildAndLoadPackage(input, store, clock);
}

struct Outcome {
  RunResult result = RunResult::kFailed;
  double wall_seconds = 0;
  uint64_t virtual_ms = 0;
  uint64_t reports = 0;
};

Outcome RunOnce(const PackageStore& loaded, const sim::SimDeviceConfig& config) {
  test::FakeClock clock;
  sim::SimBus bus(clock);
  bench::FreeMutexes mutexes;
  HidLink link(bus, mutexes, clock);
  auto device = bus.Plug(config);
  test::RecordingDialogs dialogs;
  RuntimeRandom random;
  QuietProgress progress;
  PackageStore& store = const_cast<PackageStore&>(loaded);
  UpdateEnvironment env{link, store, dialogs, clock, random, false};
  const uint32_t start_tick = clock.TickMs();
  const auto start = std::chrono::steady_clock::now();
  Outcome outcome;
  outcome.result = RunUpdate(env, progress);
  outcome.wall_seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  outcome.virtual_ms = clock.TickMs() - start_tick;
  outcome.reports = device->ReportsReceived() + device->ReportsSent();
  return outcome;
}

}  // namespace

int main() {
  test::FakeClock load_clock;
  PackageStore store;
  uint64_t sectors = 0;
  if (!LoadFullWindowPackage(store, load_clock, sectors)) return 1;

  const Outcome fast = RunOnce(store, sim::SimDeviceConfig{});
  if (fast.result != RunResult::kSucceeded) {
    std::fprintf(stderr, "zero-latency run failed\n");
    return 1;
  }
  const double per_report_us = fast.wall_seconds * 1e6 / static_cast<double>(fast.reports);
  std::printf("full window, zero latency: %llu reports, %.3f s without the fixed waits\n",
              static_cast<unsigned long long>(fast.reports), fast.wall_seconds);
  std::printf("  host cost per report: %.2f us (target < 10 us): ratio %.2f of target\n",
              per_report_us, per_report_us / 10.0);

  sim::SimDeviceConfig timed;
  timed.report_latency_ms = 1;
  timed.erase_ms_per_sector = 45;
  const Outcome slow = RunOnce(store, timed);
  if (slow.result != RunResult::kSucceeded) {
    std::fprintf(stderr, "timed run failed\n");
    return 1;
  }
  const uint64_t fixed_waits = 2000 + 100 + 1000;
  const uint64_t floor_ms = slow.reports * 1 + sectors * 45 + fixed_waits;
  const double ratio = static_cast<double>(slow.virtual_ms) / static_cast<double>(floor_ms);
  std::printf("full window, 1 ms per report, 45 ms per sector erase (virtual time):\n");
  std::printf(
      "  %llu ms against the floor of %llu ms (%llu reports, %llu sectors, %llu ms of "
      "fixed waits)\n",
      static_cast<unsigned long long>(slow.virtual_ms), static_cast<unsigned long long>(floor_ms),
      static_cast<unsigned long long>(slow.reports), static_cast<unsigned long long>(sectors),
      static_cast<unsigned long long>(fixed_waits));
  std::printf("  ratio %.4fx (target <= 1.02x)\n", ratio);
  store.Release();
  return 0;
}
