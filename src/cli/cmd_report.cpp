// qvupdate report: sums up a station record written by flash --record.

#include <CLI/CLI.hpp>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <memory>
#include <string>

#include "station/record_summary.h"
#include "cli/commands.h"

namespace qv::cli {
namespace {

struct ReportOptions {
  std::string file;
  bool csv = false;
};

int RunReport(const ReportOptions& options) {
  std::ifstream in(options.file, std::ios::binary);
  if (!in) {
    std::fprintf(stderr, "Cannot read the record %s\n%s\n", options.file.c_str(),
                 std::strerror(errno));
    return 1;
  }
  uint64_t unreadable = 0;
  const std::vector<station::UnitRecord> records = station::ReadRecords(in, unreadable);
  std::string out;
  if (options.csv) {
    out = station::RecordsCsv(records);
  } else {
    station::RecordSummary summary = station::SummariseRecords(records);
    summary.unreadable_lines = unreadable;
    out = station::SummaryText(summary);
  }
  std::fwrite(out.data(), 1, out.size(), stdout);
  std::fflush(stdout);
  return 0;
}

}  // namespace

void AddReportCommand(CLI::App& app) {
  auto options = std::make_shared<ReportOptions>();
  CLI::App* report = app.add_subcommand(
      "report", "Sum up a station record written by flash --record");
  report->footer(
      "Prints units, updated, failed by message, declined, interrupted, retries and units per\n"
      "hour. A unit that failed and passed on a retry counts once, as updated, with one retry.\n"
      "Lines that are not records are counted and skipped.");
  report->add_option("file", options->file, "The record file")->required();
  report->add_flag("--csv", options->csv, "Print every run of the record as CSV instead");
  report->callback([options] { ExitStatus() = RunReport(*options); });
}

}  // namespace qv::cli
