#include "cli/stop_signals.h"

#include <csignal>

namespace qv::cli {
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

void CatchStopSignals() {
  g_stops.store(0);
  for (int stop : kStopSignals) SetAction(stop, OnStop);
  SetAction(SIGPIPE, SIG_IGN);
}

const std::atomic<uint32_t>& StopSignalCount() { return g_stops; }

}  // namespace qv::cli
