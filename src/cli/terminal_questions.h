#pragma once

#include <condition_variable>
#include <cstdio>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

#include "cli/cli_dialogs.h"
#include "cli/station_view.h"
#include "station/station_events.h"

namespace qv::cli {

// Answers the station's questions for the command line. With --reinstall yes or no (or without
// a terminal) each is answered at once, with a note of the answer; otherwise a thread of its
// own prompts on the terminal, one question at a time, and reads the answer in short slices so
// that a question the station has meanwhile answered No (a stop) is given up. Nothing else
// waits while a question is asked.
class TerminalQuestions {
 public:
  // `answer` gives the station an answer (false when the question is no longer open);
  // `open` tells whether it still is.
  TerminalQuestions(AnswerPolicy policy, StationView& display,
                    std::function<bool(uint64_t, bool)> answer,
                    std::function<bool(uint64_t)> open, int input_fd = 0,
                    bool terminal = TerminalAttached());
  ~TerminalQuestions();
  TerminalQuestions(const TerminalQuestions&) = delete;
  TerminalQuestions& operator=(const TerminalQuestions&) = delete;

  // A question of the station, from any thread; returns at once.
  void Take(const station::StationQuestion& question);

  // Whether stdin and stderr are both terminals.
  [[nodiscard]] static bool TerminalAttached();

 private:
  void Serve();
  void Prompt(const station::StationQuestion& question);
  // A line typed at the terminal; empty with `ended` at the end of input, or with `given_up`
  // when the question was closed meanwhile.
  [[nodiscard]] std::string ReadLine(uint64_t id, bool& ended, bool& given_up);

  const AnswerPolicy policy_;
  StationView& display_;
  const std::function<bool(uint64_t, bool)> answer_;
  const std::function<bool(uint64_t)> open_;
  const int input_fd_;
  const bool terminal_;
  std::mutex mutex_;
  std::condition_variable changed_;
  std::deque<station::StationQuestion> waiting_;
  bool ending_ = false;
  std::thread asker_;
};

}  // namespace qv::cli
