#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <thread>

#include "child_process.h"

extern char** environ;

namespace qv::test {

ChildProcess::ChildProcess(const std::vector<std::string>& argv,
                           const std::vector<std::string>& extra_env,
                           const std::filesystem::path& output_dir,
                           const std::vector<std::string>& dropped_prefixes)
    : out_path_(output_dir / "stdout.txt"), err_path_(output_dir / "stderr.txt") {
  std::vector<std::string> inherited;
  for (char** e = environ; *e != nullptr; ++e) inherited.emplace_back(*e);
  std::vector<std::string> env = ChildEnvironment(inherited, extra_env, dropped_prefixes);
  std::vector<char*> env_ptrs;
  for (std::string& e : env) env_ptrs.push_back(e.data());
  env_ptrs.push_back(nullptr);
  std::vector<std::string> args = argv;
  std::vector<char*> arg_ptrs;
  for (std::string& a : args) arg_ptrs.push_back(a.data());
  arg_ptrs.push_back(nullptr);

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 1, out_path_.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                   0644);
  posix_spawn_file_actions_addopen(&actions, 2, err_path_.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                   0644);
  pid_t pid = -1;
  if (posix_spawn(&pid, arg_ptrs[0], &actions, nullptr, arg_ptrs.data(), env_ptrs.data()) == 0) {
    pid_ = pid;
  }
  posix_spawn_file_actions_destroy(&actions);
}

ChildProcess::~ChildProcess() { Kill(); }

void ChildProcess::Signal(int signal_number) {
  if (pid_ > 0) kill(static_cast<pid_t>(pid_), signal_number);
}

void ChildProcess::Kill() {
  if (pid_ <= 0) return;
  kill(static_cast<pid_t>(pid_), SIGKILL);
  waitpid(static_cast<pid_t>(pid_), nullptr, 0);
  pid_ = -1;
}

int ChildProcess::Wait(int timeout_ms) {
  if (pid_ <= 0) return status_;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
  while (std::chrono::steady_clock::now() < deadline) {
    int status = 0;
    if (waitpid(static_cast<pid_t>(pid_), &status, WNOHANG) == pid_) {
      pid_ = -1;
      status_ = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
      return status_;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  Kill();
  return -1;
}

}  // namespace qv::test
