#include "cli/cli_signature.h"

#include "station/visible_text.h"

namespace qv::cli {

std::string VerifiedSignatureText(const signature::VerifiedSignature& verified) {
  return "Key id:          " + verified.key_id + " (" + station::VisibleText(verified.key_file) +
         ")\nTrusted comment: " + station::VisibleText(verified.trusted_comment) + "\n";
}

void PrintFailure(const Failure& failure) {
  std::fflush(stdout);
  std::fprintf(stderr, "%s\n", station::VisibleText(failure.message).c_str());
  if (!failure.detail.empty()) {
    std::fprintf(stderr, "%s\n", station::VisibleText(failure.detail).c_str());
  }
}

}  // namespace qv::cli
