#pragma once

#include <CLI/CLI.hpp>
#include <vector>

#include "cli/cli_help.h"

namespace qv::cli {

// Runs qvupdate on its command line and returns the process's exit status.
int RunQvupdate(int argc, char** argv);

// Defines qvupdate's whole command line in app: its name, help, every subcommand and option.
// The program parses with it; the manual page is written from it.
void DefineQvupdate(CLI::App& app);

// Each subcommand lives in its own file (cmd_<name>.cpp) and adds itself to the application.
void AddInfoCommand(CLI::App& app);
void AddBuildCommand(CLI::App& app);
void AddDevicesCommand(CLI::App& app);
void AddFlashCommand(CLI::App& app);
void AddReportCommand(CLI::App& app);
void AddVerifyCommand(CLI::App& app);

// What each of qvupdate's exit statuses means, for its help and its manual page.
[[nodiscard]] const std::vector<HelpEntry>& ExitStatuses();

// Exit status of the subcommand that ran; set by the subcommand's callback.
int& ExitStatus();

}  // namespace qv::cli
