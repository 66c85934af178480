// A station whose output is not taken: `flash --all` over 4 and 8 simulated devices (1 ms per
// report, 45 ms per sector erase, real time), through the station and the command line's JSON
// display, each run three ways in one process:
//  - free: stdout a pipe read as fast as it is written, no trace;
//  - blocked: stdout a pipe of one page (4 KiB) that nobody reads until the devices are done;
//  - slow trace: a trace of every report on a pipe read at 256 KiB/s.
// The devices' time (from the start to the last unit's end) of each against the free run, in
// one run: target <= 1.05x. Devices that waited on their output would take as long as the
// reader, or never end.

#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <memory>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "../update/bench_package.h"
#include "cli/station_view.h"
#include "fake_clock.h"
#include "sim/sim_bus.h"
#include "sim/sim_steady_clock.h"
#include "station/station.h"

namespace {

using namespace qv;

// A pipe whose reading end a thread drains: at once, at a rate, or not before it is told.
class PipeReader {
 public:
  enum class Pace { kFree, kHeldUntilReleased, kSlow };

  explicit PipeReader(Pace pace) : pace_(pace) {
    int ends[2] = {-1, -1};
    if (::pipe(ends) != 0) return;
    if (pace == Pace::kHeldUntilReleased) (void)::fcntl(ends[1], F_SETPIPE_SZ, 4096);
    read_end_ = ends[0];
    writer_ = ::fdopen(ends[1], "w");
    reader_ = std::thread([this] { Drain(); });
  }
  ~PipeReader() {
    Release();
    if (writer_ != nullptr) std::fclose(writer_);
    if (reader_.joinable()) reader_.join();
    if (read_end_ >= 0) ::close(read_end_);
  }
  PipeReader(const PipeReader&) = delete;
  PipeReader& operator=(const PipeReader&) = delete;

  [[nodiscard]] std::FILE* file() const { return writer_; }
  // Hands the writing end over (its owner closes it), e.g. to a trace.
  std::FILE* TakeFile() { return std::exchange(writer_, nullptr); }
  void Release() { released_.store(true); }

 private:
  void Drain() {
    char buffer[4096];
    while (pace_ == Pace::kHeldUntilReleased && !released_.load()) {
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    for (;;) {
      const ssize_t got = ::read(read_end_, buffer, sizeof buffer);
      if (got <= 0) return;
      // 4 KiB each 16 ms: 256 KiB/s.
      if (pace_ == Pace::kSlow) std::this_thread::sleep_for(std::chrono::milliseconds(16));
    }
  }

  const Pace pace_;
  int read_end_ = -1;
  std::FILE* writer_ = nullptr;
  std::atomic<bool> released_{false};
  std::thread reader_;
};

enum class Output { kFree, kBlocked, kSlowTrace };

struct Outcome {
  bool all_updated = false;
  double devices_seconds = 0;  // from the start to the last device's end
};

Outcome RunStation(const PackageStore& package, int devices, Output output) {
  sim::SimSteadyClock clock;
  sim::SimBus bus(clock);
  sim::SimDeviceConfig config;
  config.report_latency_ms = 1;
  config.erase_ms_per_sector = 45;
  std::vector<std::shared_ptr<sim::SimDevice>> plugged;
  for (int i = 0; i < devices; ++i) plugged.push_back(bus.Plug(config));

  PipeReader stdout_pipe(output == Output::kBlocked ? PipeReader::Pace::kHeldUntilReleased
                                                    : PipeReader::Pace::kFree);
  std::unique_ptr<PipeReader> trace_pipe;
  std::shared_ptr<ReportTraceSink> trace;
  if (output == Output::kSlowTrace) {
    trace_pipe = std::make_unique<PipeReader>(PipeReader::Pace::kSlow);
    trace = std::make_shared<ReportTraceSink>(trace_pipe->TakeFile());
  }
  bench::FreeMutexes mutexes;
  std::atomic<uint32_t> stops{0};
  const std::unique_ptr<cli::StationView> display = cli::StationView::Make(
      cli::DisplayMode::kJson, false, false, true, stdout_pipe.file(), stdout_pipe.file());
  const auto start = std::chrono::steady_clock::now();
  std::atomic<bool> watching{true};
  std::atomic<double> devices_seconds{0};
  // The devices' end, read off the devices, not off the display (which may be held): every
  // device has had its over command.
  std::thread watcher([&] {
    for (; watching.load(); std::this_thread::sleep_for(std::chrono::milliseconds(10))) {
      bool all = true;
      for (const auto& device : plugged) {
        const std::vector<sim::SimCommand> commands = device->Commands();
        all = all && !commands.empty() && commands.back().opcode == 0xA4;
      }
      if (all) {
        devices_seconds.store(
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
        stdout_pipe.Release();
        return;
      }
    }
  });
  station::StationEnvironment env{.bus = bus,
                                  .mutexes = mutexes,
                                  .clock = clock,
                                  .stops = stops,
                                  .trace = trace,
                                  .record = nullptr,
                                  .record_template = {},
                                  .wall_clock_ms = {}};
  station::StationConfig station_config;
  station_config.all = true;
  station::Station station(station_config, env, package, *display);
  Outcome outcome;
  outcome.all_updated = station.Run() == station::kStationAllUpdated;
  watching.store(false);
  watcher.join();
  if (trace) (void)trace->Close();
  std::fflush(stdout_pipe.file());
  outcome.devices_seconds = devices_seconds.load();
  return outcome;
}

}  // namespace

int main() {
  PackageStore store;
  test::FakeClock load_clock;
  if (!bench::LoadStationPackage(store, load_clock)) return 1;
  std::printf("flash --all, 1 ms per report, 45 ms per sector erase, real time; the devices' "
              "time against the same run with free output (target <= 1.05x):\n");
  bool ok = true;
  for (const int devices : {4, 8}) {
    const Outcome free_run = RunStation(store, devices, Output::kFree);
    const Outcome blocked = RunStation(store, devices, Output::kBlocked);
    const Outcome slow_trace = RunStation(store, devices, Output::kSlowTrace);
    ok = ok && free_run.all_updated && blocked.all_updated && slow_trace.all_updated;
    std::printf("  %d devices: free %.2f s; stdout not read %.2f s, ratio %.3fx; "
                "trace on a slow writer %.2f s, ratio %.3fx\n",
                devices, free_run.devices_seconds, blocked.devices_seconds,
                blocked.devices_seconds / free_run.devices_seconds, slow_trace.devices_seconds,
                slow_trace.devices_seconds / free_run.devices_seconds);
  }
  store.Release();
  if (!ok) std::fprintf(stderr, "a run did not update every device\n");
  return ok ? 0 : 1;
}
