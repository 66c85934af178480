#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace qv::test {

// A program started with extra environment variables, stdin from /dev/null and stdout and
// stderr going to files, so a test can watch its output while it runs.
class ChildProcess {
 public:
  ChildProcess(const std::vector<std::string>& argv, const std::vector<std::string>& extra_env,
               const std::filesystem::path& output_dir);
  ~ChildProcess();
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;

  [[nodiscard]] bool started() const { return pid_ > 0; }
  [[nodiscard]] int pid() const { return pid_; }
  void Signal(int signal_number);
  // Waits for the end, at most timeout_ms (then kills it and returns -1); the exit status.
  int Wait(int timeout_ms);
  [[nodiscard]] std::string Stdout() const;
  [[nodiscard]] std::string Stderr() const;

 private:
  int pid_ = -1;
  int status_ = -1;
  std::filesystem::path out_path_;
  std::filesystem::path err_path_;
};

[[nodiscard]] std::string ReadTextFile(const std::filesystem::path& path);
[[nodiscard]] std::vector<uint8_t> ReadBinaryFile(const std::filesystem::path& path);

}  // namespace qv::test
