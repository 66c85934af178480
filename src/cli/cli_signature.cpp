#include "cli/cli_signature.h"

#include "station/visible_text.h"

namespace qv::cli {

std::string PathText(const std::string& text) {
  std::string out;
  std::size_t from = 0;
  for (;;) {
    const std::size_t slash = text.find('\\', from);
    out += station::VisibleText(std::string_view(text).substr(from, slash - from));
    if (slash == std::string::npos) return out;
    out += '\\';
    from = slash + 1;
  }
}

std::string VerifiedSignatureText(const signature::VerifiedSignature& verified) {
  return "Key id:          " + verified.key_id + " (" + PathText(verified.key_file) +
         ")\nTrusted comment: " + station::VisibleText(verified.trusted_comment) + "\n";
}

void PrintFailure(const Failure& failure) {
  std::fflush(stdout);
  std::fprintf(stderr, "%s\n", PathText(failure.message).c_str());
  if (!failure.detail.empty()) {
    std::fprintf(stderr, "%s\n", PathText(failure.detail).c_str());
  }
}

}  // namespace qv::cli
