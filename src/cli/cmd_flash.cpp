// qvupdate flash: loads a package as the wizard does and updates the attached device, every
// attached device at once (--all), or device after device (--continuous): a production
// station with a record of every unit.

#include <CLI/CLI.hpp>
#include <cstdint>
#include <memory>
#include <string>

#include "cli/commands.h"
#include "cli/flash_station.h"
#include "package/package_load.h"
#include "platform/help_words.h"

namespace qv::cli {

void AddFlashCommand(CLI::App& app) {
  auto options = std::make_shared<StationOptions>();
  options->package = kPackageFileName;
  CLI::App* flash = app.add_subcommand("flash", "Update the attached device with a package");
  const StopRequestWords& stops = StopRequestWordsOfThisSystem();
  flash->footer(
      "Messages go to stderr: the message first, then a line of detail where one is known "
      "(the device, the area being written, the file and the system's reason).\n"
      "The first " + std::string(stops.one_stop) + " stops after the devices in progress; a "
      "second one aborts them cleanly: each device is released, recorded as interrupted, the "
      "abort names its device and area, the summary is printed, exit status 130; a third ends "
      "the process at once. " + stops.two_stops + " counts as two stops: it aborts at once, "
      "cleanly. A stop answers a pending question No.\n"
      "Exit status 0 when every unit ended updated, 1 otherwise (also when the record cannot be "
      "written: no further unit is started). A unit that failed and passed on its retry counts "
      "once, as updated, with one retry.\n"
      "On a terminal, with --continuous or --all, each unit that ends leaves a line (unit, "
      "device, result, duration, and the message and area of a unit not updated); the summary "
      "lists the units not updated (-v: every unit).\n"
      "A device is its USB port: its interfaces all sit there, and after its reset the device in "
      "that port is taken again, whatever serial number it now reports. Only where no port is "
      "known does the serial number stand for the device; devices that nothing tells apart are "
      "left alone.");
  flash->add_option("package", options->package,
                    "The package file (default: QVUpdate.Bin in the current folder; the "
                    "readme.txt beside it is read too)")
      ->type_name("FILE");
  CLI::Option* all = flash->add_flag(
      "--all", options->all,
      "Update every attached device at the same time, each on its own thread");
  CLI::Option* continuous = flash->add_flag(
      "--continuous", options->continuous,
      "After each device wait for the next one and update it too (no over command is sent); "
      "waits for the first device when none is attached; runs until Ctrl-C or --count");
  flash->add_option("--count", options->count, "Stop after N units (N at least 1)")
      ->needs(continuous)
      ->type_name("N")
      ->check(CLI::Range(uint64_t{1}, UINT64_MAX).description(""));
  flash->add_option("--device", options->device,
                    "Update this device (its path, serial number or USB port) instead of the "
                    "first; a path names one interface of a composite device (qvupdate devices "
                    "lists them), which is then kept to across the reset")
      ->type_name("DEVICE")
      ->excludes(all);
  flash->add_flag("--wait", options->wait,
                  "While another updater process holds the device (named with its process id "
                  "and program), wait for it to finish instead of failing; --continuous always "
                  "waits. Ctrl-C ends the wait");
  flash
      ->add_option("--reinstall", options->reinstall,
                   "When the device already runs the package's version: ask (No without a "
                   "terminal), yes or no. With --continuous a No skips the unit (recorded as "
                   "declined) and goes on")
      ->type_name("ANSWER")
      ->check(CLI::IsMember({"ask", "yes", "no"}).description(""));
  flash->add_option("--record", options->record,
                    "Append one JSON line per device run to FILE, written whole and flushed to "
                    "disk before the next unit starts (see qvupdate report); its folder must "
                    "exist")
      ->type_name("FILE");
  flash->add_option("--trace", options->trace,
                    "Write every report in and out, with a monotonic time stamp, to FILE")
      ->type_name("FILE");
  flash->add_option("--require-signature", options->require_signature,
                    "Update only with a package signed by this trusted key: a minisign public "
                    "key file, or a folder whose *.pub files are all trusted (repeatable). The "
                    "signature is PACKAGE.minisig; it is checked, with --expect-sha256, on the "
                    "bytes loaded, before any device is touched, and the key's id goes into each "
                    "record line (see qvupdate verify)")
      ->type_name("PUBKEY");
  flash->add_option("--expect-sha256", options->expect_sha256,
                    "Update only when the package's SHA-256 is HEX (64 hex digits), checked "
                    "before any device is touched")
      ->type_name("HEX")
      ->check(CLI::Validator(
          [](const std::string& hex) -> std::string {
            if (hex.size() != 64 ||
                hex.find_first_not_of("0123456789abcdefABCDEF") != std::string::npos) {
              return "a SHA-256 is 64 hex digits";
            }
            return {};
          },
          "", ""));
  flash->add_flag("--json", options->json,
                  "Print events as JSON lines on stdout (device, status, percent, remaining "
                  "time, area, result, summary) and nothing else there");
  CLI::Option* quiet = flash->add_flag("-q,--quiet", options->quiet, "Print only results");
  flash->add_flag("-v,--verbose", options->verbose,
                  "Also print each run's report counts (sent, received, failed)")
      ->excludes(quiet);
  flash->callback([options] { ExitStatus() = RunStation(*options); });
}

}  // namespace qv::cli
