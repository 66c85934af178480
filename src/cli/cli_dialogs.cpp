#include "cli/cli_dialogs.h"

#include <string>

#include "cli/yes_no_answer.h"
#include "platform/console.h"
#include "station/visible_text.h"

namespace qv::cli {
using station::OneLine;

void TerminalDialogs::WriteLine(std::string_view text) {
  const std::string line = OneLine(text) + "\n";
  std::fwrite(line.data(), 1, line.size(), out_);
  std::fflush(out_);
}

// A message's own line breaks are kept: a detail such as the system's reason for a failure
// stands on the line after the message.
void TerminalDialogs::ShowMessage(std::string_view text) {
  for (;;) {
    const std::size_t lf = text.find('\n');
    std::string_view line = text.substr(0, lf);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    WriteLine(line);
    if (lf == std::string_view::npos) break;
    text.remove_prefix(lf + 1);
  }
}

bool TerminalDialogs::HasTerminal() const {
  return IsTerminal(in_) && IsTerminal(out_);
}

bool TerminalDialogs::Prompt(std::string_view text) {
  for (;;) {
    const std::string prompt = OneLine(text) + " [y/n] ";
    std::fwrite(prompt.data(), 1, prompt.size(), out_);
    std::fflush(out_);
    std::string answer;
    int c;
    while ((c = std::fgetc(in_)) != EOF && c != '\n') answer.push_back(static_cast<char>(c));
    if (const std::optional<bool> yes = YesNoTyped(answer)) return *yes;
    if (c == EOF) return false;
  }
}

bool TerminalDialogs::AskYesNo(std::string_view text) {
  switch (policy_) {
    case AnswerPolicy::kYes:
      WriteLine(std::string(text) + " [answered yes]");
      return true;
    case AnswerPolicy::kNo:
      WriteLine(std::string(text) + " [answered no]");
      return false;
    case AnswerPolicy::kAsk:
      break;
  }
  if (!HasTerminal()) {
    WriteLine(std::string(text) + " [no terminal: answered no]");
    return false;
  }
  return Prompt(text);
}

void RepeatedDetailFilter::ShowMessage(std::string_view text) {
  const std::size_t lf = text.find('\n');
  if (lf == std::string_view::npos) {
    last_detail_.clear();
    inner_.ShowMessage(text);
    return;
  }
  const std::string_view detail = text.substr(lf + 1);
  const bool repeated = detail == last_detail_;
  last_detail_ = detail;
  inner_.ShowMessage(repeated ? text.substr(0, lf) : text);
}

}  // namespace qv::cli
