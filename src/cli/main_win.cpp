// qvupdate's entry on Windows: the arguments arrive as UTF-16 and go on as UTF-8, the text the
// whole program works in, so that a path with any letters reaches the files unchanged. It also
// keeps the manners of a Windows console program: "/?" asks for the help, and a console window
// of its own (a double-click in Explorer) stays open until a key is pressed, after the help when
// nothing was asked.

#include <windows.h>

#include <string>
#include <vector>

#include "cli/commands.h"
#include "platform/console.h"
#include "platform/windows_text.h"

namespace {

// Said at the end of a run in a console window of its own, before it waits for a key.
constexpr const char* kOwnConsoleEnd =
    "\nqvupdate.exe is the command-line tool: open a Command Prompt in this folder and type "
    "qvupdate.exe with a subcommand, as shown above. To update a device step by step, start "
    "qvupdater.exe, the wizard, instead.\nPress any key to close this window.";

// The arguments as UTF-8, "/?" (which no file name can be) taken for --help wherever it stands,
// so that "qvupdate.exe flash /?" shows the help of flash. Started from Explorer with nothing to
// do, it shows the help instead of a usage error.
std::vector<std::string> Utf8Arguments(int argc, wchar_t** argv, bool own_console) {
  std::vector<std::string> arguments;
  arguments.reserve(static_cast<std::size_t>(argc) + 1);
  for (int i = 0; i < argc; ++i) {
    const std::wstring argument = argv[i];
    arguments.push_back(i > 0 && argument == L"/?" ? "--help" : qv::Utf8FromWide(argument));
  }
  if (arguments.size() == 1 && own_console) arguments.push_back("--help");
  return arguments;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  qv::UseUtf8Console();
  const bool own_console = qv::RunsInConsoleOfItsOwn();
  std::vector<std::string> arguments = Utf8Arguments(argc, argv, own_console);
  std::vector<char*> pointers;
  for (std::string& argument : arguments) pointers.push_back(argument.data());
  pointers.push_back(nullptr);
  const int status = qv::cli::RunQvupdate(static_cast<int>(arguments.size()), pointers.data());
  if (own_console) qv::WaitForKeyAtConsole(kOwnConsoleEnd);
  return status;
}
