#include <poll.h>
#include <pthread.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <utility>

#include "platform/console.h"

namespace qv {
namespace {

std::atomic<uint32_t> g_stops{0};
static_assert(std::atomic<uint32_t>::is_always_lock_free, "counted from a signal handler");

constexpr int kStopSignals[] = {SIGINT, SIGTERM, SIGHUP, SIGQUIT};

void SetAction(int signal_number, void (*handler)(int)) {
  struct sigaction action {};
  action.sa_handler = handler;
  sigemptyset(&action.sa_mask);
  sigaction(signal_number, &action, nullptr);
}

void OnStop(int signal_number) {
  const uint32_t stops = signal_number == SIGQUIT ? 2 : 1;
  if (g_stops.fetch_add(stops) < 2) return;
  for (int stop : kStopSignals) SetAction(stop, SIG_DFL);
  // Blocked while the handler runs; delivered with its default action once it returns.
  std::raise(signal_number);
}

}  // namespace

void CatchStopRequests() {
  g_stops.store(0);
  for (int stop : kStopSignals) SetAction(stop, OnStop);
  SetAction(SIGPIPE, SIG_IGN);
}

const std::atomic<uint32_t>& StopRequestCount() { return g_stops; }

std::thread StartThreadWithoutStopRequests(std::function<void()> body) {
  // A new thread inherits its creator's mask: block the signals around its creation, so there
  // is no moment at which the new thread could take one.
  sigset_t stops;
  sigemptyset(&stops);
  for (int stop : kStopSignals) sigaddset(&stops, stop);
  sigset_t before;
  pthread_sigmask(SIG_BLOCK, &stops, &before);
  struct Restore {
    const sigset_t& mask;
    ~Restore() { pthread_sigmask(SIG_SETMASK, &mask, nullptr); }
  } restore{before};
  return std::thread(std::move(body));
}

bool IsTerminal(std::FILE* stream) { return ::isatty(::fileno(stream)) == 1; }

bool TerminalTakesCursorControl(std::FILE* stream) { return IsTerminal(stream); }

void UseUtf8Console() {}

bool RunsInConsoleOfItsOwn() { return false; }

void WaitForKeyAtConsole(const char* /*line*/) {}

TerminalInput ReadTerminalCharacter(int fd, int timeout_ms, char& c) {
  pollfd input{fd, POLLIN, 0};
  const int ready = ::poll(&input, 1, timeout_ms);
  if (ready < 0) return errno == EINTR ? TerminalInput::kNothingYet : TerminalInput::kEnded;
  if (ready == 0) return TerminalInput::kNothingYet;
  const ssize_t n = ::read(fd, &c, 1);
  if (n < 0 && errno == EINTR) return TerminalInput::kNothingYet;
  return n == 1 ? TerminalInput::kCharacter : TerminalInput::kEnded;
}

}  // namespace qv
