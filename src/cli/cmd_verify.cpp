// qvupdate verify: checks a package's minisign signature with the trusted public keys.

#include <CLI/CLI.hpp>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "cli/cli_signature.h"
#include "cli/commands.h"
#include "signature/signature_files.h"

namespace qv::cli {
namespace {

struct VerifyOptions {
  std::string package;
  std::vector<std::string> keys;
  std::string signature;
};

int RunVerify(const VerifyOptions& options) {
  const Result<std::vector<signature::PublicKey>> keys = signature::ReadTrustedKeys(options.keys);
  if (!keys) {
    PrintFailure(keys.failure());
    return 1;
  }
  const Result<signature::VerifiedSignature> verified =
      signature::VerifyPackageFile(options.package, *keys, options.signature);
  if (!verified) {
    PrintFailure(verified.failure());
    return 1;
  }
  const std::string text = "Signature verified: " + options.package + "\n" +
                           VerifiedSignatureText(*verified);
  std::fwrite(text.data(), 1, text.size(), stdout);
  return std::fflush(stdout) == 0 && std::ferror(stdout) == 0 ? 0 : 1;
}

}  // namespace

void AddVerifyCommand(CLI::App& app) {
  auto options = std::make_shared<VerifyOptions>();
  CLI::App* verify = app.add_subcommand(
      "verify", "Check a package's signature (minisign) with the trusted public keys");
  verify->footer(
      "Checks PACKAGE against its detached minisign signature, PACKAGE.minisig unless "
      "--signature names another file: prehashed (minisign's default) and legacy (-l) "
      "signatures, and the signature of the trusted comment. Prints the signing key's id and "
      "the trusted comment when one of the keys verifies it.\n"
      "Exit status 1, with the reason on stderr, when the signature file is missing, is no "
      "signature, was made with a key that is not trusted, or does not match the package.");
  verify->add_option("package", options->package, "The package file")
      ->required()
      ->type_name("PACKAGE");
  verify->add_option("--key", options->keys,
                     "A trusted public key: a minisign .pub file, or a folder whose *.pub files "
                     "are all trusted (repeatable)")
      ->required()
      ->type_name("PUBKEY");
  verify->add_option("--signature", options->signature,
                     "The signature file (default: PACKAGE.minisig)")
      ->type_name("FILE");
  verify->callback([options] { ExitStatus() = RunVerify(*options); });
}

}  // namespace qv::cli
