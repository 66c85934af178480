#pragma once

// A program of this project run against the simulated device instead of the system's hidapi.
// Linux: the simulator library is preloaded (LD_PRELOAD) in front of the program's hidapi.
// Windows: the program and the simulator, as hidapi.dll, are copied into a folder of their own,
// where the program loads the DLL beside it before the system's.

#include <filesystem>
#include <string>
#include <vector>

namespace qv::test {

class SimulatedDeviceProgram {
 public:
  // `folder` is where the copies go on Windows; it must exist.
  SimulatedDeviceProgram(const std::filesystem::path& program,
                         const std::filesystem::path& simulator,
                         const std::filesystem::path& folder);

  // The program to start.
  [[nodiscard]] const std::filesystem::path& program() const { return program_; }
  // What the environment needs for the simulator to take hidapi's place (NAME=value).
  [[nodiscard]] const std::vector<std::string>& environment() const { return environment_; }

 private:
  std::filesystem::path program_;
  std::vector<std::string> environment_;
};

}  // namespace qv::test
