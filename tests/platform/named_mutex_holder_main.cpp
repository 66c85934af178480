// Holds a named mutex for a test in another process: creates the name given as argument,
// writes "created", "exists" or "failed" on stdout, then keeps it until stdin closes or the
// process is killed.

#include <unistd.h>

#include <cstdio>
#include <string>

#include "platform/named_mutex.h"

int main(int argc, char** argv) {
  if (argc != 2) return 2;
  qv::NamedMutexResult result = qv::SystemNamedMutexes().Create(argv[1]);
  const char* word = result.status == qv::NamedMutexStatus::kCreated         ? "created\n"
                     : result.status == qv::NamedMutexStatus::kAlreadyExists ? "exists\n"
                                                                             : "failed\n";
  std::fputs(word, stdout);
  std::fflush(stdout);
  char byte = 0;
  while (::read(STDIN_FILENO, &byte, 1) > 0) {
  }
  return 0;
}
