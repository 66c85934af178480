#include "cli/cli_progress_bar.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "recording_dialogs.h"

namespace qv::cli {
namespace {

std::string Contents(std::FILE* file) {
  std::fflush(file);
  std::rewind(file);
  std::string text;
  for (int c = std::fgetc(file); c != EOF; c = std::fgetc(file)) text += static_cast<char>(c);
  return text;
}

void Post(TerminalProgress& progress, uint32_t percent) {
  progress.percent.store(percent);
  progress.PostProgressMessage();
}

TEST(TerminalProgress, PlainLinesForLogs) {
  std::FILE* out = std::tmpfile();
  {
    TerminalProgress progress(/*live=*/false, out);
    progress.SetStatusText("To updata ,please wait...");
    for (uint32_t p : {10u, 12u, 19u, 20u, 55u, 100u}) Post(progress, p);
    progress.SetStatusText("Update:55% complete");
    progress.SetStatusText("Update:55% complete");  // unchanged: not repeated
    progress.SetFlashText("Flash:F10");
    progress.Reset();
    Post(progress, 10);  // a new device logs its tenths again
  }
  EXPECT_EQ(Contents(out),
            "To updata ,please wait...\nProgress: 10%\nProgress: 20%\nProgress: 55%\n"
            "Progress: 100%\nUpdate:55% complete\nFlash:F10\nProgress: 10%\n");
  std::fclose(out);
}

TEST(TerminalProgress, LiveLineIsRedrawnAndEndedBeforeMessages) {
  std::FILE* out = std::tmpfile();
  test::RecordingDialogs inner;
  {
    TerminalProgress progress(/*live=*/true, out);
    ProgressAwareDialogs dialogs(inner, progress);
    progress.SetStatusText("Erase");
    Post(progress, 50);
    Post(progress, 50);  // same percent: no redraw
    dialogs.ShowMessage("Write data faile");
    dialogs.ShowMessage("again");  // the line is already ended
  }
  EXPECT_EQ(Contents(out),
            "\r[..............................]   0%  Erase\x1b[K"
            "\r[###############...............]  50%  Erase\x1b[K\n");
  EXPECT_EQ(inner.messages().size(), 2u);
  std::fclose(out);
}

}  // namespace
}  // namespace qv::cli
