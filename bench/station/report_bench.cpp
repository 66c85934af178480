// Summing up a station record as qvupdate report does (line by line, per-unit state only), in a
// child process per file so each peak of memory is the reading's own:
//  1. a record of valid lines of 100 MB and of 1 GB: peak memory under 100 MB for both, and the
//     CPU time per MiB of the 1 GB file at most 1.3x that of the 100 MB one (linear; CPU time,
//     since the wall clock of a shared machine says more about the others);
//  2. 50 MB of "[" on one line: skipped as one unreadable line, in under 100 MB and 2 s.
// The files are made in a folder of their own under the temporary directory and deleted after;
// a size the disk has no room for (with 20% to spare) is skipped and said so.

#include <sys/resource.h>
#include <sys/statvfs.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include "station/record_reader.h"
#include "station/record_summary.h"

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
  UnitRecord r;
  r.station = "line4";
  r.updater = "1.2";
  r.package_file = "QVUpdate.Bin";
  r.package_sha256 = std::string(64, 'a');
  r.package_version = "41010203040506070809";
  r.version_before = "5001020304050607080900010203";
  r.flash_id = "C216";
  r.device_port = "1-2.3";
  r.start = "2026-12-10T08:41:07.125Z";
  r.end = "2026-12-10T08:41:16.480Z";
  uint64_t written = 0;
  for (uint64_t n = 0; written < bytes; ++n) {
    r.session = "line4-" + std::to_string(n / 1000) + "-2026-12-10T08:00:00.000Z";
    r.unit = n % 1000 + 1;
    r.device_path = "/dev/hidraw" + std::to_string(n % 8);
    r.device_serial = "SN" + std::to_string(100000 + n);
    r.duration_ms = 9000 + n % 700;
    r.reports_sent = 4312;
    r.attempt = 1;
    if (n % 30 == 0) {
      r.result = qv::station::UnitResult::kFailed;
      r.message = "Erase data faile ,please connect usb cable to device !";
      const std::string line = UnitRecordLine(r);
      out << line;
      written += line.size();
      r.attempt = 2;
    }
    r.result = qv::station::UnitResult::kUpdated;
    r.message = "Updata success !";
    const std::string line = UnitRecordLine(r);
    out << line;
    written += line.size();
  }
}

// Reads the record in a child; its time and peak resident memory.
Reading ReadInChild(const fs::path& path) {
  int pipe_fds[2];
  if (::pipe(pipe_fds) != 0) return {};
  const auto start = std::chrono::steady_clock::now();
  const pid_t child = ::fork();
  if (child == 0) {
    ::close(pipe_fds[0]);
    qv::station::RecordTally tally;
    uint64_t unreadable[2] = {0, 0};
    std::string error;
    const bool ok = qv::station::ReadRecordFile(
        path.string(), [&](const UnitRecord& r) { tally.Add(r); }, unreadable[1], error);
    unreadable[0] = ok ? tally.Summary().units : UINT64_MAX;
    const ssize_t sent = ::write(pipe_fds[1], unreadable, sizeof unreadable);
    ::_exit(sent == sizeof unreadable ? 0 : 1);
  }
  ::close(pipe_fds[1]);
  Reading reading;
  uint64_t answer[2] = {0, 0};
  const bool got = ::read(pipe_fds[0], answer, sizeof answer) == sizeof answer;
  ::close(pipe_fds[0]);
  int status = 0;
  rusage usage{};
  ::wait4(child, &status, 0, &usage);
  reading.seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  reading.peak_mib = static_cast<double>(usage.ru_maxrss) / 1024.0;
  const auto to_seconds = [](const timeval& t) {
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) / 1e6;
  };
  reading.cpu_seconds = to_seconds(usage.ru_utime) + to_seconds(usage.ru_stime);
  reading.units = answer[0];
  reading.unreadable = answer[1];
  reading.ok = got && WIFEXITED(status) && WEXITSTATUS(status) == 0 && answer[0] != UINT64_MAX;
  return reading;
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
