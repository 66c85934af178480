// The terminal dialogs on a pseudo-terminal, which exists on POSIX only: a test cannot type into
// a Windows console.

#include <gtest/gtest.h>
#include <poll.h>
#include <pty.h>
#include <unistd.h>

#include <cstdio>
#include <string>

#include "cli/cli_dialogs.h"

namespace qv::cli {
namespace {

// On a terminal "ask" prompts until it gets an answer it understands.
TEST(TerminalDialogsTest, AskPromptsOnATerminal) {
  struct Case {
    const char* typed;
    bool answer;
    int prompts;
  };
  const Case cases[] = {
      {"yes\n", true, 1}, {"maybe\nY\n", true, 2}, {"n\n", false, 1}, {"", false, 1}};
  for (const auto& c : cases) {
    int master = -1;
    int slave = -1;
    ASSERT_EQ(::openpty(&master, &slave, nullptr, nullptr, nullptr), 0);
    std::FILE* in = ::fdopen(::dup(slave), "r");
    std::FILE* out = ::fdopen(::dup(slave), "w");
    const std::string typed = std::string(c.typed) + (*c.typed ? "" : "\x04");  // ^D: end
    ASSERT_EQ(::write(master, typed.data(), typed.size()), ssize_t(typed.size()));
    TerminalDialogs dialogs(AnswerPolicy::kAsk, in, out);
    EXPECT_EQ(dialogs.AskYesNo("Go on ?"), c.answer) << c.typed;
    std::fclose(in);
    std::fclose(out);
    ::close(slave);
    // Everything the dialog wrote, in as many reads as the terminal hands it out.
    std::string shown;
    char buffer[512];
    pollfd ready{master, POLLIN, 0};
    while (::poll(&ready, 1, 200) > 0) {
      const ssize_t n = ::read(master, buffer, sizeof buffer);
      if (n <= 0) break;
      shown.append(buffer, std::size_t(n));
    }
    ::close(master);
    int prompts = 0;
    for (auto at = shown.find("Go on ? [y/n] "); at != std::string::npos;
         at = shown.find("Go on ? [y/n] ", at + 1)) {
      ++prompts;
    }
    EXPECT_EQ(prompts, c.prompts) << c.typed;
  }
}

}  // namespace
}  // namespace qv::cli
