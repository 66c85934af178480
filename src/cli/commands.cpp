// qvupdate: the command-line face of the updater (info, build, devices, flash, report, help).

#include "cli/commands.h"

#include <cstdio>
#include <memory>
#include <regex>
#include <string>

#include "cli/cli_help.h"
#include "platform/help_words.h"
#include "program_version.h"

namespace qv::cli {
namespace {

// The overview's footer: where to read on, then what each exit status means.
std::string ProgramFooter() {
  std::string footer =
      "Run 'qvupdate SUBCOMMAND --help' or 'qvupdate help SUBCOMMAND' for the options of a "
      "subcommand; " + std::string(FullDocumentationSentence());
  for (const HelpEntry& status : ExitStatuses()) {
    footer += "\nExit status " + status.names + ": " + status.text;
  }
  return footer;
}

// The subcommand the parse got to: the deepest one named on the command line.
const CLI::App& DeepestCommand(const CLI::App& app) {
  const CLI::App* at = &app;
  while (!at->get_subcommands().empty()) at = at->get_subcommands().front();
  return *at;
}

// What the user gave that the parser did not understand, as seen from the command it got to:
// an option, a subcommand (at the top) or an argument too many. Empty when nothing was left.
std::string NotUnderstood(const CLI::App& command) {
  for (const CLI::App* at = &command; at != nullptr; at = at->get_parent()) {
    const std::vector<std::string> left = at->remaining();
    if (left.empty()) continue;
    const std::string& first = left.front();
    if (first.size() > 1 && first.front() == '-') return "unknown option '" + first + "'";
    if (command.get_parent() == nullptr) return "unknown subcommand '" + first + "'";
    return "unexpected argument '" + first + "'";
  }
  return {};
}

// CLI11's own wording, where it speaks of its internals, said as a user would.
std::string InWords(const CLI::ParseError& error) {
  std::string text = error.what();
  // "--count: 1 required N missing"
  static const std::regex kValueMissing(R"(^(\S+): \d+ required (\S+) missing$)");
  std::smatch missing;
  if (std::regex_match(text, missing, kValueMissing)) {
    return missing[1].str() + " needs a value: " + missing[2].str();
  }
  const std::string excludes = " excludes ";
  if (const std::size_t at = text.find(excludes); at != std::string::npos) {
    text.replace(at, excludes.size(), " cannot be used with ");
  }
  if (text == "A subcommand is required") return "a subcommand is needed";
  return text;
}

// A usage error: what was wrong, naming what the user typed, and where to read more.
int ReportUsageError(const CLI::App& app, const CLI::ParseError& error) {
  const CLI::App& command = DeepestCommand(app);
  const std::string path = CommandPath(command);
  std::string what = NotUnderstood(command);
  if (what.empty()) what = InWords(error);
  std::fprintf(stderr, "%s: %s\nRun '%s --help' for %s.\n", path.c_str(), what.c_str(),
               path.c_str(), command.get_parent() == nullptr ? "its subcommands" : "its options");
  return 1;
}

void AddHelpCommand(CLI::App& app) {
  auto subject = std::make_shared<std::string>();
  CLI::App* help = app.add_subcommand("help", "Show the help of qvupdate or of one subcommand");
  // A subcommand starts with its parent's footer; this one has its own.
  help->footer("Without SUBCOMMAND, the overview of qvupdate and its subcommands.");
  help->add_option("subcommand", *subject, "The subcommand to show the help of")
      ->type_name("SUBCOMMAND");
  help->callback([&app, subject] {
    const CLI::App* target = &app;
    if (!subject->empty()) {
      target = nullptr;
      for (const CLI::App* sub : app.get_subcommands([](const CLI::App*) { return true; })) {
        if (sub->get_name() == *subject) target = sub;
      }
    }
    if (target == nullptr) {
      std::fprintf(stderr, "qvupdate help: unknown subcommand '%s'\nRun 'qvupdate --help' for "
                   "its subcommands.\n", subject->c_str());
      ExitStatus() = 1;
      return;
    }
    const std::string text = HelpText(DescribeCommand(*target, CommandPath(*target)), HelpWidth());
    std::fwrite(text.data(), 1, text.size(), stdout);
    ExitStatus() = 0;
  });
}

}  // namespace

const std::vector<HelpEntry>& ExitStatuses() {
  static const std::vector<HelpEntry> statuses = {
      {"0", "success: the package loaded and passed its checks (info), the package was written "
            "(build), a device would be taken (devices), every unit ended updated (flash), the "
            "record was read (report)."},
      {"1", "any failure, a usage error included: a package that cannot be loaded or fails a "
            "check, no device, a unit that failed or was declined."},
      {"130", "a flash aborted by " + std::string(StopRequestWordsOfThisSystem().abort) +
                  ": each device in progress was released and its unit recorded as "
                  "interrupted; those devices must be updated again before use."},
  };
  return statuses;
}

int& ExitStatus() {
  static int status = 0;
  return status;
}

void DefineQvupdate(CLI::App& app) {
  app.name("qvupdate");
  app.description("Inspect, build and flash update packages for the QV USB device");
  app.formatter(std::make_shared<HelpFormatter>());
  app.set_help_flag("-h,--help", "Print this help and exit");
  app.set_version_flag("--version", std::string("qvupdate ") + kProgramVersion,
                       "Print the version and exit");
  app.require_subcommand(1);
  app.footer(ProgramFooter());
  // In the order --help lists them.
  AddInfoCommand(app);
  AddBuildCommand(app);
  AddDevicesCommand(app);
  AddFlashCommand(app);
  AddReportCommand(app);
  AddVerifyCommand(app);
  AddHelpCommand(app);
}

int RunQvupdate(int argc, char** argv) {
  CLI::App app;
  DefineQvupdate(app);
  try {
    app.parse(argc, argv);
  } catch (const CLI::CallForHelp&) {
    const std::string text = app.help();
    std::fwrite(text.data(), 1, text.size(), stdout);
    return 0;
  } catch (const CLI::CallForVersion& version) {
    std::printf("%s\n", version.what());
    return 0;
  } catch (const CLI::ParseError& error) {
    // Any usage error is a failure like every other (status 1).
    return ReportUsageError(app, error);
  }
  return ExitStatus();
}

}  // namespace qv::cli
