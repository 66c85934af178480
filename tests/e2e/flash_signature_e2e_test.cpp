// qvupdate flash with --require-signature and --expect-sha256: a package that fails either is
// refused before any device command, in every mode, and the key that verified it is in each
// unit's record line.

#include <string>
#include <vector>

#include "flash_e2e_fixture.h"
#include "temp_folder.h"

namespace qv::test {
namespace {

fs::path SignatureFixture(const std::string& name) {
  return fs::path(QV_SIGNATURE_FIXTURES) / name;
}

class FlashSignatureE2E : public FlashE2E {
 protected:
  void UseSignature(const char* fixture) {
    fs::copy_file(SignatureFixture(fixture), PackagePath() + ".minisig",
                  fs::copy_options::overwrite_existing);
  }
  void ExpectNoDeviceCommand() {
    EXPECT_EQ(Events(1).find("QUERY"), std::string::npos) << Events(1);
    EXPECT_EQ(Events(1).find("RESET"), std::string::npos) << Events(1);
  }
};

TEST_F(FlashSignatureE2E, RefusesBeforeAnyDeviceCommandInEveryMode) {
  const std::string key_a = SignatureFixture("a.pub").string();
  const std::string zeros(64, '0');
  const struct {
    const char* name;
    const char* signature;  // fixture put beside the package; null: none
    std::vector<std::string> options;
    const char* message;
  } cases[] = {
      {"no signature file", nullptr, {"--require-signature", key_a},
       "No signature file: "},
      {"another file's signature", "prehashed.minisig", {"--require-signature", key_a},
       "The signature does not match the package"},
      {"another key", "other-key.minisig", {"--require-signature", key_a},
       "The package is signed with a key that is not trusted"},
      {"not a signature", "not-a-signature.minisig", {"--require-signature", key_a},
       "Malformed signature: "},
      {"key file that is no key", nullptr,
       {"--require-signature", SignatureFixture("prehashed.minisig").string()},
       "Not a minisign public key: "},
      {"other bytes than expected", nullptr, {"--expect-sha256", zeros},
       "The package is not the one expected: its SHA-256 differs"},
  };
  const std::vector<std::vector<std::string>> modes = {
      {}, {"--all"}, {"--continuous", "--count", "1"}};
  for (const auto& c : cases) {
    fs::remove(PackagePath() + ".minisig");
    if (c.signature != nullptr) UseSignature(c.signature);
    for (const std::vector<std::string>& mode : modes) {
      SCOPED_TRACE(std::string(c.name) + (mode.empty() ? "" : ", " + mode[0]));
      const fs::path record = dir_ / "record.jsonl";
      std::vector<std::string> args = {"flash", PackagePath(), "--record", record.string()};
      args.insert(args.end(), mode.begin(), mode.end());
      args.insert(args.end(), c.options.begin(), c.options.end());
      EXPECT_EQ(Flash(args), 1) << stdout_ << stderr_;
      EXPECT_NE(stderr_.find(c.message), std::string::npos) << stderr_;
      ExpectNoDeviceCommand();
      EXPECT_EQ(ReadTextFile(record), "");
    }
  }
  // A SHA-256 is 64 hex digits: anything else is a usage error.
  EXPECT_NE(Flash({"flash", PackagePath(), "--expect-sha256", "abc"}), 0);
  ExpectNoDeviceCommand();
}

#ifndef _WIN32
// The key id minisign wrote into the .pub file's comment.
std::string MinisignKeyId(const std::string& pub) {
  const std::string text = ReadTextFile(SignatureFixture(pub));
  const std::string marker = "minisign public key ";
  const std::size_t at = text.find(marker);
  if (at == std::string::npos) return {};
  const std::size_t from = at + marker.size();
  return text.substr(from, text.find_first_of(" \r\n", from) - from);
}

// Signed at test time with the minisign tool (Linux only; the Windows build reads the files made
// at build time and cannot run it).
TEST_F(FlashSignatureE2E, RecordsTheKeyOfAVerifiedPackage) {
  ChildProcess sign({QV_MINISIGN, "-S", "-s", SignatureFixture("a.key").string(), "-m",
                     PackagePath(), "-t", "line 4 release"},
                    {}, dir_);
  ASSERT_EQ(sign.Wait(60'000), 0) << sign.Stderr();
  // Two keys trusted, the second one signed; the expected SHA-256 in capitals.
  const fs::path record = dir_ / "record.jsonl";
  ASSERT_EQ(Flash({"flash", PackagePath(), "--record", record.string(), "--require-signature",
                   SignatureFixture("b.pub").string(), "--require-signature",
                   SignatureFixture("a.pub").string()}),
            0)
      << stderr_;
  test::ExpectFlashHoldsPackage(Flash(1), package_);
  std::vector<nlohmann::json> lines = RecordLines(record);
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(lines[0]["package"]["signature_key"], MinisignKeyId("a.pub"));
  std::string sha256 = lines[0]["package"]["sha256"].get<std::string>();
  for (char& c : sha256) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  ASSERT_EQ(Flash({"flash", PackagePath(), "--record", record.string(), "--reinstall", "yes",
                   "--expect-sha256", sha256}),
            0)
      << stderr_;
  lines = RecordLines(record);
  ASSERT_EQ(lines.size(), 2u);
  // Not required, so not recorded.
  EXPECT_FALSE(lines[1]["package"].contains("signature_key"));
}
#endif

}  // namespace
}  // namespace qv::test
