// qvupdate: the command-line face of the updater (info, build, devices, flash).

#include "cli/commands.h"

#include <string>

#include "program_version.h"

namespace qv::cli {

int& ExitStatus() {
  static int status = 0;
  return status;
}

int RunQvupdate(int argc, char** argv) {
  CLI::App app{"qvupdate: inspect, build and flash update packages for the QV USB device"};
  app.set_version_flag("--version", std::string("qvupdate ") + kProgramVersion,
                       "Print the version and exit");
  app.require_subcommand(1);
  // In the order --help lists them.
  AddInfoCommand(app);
  AddBuildCommand(app);
  AddDevicesCommand(app);
  AddFlashCommand(app);
  AddReportCommand(app);
  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& error) {
    // --help prints and succeeds; any usage error is a failure like every other (status 1).
    return app.exit(error) == 0 ? 0 : 1;
  }
  return ExitStatus();
}

}  // namespace qv::cli
