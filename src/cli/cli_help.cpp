#include "cli/cli_help.h"

#include <algorithm>
#include <charconv>
#include <cstdlib>
#include <cstring>

#include "platform/terminal_width.h"

namespace qv::cli {
namespace {

// Narrower or wider values of COLUMNS are taken for mistakes.
constexpr int kNarrowestHelp = 20;
constexpr int kWidestHelp = 10000;
constexpr int kDefaultWidth = 80;
// The column descriptions start in, at most; longer names put their text on the next line.
constexpr int kWidestNameColumn = 32;
// Below this many columns for the text, each text goes under its names instead.
constexpr int kNarrowestTextColumn = 28;

std::string Joined(const std::vector<std::string>& parts, const std::string& separator) {
  std::string out;
  for (const std::string& part : parts) {
    if (!out.empty()) out += separator;
    out += part;
  }
  return out;
}

// The name an option is best known by: its long name, else its short one.
std::string MainName(const CLI::Option& option) {
  if (!option.get_lnames().empty()) return "--" + option.get_lnames().front();
  if (!option.get_snames().empty()) return "-" + option.get_snames().front();
  return option.get_type_name();
}

std::string OptionNames(const CLI::Option& option) {
  std::vector<std::string> names;
  for (const std::string& s : option.get_snames()) names.push_back("-" + s);
  for (const std::string& l : option.get_lnames()) names.push_back("--" + l);
  std::string text = Joined(names, ", ");
  if (option.get_items_expected_max() > 0) text += " " + option.get_type_name();
  return text;
}

std::vector<std::string> NamesOf(const std::set<CLI::Option*>& options) {
  std::vector<std::string> names;
  for (const CLI::Option* option : options) names.push_back(MainName(*option));
  std::sort(names.begin(), names.end());
  return names;
}

// The option's own text followed by what the parser enforces, in words.
std::string OptionText(const CLI::Option& option) {
  std::string text = option.get_description();
  const auto sentence = [&text](const std::string& words) {
    if (!text.empty() && text.back() != '.') text += '.';
    if (!text.empty()) text += ' ';
    text += words + '.';
  };
  if (option.get_required() && option.nonpositional()) sentence("Required");
  if (!option.get_needs().empty()) sentence("Only with " + Joined(NamesOf(option.get_needs()), " and "));
  if (!option.get_excludes().empty()) sentence("Not with " + Joined(NamesOf(option.get_excludes()), " or "));
  return text;
}

std::string UsageOf(const CLI::App& command, const std::string& path) {
  std::string usage = path;
  if (!command.get_options([](const CLI::Option* o) { return o->nonpositional(); }).empty()) {
    usage += " [OPTIONS]";
  }
  for (const CLI::Option* positional :
       command.get_options([](const CLI::Option* o) { return o->get_positional(); })) {
    const std::string name = positional->get_type_name();
    usage += positional->get_required() ? " " + name : " [" + name + "]";
  }
  if (!command.get_subcommands([](const CLI::App*) { return true; }).empty()) {
    usage += command.get_require_subcommand_min() > 0 ? " SUBCOMMAND" : " [SUBCOMMAND]";
  }
  return usage;
}

// Entries laid out in two columns, or the text under its names where the terminal is narrow.
std::string EntriesText(const std::vector<HelpEntry>& entries, int width) {
  std::size_t longest = 0;
  for (const HelpEntry& entry : entries) longest = std::max(longest, entry.names.size());
  const int column = std::min(static_cast<int>(longest) + 4, kWidestNameColumn);
  const bool side_by_side = width - column >= kNarrowestTextColumn;
  std::string out;
  for (const HelpEntry& entry : entries) {
    const std::string names = "  " + entry.names;
    if (!side_by_side) {
      out += WrapText(entry.names, width, 2, 2);
      out += WrapText(entry.text, width, 6);
      continue;
    }
    std::string text = WrapText(entry.text, width, column);
    if (static_cast<int>(names.size()) + 2 <= column && !text.empty()) {
      // The names take the place of the first line's indent.
      text.replace(0, names.size(), names);
      out += text;
    } else {
      out += names + "\n" + text;
    }
  }
  return out;
}

std::string Section(const char* title, const std::vector<HelpEntry>& entries, int width) {
  if (entries.empty()) return {};
  return std::string("\n") + title + "\n" + EntriesText(entries, width);
}

// Text for roff: backslashes and hyphens escaped, and a leading dot or quote kept from being
// read as a request.
std::string RoffEscaped(std::string_view text) {
  std::string out;
  for (char c : text) {
    if (c == '\\') {
      out += "\\e";
    } else if (c == '-') {
      out += "\\-";
    } else {
      out += c;
    }
  }
  return out;
}

std::string RoffParagraphs(std::string_view text) {
  std::string out;
  while (!text.empty()) {
    const std::size_t end = std::min(text.find('\n'), text.size());
    const std::string_view line = text.substr(0, end);
    if (!line.empty()) {
      out += ".PP\n";
      if (line.front() == '.' || line.front() == '\'') out += "\\&";
      out += RoffEscaped(line) + "\n";
    }
    text.remove_prefix(std::min(end + 1, text.size()));
  }
  return out;
}

}  // namespace

std::string CommandPath(const CLI::App& command) {
  std::string path = command.get_name();
  for (const CLI::App* parent = command.get_parent(); parent != nullptr;
       parent = parent->get_parent()) {
    path = parent->get_name() + " " + path;
  }
  return path;
}

HelpPage DescribeCommand(const CLI::App& command, const std::string& path) {
  HelpPage page;
  page.usage = UsageOf(command, path);
  page.description = command.get_description();
  for (const CLI::Option* option : command.get_options()) {
    if (option->get_positional()) {
      page.arguments.push_back({option->get_type_name(), OptionText(*option)});
    } else {
      page.options.push_back({OptionNames(*option), OptionText(*option)});
    }
  }
  for (const CLI::App* sub : command.get_subcommands([](const CLI::App*) { return true; })) {
    page.subcommands.push_back({sub->get_name(), sub->get_description()});
  }
  page.footer = command.get_footer();
  return page;
}

int HelpWidth() {
  if (const char* columns = std::getenv("COLUMNS")) {
    int value = 0;
    const char* end = columns + std::strlen(columns);
    const auto [at, error] = std::from_chars(columns, end, value);
    if (error == std::errc() && at == end && value >= kNarrowestHelp && value <= kWidestHelp) {
      return value;
    }
  }
  if (const int columns = TerminalWidth(stdout); columns >= kNarrowestHelp) return columns;
  return kDefaultWidth;
}

std::string WrapText(std::string_view text, int width, int indent, int hang) {
  std::string out;
  while (!text.empty()) {
    const std::size_t end = std::min(text.find('\n'), text.size());
    std::string_view paragraph = text.substr(0, end);
    text.remove_prefix(std::min(end + 1, text.size()));
    std::string line(static_cast<std::size_t>(indent), ' ');
    bool line_has_word = false;
    while (!paragraph.empty()) {
      const std::size_t space = paragraph.find(' ');
      const std::string_view word = paragraph.substr(0, space);
      paragraph.remove_prefix(space == std::string_view::npos ? paragraph.size() : space + 1);
      if (word.empty()) continue;
      if (line_has_word && static_cast<int>(line.size() + 1 + word.size()) > width) {
        out += line + "\n";
        line.assign(static_cast<std::size_t>(indent + hang), ' ');
        line_has_word = false;
      }
      if (line_has_word) line += ' ';
      line += word;
      line_has_word = true;
    }
    out += (line_has_word ? line : std::string()) + "\n";
  }
  return out;
}

std::string HelpText(const HelpPage& page, int width) {
  std::string out = WrapText("Usage: " + page.usage, width, 0, 2);
  if (!page.description.empty()) out += "\n" + WrapText(page.description, width, 0);
  out += Section("Arguments:", page.arguments, width);
  out += Section("Options:", page.options, width);
  out += Section("Subcommands:", page.subcommands, width);
  if (!page.footer.empty()) out += "\n" + WrapText(page.footer, width, 0);
  return out;
}

std::string RoffEntries(const std::vector<HelpEntry>& entries) {
  std::string out;
  for (const HelpEntry& entry : entries) {
    out += ".TP\n\\fB" + RoffEscaped(entry.names) + "\\fR\n" + RoffEscaped(entry.text) + "\n";
  }
  return out;
}

std::string HelpRoff(const HelpPage& page) {
  std::string out = ".SS \"" + RoffEscaped(page.usage) + "\"\n";
  out += RoffParagraphs(page.description);
  out += RoffEntries(page.arguments);
  out += RoffEntries(page.options);
  out += RoffEntries(page.subcommands);
  out += RoffParagraphs(page.footer);
  return out;
}

std::string HelpFormatter::make_help(const CLI::App* app, std::string /*name*/,
                                     CLI::AppFormatMode /*mode*/) const {
  return HelpText(DescribeCommand(*app, CommandPath(*app)), HelpWidth());
}

}  // namespace qv::cli
