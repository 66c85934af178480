#include "cli/cli_sha256.h"

#include <openssl/evp.h>

#include <array>
#include <cstdio>
#include <fstream>
#include <memory>

namespace qv::cli {

std::string FileSha256(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return {};
  const std::unique_ptr<EVP_MD_CTX, decltype(&EVP_MD_CTX_free)> context(EVP_MD_CTX_new(),
                                                                       EVP_MD_CTX_free);
  if (!context || EVP_DigestInit_ex(context.get(), EVP_sha256(), nullptr) != 1) return {};
  std::array<char, 64 * 1024> chunk;
  while (in) {
    in.read(chunk.data(), chunk.size());
    const std::streamsize got = in.gcount();
    if (got > 0 && EVP_DigestUpdate(context.get(), chunk.data(), static_cast<size_t>(got)) != 1) {
      return {};
    }
  }
  if (in.bad()) return {};
  std::array<unsigned char, EVP_MAX_MD_SIZE> digest;
  unsigned int length = 0;
  if (EVP_DigestFinal_ex(context.get(), digest.data(), &length) != 1) return {};
  std::string hex;
  for (unsigned int i = 0; i < length; ++i) {
    char pair[3];
    std::snprintf(pair, sizeof pair, "%02x", digest[i]);
    hex += pair;
  }
  return hex;
}

}  // namespace qv::cli
