// The signature checks against files made by Debian's minisign tool (make-signature-fixtures,
// run at build time): both signature forms, the trusted comment's signature, and every way a
// check fails, each with the message that says which it was.

#include <gtest/gtest.h>

#include <filesystem>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "child_process.h"
#include "package/package_source.h"
#include "signature/minisign.h"
#include "signature/signature_files.h"
#include "signature/signed_package_source.h"
#include "temp_folder.h"

namespace qv::signature {
namespace {

namespace fs = std::filesystem;

fs::path Fixture(const std::string& name) { return fs::path(QV_SIGNATURE_FIXTURES) / name; }
std::string FixtureText(const std::string& name) { return test::ReadTextFile(Fixture(name)); }

// The key id minisign wrote into the .pub file's comment ("minisign public key 7744D41E...").
std::string MinisignKeyId(const std::string& pub) {
  const std::string text = FixtureText(pub);
  const std::string marker = "minisign public key ";
  const std::size_t at = text.find(marker);
  if (at == std::string::npos) return {};
  const std::size_t from = at + marker.size();
  return text.substr(from, text.find_first_of(" \r\n", from) - from);
}

std::vector<PublicKey> Keys(const std::vector<std::string>& names) {
  std::vector<std::string> paths;
  for (const std::string& name : names) paths.push_back(Fixture(name).string());
  Result<std::vector<PublicKey>> keys = ReadTrustedKeys(paths);
  EXPECT_TRUE(keys) << (keys ? "" : keys.failure().message);
  return keys ? *keys : std::vector<PublicKey>{};
}

struct VerifyCase {
  const char* name;
  const char* signature;  // fixture copied beside the package as PACKAGE.minisig; null: none
  std::vector<std::string> keys;
  bool change_byte = false;  // one byte of the package changed after signing
  bool crlf = false;         // the signature file's lines ended by CR LF
  // Success: the trusted comment. Failure: the start of the message, and part of it or its
  // detail.
  const char* comment = nullptr;
  const char* message = nullptr;
  const char* mentions = nullptr;
};

void PrintTo(const VerifyCase& c, std::ostream* out) { *out << c.name; }

class VerifyTable : public ::testing::TestWithParam<VerifyCase> {};

TEST_P(VerifyTable, SaysWhichCaseItWas) {
  const VerifyCase& c = GetParam();
  test::TempFolder folder("qv_signature");
  std::vector<uint8_t> bytes = test::ReadBinaryFile(Fixture("signed.bin"));
  ASSERT_GT(bytes.size(), 100'000u);
  if (c.change_byte) bytes[bytes.size() / 2] ^= 0x01;
  const std::string package = folder.Write("QVUpdate.Bin", bytes).string();
  if (c.signature != nullptr) {
    std::string text = FixtureText(c.signature);
    if (c.crlf) {
      std::string converted;
      for (char ch : text) converted += ch == '\n' ? std::string("\r\n") : std::string(1, ch);
      text = converted;
    }
    folder.WriteText("QVUpdate.Bin.minisig", text);
  }

  const Result<VerifiedSignature> verified = VerifyPackageFile(package, Keys(c.keys));
  if (c.message == nullptr) {
    ASSERT_TRUE(verified) << verified.failure().message << "\n" << verified.failure().detail;
    EXPECT_EQ(verified->key_id, MinisignKeyId("a.pub"));
    EXPECT_EQ(verified->trusted_comment, c.comment);
    EXPECT_EQ(fs::path(verified->key_file).filename(), "a.pub");
    return;
  }
  ASSERT_FALSE(verified);
  const Failure& failure = verified.failure();
  EXPECT_EQ(failure.message.rfind(c.message, 0), 0u) << failure.message;
  EXPECT_NE((failure.message + "\n" + failure.detail).find(c.mentions), std::string::npos)
      << failure.message << "\n" << failure.detail;
}

const std::string kKeyB = "b.pub";

INSTANTIATE_TEST_SUITE_P(
    Minisign, VerifyTable,
    ::testing::Values(
        VerifyCase{.name = "Prehashed", .signature = "prehashed.minisig", .keys = {"a.pub"},
                   .comment = "release 1.2 for line 4"},
        VerifyCase{.name = "Legacy", .signature = "legacy.minisig", .keys = {"a.pub"},
                   .comment = "release 1.2, legacy form"},
        VerifyCase{.name = "SecondOfTwoKeys", .signature = "prehashed.minisig",
                   .keys = {"b.pub", "a.pub"}, .comment = "release 1.2 for line 4"},
        VerifyCase{.name = "KeyFolder", .signature = "prehashed.minisig", .keys = {"keys"},
                   .comment = "release 1.2 for line 4"},
        VerifyCase{.name = "WindowsLineEnds", .signature = "prehashed.minisig",
                   .keys = {"a.pub"}, .crlf = true, .comment = "release 1.2 for line 4"},
        VerifyCase{.name = "ChangedByte", .signature = "prehashed.minisig", .keys = {"a.pub"},
                   .change_byte = true, .message = text::kSignatureMismatch,
                   .mentions = "package was changed"},
        VerifyCase{.name = "ChangedByteLegacy", .signature = "legacy.minisig",
                   .keys = {"a.pub"}, .change_byte = true, .message = text::kSignatureMismatch,
                   .mentions = "package was changed"},
        VerifyCase{.name = "ChangedTrustedComment", .signature = "changed-comment.minisig",
                   .keys = {"a.pub"}, .message = text::kSignatureMismatch,
                   .mentions = "trusted comment"},
        VerifyCase{.name = "AnotherKey", .signature = "other-key.minisig", .keys = {"a.pub"},
                   .message = text::kKeyNotTrusted, .mentions = "trusted: "},
        VerifyCase{.name = "Truncated", .signature = "truncated.minisig", .keys = {"a.pub"},
                   .message = text::kMalformedSignature, .mentions = "QVUpdate.Bin.minisig"},
        VerifyCase{.name = "NotASignature", .signature = "not-a-signature.minisig",
                   .keys = {"a.pub"}, .message = text::kMalformedSignature,
                   .mentions = "signature in base64"},
        VerifyCase{.name = "NoSignatureFile", .signature = nullptr, .keys = {"a.pub"},
                   .message = text::kNoSignatureFile, .mentions = "QVUpdate.Bin.minisig"}),
    [](const ::testing::TestParamInfo<VerifyCase>& info) { return std::string(info.param.name); });

// The key that is not trusted is named by the id minisign gave it.
TEST(Verify, NamesTheUntrustedKeyAsMinisignDoes) {
  const std::vector<PublicKey> keys = Keys({"a.pub"});
  const Result<VerifiedSignature> verified =
      VerifyPackageFile(Fixture("signed.bin").string(), keys, Fixture("other-key.minisig").string());
  ASSERT_FALSE(verified);
  const std::string b = MinisignKeyId(kKeyB);
  ASSERT_FALSE(b.empty());
  EXPECT_NE(verified.failure().message.find(b), std::string::npos) << verified.failure().message;
  EXPECT_NE(verified.failure().detail.find(MinisignKeyId("a.pub")), std::string::npos);
}

// minisign writes the id without leading zeros; one in sixteen keys has one.
TEST(Verify, WritesTheKeyIdAsMinisignDoes) {
  EXPECT_EQ(KeyIdText({0x2C, 0x04, 0x79, 0x5E, 0xC5, 0x58, 0xB8, 0x01}), "1B858C55E79042C");
  EXPECT_EQ(KeyIdText({0xD8, 0x70, 0xD6, 0x30, 0x1E, 0xD4, 0x44, 0x77}), "7744D41E30D670D8");
}

// The loader opens its source twice; the check must be of the second reading alone.
TEST(SignedPackageSource, ChecksOnlyTheLastReading) {
  const std::vector<uint8_t> bytes = test::ReadBinaryFile(Fixture("signed.bin"));
  const Result<Signature> signature = ReadSignatureFile(Fixture("legacy.minisig").string());
  ASSERT_TRUE(signature);
  SignedMessage message(signature->form);
  MemoryPackageSource memory(bytes);
  SignedPackageSource source(memory, message);
  std::vector<uint8_t> chunk(4096);
  for (int reading = 0; reading < 2; ++reading) {
    ASSERT_TRUE(source.Open());
    while (source.Read(chunk.data(), chunk.size()) == chunk.size()) {
    }
    source.Close();
  }
  EXPECT_EQ(message.length(), bytes.size());
  EXPECT_TRUE(Verify(*signature, Keys({"a.pub"}), message));
}

// Key files are outside input too: what is no key, or a folder without one, is refused with the
// file named, never skipped.
TEST(TrustedKeys, RefusesWhatIsNoKey) {
  test::TempFolder folder("qv_keys");
  folder.WriteText("notes.txt", "not a key\n");
  fs::create_directories(folder.path() / "empty");
  fs::create_directories(folder.path() / "broken");
  folder.WriteText("broken/a.pub", FixtureText("a.pub"));
  folder.WriteText("broken/z.pub", FixtureText("prehashed.minisig"));
  folder.WriteText("two.pub", FixtureText("a.pub") + FixtureText("b.pub"));
  const std::string secret = Fixture("a.key").string();
  const struct {
    std::string path;
    const char* message;
  } cases[] = {
      {(folder.path() / "notes.txt").string(), text::kMalformedKey},
      {(folder.path() / "two.pub").string(), text::kMalformedKey},
      {secret, text::kMalformedKey},
      {(folder.path() / "broken").string(), text::kMalformedKey},
      {(folder.path() / "empty").string(), "No public key (*.pub) in the key folder"},
      {(folder.path() / "absent.pub").string(), "Cannot read the key file"},
  };
  for (const auto& c : cases) {
    const Result<std::vector<PublicKey>> keys = ReadTrustedKeys(c.path);
    ASSERT_FALSE(keys) << c.path;
    EXPECT_EQ(keys.failure().message.rfind(c.message, 0), 0u) << keys.failure().message;
  }
  // The broken folder's message names the file that is no key.
  EXPECT_NE(ReadTrustedKeys((folder.path() / "broken").string()).failure().message.find("z.pub"),
            std::string::npos);
}

// Texts that are almost a signature are refused without reading past what they hold.
TEST(ParseSignature, RefusesDamagedText) {
  const std::string good = FixtureText("prehashed.minisig");
  const std::size_t second = good.find('\n') + 1;
  const std::size_t third = good.find('\n', second) + 1;
  std::string wrong_algorithm = good;
  wrong_algorithm[second + 1] = 'X';  // "RU..." → "RX...": other algorithm bytes
  const std::string cases[] = {
      "",
      "untrusted comment: x",
      good.substr(0, third),                      // no trusted comment
      good.substr(0, good.rfind('\n', good.size() - 2) + 1),  // no global signature
      good.substr(third),                         // no untrusted comment line
      wrong_algorithm,
      good + "RWQ=\n",                            // more than a signature
      std::string(good).insert(second + 10, "!"),
  };
  for (const std::string& text : cases) {
    const Result<Signature> parsed = ParseSignature(text, "x.minisig");
    EXPECT_FALSE(parsed) << text;
    if (!parsed) {
      EXPECT_EQ(parsed.failure().message, std::string(text::kMalformedSignature) + ": x.minisig");
    }
  }
  EXPECT_TRUE(ParseSignature(good, "x.minisig"));
}

}  // namespace
}  // namespace qv::signature
