#include <sys/ioctl.h>
#include <unistd.h>

#include "platform/terminal_width.h"

namespace qv {

int TerminalWidth(std::FILE* stream) {
  winsize size{};
  if (::ioctl(::fileno(stream), TIOCGWINSZ, &size) != 0) return 0;
  return size.ws_col;
}

}  // namespace qv
