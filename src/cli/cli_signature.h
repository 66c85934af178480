#pragma once

#include <cstdio>
#include <string>

#include "platform/result.h"
#include "signature/minisign.h"

namespace qv::cli {

// A verified signature as the command line prints it: the key id (and the key's file), then the
// trusted comment, escaped for the terminal.
[[nodiscard]] std::string VerifiedSignatureText(const signature::VerifiedSignature& verified);

// A failure on stderr: its message, and its detail on a line of its own.
void PrintFailure(const Failure& failure);

}  // namespace qv::cli
