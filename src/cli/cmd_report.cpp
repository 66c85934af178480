// qvupdate report: sums up a station record written by flash --record.

#include <CLI/CLI.hpp>
#include <cstdio>
#include <memory>
#include <string>

#include "cli/commands.h"
#include "station/record_reader.h"
#include "station/record_summary.h"

namespace qv::cli {
namespace {

struct ReportOptions {
  std::string file;
  bool csv = false;
};

void Print(const std::string& text) { std::fwrite(text.data(), 1, text.size(), stdout); }

// The record is read line by line and never held whole: the CSV goes out a run at a time, the
// summary keeps per-unit state only.
int RunReport(const ReportOptions& options) {
  uint64_t unreadable = 0;
  std::string error;
  station::RecordTally tally;
  bool header = false;  // written with the first row, so a refused file prints no CSV at all
  const bool read = station::ReadRecordFile(
      options.file,
      [&](const station::UnitRecord& record) {
        if (options.csv) {
          if (!header) Print(station::RecordsCsvHeader());
          header = true;
          Print(station::RecordCsvRow(record));
        } else {
          tally.Add(record);
        }
      },
      unreadable, error);
  if (!read) {
    std::fflush(stdout);
    std::fprintf(stderr, "Cannot read the record %s\n%s\n", options.file.c_str(), error.c_str());
    return 1;
  }
  if (options.csv && !header) Print(station::RecordsCsvHeader());
  if (!options.csv) {
    station::RecordSummary summary = tally.Summary();
    summary.unreadable_lines = unreadable;
    Print(station::SummaryText(summary));
  }
  return std::fflush(stdout) == 0 && std::ferror(stdout) == 0 ? 0 : 1;
}

}  // namespace

void AddReportCommand(CLI::App& app) {
  auto options = std::make_shared<ReportOptions>();
  CLI::App* report = app.add_subcommand(
      "report", "Sum up a station record written by flash --record");
  report->footer(
      "Prints units, updated, failed by message, declined, interrupted, retries and units per "
      "hour. A unit that failed and passed on a retry counts once, as updated, with one retry. "
      "Lines that are not records are counted and skipped. Only a regular file is read.");
  report->add_option("file", options->file, "The record file that flash --record wrote")
      ->required()
      ->type_name("FILE");
  report->add_flag("--csv", options->csv, "Print every run of the record as CSV instead");
  report->callback([options] { ExitStatus() = RunReport(*options); });
}

}  // namespace qv::cli
