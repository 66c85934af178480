// Writes the SUBCOMMANDS and EXIT STATUS sections of qvupdate's manual page, as a help2man
// include file, from the same command-line definition whose --help the program prints:
//   qvupdate_man_sections <output file>
#include <cstdio>
#include <string>

#include "cli/cli_help.h"
#include "cli/commands.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s <output file>\n", argv[0]);
    return 2;
  }
  CLI::App app;
  qv::cli::DefineQvupdate(app);
  std::string text = "[SUBCOMMANDS]\n";
  for (const CLI::App* sub : app.get_subcommands([](const CLI::App*) { return true; })) {
    text += qv::cli::HelpRoff(qv::cli::DescribeCommand(*sub, qv::cli::CommandPath(*sub)));
  }
  text += "\n[EXIT STATUS]\n" + qv::cli::RoffEntries(qv::cli::ExitStatuses());
  std::FILE* out = std::fopen(argv[1], "w");
  if (out == nullptr) {
    std::perror(argv[1]);
    return 1;
  }
  const bool written = std::fwrite(text.data(), 1, text.size(), out) == text.size();
  return std::fclose(out) == 0 && written ? 0 : 1;
}
