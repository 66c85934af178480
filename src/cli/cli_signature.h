#pragma once

#include <cstdio>
#include <string>

#include "platform/result.h"
#include "signature/minisign.h"

namespace qv::cli {

// A verified signature as the command line prints it: the key id (and the key's file), then the
// trusted comment, escaped for the terminal.
[[nodiscard]] std::string VerifiedSignatureText(const signature::VerifiedSignature& verified);

// A text that holds file paths, for the terminal: control characters escaped as VisibleText does,
// but a backslash kept, as Windows paths are written.
[[nodiscard]] std::string PathText(const std::string& text);

// A failure on stderr: its message, and its detail on a line of its own.
void PrintFailure(const Failure& failure);

}  // namespace qv::cli
