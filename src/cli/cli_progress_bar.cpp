#include "cli/cli_progress_bar.h"

#include <unistd.h>

namespace qv::cli {
namespace {

constexpr int kBarWidth = 30;

}  // namespace

TerminalProgress::TerminalProgress(std::FILE* out) : out_(out), live_(isatty(fileno(out)) != 0) {}

void TerminalProgress::SetStatusText(std::string_view text) {
  if (text == status_) return;
  status_ = text;
  if (live_) {
    Redraw();
  } else {
    std::fprintf(out_, "%s\n", status_.c_str());
    std::fflush(out_);
  }
}

void TerminalProgress::PostProgressMessage() {
  const uint32_t percent = this->percent.load();
  if (live_) {
    if (percent != shown_percent_ || !line_open_) {
      shown_percent_ = percent;
      Redraw();
    }
    return;
  }
  if (percent / 10 > logged_tenth_) {
    logged_tenth_ = percent / 10;
    std::fprintf(out_, "Progress: %u%%\n", static_cast<unsigned>(percent));
    std::fflush(out_);
  }
}

void TerminalProgress::SetFlashText(std::string_view text) {
  EndLine();
  std::fprintf(out_, "%.*s\n", static_cast<int>(text.size()), text.data());
  std::fflush(out_);
}

void TerminalProgress::EndLine() {
  if (!line_open_) return;
  std::fputc('\n', out_);
  std::fflush(out_);
  line_open_ = false;
}

void TerminalProgress::Reset() {
  EndLine();
  status_.clear();
  shown_percent_ = 0;
  logged_tenth_ = 0;
  percent.store(0);
}

void TerminalProgress::Redraw() {
  const int filled =
      static_cast<int>(shown_percent_ > 100 ? 100 : shown_percent_) * kBarWidth / 100;
  std::string bar(static_cast<std::size_t>(filled), '#');
  bar.append(static_cast<std::size_t>(kBarWidth - filled), '.');
  // \r returns to the line's start; \x1b[K clears what a longer earlier text left behind.
  std::fprintf(out_, "\r[%s] %3u%%  %s\x1b[K", bar.c_str(), static_cast<unsigned>(shown_percent_),
               status_.c_str());
  std::fflush(out_);
  line_open_ = true;
}

}  // namespace qv::cli
