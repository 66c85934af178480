// The wizard with a required signature: a package that one of the keys signed runs as ever; any
// other is refused with one message box that names it and says why, before the welcome page,
// with exit status 1. Keys come from --require-signature or the system's trusted-keys folder;
// with none, nothing is required. Packages are signed here with the minisign tool (Linux).
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "child_process.h"
#include "fake_clock.h"
#include "in_process_mutexes.h"
#include "package/package_builder.h"
#include "platform/random.h"
#include "recording_dialogs.h"
#include "sim/sim_bus.h"
#include "temp_folder.h"
#include "wizard/wizard.h"

namespace qv {
namespace {

namespace fs = std::filesystem;

std::string Fixture(const std::string& name) {
  return (fs::path(QV_SIGNATURE_FIXTURES) / name).string();
}

std::vector<uint8_t> SamplePackage() {
  BuildInput input;
  BuildArea& program = input.areas[kProgramArea];
  program.present = true;
  program.address = 0x40010000u;
  program.version_tag = {0x50, 0x01, 0x02, 0x03};
  for (uint32_t i = 0; i < 6000; ++i) program.data.push_back(static_cast<uint8_t>(i * 7));
  RuntimeRandom random;
  random.Seed(7);
  Result<std::vector<uint8_t>> built = BuildPackage(input, random);
  EXPECT_TRUE(built);
  return built ? std::move(*built) : std::vector<uint8_t>{};
}

// Pages that only say whether the welcome page was reached; it ends the wizard.
class WelcomeOnly final : public WizardPages {
 public:
  PageOutcome ShowWelcomePage(const std::string&) override {
    ++welcomes;
    return kPageEnded;
  }
  PageOutcome ShowStartPage() override { return kPageEnded; }
  PageOutcome ShowProgressPage() override { return kPageEnded; }
  int welcomes = 0;
};

// Public: the cases of a table prepare the package through it.
class WizardSignature : public ::testing::Test {
 public:
  void SetUp() override {
    package_ = folder_.Write("QVUpdate.Bin", SamplePackage());
    folder_.WriteText("readme.txt", "Signed\r\n");
  }

