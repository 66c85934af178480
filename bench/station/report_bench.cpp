// Summing up a station record as qvupdate report does (line by line, per-unit state only), in a
// child process per file so each peak of memory is the reading's own:
//  1. a record of valid lines of 100 MB and of 1 GB: peak memory under 100 MB for both, and the
//     CPU time per MiB of the 1 GB file at most 1.3x that of the 100 MB one (linear; CPU time,
//     since the wall clock of a shared machine says more about the others);
//  2. 50 MB of "[" on one line: skipped as one unreadable line, in under 100 MB and 2 s.
// The files are made in a folder of their own under the temporary directory and deleted after;
// a size the disk has no room for (with 20% to spare) is skipped and said so.

#include <sys/statvfs.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include "station/record_reader.h"
#include "station/record_summary.h"
#include "record_bench_support.h"

namespace {

namespace fs = std::filesystem;
using qv::station::UnitRecord;

constexpr uint64_t kMiB = 1024 * 1024;

struct Reading {
  double seconds = 0;
  double cpu_seconds = 0;
  double peak_mib = 0;
  uint64_t units = 0;
  uint64_t unreadable = 0;
  bool ok = false;
};

// Lines as a station writes them: sessions of 1000 units, one unit in 30 retried after a failure.
void WriteRecord(const fs::path& path, uint64_t bytes) {
  std::ofstream out(path, std::ios::binary);
  UnitRecord r = qv::bench::SampleUnitFields();
  r.station = "line4";
  uint64_t written = 0;
  for (uint64_t n = 0; written < bytes; ++n) {
    r.session = "line4-" + std::to_string(n / 1000) + "-2026-12-10T08:00:00.000Z";
    written += qv::bench::WriteSampleUnit(out, r, n);
  }
}

// Reads the record in a child; its time and peak resident memory.
Reading ReadInChild(const fs::path& path) {
  const qv::bench::ChildRun run = qv::bench::RunInChild([&]() -> std::array<uint64_t, 2> {
    qv::station::RecordTally tally;
    uint64_t unreadable = 0;
    std::string error;
    const bool ok = qv::station::ReadRecordFile(
        path.string(), [&](const UnitRecord& r) { tally.Add(r); }, unreadable, error);
    return {ok ? tally.Summary().units : UINT64_MAX, unreadable};
  });
  return {run.seconds, run.cpu_seconds, run.peak_mib, run.answer[0], run.answer[1],
          run.ok && run.answer[0] != UINT64_MAX};
}

bool Room(const fs::path& folder, uint64_t bytes) {
  struct statvfs info {};
  if (::statvfs(folder.c_str(), &info) != 0) return false;
  return static_cast<double>(info.f_bavail) * static_cast<double>(info.f_frsize) >
         static_cast<double>(bytes) * 1.2;
}

bool Print(const char* what, const Reading& r, double max_mib) {
  const bool pass = r.ok && r.peak_mib < max_mib;
  std::printf("%-26s %8.2f s (CPU %.2f s)  peak %7.1f MiB  units %9llu  unreadable %llu  %s\n", what,
              r.seconds, r.cpu_seconds, r.peak_mib, static_cast<unsigned long long>(r.units),
              static_cast<unsigned long long>(r.unreadable), pass ? "ok" : "FAIL");
  return pass;
}

}  // namespace

int main() {
  const fs::path folder = fs::temp_directory_path() / ("qv_report_bench_" + std::to_string(getpid()));
  fs::create_directories(folder);
  bool pass = true;
  double cpu_per_mib_100 = 0;
  for (const uint64_t mib : {uint64_t{100}, uint64_t{1024}}) {
    const fs::path path = folder / "record.jsonl";
    if (!Room(folder, mib * kMiB)) {
      std::printf("%llu MiB record: skipped, no room on the disk\n",
                  static_cast<unsigned long long>(mib));
      continue;
    }
    WriteRecord(path, mib * kMiB);
    const Reading r = ReadInChild(path);
    fs::remove(path);
    const std::string what = std::to_string(mib) + " MiB of record lines";
    pass = Print(what.c_str(), r, 100.0) && pass;
    const double cpu_per_mib = r.cpu_seconds / static_cast<double>(mib);
    if (mib == 100) cpu_per_mib_100 = cpu_per_mib;
    if (mib == 1024 && cpu_per_mib_100 > 0) {
      const double ratio = cpu_per_mib / cpu_per_mib_100;
      std::printf("CPU time per MiB, 1 GiB / 100 MiB: %.2f (target <= 1.3)  %s\n", ratio,
                  ratio <= 1.3 ? "ok" : "FAIL");
      pass = pass && ratio <= 1.3;
    }
  }
  {
    const fs::path path = folder / "brackets.jsonl";
    std::ofstream(path, std::ios::binary) << std::string(50 * kMiB, '[');
    const Reading r = ReadInChild(path);
    fs::remove(path);
    pass = Print("50 MiB of [ on one line", r, 100.0) && r.seconds < 2.0 && r.unreadable == 1 &&
           pass;
  }
  fs::remove_all(folder);
  return pass ? 0 : 1;
}
