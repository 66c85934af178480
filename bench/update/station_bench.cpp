// Several devices at once through the station's own path (one thread, link and traced bus per
// device, one package shared by all), in real time against in-process simulated devices at 1 ms per report
// and 45 ms per sector erase:
//  1. one device alone, then eight side by side in the same run: the eight must finish within
//     1.10x the time of the one;
//  2. the process's CPU time per report moved while the eight run: target < 10 us;
//  3. the same one and eight through the hidapi adapter (hidapi_bus.cpp, which serialises
//     enumerate, open and close) over the hidapi stand-in: the serialisation must keep the
//     eight within 1.10x of the one as well.

#include <dlfcn.h>
#include <stdlib.h>
#include <time.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "fake_clock.h"
#include "package/package_builder.h"
#include "package/package_load.h"
#include "package/package_source.h"
#include "platform/clock.h"
#include "platform/hidapi_calls.h"
#include "platform/random.h"
#include "bench_package.h"
#include "sim/sim_bus.h"
#include "sim/sim_steady_clock.h"
#include "station/question_board.h"
#include "station/unit_run.h"

namespace {

using namespace qv;

// The station's events, drawn nowhere; a question (there is none) would stay open.
class NoDrawing final : public station::StationObserver {
 public:
  void SlotAdded(int, const std::string&) override {}
  void SlotRemoved(int) override {}
  void UnitStarted(const station::UnitStart&) override {}
  void Status(int, std::string_view) override {}
  void Percent(int, uint32_t) override {}
  void Remaining(int, uint32_t) override {}
  void FlashText(int, std::string_view) override {}
  void Area(int, std::string_view) override {}
  void Message(std::string_view, std::string_view) override {}
  void Question(const station::StationQuestion&) override {}
  void UnitFinished(const station::UnitEnd&) override {}
  void Notice(station::NoticeKind, std::string_view) override {}
  void DeviceNotTaken(DiscoveryMiss, const std::string&) override {}
  void Summary(const station::RecordSummary&, bool) override {}
};

double ProcessCpuSeconds() {
  timespec now{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
  return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) / 1e9;
}

struct Outcome {
  bool all_updated = true;
  double wall_seconds = 0;
  double cpu_seconds = 0;
  uint64_t reports = 0;
};

// One station unit per attached device, all at once, until every one has ended.
Outcome RunUnits(const PackageStore& package, HidBus& bus, Clock& clock) {
  std::vector<HidInterfaceInfo> found;
  (void)bus.Enumerate(0x0416, 0xB501, found);

  NoDrawing observer;
  station::QuestionBoard questions;
  bench::FreeMutexes mutexes;
  station::StationShared shared{.observer = observer,
                                .questions = questions,
                                .bus = bus,
                                .mutexes = mutexes,
                                .clock = clock,
                                .wall_clock_ms = SystemEpochMs,
                                .package = package,
                                .continuous = false,
                                .unit_lines = true,
                                .trace = nullptr,
                                .record = nullptr,
                                .record_template = {},
                                .record_mutex = {}};
  const double cpu_start = ProcessCpuSeconds();
  const auto start = std::chrono::steady_clock::now();
  std::vector<std::unique_ptr<station::UnitRun>> units;
  for (const HidInterfaceInfo& info : found) {
    const int slot = static_cast<int>(units.size());
    station::UnitTask task{info, DeviceIdentity::Of(info), info.serial_number, slot,
                           units.size() + 1, 1};
    units.push_back(std::make_unique<station::UnitRun>(shared, std::move(task)));
  }
  Outcome outcome;
  for (auto& unit : units) {
    const station::UnitOutcome& result = unit->Join();
    outcome.all_updated =
        outcome.all_updated && result.record.result == station::UnitResult::kUpdated;
    outcome.reports += result.reports.sent + result.reports.received;
  }
  outcome.wall_seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  outcome.cpu_seconds = ProcessCpuSeconds() - cpu_start;
  return outcome;
}

Outcome RunSideBySide(const PackageStore& package, int devices) {
  sim::SimSteadyClock clock;
  sim::SimBus bus(clock);
  sim::SimDeviceConfig config;
  config.report_latency_ms = 1;
  config.erase_ms_per_sector = 45;
  for (int i = 0; i < devices; ++i) (void)bus.Plug(config);
  return RunUnits(package, bus, clock);
}

// The hidapi stand-in, loaded with its own symbols first so that its calls never reach the
// system's hidapi, behind the product's hidapi adapter. Devices are plugged through its control
// file, with the same timing as the in-process ones.
class StandInHidapi {
 public:
  StandInHidapi() : control_("/tmp/qv-station-bench-" + std::to_string(::getpid())) {
    std::ofstream(control_).flush();
    ::setenv("QVSIM_DEVICES", "0", 1);
    ::setenv("QVSIM_REPORT_LATENCY_MS", "1", 1);
    ::setenv("QVSIM_ERASE_MS_PER_SECTOR", "45", 1);
    ::setenv("QVSIM_CONTROL", control_.c_str(), 1);
    library_ = ::dlopen(QV_SIM_LIBRARY_PATH, RTLD_NOW | RTLD_LOCAL | RTLD_DEEPBIND);
    if (library_ == nullptr) return;
    calls_.init = Symbol<int (*)()>("hid_init");
    calls_.enumerate = Symbol<hid_device_info* (*)(unsigned short, unsigned short)>("hid_enumerate");
    calls_.free_enumeration = Symbol<void (*)(hid_device_info*)>("hid_free_enumeration");
    calls_.open_path = Symbol<hid_device* (*)(const char*)>("hid_open_path");
    calls_.close = Symbol<void (*)(hid_device*)>("hid_close");
    calls_.get_device_info = Symbol<hid_device_info* (*)(hid_device*)>("hid_get_device_info");
    calls_.write =
        Symbol<int (*)(hid_device*, const unsigned char*, std::size_t)>("hid_write");
    calls_.read_timeout =
        Symbol<int (*)(hid_device*, unsigned char*, std::size_t, int)>("hid_read_timeout");
    bus_ = MakeHidapiBus(calls_);
  }
  ~StandInHidapi() { std::remove(control_.c_str()); }
  StandInHidapi(const StandInHidapi&) = delete;
  StandInHidapi& operator=(const StandInHidapi&) = delete;

