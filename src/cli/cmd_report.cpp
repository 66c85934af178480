// qvupdate report: sums up station records written by flash --record, one or several (a folder
// stands for its *.jsonl files), with the units by station and by package.

#include <CLI/CLI.hpp>
#include <cstdio>
#include <memory>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "cli/cli_package_report.h"
#include "cli/commands.h"
#include "platform/folder_listing.h"
#include "platform/utf8_path.h"
#include "station/record_reader.h"
#include "station/record_summary.h"

namespace qv::cli {
namespace {

struct ReportOptions {
  std::vector<std::string> inputs;
  bool csv = false;
  bool json = false;
  std::string by;  // with --csv: "station" or "package" prints that breakdown instead of the runs
};

void Print(const std::string& text) { std::fwrite(text.data(), 1, text.size(), stdout); }

// The record files the inputs name: a file stands for itself, a folder for its *.jsonl files in
// the order of their names. False, said on stderr, for a folder that cannot be read or holds none.
bool RecordFiles(const std::vector<std::string>& inputs, std::vector<std::string>& files) {
  for (const std::string& input : inputs) {
    if (!IsFolder(PathFromUtf8(input))) {
      files.push_back(input);
      continue;
    }
    const Result<std::vector<std::filesystem::path>> found =
        FilesInFolder(PathFromUtf8(input), ".jsonl");
    if (!found) {
      std::fprintf(stderr, "Cannot read the folder %s\n%s\n", input.c_str(),
                   found.failure().message.c_str());
      return false;
    }
    if (found->empty()) {
      std::fprintf(stderr, "No record (*.jsonl) in the folder %s\n", input.c_str());
      return false;
    }
    for (const std::filesystem::path& file : *found) files.push_back(Utf8FromPath(file));
  }
  return true;
}

nlohmann::json GroupJson(const station::GroupCounts& g) {
  return {{"units", g.units},         {"updated", g.updated}, {"failed", g.failed},
          {"declined", g.declined},   {"interrupted", g.interrupted},
          {"retries", g.retries}};
}

// The summary as one JSON object; texts from the records kept valid UTF-8.
nlohmann::json SummaryJson(const station::RecordSummary& s, const std::vector<std::string>& files) {
  nlohmann::json json = {{"schema", 1},
                         {"records", nlohmann::json::array()},
                         {"units", s.units},
                         {"updated", s.updated},
                         {"failed", s.failed()},
                         {"declined", s.declined},
                         {"interrupted", s.interrupted},
                         {"retries", s.retries},
                         {"unreadable_lines", s.unreadable_lines},
                         {"failed_by_message", nlohmann::json::array()},
                         {"by_station", nlohmann::json::array()},
                         {"by_package", nlohmann::json::array()}};
  for (const std::string& file : files) json["records"].push_back(ToValidUtf8(file));
  for (const auto& [message, count] : s.failed_by_message) {
    json["failed_by_message"].push_back({{"message", ToValidUtf8(message)}, {"units", count}});
  }
  for (const auto& [station, counts] : s.by_station) {
    nlohmann::json group = GroupJson(counts);
    group["station"] = ToValidUtf8(station);
    json["by_station"].push_back(group);
  }
  for (const auto& [sha256, counts] : s.by_package) {
    nlohmann::json group = GroupJson(counts);
    group["sha256"] = ToValidUtf8(sha256);
    group["file"] = ToValidUtf8(counts.file);
    json["by_package"].push_back(group);
  }
  if (s.units_per_hour) json["units_per_hour"] = *s.units_per_hour;
  if (s.updated_per_hour) json["updated_per_hour"] = *s.updated_per_hour;
  return json;
}

std::string CsvText(const std::string& text) {
  std::string quoted = "\"";
  for (char c : text) quoted += c == '"' ? std::string("\"\"") : std::string(1, c);
  return quoted + "\"";
}

// One CSV row per station or per package, with a header row.
std::string BreakdownCsv(const station::RecordSummary& s, bool by_station) {
  std::string csv = by_station ? "station" : "package_sha256,package_file";
  csv += ",units,updated,failed,declined,interrupted,retries\r\n";
  for (const auto& [key, g] : by_station ? s.by_station : s.by_package) {
    // Quoted, and a leading ' keeps a spreadsheet from taking a host name for a formula.
    const auto cell = [](const std::string& text) {
      const bool formula = !text.empty() && std::string("=+-@\t\r").find(text[0]) != std::string::npos;
      return CsvText(formula ? "'" + text : text);
    };
    csv += cell(key);
    if (!by_station) csv += "," + cell(g.file);
    for (const uint64_t n : {g.units, g.updated, g.failed, g.declined, g.interrupted, g.retries}) {
      csv += "," + std::to_string(n);
    }
    csv += "\r\n";
  }
  return csv;
}

// The records are read line by line and never held whole: the CSV goes out a run at a time, the
// summary keeps per-unit state only.
int RunReport(const ReportOptions& options) {
  std::vector<std::string> files;
  if (!RecordFiles(options.inputs, files)) return 1;
  const bool runs_csv = options.csv && options.by.empty();
  uint64_t unreadable = 0;
  station::RecordTally tally;
  bool header = false;  // written with the first row, so a refused file prints no CSV at all
  for (const std::string& file : files) {
    std::string error;
    const bool read = station::ReadRecordFile(
        file,
        [&](const station::UnitRecord& record) {
          if (runs_csv) {
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
      std::fprintf(stderr, "Cannot read the record %s\n%s\n", file.c_str(), error.c_str());
      return 1;
    }
  }
  if (runs_csv) {
    if (!header) Print(station::RecordsCsvHeader());
  } else {
    station::RecordSummary summary = tally.Summary();
    summary.unreadable_lines = unreadable;
    if (options.json) {
      Print(SummaryJson(summary, files).dump() + "\n");
    } else if (options.csv) {
      Print(BreakdownCsv(summary, options.by == "station"));
    } else {
      Print(station::SummaryText(summary));
      // One record file is summed up as the station summed it up at its end; several get the
      // breakdown by station and by package too.
      if (options.inputs.size() > 1 || files.size() != 1 || files[0] != options.inputs[0]) {
        Print(station::BreakdownText(summary));
      }
    }
  }
  return std::fflush(stdout) == 0 && std::ferror(stdout) == 0 ? 0 : 1;
}

}  // namespace

void AddReportCommand(CLI::App& app) {
  auto options = std::make_shared<ReportOptions>();
  CLI::App* report = app.add_subcommand(
      "report", "Sum up station records written by flash --record, one or several");
  report->footer(
      "Prints units, updated, failed by message, declined, interrupted, retries and units per "
      "hour. A unit that failed and passed on a retry counts once, as updated, with one retry. "
      "Given several records (or a folder: its *.jsonl files), also the units by station (the "
      "record's host) and by package (its SHA-256); up to 1000 of each are listed, the units of "
      "any further ones under (others). The records are read line by line, in memory that grows "
      "with the units, not the files. Lines that are not records are counted and skipped. Only "
      "regular files are read.");
  report->add_option("records", options->inputs,
                     "The record files that flash --record wrote, or folders of them (*.jsonl)")
      ->required()
      ->type_name("FILE|DIR");
  CLI::Option* csv =
      report->add_flag("--csv", options->csv, "Print every run of the records as CSV instead");
  report->add_option("--by", options->by,
                     "With --csv: print the units by station or by package as CSV instead")
      ->needs(csv)
      ->type_name("GROUP")
      ->check(CLI::IsMember({"station", "package"}).description(""));
  report->add_flag("--json", options->json,
                   "Print the summary and the breakdown as one JSON object instead")
      ->excludes(csv);
  report->callback([options] { ExitStatus() = RunReport(*options); });
}

}  // namespace qv::cli
