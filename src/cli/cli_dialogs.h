#pragma once

#include <cstdio>
#include <string>
#include <string_view>

#include "platform/dialogs.h"

namespace qv::cli {

// How a terminal run answers Yes/No questions.
enum class AnswerPolicy {
  kAsk,  // prompt when stdin and stderr are terminals; No when there is no terminal
  kYes,
  kNo,
};

// Dialogs for the command line: messages are lines on stderr (each line of a message its own),
// questions are single lines answered by the policy chosen at construction. The streams are injectable for tests.
class TerminalDialogs final : public Dialogs {
 public:
  explicit TerminalDialogs(AnswerPolicy policy, std::FILE* in = stdin, std::FILE* out = stderr)
      : policy_(policy), in_(in), out_(out) {}

  void ShowMessage(std::string_view text) override;
  [[nodiscard]] bool AskYesNo(std::string_view text) override;

 private:
  void WriteLine(std::string_view text);
  [[nodiscard]] bool HasTerminal() const;
  [[nodiscard]] bool Prompt(std::string_view text);

  AnswerPolicy policy_;
  std::FILE* in_;
  std::FILE* out_;
};

// Passes messages on to another Dialogs, leaving out a message's detail lines when they repeat
// those of the message before it. A package that cannot be opened gives two messages with the
// same file and reason under them; on a terminal, where they stand one under the other, the
// reason is said once.
class RepeatedDetailFilter final : public Dialogs {
 public:
  explicit RepeatedDetailFilter(Dialogs& inner) : inner_(inner) {}
  void ShowMessage(std::string_view text) override;
  [[nodiscard]] bool AskYesNo(std::string_view text) override { return inner_.AskYesNo(text); }

 private:
  Dialogs& inner_;
  std::string last_detail_;
};

}  // namespace qv::cli
