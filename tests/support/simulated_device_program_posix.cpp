#include "simulated_device_program.h"

namespace qv::test {

SimulatedDeviceProgram::SimulatedDeviceProgram(const std::filesystem::path& program,
                                               const std::filesystem::path& simulator,
                                               const std::filesystem::path&)
    : program_(program), environment_{"LD_PRELOAD=" + simulator.string()} {}

}  // namespace qv::test
