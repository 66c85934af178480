// qvupdate's entry on Windows: the arguments arrive as UTF-16 and go on as UTF-8, the text the
// whole program works in, so that a path with any letters reaches the files unchanged.

#include <windows.h>

#include <string>
#include <vector>

#include "cli/commands.h"
#include "platform/console.h"
#include "platform/windows_text.h"

int wmain(int argc, wchar_t** argv) {
  qv::UseUtf8Console();
  std::vector<std::string> arguments;
  arguments.reserve(static_cast<std::size_t>(argc));
  for (int i = 0; i < argc; ++i) arguments.push_back(qv::Utf8FromWide(argv[i]));
  std::vector<char*> pointers;
  for (std::string& argument : arguments) pointers.push_back(argument.data());
  pointers.push_back(nullptr);
  return qv::cli::RunQvupdate(argc, pointers.data());
}
