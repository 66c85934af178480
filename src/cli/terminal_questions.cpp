#include "cli/terminal_questions.h"

#include <optional>

#include "cli/yes_no_answer.h"
#include "platform/console.h"

namespace qv::cli {
namespace {

// How long one wait for a key lasts before the question is looked at again.
constexpr int kReadSliceMs = 100;

}  // namespace

TerminalQuestions::TerminalQuestions(AnswerPolicy policy, StationView& display,
                                     std::function<bool(uint64_t, bool)> answer,
                                     std::function<bool(uint64_t)> open, int input_fd,
                                     bool terminal)
    : policy_(policy),
      display_(display),
      answer_(std::move(answer)),
      open_(std::move(open)),
      input_fd_(input_fd),
      terminal_(terminal) {
  if (policy_ == AnswerPolicy::kAsk && terminal_) {
    asker_ = StartThreadWithoutStopRequests([this] { Serve(); });
  }
}

TerminalQuestions::~TerminalQuestions() {
  {
    std::lock_guard lock(mutex_);
    ending_ = true;
  }
  changed_.notify_all();
  if (asker_.joinable()) asker_.join();
}

bool TerminalQuestions::TerminalAttached() {
  return IsTerminal(stdin) && IsTerminal(stderr);
}

void TerminalQuestions::Take(const station::StationQuestion& question) {
  const std::string text = display_.QuestionText(question);
  if (policy_ != AnswerPolicy::kAsk || !terminal_) {
    const bool yes = policy_ == AnswerPolicy::kYes;
    const char* note = policy_ == AnswerPolicy::kAsk ? " [no terminal: answered no]"
                       : yes                         ? " [answered yes]"
                                                     : " [answered no]";
    display_.Notice(text + note);
    answer_(question.id, yes);
    return;
  }
  {
    std::lock_guard lock(mutex_);
    waiting_.push_back(question);
  }
  changed_.notify_all();
}

void TerminalQuestions::Serve() {
  for (;;) {
    station::StationQuestion question;
    {
      std::unique_lock lock(mutex_);
      changed_.wait(lock, [this] { return ending_ || !waiting_.empty(); });
      if (waiting_.empty()) return;
      question = std::move(waiting_.front());
      waiting_.pop_front();
    }
    if (open_(question.id)) Prompt(question);
  }
}

void TerminalQuestions::Prompt(const station::StationQuestion& question) {
  const std::string prompt = display_.QuestionText(question) + " [y/n] ";
  for (;;) {
    display_.BeginPrompt(prompt);
    bool ended = false;
    bool given_up = false;
    const std::optional<bool> typed = YesNoTyped(ReadLine(question.id, ended, given_up));
    if (given_up) {
      display_.EndPrompt("[stopping: answered no]");
      return;
    }
    if (typed || ended) {
      // The end of input answers No, also after a line that was no answer.
      const bool yes = typed.value_or(false);
      display_.EndPrompt(ended && !typed ? "[no input: answered no]" : "");
      answer_(question.id, yes);
      return;
    }
    display_.EndPrompt("");
  }
}

std::string TerminalQuestions::ReadLine(uint64_t id, bool& ended, bool& given_up) {
  std::string line;
  for (;;) {
    {
      std::lock_guard lock(mutex_);
      if (ending_) {
        given_up = true;
        return {};
      }
    }
    if (!open_(id)) {
      given_up = true;
      return {};
    }
    char c = 0;
    const TerminalInput input = ReadTerminalCharacter(input_fd_, kReadSliceMs, c);
    if (input == TerminalInput::kNothingYet) continue;
    if (input == TerminalInput::kEnded) {
      ended = true;
      return line;
    }
    if (c == '\n') return line;
    if (c == '\b') {
      if (!line.empty()) line.pop_back();
      continue;
    }
    line.push_back(c);
  }
}

}  // namespace qv::cli
