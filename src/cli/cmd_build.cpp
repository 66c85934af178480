// qvupdate build: lays out, checks and scrambles a package from program, sound and map files.

#include <CLI/CLI.hpp>
#include <algorithm>
#include <iostream>
#include <memory>
#include <random>
#include <string>

#include "cli/cli_number_parse.h"
#include "cli/commands.h"
#include "package/package_builder.h"
#include "package/package_file_writer.h"
#include "package/regular_file.h"

namespace qv::cli {
namespace {

struct AreaOptions {
  std::string file;
  std::string address;
  std::string version = "00000000";
};

struct BuildOptions {
  std::string output;
  std::array<AreaOptions, kAreaCount> areas;
  std::string scramble_count = "0";
  std::string text1;
  std::string text2;
  std::optional<uint32_t> seed;
};

// Reads an image as a regular file only, and no more than a package can hold: the builder
// refuses anything longer. The system's reason for a failure goes to reason.
bool ReadImageFile(const std::string& path, std::vector<uint8_t>& bytes, std::string& reason) {
  RegularFileReader file;
  if (!file.Open(path)) {
    reason = file.failure_reason();
    return false;
  }
  constexpr std::size_t kMostBytes = std::size_t{kMaxPackageLength} + 1;
  bytes.resize(std::min<uint64_t>(file.Length(), kMostBytes));
  std::size_t size = file.Read(bytes.data(), bytes.size());
  // A file that grew since it was measured is read on up to the bound.
  while (size == bytes.size() && size < kMostBytes) {
    bytes.resize(std::min(kMostBytes, size + 65536));
    const std::size_t n = file.Read(bytes.data() + size, bytes.size() - size);
    size += n;
    if (n == 0) break;
  }
  bytes.resize(size);
  reason = file.failure_reason();
  return reason.empty();
}

int Refuse(const std::string& message) {
  std::cerr << "qvupdate build: " << message << "\n";
  return 1;
}

// Turns one area's options into a BuildArea; an empty string when they are sound.
std::string TakeArea(const AreaOptions& options, int index, BuildArea& area) {
  const std::string name = kAreaNames[index];
  area.present = !options.file.empty();
  std::string reason;
  if (area.present && !ReadImageFile(options.file, area.data, reason)) {
    return "cannot read the " + name + " file " + options.file + "\n" + reason;
  }
  if (!options.address.empty()) {
    area.address = ParseUint32(options.address);
    if (!area.address) return "bad --" + name + "-address " + options.address;
  }
  const auto tag = ParseVersionTag(options.version);
  if (!tag) return "bad --" + name + "-version " + options.version + " (8 hex digits expected)";
  area.version_tag = *tag;
  return {};
}

int RunBuild(const BuildOptions& options) {
  BuildInput input;
  for (int i = 0; i < kAreaCount; ++i) {
    const std::string problem = TakeArea(options.areas[i], i, input.areas[i]);
    if (!problem.empty()) return Refuse(problem);
  }
  const auto scramble_count = ParseUint32(options.scramble_count);
  if (!scramble_count) return Refuse("bad --scramble-count " + options.scramble_count);
  input.scramble_count = *scramble_count;
  input.text1 = options.text1;
  input.text2 = options.text2;

  RuntimeRandom random;
  random.Seed(options.seed ? *options.seed : std::random_device{}());
  std::vector<uint8_t> file;
  std::string error;
  if (BuildPackage(input, random, file, error) != BuildStatus::kOk) return Refuse(error);
  RandomTemporaryNames names;
  const std::string write_error = WritePackageFile(options.output, file, names);
  if (!write_error.empty()) return Refuse(write_error);
  std::cout << "wrote " << options.output << ": " << file.size() << " bytes\n";
  return 0;
}

// The layout and the rules a package must meet, shown by "qvupdate build --help" only.
constexpr const char* kBuildLayoutHelp =
    "Layout: a random 1024-byte key block, then the scrambled data: the 128-byte header and the\n"
    "program, sound and map areas back to back, each padded with 0xFF to whole KiB; the length\n"
    "in the header is the padded length and each check byte covers its own area.\n"
    "Addresses are absolute flash addresses, decimal or 0x hex; a present area must start on a\n"
    "4096-byte sector and fit in the flash window, and the areas must not share a sector.\n"
    "The updater needs 0x40010000 <= program < sound < map <= 0x407fffff also for absent areas:\n"
    "an absent map gets 0x407fffff and an absent sound the map address minus 1, unless an\n"
    "address is given for it.\n"
    "Version tags are 8 hex digits giving the 4 tag bytes in stored order (01020304 stores\n"
    "01 02 03 04); the default is 00000000.\n"
    "Any package the updater would refuse is refused here with a message and exit status 1.";

void AddAreaOptions(CLI::App& build, AreaOptions& area, int index) {
  const std::string name = kAreaNames[index];
  auto* file = build.add_option("--" + name, area.file, name + " image file");
  if (index == kProgramArea) file->required();
  build.add_option("--" + name + "-address", area.address,
                   "flash address of the " + name + " area (decimal or 0x hex)");
  build.add_option("--" + name + "-version", area.version,
                   "version tag of the " + name + " area: 8 hex digits, stored order");
}

}  // namespace

void AddBuildCommand(CLI::App& app) {
  auto options = std::make_shared<BuildOptions>();
  CLI::App* build =
      app.add_subcommand("build", "Build a package from program, sound and map images");
  build->footer(kBuildLayoutHelp);
  build
      ->add_option("-o,--output", options->output,
                   "package file to write; an existing one is replaced only if it is a regular file")
      ->required();
  for (int i = 0; i < kAreaCount; ++i) AddAreaOptions(*build, options->areas[i], i);
  build->get_option("--program-address")->required();
  build->add_option("--scramble-count", options->scramble_count,
                    "leading map bytes scrambled before sending (default 0)");
  build->add_option("--text1", options->text1, "header text field 1, at most 8 bytes");
  build->add_option("--text2", options->text2, "header text field 2, at most 10 bytes");
  build->add_option("--seed", options->seed,
                    "seed for the key block, for reproducible packages (default: random)");
  build->callback([options] { ExitStatus() = RunBuild(*options); });
}

}  // namespace qv::cli
