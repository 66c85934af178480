// qvupdate: the command-line face of the updater (info, build, devices, flash).

#include <CLI/CLI.hpp>
#include <algorithm>
#include <utility>
#include <vector>

#include "cli/command_registry.h"

namespace qv::cli {
namespace {

std::vector<std::pair<int, CommandAdder>>& Registry() {
  static std::vector<std::pair<int, CommandAdder>> registry;
  return registry;
}

}  // namespace

bool RegisterCommand(int order, CommandAdder adder) {
  Registry().emplace_back(order, std::move(adder));
  return true;
}

void AddRegisteredCommands(CLI::App& app) {
  auto& registry = Registry();
  std::stable_sort(registry.begin(), registry.end(),
                   [](const auto& a, const auto& b) { return a.first < b.first; });
  for (auto& [order, adder] : registry) adder(app);
}

int& ExitStatus() {
  static int status = 0;
  return status;
}

}  // namespace qv::cli

int main(int argc, char** argv) {
  CLI::App app{"qvupdate: inspect, build and flash update packages for the QV USB device"};
  app.require_subcommand(1);
  qv::cli::AddRegisteredCommands(app);
  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& error) {
    // --help prints and succeeds; any usage error is a failure like every other (status 1).
    return app.exit(error) == 0 ? 0 : 1;
  }
  return qv::cli::ExitStatus();
}
