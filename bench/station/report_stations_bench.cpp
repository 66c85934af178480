// qvupdate report over a factory's records: ten stations' records of 100,000 units each, read
// as `qvupdate report DIR` reads them (line by line, per-unit state only), in a child process so
// the peak of memory is the reading's own. Printed: time, CPU time per MiB, MiB/s and peak
// memory; and, in the same run, the same files read with the former line parser (a generic JSON
// tree per line, nlohmann json), as the ratio of their CPU times per MiB. Targets: at least 3x
// the former reading, and a peak under 100 MiB.
// The files are made in a folder of their own under the temporary directory and deleted after;
// without room on the disk for them (with 20% to spare) the benchmark is skipped and says so.

#include <sys/statvfs.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "station/record_reader.h"
#include "station/record_summary.h"
#include "record_bench_support.h"

namespace {

namespace fs = std::filesystem;
using qv::station::UnitRecord;

constexpr int kStations = 10;
constexpr uint64_t kUnitsPerRecord = 100'000;
constexpr double kMiB = 1024.0 * 1024.0;

// One station's record: sessions of 1000 units, one unit in 30 retried after a failure, one of
// two packages.
uint64_t WriteRecord(const fs::path& path, int station) {
  std::ofstream out(path, std::ios::binary);
  UnitRecord r = qv::bench::SampleUnitFields();
  r.station = "line" + std::to_string(station);
  uint64_t written = 0;
  for (uint64_t n = 0; n < kUnitsPerRecord; ++n) {
    r.session = r.station + "-" + std::to_string(n / 1000) + "-2026-12-10T08:00:00.000Z";
    r.package_sha256 = std::string(64, n / 1000 % 2 == 0 ? 'a' : 'b');
    written += qv::bench::WriteSampleUnit(out, r, n);
  }
  return written;
}

// The former reading of a line: a whole nlohmann json tree, then the fields.
bool FormerParse(const std::string& line, UnitRecord& r) {
  const nlohmann::json json = nlohmann::json::parse(line, nullptr, false);
  if (!json.is_object() || !json.contains("result")) return false;
  const auto text = [](const nlohmann::json& object, const char* key) {
    if (!object.is_object()) return std::string();
    const auto found = object.find(key);
    return found != object.end() && found->is_string() ? found->get<std::string>() : std::string();
  };
  const auto number = [](const nlohmann::json& object, const char* key) -> uint64_t {
    const auto found = object.find(key);
    return found != object.end() && found->is_number_unsigned() ? found->get<uint64_t>() : 0;
  };
  static const nlohmann::json kEmpty = nlohmann::json::object();
  const auto object = [](const nlohmann::json& json, const char* key) -> const nlohmann::json& {
    const auto found = json.find(key);
    return found != json.end() && found->is_object() ? *found : kEmpty;
  };
  r.schema = static_cast<uint32_t>(number(json, "schema"));
  r.session = text(json, "session");
  r.unit = number(json, "unit");
  r.attempt = static_cast<uint32_t>(number(json, "attempt"));
  r.start = text(json, "start");
  r.end = text(json, "end");
  r.station = text(json, "station");
  const nlohmann::json& package = object(json, "package");
  r.package_file = text(package, "file");
  r.package_sha256 = text(package, "sha256");
  const nlohmann::json& device = object(json, "device");
  r.device_path = text(device, "path");
  r.device_port = text(device, "port");
  r.device_serial = text(device, "serial");
  r.result = qv::station::ResultFromText(text(json, "result"));
  r.message = text(json, "message");
  r.area = text(json, "area");
  return true;
}

// The former reading of a file, line by line with the former parser.
bool FormerRead(const fs::path& path, qv::station::RecordTally& tally) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  std::string line;
  UnitRecord record;
  while (std::getline(in, line)) {
    if (!line.empty() && FormerParse(line, record)) tally.Add(record);
  }
  return true;
}

