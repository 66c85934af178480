#include "package/package_load.h"

#include <gtest/gtest.h>

#include <sstream>

#include "fake_clock.h"
#include "package/information_text.h"
#include "package/package_messages.h"
#include "package_fixture.h"
#include "recording_dialogs.h"
#include "file_traps.h"
#include "system_skips.h"

namespace qv {
namespace {

using namespace std::chrono_literals;

using Messages = std::vector<std::string>;

// A source whose bytes, reported length and ability to open can change between the two opens
// of a load, as a file on disk can.
class ScriptedSource final : public PackageSource {
 public:
  // Bytes and length for each successive Open(); an empty optional means the open fails.
  struct Opening {
    bool opens = true;
    std::vector<uint8_t> bytes;
    std::optional<uint64_t> claimed_length;  // what Length() says instead of bytes.size()
  };
  explicit ScriptedSource(std::vector<Opening> openings) : openings_(std::move(openings)) {}

  [[nodiscard]] bool Open() override {
    current_ = std::min(opened_, openings_.size() - 1);
    ++opened_;
    position_ = 0;
    return openings_[current_].opens;
  }
  [[nodiscard]] std::size_t Read(uint8_t* out, std::size_t size) override {
    const auto& bytes = openings_[current_].bytes;
    const std::size_t n = std::min(size, bytes.size() - position_);
    std::copy_n(bytes.begin() + static_cast<std::ptrdiff_t>(position_), n, out);
    position_ += n;
    return n;
  }
  [[nodiscard]] uint64_t Length() override {
    const auto& o = openings_[current_];
    return o.claimed_length.value_or(o.bytes.size());
  }
  void Close() override {}
  [[nodiscard]] std::string FailureReason() const override {
    return openings_[current_].opens ? "" : "No such file or directory";
  }
  [[nodiscard]] std::string Name() const override { return "/pkg/QVUpdate.Bin"; }

 private:
  std::vector<Opening> openings_;
  std::size_t opened_ = 0;
  std::size_t current_ = 0;
  std::size_t position_ = 0;
};

class PackageLoadTest : public ::testing::Test {
 protected:
  bool Load(PackageSource& source, const std::filesystem::path& readme = {}) {
    return LoadPackageFrom(store_, source, readme, dialogs_, random_, clock_);
  }