  void Sign(const std::vector<std::string>& options = {}) {
    std::vector<std::string> argv = {QV_MINISIGN, "-S", "-s", Fixture("a.key"), "-m",
                                     package_.string(), "-t", "release for line 4"};
    argv.insert(argv.end(), options.begin(), options.end());
    test::ChildProcess sign(argv, {}, folder_.path());
    ASSERT_EQ(sign.Wait(60'000), 0) << sign.Stderr();
  }

  // Runs the wizard; its exit status.
  int Run(const SignatureRequirement& requirement) {
    test::FakeClock clock;
    sim::SimBus bus{clock};
    test::InProcessMutexes mutexes;
    RuntimeRandom random;
    test::RecordingDialogs dialogs;
    Wizard wizard({.bus = bus,
                   .mutexes = mutexes,
                   .clock = clock,
                   .random = random,
                   .dialogs = dialogs,
                   .run = {},
                   .timings = {},
                   .device_rules = {},
                   .signature = requirement},
                  pages_);
    const int status = wizard.Run(PackagePathsIn(folder_.path()));
    messages_ = dialogs.messages();
    return status;
  }

  void ExpectRefused(int status, const std::string& reason) {
    EXPECT_EQ(status, 1);
    EXPECT_EQ(pages_.welcomes, 0) << "no page before the refusal";
    ASSERT_EQ(messages_.size(), 1u);
    const std::string& box = messages_.front();
    EXPECT_EQ(box.rfind(std::string(kPackageNotApproved) + "\n" + package_.string() + "\n", 0),
              0u)
        << box;
    EXPECT_NE(box.find(reason), std::string::npos) << box;
  }

  test::TempFolder folder_;
  fs::path package_;
  std::vector<std::string> messages_;  // the boxes of the last run
  WelcomeOnly pages_;
};

TEST_F(WizardSignature, ASignedPackageRunsAsEver) {
  for (const bool legacy : {false, true}) {
    SCOPED_TRACE(legacy ? "legacy" : "prehashed");
    if (legacy) {
      Sign({"-l"});
    } else {
      Sign();
    }
    pages_.welcomes = 0;
    // The second key given verifies it.
    EXPECT_EQ(Run({.key_paths = {Fixture("b.pub"), Fixture("a.pub")}}), 0);
    EXPECT_EQ(pages_.welcomes, 1);
    EXPECT_TRUE(messages_.empty());
  }
}

TEST_F(WizardSignature, AnyOtherPackageIsRefusedBeforeTheFirstPage) {
  struct Case {
    const char* name;
    std::function<void(WizardSignature&)> prepare;
    const char* reason;
  };
  const std::vector<Case> cases = {
      {"no signature", [](WizardSignature&) {}, "No signature file: "},
      {"another key", [](WizardSignature& t) {
         fs::copy_file(Fixture("other-key.minisig"), t.package_.string() + ".minisig");
       }, "signed with a key that is not trusted"},
      {"a byte changed after signing", [](WizardSignature& t) {
         t.Sign();
         std::fstream file(t.package_, std::ios::in | std::ios::out | std::ios::binary);
         file.seekp(2000);
         file.put('\x5A');
       }, "The signature does not match the package"},
      {"trusted comment changed", [](WizardSignature& t) {
         t.Sign();
         const std::string signature = t.package_.string() + ".minisig";
         std::ifstream in(signature);
         std::string text((std::istreambuf_iterator<char>(in)), {});
         in.close();
         text.replace(text.find("line 4"), 6, "line 5");
         std::ofstream(signature, std::ios::trunc) << text;
       }, "trusted comment is not the one signed"},
      {"truncated signature", [](WizardSignature& t) {
         fs::copy_file(Fixture("truncated.minisig"), t.package_.string() + ".minisig");
       }, "Malformed signature: "},
      {"not a signature", [](WizardSignature& t) {
         fs::copy_file(Fixture("not-a-signature.minisig"), t.package_.string() + ".minisig");
       }, "Malformed signature: "},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    fs::remove(package_.string() + ".minisig");
    folder_.Write("QVUpdate.Bin", SamplePackage());
    c.prepare(*this);
    pages_.welcomes = 0;
    ExpectRefused(Run({.key_paths = {Fixture("a.pub")}}), c.reason);
  }
}

// Keys installed in the trusted-keys folder require a signature without the option; a folder
// with no key, or none at all, requires nothing.
TEST_F(WizardSignature, TheTrustedKeysFolderRequiresWhatItHolds) {
  const fs::path installed = folder_.path() / "trusted-keys";
  fs::create_directories(installed);
  EXPECT_EQ(Run({.trusted_keys_folder = installed}), 0) << "an empty folder requires nothing";
  EXPECT_EQ(Run({.trusted_keys_folder = folder_.path() / "absent"}), 0);
  EXPECT_EQ(pages_.welcomes, 2);

  fs::copy_file(Fixture("a.pub"), installed / "maker.pub");
  pages_.welcomes = 0;
  ExpectRefused(Run({.trusted_keys_folder = installed}), "No signature file: ");
  Sign();
  EXPECT_EQ(Run({.trusted_keys_folder = installed}), 0);
  EXPECT_EQ(pages_.welcomes, 1);
}

// A key that cannot be read never drops the requirement: the wizard ends, saying which key.
TEST_F(WizardSignature, AKeyThatCannotBeReadEndsTheWizard) {
  Sign();
  EXPECT_EQ(Run({.key_paths = {Fixture("prehashed.minisig")}}), 1);
  EXPECT_EQ(pages_.welcomes, 0);
  ASSERT_EQ(messages_.size(), 1u);
  EXPECT_NE(messages_.front().find("Not a minisign public key: "), std::string::npos)
      << messages_.front();
}

}  // namespace
}  // namespace qv
