#include <random>

#include "package/package_file_writer.h"

namespace qv {
namespace {

// A long output name is shortened in the temporary name so that it stays within the system's
// limit for a name.
constexpr std::size_t kKeptNameLength = 100;
constexpr int kRandomCharacters = 12;

// The name's first characters, never cut inside a UTF-8 sequence: a name that is not valid
// UTF-8 could not be made on a system that keeps names in UTF-16.
std::string KeptPart(const std::string& name) {
  if (name.size() <= kKeptNameLength) return name;
  std::size_t end = kKeptNameLength;
  while (end > 0 && (static_cast<unsigned char>(name[end]) & 0xC0) == 0x80) --end;
  return name.substr(0, end);
}

}  // namespace

std::string RandomTemporaryNames::Next(const std::string& output_name) {
  static constexpr char kAlphabet[] =
      "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
  std::random_device system_random;
  std::uniform_int_distribution<std::size_t> pick(0, sizeof kAlphabet - 2);
  std::string name = "." + KeptPart(output_name) + ".";
  for (int i = 0; i < kRandomCharacters; ++i) name += kAlphabet[pick(system_random)];
  return name + ".tmp";
}

}  // namespace qv
