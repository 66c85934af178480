// qvupdate build: lays out, checks and scrambles a package from program, sound and map files.

#include <CLI/CLI.hpp>
#include <algorithm>
#include <iostream>
#include <memory>
#include <random>
#include <string>

#include "cli/cli_number_parse.h"
#include "cli/cli_package_report.h"
#include "cli/commands.h"
#include "package/package_builder.h"
#include "package/package_file_writer.h"
#include "platform/regular_file.h"
#include "platform/utf8_path.h"

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
  RegularFile file;
  if (!file.Open(PathFromUtf8(path))) {
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
  const Result<std::vector<uint8_t>> built = BuildPackage(input, random);
  if (!built) return Refuse(built.failure().message);
  const std::vector<uint8_t>& file = *built;
  RandomTemporaryNames names;
  const Result<> written = WritePackageFile(PathFromUtf8(options.output), file, names);
  if (!written) return Refuse(written.failure().message);
  std::cout << "wrote " << options.output << ": " << file.size() << " bytes\n";
  // The program tag leads the version record, so its first byte is the record's first.
  const auto& program_tag = input.areas[kProgramArea].version_tag;
  if (!VersionCanMatchDevice(program_tag)) {
    std::cout.flush();
    std::cerr << "qvupdate build: warning: this package's version "
              << VersionMatchText(program_tag)
              << "; the updater will never ask before installing it again (give "
                 "--program-version as 50 and six more hex digits)\n";
  }
  return 0;
}

// The layout and the rules a package must meet, shown by "qvupdate build --help" only; one
// paragraph a line.
constexpr const char* kBuildLayoutHelp =
    "Layout: a random 1024-byte key block, then the scrambled data: the 128-byte header and the "
    "program, sound and map areas back to back, each padded with 0xFF to whole KiB; the length "
    "in the header is the padded length and each check byte covers its own area.\n"
    "Addresses are absolute flash addresses, decimal or 0x hex; a present area must start on a "
    "4096-byte sector and fit in the flash window, and the areas must not share a sector. The "
    "updater needs 0x40010000 <= program < sound < map <= 0x407fffff also for absent areas: an "
    "absent map gets 0x407fffff and an absent sound the map address minus 1, unless an address "
    "is given for it.\n"
    "Version tags are 8 hex digits giving the 4 tag bytes in stored order (01020304 stores 01 "
    "02 03 04); the default is 00000000.\n"
    "How versions are compared: before it resets a device the updater asks for its version. "
    "The answer carries a version only when its first byte is the mark 'P' (0x50) and its "
    "length byte is 14 or more. It is then compared with the package's version record "
    "(program tag, 'S', sound tag, 'C', map tag), byte for byte: bytes 2 to 4 of the program "
    "tag and all of the sound and map tags count, absent areas' tags included; the program "
    "tag's first byte does not, for the mark stands in its place, and neither do 'S' and 'C'. "
    "When every byte that counts is equal the device already runs this version, and the "
    "updater asks before installing it again.\n"
    "A device answers with the tags of the package it was updated with, so the first byte of "
    "the program tag must be the mark: give --program-version as 50 and six more hex digits "
    "(50010203). With any other first byte the package's version can never match a device's "
    "and the question never comes; build then warns, and qvupdate info says so.\n"
    "Any package the updater would refuse is refused here with a message and exit status 1.";

void AddAreaOptions(CLI::App& build, AreaOptions& area, int index) {
  const std::string name = kAreaNames[index];
  auto* file = build.add_option("--" + name, area.file, "The " + name + " image file")
                   ->type_name("FILE");
  if (index == kProgramArea) file->required();
  build.add_option("--" + name + "-address", area.address,
                   "Flash address of the " + name + " area (decimal or 0x hex)")
      ->type_name("ADDRESS");
  build.add_option("--" + name + "-version", area.version,
                   "Version tag of the " + name + " area: 8 hex digits, stored order")
      ->type_name("TAG");
}

}  // namespace

void AddBuildCommand(CLI::App& app) {
  auto options = std::make_shared<BuildOptions>();
  CLI::App* build =
      app.add_subcommand("build", "Build a package from program, sound and map images");
  build->footer(kBuildLayoutHelp);
  build
      ->add_option("-o,--output", options->output,
                   "The package file to write; an existing one is replaced only if it is a "
                   "regular file")
      ->required()
      ->type_name("FILE");
  for (int i = 0; i < kAreaCount; ++i) AddAreaOptions(*build, options->areas[i], i);
  build->get_option("--program-address")->required();
  build->add_option("--scramble-count", options->scramble_count,
                    "Leading map bytes scrambled before sending (default 0)")
      ->type_name("N");
  build->add_option("--text1", options->text1, "Header text field 1, at most 8 bytes")
      ->type_name("LABEL");
  build->add_option("--text2", options->text2, "Header text field 2, at most 10 bytes")
      ->type_name("LABEL");
  build->add_option("--seed", options->seed,
                    "Seed for the key block, for reproducible packages (default: random)")
      ->type_name("N");
  build->callback([options] { ExitStatus() = RunBuild(*options); });
}

}  // namespace qv::cli
