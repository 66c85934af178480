// Holds a named mutex for a test in another process: creates the name given as argument,
// writes "created", "exists" or "failed" on stdout, then keeps it until the process is killed.
// Should the test die before it kills the helper, the helper still ends after a while, so no
// forgotten holder keeps a name for the next run.

#include <chrono>
#include <cstdio>
#include <string>
#include <thread>

#include "platform/named_mutex.h"

int main(int argc, char** argv) {
  if (argc != 2) return 2;
  qv::NamedMutexResult result = qv::SystemNamedMutexes().Create(argv[1]);
  const char* word = result.status == qv::NamedMutexStatus::kCreated         ? "created\n"
                     : result.status == qv::NamedMutexStatus::kAlreadyExists ? "exists\n"
                                                                             : "failed\n";
  std::fputs(word, stdout);
  std::fflush(stdout);
  std::this_thread::sleep_for(std::chrono::minutes(2));
  return 0;
}