struct Reading {
  double seconds = 0;
  double cpu_seconds = 0;
  double peak_mib = 0;
  uint64_t units = 0;
  bool ok = false;
};

// Reads the files in a child with `read`; its time, CPU time, peak memory and units counted.
Reading ReadInChild(const std::vector<fs::path>& files,
                    const std::function<bool(const fs::path&, qv::station::RecordTally&)>& read) {
  const qv::bench::ChildRun run = qv::bench::RunInChild([&]() -> std::array<uint64_t, 2> {
    qv::station::RecordTally tally;
    bool ok = true;
    for (const fs::path& file : files) ok = read(file, tally) && ok;
    const qv::station::RecordSummary summary = tally.Summary();
    return {ok && summary.by_station.size() == kStations ? summary.units : UINT64_MAX, 0};
  });
  return {run.seconds, run.cpu_seconds, run.peak_mib, run.answer[0],
          run.ok && run.answer[0] != UINT64_MAX};
}

void Print(const char* what, const Reading& r, double mib) {
  std::printf("%-34s %6.2f s (CPU %5.2f s)  %6.2f ms CPU/MiB  %7.1f MiB/s  peak %6.1f MiB  units %llu\n",
              what, r.seconds, r.cpu_seconds, r.cpu_seconds * 1000.0 / mib, mib / r.cpu_seconds,
              r.peak_mib, static_cast<unsigned long long>(r.units));
}

}  // namespace

int main() {
  const fs::path folder =
      fs::temp_directory_path() / ("qv_report_stations_bench_" + std::to_string(getpid()));
  fs::create_directories(folder);
  struct statvfs disk {};
  const double needed = kStations * static_cast<double>(kUnitsPerRecord) * 560.0 * 1.2;
  if (::statvfs(folder.c_str(), &disk) != 0 ||
      static_cast<double>(disk.f_bavail) * static_cast<double>(disk.f_frsize) < needed) {
    std::printf("skipped: no room on the disk for %.0f MiB of records\n", needed / kMiB);
    fs::remove_all(folder);
    return 0;
  }
  std::vector<fs::path> files;
  uint64_t bytes = 0;
  for (int station = 1; station <= kStations; ++station) {
    files.push_back(folder / ("line" + std::to_string(station) + ".jsonl"));
    bytes += WriteRecord(files.back(), station);
  }
  const double mib = static_cast<double>(bytes) / kMiB;
  std::printf("%d records of %llu units each, %.1f MiB\n", kStations,
              static_cast<unsigned long long>(kUnitsPerRecord), mib);

  const Reading now = ReadInChild(files, [](const fs::path& file, qv::station::RecordTally& tally) {
    uint64_t unreadable = 0;
    std::string error;
    return qv::station::ReadRecordFile(
               file.string(), [&](const UnitRecord& r) { tally.Add(r); }, unreadable, error) &&
           unreadable == 0;
  });
  const Reading former = ReadInChild(files, FormerRead);
  fs::remove_all(folder);
  Print("report (simdjson lines)", now, mib);
  Print("former reading (nlohmann json lines)", former, mib);
  const uint64_t expected_units = kStations * kUnitsPerRecord;
  const double ratio = former.cpu_seconds / now.cpu_seconds;
  const bool fast = ratio >= 3.0;
  const bool small = now.peak_mib < 100.0;
  const bool right = now.ok && former.ok && now.units == expected_units &&
                     former.units == expected_units;
  std::printf("speed-up, CPU per MiB former / now: %.2fx (target >= 3)  %s\n", ratio,
              fast ? "ok" : "FAIL");
  std::printf("peak memory %.1f MiB (target < 100)  %s\n", now.peak_mib, small ? "ok" : "FAIL");
  std::printf("units counted: %llu (expected %llu)  %s\n",
              static_cast<unsigned long long>(now.units),
              static_cast<unsigned long long>(expected_units), right ? "ok" : "FAIL");
  return fast && small && right ? 0 : 1;
}
