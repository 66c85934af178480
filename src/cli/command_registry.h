#pragma once

#include <CLI/CLI.hpp>
#include <functional>

namespace qv::cli {

// Each subcommand lives in its own file and registers itself here at static initialisation:
//   const bool kRegistered = RegisterCommand(10, AddInfoCommand);
// The order value sorts the subcommands in --help.
using CommandAdder = std::function<void(CLI::App&)>;
bool RegisterCommand(int order, CommandAdder adder);
void AddRegisteredCommands(CLI::App& app);

// Exit status of the subcommand that ran; set by the subcommand's callback.
int& ExitStatus();

}  // namespace qv::cli
