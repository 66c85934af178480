#include "cli/stop_signals.h"

#include <csignal>

namespace qv::cli {
namespace {

std::atomic<uint32_t> g_stops{0};
static_assert(std::atomic<uint32_t>::is_always_lock_free, "counted from a signal handler");

void SetStopAction(void (*handler)(int)) {
  struct sigaction action {};
  action.sa_handler = handler;
  sigemptyset(&action.sa_mask);
  sigaction(SIGINT, &action, nullptr);
  sigaction(SIGTERM, &action, nullptr);
}

void OnStop(int signal_number) {
  if (g_stops.fetch_add(1) + 1 < 3) return;
  SetStopAction(SIG_DFL);
  // Blocked while the handler runs; delivered with its default action once it returns.
  std::raise(signal_number);
}

}  // namespace

void CatchStopSignals() {
  g_stops.store(0);
  SetStopAction(OnStop);
}

const std::atomic<uint32_t>& StopSignalCount() { return g_stops; }

}  // namespace qv::cli