  [[nodiscard]] bool loaded() const {
    return bus_ != nullptr && calls_.init && calls_.enumerate && calls_.free_enumeration &&
           calls_.open_path && calls_.close && calls_.get_device_info && calls_.write &&
           calls_.read_timeout;
  }
  // Plugs this many more devices; the stand-in reads the lines at the next enumeration.
  void Plug(int devices) {
    std::ofstream control(control_, std::ios::app);
    for (int i = 0; i < devices; ++i) control << "plug\n";
  }
  [[nodiscard]] HidBus& bus() { return *bus_; }

 private:
  template <typename Function>
  Function Symbol(const char* name) {
    return reinterpret_cast<Function>(::dlsym(library_, name));
  }

  std::string control_;
  void* library_ = nullptr;
  HidapiCalls calls_{};
  std::unique_ptr<HidBus> bus_;
};

}  // namespace

int main() {
  PackageStore store;
  test::FakeClock load_clock;
  if (!bench::LoadStationPackage(store, load_clock)) return 1;
  const Outcome one = RunSideBySide(store, 1);
  const Outcome eight = RunSideBySide(store, 8);
  if (!one.all_updated || !eight.all_updated) {
    std::fprintf(stderr, "a run failed\n");
    return 1;
  }
  std::printf("1 ms per report, 45 ms per sector erase, real time:\n");
  std::printf("  1 device:  %.2f s, %llu reports\n", one.wall_seconds,
              static_cast<unsigned long long>(one.reports));
  std::printf("  8 devices: %.2f s, %llu reports\n", eight.wall_seconds,
              static_cast<unsigned long long>(eight.reports));
  std::printf("  8 devices against 1: ratio %.3fx (target <= 1.10x)\n",
              eight.wall_seconds / one.wall_seconds);
  const double us_per_report = eight.cpu_seconds * 1e6 / static_cast<double>(eight.reports);
  std::printf("  host CPU per report with 8 devices: %.2f us (target < 10 us)\n", us_per_report);

  StandInHidapi hidapi;
  if (!hidapi.loaded()) {
    std::fprintf(stderr, "the hidapi stand-in could not be loaded: %s\n", ::dlerror());
    return 1;
  }
  hidapi.Plug(1);
  const Outcome one_hidapi = RunUnits(store, hidapi.bus(), SystemClock());
  hidapi.Plug(7);
  const Outcome eight_hidapi = RunUnits(store, hidapi.bus(), SystemClock());
  if (!one_hidapi.all_updated || !eight_hidapi.all_updated) {
    std::fprintf(stderr, "a run through the hidapi adapter failed\n");
    return 1;
  }
  std::printf("through the hidapi adapter (enumerate, open and close serialised):\n");
  std::printf("  1 device:  %.2f s\n", one_hidapi.wall_seconds);
  std::printf("  8 devices: %.2f s\n", eight_hidapi.wall_seconds);
  std::printf("  8 devices against 1: ratio %.3fx (target <= 1.10x)\n",
              eight_hidapi.wall_seconds / one_hidapi.wall_seconds);
  store.Release();
  return 0;
}