  test::TempFolder dir_;
  PackageStore store_;
  test::RecordingDialogs dialogs_;
  test::ScriptedRandom random_;
  test::FakeClock clock_;
};

// Data sizes around the 1024-byte chunks and the loader's larger read blocks.
TEST_F(PackageLoadTest, LoadsAndDescramblesEveryDataLength) {
  const std::vector<uint8_t> key = test::PatternBytes(1024, 1);
  for (std::size_t size : {std::size_t{128}, std::size_t{1024}, std::size_t{1500},
                           std::size_t{2048}, std::size_t{(1 << 20) + 1024 + 5}}) {
    std::vector<uint8_t> data = test::PatternBytes(size, 2);
    std::fill_n(data.begin() + 32, 48, uint8_t{0xFF});  // no map area
    const auto path = dir_.Write("QVUpdate.Bin", test::ScrambledFile(key, data));

    PackageStore store;
    ASSERT_TRUE(LoadPackage(store, {path, dir_.path() / "none.txt"}, dialogs_, random_, clock_))
        << size;
    ASSERT_EQ(store.data_length, size);
    ASSERT_EQ(store.image_size, size + 1024 + 8192);
    EXPECT_TRUE(std::equal(data.begin(), data.end(), store.image.get())) << size;
    EXPECT_TRUE(std::all_of(store.image.get() + size, store.image.get() + store.image_size,
                            [](uint8_t b) { return b == 0xFF; }))
        << "unfilled tail of " << size;
    EXPECT_TRUE(std::equal(store.header_copy.begin(), store.header_copy.end(), data.begin()));
    EXPECT_EQ(store.map_buffer, nullptr);
  }
  EXPECT_TRUE(dialogs_.messages().empty());
}

TEST_F(PackageLoadTest, BuildsHeaderCopyVersionRecordAndText) {
  std::vector<uint8_t> data = test::EmptyPackageData(384);
  data[44] = 0xA1;
  data[60] = 0xB2;
  data[79] = 0xC3;
  std::vector<uint8_t> key(1024, 0xFF);
  dir_.Write("QVUpdate.Bin", test::ScrambledFile(key, data));
  dir_.WriteText("readme.txt", "Version 2\r\nNotes\n");

  ASSERT_TRUE(LoadPackage(store_, PackagePathsIn(dir_.path()), dialogs_, random_, clock_));
  EXPECT_EQ(store_.version_record[0], 0xA1);
  EXPECT_EQ(store_.version_record[4], 'S');
  EXPECT_EQ(store_.version_record[5], 0xB2);
  EXPECT_EQ(store_.version_record[9], 'C');
  EXPECT_EQ(store_.version_record[13], 0xC3);
  EXPECT_EQ(store_.header_copy[44], 0xA1);
  EXPECT_EQ(store_.information_text, "\r\n\r\n\r\nVersion 2\r\nNotes\r\n");
}

struct FailureCase {
  const char* name;
  std::vector<ScriptedSource::Opening> openings;
  Messages messages;
};

TEST_F(PackageLoadTest, EachFailureShowsItsMessagesAndReleases) {
  const std::vector<uint8_t> key(1024, 0);
  const auto good = test::ScrambledFile(key, test::EmptyPackageData(384));
  const auto grown = test::ScrambledFile(key, test::EmptyPackageData(384 + 10000));
  // Each file message names the file and says why on its second line.
  const auto with = [](const char* message, const std::string& reason) {
    return std::string(message) + "\n/pkg/QVUpdate.Bin: " + reason;
  };
  const std::string missing = "No such file or directory";
  const FailureCase cases[] = {
      {"missing file",
       {{false, {}, {}}},
       {with(kMsgOpenPackageFailed, missing), with(kMsgNoPackageFile, missing)}},
      {"shorter than the key block",
       {{true, std::vector<uint8_t>(500, 1), {}}},
       {with(kMsgReadFileError,
             "500 bytes, shorter than the 1024-byte key block every package starts with")}},
      {"data shorter than the header",
       {{true, test::ScrambledFile(key, std::vector<uint8_t>(127)), {}}},
       {kMsgSizeTooSmall}},
      {"one byte over the limit", {{true, good, 0x7F00001}}, {kMsgFileTooLarge}},
      {"grew between measuring and reading",
       {{true, good, {}}, {true, grown, {}}},
       {with(kMsgReadFileError,
             "it changed while it was read (10624 bytes read, 11408 bytes now)")}},
      {"first open fails and the file is then too long for the spare bytes",
       {{false, {}, {}}, {true, grown, {}}},
       {with(kMsgOpenPackageFailed, missing),
        with(kMsgReadFileError, "it changed while it was read (9216 bytes read, 11408 bytes now)")}},
      {"gone at the second open",
       {{true, good, {}}, {false, {}, {}}},
       {with(kMsgNoPackageFile, missing)}},
  };
  for (const auto& c : cases) {
    ScriptedSource source(c.openings);
    PackageStore store;
    test::RecordingDialogs dialogs;
    EXPECT_FALSE(LoadPackageFrom(store, source, {}, dialogs, random_, clock_)) << c.name;
    EXPECT_EQ(dialogs.messages(), c.messages) << c.name;
    EXPECT_EQ(store.image, nullptr) << c.name;
    EXPECT_EQ(store.image_size, 0u) << c.name;
  }
}

TEST_F(PackageLoadTest, FirstOpenFailingStillLoadsWhatFitsTheSpareBytes) {
  const auto file =
      test::ScrambledFile(std::vector<uint8_t>(1024, 0), test::EmptyPackageData(8192));
  ScriptedSource source({{false, {}, {}}, {true, file, {}}});
  EXPECT_TRUE(Load(source));
  EXPECT_EQ(dialogs_.messages(),
            Messages{std::string(kMsgOpenPackageFailed) +
                     "\n/pkg/QVUpdate.Bin: No such file or directory"});
  EXPECT_EQ(store_.data_length, 8192u);
  EXPECT_EQ(store_.image_size, 8192u);
}

TEST_F(PackageLoadTest, LengthAtTheLimitPassesTheSizeCheck) {
  // Claims exactly 0x7F00000 bytes but delivers few: refused by the length check, not the size.
  const auto file = test::ScrambledFile(std::vector<uint8_t>(1024, 0), test::EmptyPackageData(384));
  ScriptedSource source({{true, file, 0x7F00000}});
  EXPECT_FALSE(Load(source));
  EXPECT_EQ(dialogs_.messages(),
            Messages{std::string(kMsgReadFileError) +
                     "\n/pkg/QVUpdate.Bin: it changed while it was read (1408 bytes read, "
                     "133169152 bytes now)"});
}

TEST_F(PackageLoadTest, ImageAlreadyHeldIsRefusedAndReleased) {
  store_.image.reset(new uint8_t[16]{});
  store_.image_size = 16;
  MemoryPackageSource source({});
  EXPECT_FALSE(Load(source));
  EXPECT_EQ(dialogs_.messages(), Messages{kMsgImageAlreadyHeld});
  EXPECT_EQ(store_.image, nullptr);
}

TEST_F(PackageLoadTest, ReadPackageOnItsOwnOpensTheGivenPath) {
  const Result<> read = ReadPackage(store_, dir_.path() / "absent.bin");
  ASSERT_FALSE(read);
  EXPECT_EQ(read.failure().message, kMsgNoPackageFile);
  EXPECT_EQ(read.failure().detail, (dir_.path() / "absent.bin").string() + ": " +
                                       test::SystemReasonText(test::SystemReason::kNoSuchFile));
}

TEST(InformationTextTest, ReadmeLinesEndWithCrLf) {
  struct Case {
    const char* readme;
    const char* lines;
  };
  const Case cases[] = {
      {"", ""},
      {"one\r\ntwo\n", "one\r\ntwo\r\n"},
      {"no end", "no end\r\n"},
      {"\n\nx", "\r\n\r\nx\r\n"},
      {"lone\rcr\n", "lone\rcr\r\n"},  // only CR LF together is a line end
      {"cr at end\r", "cr at end\r\r\n"},
  };
  for (const auto& c : cases) {
    std::string text;
    AppendReadmeLines(c.readme, text);
    EXPECT_EQ(text, c.lines) << c.readme;
  }
}

TEST(InformationTextTest, MissingReadmeGivesThreeEmptyLinesAndLongLinesStayWhole) {
  test::TempFolder dir;
  EXPECT_EQ(BuildInformationText(dir.path() / "readme.txt"), "\r\n\r\n\r\n");
  const std::string longline(100000, 'x');
  EXPECT_EQ(BuildInformationText(dir.WriteText("readme.txt", longline + "\n")),
            "\r\n\r\n\r\n" + longline + "\r\n");
}

// The readme is read up to a bound; what is left out is said in a last line, and a cut never
// splits a line or a character.
TEST(InformationTextTest, ReadmeBeyondTheBoundIsCutAtALineAndSaysWhatWasLeftOut) {
  ASSERT_EQ(kReadmeReadLimit, 1048576u);
  const std::string head = "\r\n\r\n\r\n";
  test::TempFolder dir;
  const auto readme = dir.path() / "readme.txt";
  const std::string line(99, 'a');
  std::string lines;
  for (int i = 0; i < 10500; ++i) lines += line + "\n";  // 1,050,000 bytes: 10485 lines fit
  std::string shown;
  for (int i = 0; i < 10485; ++i) shown += line + "\r\n";
  dir.WriteText("readme.txt", lines);
  EXPECT_EQ(BuildInformationText(readme),
            head + shown + "[readme.txt is longer than 1 MiB: the remaining 1500 bytes are not "
                           "shown]\r\n");

  // One line longer than the bound, with a two-byte character across it: cut before it.
  dir.WriteText("readme.txt", std::string(1048575, 'x') + "\xC3\xA9 and more");
  EXPECT_EQ(BuildInformationText(readme),
            head + std::string(1048575, 'x') +
                "\r\n[readme.txt is longer than 1 MiB: the remaining 11 bytes are not shown]\r\n");

  // Exactly the bound: all of it, nothing said.
  dir.WriteText("readme.txt", std::string(1048575, 'y') + "\n");
  EXPECT_EQ(BuildInformationText(readme), head + std::string(1048575, 'y') + "\r\n");
}

// What else can lie where the package or the readme is expected: the load ends in time, a
// package gives the loader's messages with the system's reason, a readme gives no text.
class PackageFilesTest : public ::testing::TestWithParam<test::SpecialFile> {};

TEST_P(PackageFilesTest, SpecialFilesAreRefusedWithoutBlocking) {
  const test::SpecialFile kind = GetParam();
  test::TempFolder dir;
  std::filesystem::permissions(dir.path(), std::filesystem::perms::all);
  const auto paths = PackagePathsIn(dir.path());
  // The loader looks for the package and the readme by their names in the folder.
  const std::string skip = test::PlaceSpecialFile(kind, paths.package).skip;
  if (!skip.empty()) GTEST_SKIP() << skip;
  test::Watchdog watchdog(std::string("loading a ") + test::SpecialFileName(kind), 30s);
  const auto load_as_user = [&](PackageStore& store, Dialogs& dialogs) {
    test::ScriptedRandom random;
    test::FakeClock clock;
    test::UnprivilegedFileAccess as_user;
    return LoadPackage(store, paths, dialogs, random, clock);
  };
  PackageStore store;
  test::RecordingDialogs dialogs;
  EXPECT_FALSE(load_as_user(store, dialogs));
  const std::string detail = paths.package.string() + ": " + test::SpecialFileReason(kind);
  EXPECT_EQ(dialogs.messages(), (Messages{std::string(kMsgOpenPackageFailed) + "\n" + detail,
                                          std::string(kMsgNoPackageFile) + "\n" + detail}));
  EXPECT_EQ(store.image, nullptr);

  std::filesystem::remove(paths.package);
  dir.Write("QVUpdate.Bin",
            test::ScrambledFile(std::vector<uint8_t>(1024, 0), test::EmptyPackageData(384)));
  std::filesystem::permissions(paths.package, std::filesystem::perms::all);
  ASSERT_EQ(test::PlaceSpecialFile(kind, paths.readme).skip, "");
  test::RecordingDialogs quiet;
  EXPECT_TRUE(load_as_user(store, quiet));
  EXPECT_EQ(store.information_text, "\r\n\r\n\r\n");
  EXPECT_EQ(quiet.messages(), Messages{});
}

INSTANTIATE_TEST_SUITE_P(EveryKind, PackageFilesTest, ::testing::ValuesIn(test::kSpecialFiles),
                         test::SpecialFileTestName);

// A program's file name ends with the system's suffix for programs.
#ifdef _WIN32
constexpr const char* kProgramSuffix = ".exe";
#else
constexpr const char* kProgramSuffix = "";
#endif

TEST(ProgramDirectoryTest, IsTheExecutablesDirectoryWithItsSeparator) {
  const std::string directory = ProgramDirectory();
  ASSERT_FALSE(directory.empty());
  EXPECT_EQ(directory.back(), static_cast<char>(std::filesystem::path::preferred_separator));
  EXPECT_TRUE(std::filesystem::exists(std::filesystem::path(directory) /
                                      (std::string("package_tests") + kProgramSuffix)));
  EXPECT_EQ(ProgramDirectory(), directory);
  EXPECT_EQ(PackagePathsIn("/x").package, std::filesystem::path("/x/QVUpdate.Bin"));
  EXPECT_EQ(PackagePathsIn("/x").readme, std::filesystem::path("/x/readme.txt"));
}

}  // namespace
}  // namespace qv
