#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "child_process.h"
#include "file_traps.h"
#include "temp_folder.h"

namespace qv::test {

// One folder a case works in, open to every user so the unprivileged runs can write there too;
// the run's own output goes to a second folder, so the first holds only what the case made.
class CaseFolders {
 public:
  CaseFolders() {
    std::filesystem::permissions(work_.path(), std::filesystem::perms::all);
    std::filesystem::permissions(logs_.path(), std::filesystem::perms::all);
  }
  [[nodiscard]] const std::filesystem::path& work() const { return work_.path(); }
  [[nodiscard]] std::filesystem::path Write(const std::string& name,
                                            const std::vector<uint8_t>& bytes) const {
    namespace fs = std::filesystem;
    const fs::path path = work_.Write(name, bytes);
    fs::permissions(path, fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read |
                              fs::perms::others_read);
    return path;
  }

  // A shell script beside the run's output, for Run's launcher: it runs qvupdate as "$@".
  [[nodiscard]] std::filesystem::path WriteScript(const std::string& text) const {
    return logs_.WriteText("launch.sh", text);
  }

  // Runs qvupdate with the arguments, killed after 30 s (status -1); as the unprivileged user
  // when asked and the tests run as root (Linux); through the launcher's command when one is
  // given.
  [[nodiscard]] ProgramRun Run(const std::vector<std::string>& arguments,
                               bool unprivileged = false,
                               const std::vector<std::string>& launcher = {}) const {
    std::vector<std::string> argv;
    if (unprivileged) argv = UnprivilegedLauncher();
    argv.insert(argv.end(), launcher.begin(), launcher.end());
    argv.push_back(QVUPDATE_PATH);
    argv.insert(argv.end(), arguments.begin(), arguments.end());
    return RunProgram(argv, {}, logs_.path(), {}, 30'000);
  }

 private:
  TempFolder work_{"qvpkg"};
  TempFolder logs_{"qvpkg"};
};

inline std::vector<std::string> BuildArguments(const std::filesystem::path& output,
                                               const std::filesystem::path& program) {
  return {"build",   "-o",           output.string(), "--program", program.string(),
          "--program-address", "0x40010000", "--seed",        "3"};
}

}  // namespace qv::test
