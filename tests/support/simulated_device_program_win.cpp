#include "simulated_device_program.h"

namespace qv::test {

SimulatedDeviceProgram::SimulatedDeviceProgram(const std::filesystem::path& program,
                                               const std::filesystem::path& simulator,
                                               const std::filesystem::path& folder)
    : program_(folder / program.filename()) {
  // The folder the program starts from comes first in the DLL search, before the system's
  // folders and PATH, so the simulator named hidapi.dll stands in for the real one.
  const auto overwrite = std::filesystem::copy_options::overwrite_existing;
  std::filesystem::copy_file(program, program_, overwrite);
  std::filesystem::copy_file(simulator, folder / "hidapi.dll", overwrite);
}

}  // namespace qv::test
