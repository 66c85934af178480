#pragma once

#include <CLI/CLI.hpp>

namespace qv::cli {

// Runs qvupdate on its command line and returns the process's exit status.
int RunQvupdate(int argc, char** argv);

// Each subcommand lives in its own file (cmd_<name>.cpp) and adds itself to the application.
void AddInfoCommand(CLI::App& app);
void AddBuildCommand(CLI::App& app);
void AddDevicesCommand(CLI::App& app);
void AddFlashCommand(CLI::App& app);
void AddReportCommand(CLI::App& app);

// Exit status of the subcommand that ran; set by the subcommand's callback.
int& ExitStatus();

}  // namespace qv::cli
