#include "station/device_thread.h"

#include <pthread.h>

#include <csignal>
#include <utility>

namespace qv::station {

std::thread StartWithoutStopSignals(std::function<void()> body) {
  // A new thread inherits its creator's mask: block the signals around its creation, so there
  // is no moment at which the new thread could take one.
  sigset_t stops;
  sigemptyset(&stops);
  sigaddset(&stops, SIGINT);
  sigaddset(&stops, SIGTERM);
  sigaddset(&stops, SIGHUP);
  sigaddset(&stops, SIGQUIT);
  sigset_t before;
  pthread_sigmask(SIG_BLOCK, &stops, &before);
  struct Restore {
    const sigset_t& mask;
    ~Restore() { pthread_sigmask(SIG_SETMASK, &mask, nullptr); }
  } restore{before};
  return std::thread(std::move(body));
}

}  // namespace qv::station
