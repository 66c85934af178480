#include "temp_folder.h"

#include <fstream>
#include <random>
#include <stdexcept>
#include <system_error>

namespace qv::test {
namespace {

std::string RandomPart() {
  static constexpr char kDigits[] = "0123456789abcdefghijklmnopqrstuvwxyz";
  std::random_device source;
  std::uniform_int_distribution<int> pick(0, static_cast<int>(sizeof kDigits) - 2);
  std::string part;
  for (int i = 0; i < 12; ++i) part += kDigits[pick(source)];
  return part;
}

}  // namespace

TempFolder::TempFolder(const std::string& prefix) {
  const std::filesystem::path base = std::filesystem::temp_directory_path();
  // create_directory says false for a name that is taken: that name belongs to someone else.
  for (int attempt = 0; attempt < 100; ++attempt) {
    std::filesystem::path candidate = base / (prefix + "-" + RandomPart());
    if (std::filesystem::create_directory(candidate)) {
      path_ = std::move(candidate);
      return;
    }
  }
  throw std::runtime_error("no free temporary folder name under " + base.string());
}

TempFolder::~TempFolder() {
  std::error_code ignored;
  // A case may have left a folder read-only; its entries must still go.
  std::filesystem::permissions(path_, std::filesystem::perms::owner_all,
                               std::filesystem::perm_options::add, ignored);
  std::filesystem::remove_all(path_, ignored);
}

std::filesystem::path TempFolder::Write(const std::string& name,
                                        const std::vector<uint8_t>& bytes) const {
  const std::filesystem::path file = path_ / name;
  std::ofstream out(file, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  return file;
}

std::filesystem::path TempFolder::WriteText(const std::string& name, const std::string& text) const {
  return Write(name, std::vector<uint8_t>(text.begin(), text.end()));
}

}  // namespace qv::test
