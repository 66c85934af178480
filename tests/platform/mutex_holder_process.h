#pragma once

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>

namespace qv::test {

// Runs the named-mutex holder helper as a second process and reads what it did.
class MutexHolderProcess {
 public:
  MutexHolderProcess(const std::string& helper, const std::string& name) {
    int to_child[2] = {-1, -1};
    int from_child[2] = {-1, -1};
    if (::pipe2(to_child, O_CLOEXEC) != 0 || ::pipe2(from_child, O_CLOEXEC) != 0) return;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, to_child[0], STDIN_FILENO);
    posix_spawn_file_actions_adddup2(&actions, from_child[1], STDOUT_FILENO);
    std::string helper_arg = helper;
    std::string name_arg = name;
    char* argv[] = {helper_arg.data(), name_arg.data(), nullptr};
    if (posix_spawn(&pid_, helper.c_str(), &actions, nullptr, argv, environ) != 0) pid_ = -1;
    posix_spawn_file_actions_destroy(&actions);
    ::close(to_child[0]);
    ::close(from_child[1]);
    stdin_ = to_child[1];
    stdout_ = from_child[0];
    char c = 0;
    while (pid_ > 0 && ::read(stdout_, &c, 1) == 1 && c != '\n') status_ += c;
  }
  ~MutexHolderProcess() {
    Kill();
    if (stdin_ >= 0) ::close(stdin_);
    if (stdout_ >= 0) ::close(stdout_);
  }
  MutexHolderProcess(const MutexHolderProcess&) = delete;
  MutexHolderProcess& operator=(const MutexHolderProcess&) = delete;

  // "created", "exists" or "failed"; empty when the helper did not start.
  const std::string& status() const { return status_; }

  // Ends the holder the hard way, as a crash would, and waits until it is gone.
  void Kill() {
    if (pid_ <= 0) return;
    ::kill(pid_, SIGKILL);
    int wstatus = 0;
    ::waitpid(pid_, &wstatus, 0);
    pid_ = -1;
  }

 private:
  pid_t pid_ = -1;
  int stdin_ = -1;
  int stdout_ = -1;
  std::string status_;
};

// A name no other test run or updater uses, so parallel runs do not meet.
inline std::string UniqueMutexName(const std::string& base) {
  return base + "-test-" + std::to_string(::getpid());
}

}  // namespace qv::test
