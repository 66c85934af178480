// qvupdate verify and info's signature line, through the real program.

#include <gtest/gtest.h>

#include <filesystem>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "child_process.h"
#include "package_fixture.h"
#include "temp_folder.h"

namespace qv::test {
namespace {

namespace fs = std::filesystem;

// Absolute in the system's own form: on Windows a POSIX-style path ("/tmp/...") would read as an
// option ("/?" is one), as it would for any user.
fs::path Fixture(const std::string& name) {
  return fs::absolute(fs::path(QV_SIGNATURE_FIXTURES) / name);
}

struct ProgramRun {
  int status = -1;
  std::string out, err;
};

ProgramRun Qvupdate(const std::vector<std::string>& args, const fs::path& folder) {
  std::vector<std::string> argv = {QVUPDATE_PATH};
  argv.insert(argv.end(), args.begin(), args.end());
  ChildProcess child(argv, {}, folder);
  ProgramRun run;
  run.status = child.Wait(60'000);
  run.out = child.Stdout();
  run.err = child.Stderr();
  return run;
}

std::string MinisignKeyId(const std::string& pub) {
  const std::string text = ReadTextFile(Fixture(pub));
  const std::size_t at = text.find("minisign public key ");
  if (at == std::string::npos) return {};
  return text.substr(at + 20, text.find_first_of(" \r\n", at + 20) - (at + 20));
}

TEST(VerifyCommand, PrintsTheKeyAndCommentOrWhyNot) {
  TempFolder folder("qv_verify");
  const std::string package = Fixture("signed.bin").string();
  const std::string a = Fixture("a.pub").string();
  const std::string b = Fixture("b.pub").string();
  const struct {
    std::vector<std::string> args;
    int status;
    std::vector<std::string> out;  // on stdout for 0, on stderr otherwise
  } cases[] = {
      {{"verify", package, "--key", b, "--key", a, "--signature",
        Fixture("prehashed.minisig").string()},
       0,
       {"Key id:          " + MinisignKeyId("a.pub"), "Trusted comment: release 1.2 for line 4\n"}},
      {{"verify", package, "--key", Fixture("keys").string(), "--signature",
        Fixture("legacy.minisig").string()},
       0,
       {"Trusted comment: release 1.2, legacy form\n"}},
      {{"verify", package, "--key", a},
       1,
       {"No signature file: " + package + ".minisig\n"}},
      {{"verify", package, "--key", a, "--signature", Fixture("changed-comment.minisig").string()},
       1,
       {"The signature does not match the package\n", "trusted comment"}},
      {{"verify", package, "--key", a, "--signature", Fixture("other-key.minisig").string()},
       1,
       {"The package is signed with a key that is not trusted (key " + MinisignKeyId("b.pub")}},
  };
  for (const auto& c : cases) {
    const ProgramRun run = Qvupdate(c.args, folder.path());
    EXPECT_EQ(run.status, c.status) << run.out << run.err;
    const std::string& where = c.status == 0 ? run.out : run.err;
    for (const std::string& text : c.out) {
      EXPECT_NE(where.find(text), std::string::npos) << "missing: " << text << "\n" << where;
    }
    if (c.status != 0) {
      EXPECT_EQ(run.out, "");
    }
  }
  // A key is required.
  EXPECT_NE(Qvupdate({"verify", package}, folder.path()).status, 0);
}

// info says whether a signature is beside the package and, given keys, whether it verifies.
TEST(InfoCommand, SaysWhetherTheSignatureVerifies) {
  TempFolder folder("qv_info_signature");
  const std::string package = folder.Write("QVUpdate.Bin", FixtureFile(ThreeAreaPackage())).string();
  const std::string a = Fixture("a.pub").string();

  ProgramRun run = Qvupdate({"info", package}, folder.path());
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_NE(run.out.find("Signature:      none (no " + package + ".minisig)"), std::string::npos)
      << run.out;

  fs::copy_file(Fixture("prehashed.minisig"), package + ".minisig");
  run = Qvupdate({"info", package}, folder.path());
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_NE(run.out.find(".minisig (not checked: give --key)"), std::string::npos) << run.out;

  run = Qvupdate({"info", package, "--key", a, "--json"}, folder.path());
  EXPECT_EQ(run.status, 1);
  const nlohmann::json json = nlohmann::json::parse(run.out, nullptr, false);
  ASSERT_TRUE(json.is_object()) << run.out;
  EXPECT_EQ(json["signature"]["present"], true);
  EXPECT_EQ(json["signature"]["verified"], false);
  EXPECT_EQ(json["signature"]["message"], "The signature does not match the package");
  EXPECT_EQ(json["check"], "ok");

#ifndef _WIN32
  // Signed with the minisign tool (Linux only), it verifies.
  fs::remove(package + ".minisig");
  ChildProcess sign({QV_MINISIGN, "-S", "-s", Fixture("a.key").string(), "-m", package, "-t",
                     "for the info test"},
                    {}, folder.path());
  ASSERT_EQ(sign.Wait(60'000), 0) << sign.Stderr();
  run = Qvupdate({"info", package, "--key", a}, folder.path());
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_NE(run.out.find("Signature:      verified, key " + MinisignKeyId("a.pub") +
                         "\nTrusted comment: for the info test\n"),
            std::string::npos)
      << run.out;
#endif
}

}  // namespace
}  // namespace qv::test
