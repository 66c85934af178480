#pragma once

#include <CLI/CLI.hpp>
#include <string>
#include <string_view>
#include <vector>

namespace qv::cli {

// What the help of one command says, in the order it says it. The terminal help and the
// manual page are both written from it, so they say the same.
struct HelpEntry {
  std::string names;  // "-o, --output FILE", "FILE", "flash"
  std::string text;   // what it is; relations between options are said here in words
};

struct HelpPage {
  std::string usage;        // "qvupdate flash [OPTIONS] [FILE]"
  std::string description;  // one sentence
  std::vector<HelpEntry> arguments;
  std::vector<HelpEntry> options;
  std::vector<HelpEntry> subcommands;
  std::string footer;  // paragraphs, one per line
};

// The help page of a command (the program itself or one of its subcommands). `path` is how the
// command is called ("qvupdate flash").
[[nodiscard]] HelpPage DescribeCommand(const CLI::App& command, const std::string& path);

// How the command is called: the program name followed by the subcommands above it.
[[nodiscard]] std::string CommandPath(const CLI::App& command);

// The width help is wrapped at: COLUMNS when it holds a sensible number, else the width of the
// terminal on standard output, else 80.
[[nodiscard]] int HelpWidth();

// Text broken into lines of at most `width` columns at spaces, never inside a word (a word
// longer than a whole line stands on a line of its own). Every line of text is a paragraph of
// its own; lines after the first of a paragraph are indented by `hang` more than the first.
[[nodiscard]] std::string WrapText(std::string_view text, int width, int indent, int hang = 0);

// The help page as the terminal shows it, wrapped at `width`.
[[nodiscard]] std::string HelpText(const HelpPage& page, int width);

// The help page as a manual page section: the usage as a subsection heading, then the same
// paragraphs and entries in roff.
[[nodiscard]] std::string HelpRoff(const HelpPage& page);

// Entries as roff tagged paragraphs, the names in bold.
[[nodiscard]] std::string RoffEntries(const std::vector<HelpEntry>& entries);

// The formatter qvupdate gives CLI11, so that --help prints HelpText at HelpWidth().
class HelpFormatter final : public CLI::FormatterBase {
 public:
  std::string make_help(const CLI::App* app, std::string name, CLI::AppFormatMode mode) const override;
};

}  // namespace qv::cli
