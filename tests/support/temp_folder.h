#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace qv::test {

// A fresh folder under the system's temporary folder, named with a random part so that
// parallel runs and earlier crashed runs never meet, and removed with all it holds at the end.
class TempFolder {
 public:
  explicit TempFolder(const std::string& prefix = "qvtest");
  ~TempFolder();
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;

  [[nodiscard]] const std::filesystem::path& path() const { return path_; }
  // Writes the bytes into a file of the folder (replacing one of that name); its path.
  std::filesystem::path Write(const std::string& name, const std::vector<uint8_t>& bytes) const;
  std::filesystem::path WriteText(const std::string& name, const std::string& text) const;

 private:
  std::filesystem::path path_;
};

}  // namespace qv::test
