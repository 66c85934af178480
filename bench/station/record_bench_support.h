#pragma once

// What the report benchmarks share: sample record lines as a station writes them, and a reading
// measured in a child process, so that its peak of memory is the reading's own.

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <chrono>
#include <cstdint>
#include <functional>
#include <ostream>
#include <string>

#include "station/unit_record.h"

namespace qv::bench {

// The fields every sample unit shares; the caller sets the station, session and package.
inline station::UnitRecord SampleUnitFields() {
  station::UnitRecord r;
  r.updater = "1.2";
  r.package_file = "QVUpdate.Bin";
  r.package_sha256 = std::string(64, 'a');
  r.package_version = "41010203040506070809";
  r.version_before = "5001020304050607080900010203";
  r.flash_id = "C216";
  r.device_port = "1-2.3";
  r.start = "2026-12-10T08:41:07.125Z";
  r.end = "2026-12-10T08:41:16.480Z";
  return r;
}

// Writes unit n of a session of 1000 (one unit in 30 retried after a failure) with the fields
// of r; the bytes written.
inline uint64_t WriteSampleUnit(std::ostream& out, station::UnitRecord& r, uint64_t n) {
  r.unit = n % 1000 + 1;
  r.device_path = "/dev/hidraw" + std::to_string(n % 8);
  r.device_serial = "SN" + std::to_string(100000 + n);
  r.duration_ms = 9000 + n % 700;
  r.reports_sent = 4312;
  r.attempt = 1;
  uint64_t written = 0;
  if (n % 30 == 0) {
    r.result = station::UnitResult::kFailed;
    r.message = "Erase data faile ,please connect usb cable to device !";
    const std::string line = station::UnitRecordLine(r);
    out << line;
    written += line.size();
    r.attempt = 2;
  }
  r.result = station::UnitResult::kUpdated;
  r.message = "Updata success !";
  const std::string line = station::UnitRecordLine(r);
  out << line;
  return written + line.size();
}

// A piece of work done in a child process: its time, CPU time and peak resident memory, and the
// two numbers it answered.
struct ChildRun {
  double seconds = 0;
  double cpu_seconds = 0;
  double peak_mib = 0;
  std::array<uint64_t, 2> answer = {};
  bool ok = false;
};

inline ChildRun RunInChild(const std::function<std::array<uint64_t, 2>()>& work) {
  int pipe_fds[2];
  if (::pipe(pipe_fds) != 0) return {};
  const auto start = std::chrono::steady_clock::now();
  const pid_t child = ::fork();
  if (child == 0) {
    ::close(pipe_fds[0]);
    const std::array<uint64_t, 2> answer = work();
    const ssize_t sent = ::write(pipe_fds[1], answer.data(), sizeof answer);
    ::_exit(sent == sizeof answer ? 0 : 1);
  }
  ::close(pipe_fds[1]);
  ChildRun run;
  const bool got = ::read(pipe_fds[0], run.answer.data(), sizeof run.answer) == sizeof run.answer;
  ::close(pipe_fds[0]);
  int status = 0;
  rusage usage{};
  ::wait4(child, &status, 0, &usage);
  run.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  run.peak_mib = static_cast<double>(usage.ru_maxrss) / 1024.0;
  const auto to_seconds = [](const timeval& t) {
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) / 1e6;
  };
  run.cpu_seconds = to_seconds(usage.ru_utime) + to_seconds(usage.ru_stime);
  run.ok = got && WIFEXITED(status) && WEXITSTATUS(status) == 0;
  return run;
}

}  // namespace qv::bench
