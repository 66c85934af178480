#pragma once

// A program run by a test in a process of its own: started with extra environment variables,
// stdin from the null device and stdout and stderr going to files, so a test can watch its
// output while it runs (no pipe: a child's own children could keep a pipe open for ever).
// POSIX: posix_spawn. Windows: CreateProcessW with a command line quoted by the Windows rules.

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace qv::test {

class ChildProcess {
 public:
  // argv[0] is the program's path. Each extra_env entry is NAME=value and replaces an
  // inherited variable of that name; inherited variables whose names start with one of
  // `dropped_prefixes` are left out. stdout.txt and stderr.txt are written in output_dir.
  ChildProcess(const std::vector<std::string>& argv, const std::vector<std::string>& extra_env,
               const std::filesystem::path& output_dir,
               const std::vector<std::string>& dropped_prefixes = {});
  ~ChildProcess();
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;

  [[nodiscard]] bool started() const { return pid_ > 0; }
  [[nodiscard]] int64_t pid() const { return pid_; }
#ifndef _WIN32
  // Sends a signal (POSIX only: Windows has no signals to send to another process).
  void Signal(int signal_number);
#endif
  // Ends the program the hard way, as a crash would, and waits until it is gone.
  void Kill();
  // Waits for the end, at most timeout_ms (then kills it and returns -1); the exit status
  // (128 + the signal's number for a program a signal ended).
  int Wait(int timeout_ms);
  [[nodiscard]] std::string Stdout() const;
  [[nodiscard]] std::string Stderr() const;

 private:
  int64_t pid_ = -1;
  int status_ = -1;
  std::filesystem::path out_path_;
  std::filesystem::path err_path_;
#ifdef _WIN32
  void* process_ = nullptr;  // the process's handle
#endif
};

// This process's environment with the extra entries (NAME=value) put in place of inherited
// ones of the same name and the variables starting with a dropped prefix left out. Names
// compare without case on Windows, as the system does.
[[nodiscard]] std::vector<std::string> ChildEnvironment(
    const std::vector<std::string>& inherited, const std::vector<std::string>& extra_env,
    const std::vector<std::string>& dropped_prefixes);

// Runs a program to its end (killed after timeout_ms), its output in output_dir.
struct ProgramRun {
  int status = -1;
  std::string out;
  std::string err;
};
[[nodiscard]] ProgramRun RunProgram(const std::vector<std::string>& argv,
                                    const std::vector<std::string>& extra_env,
                                    const std::filesystem::path& output_dir,
                                    const std::vector<std::string>& dropped_prefixes = {},
                                    int timeout_ms = 60'000);

[[nodiscard]] std::string ReadTextFile(const std::filesystem::path& path);
[[nodiscard]] std::vector<uint8_t> ReadBinaryFile(const std::filesystem::path& path);

}  // namespace qv::test
