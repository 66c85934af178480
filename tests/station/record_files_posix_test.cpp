// The record where POSIX has what a test needs: a FIFO that has a reader, and a file-size limit
// that makes the disk "full" at a chosen byte.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
#include <string>

#include "file_traps.h"
#include "record_files_fixture.h"
#include "record_call.h"
#include "station/record_file.h"

namespace qv::station {
namespace {

fs::path Fifo(const fs::path& dir) {
  EXPECT_EQ(test::MakeFifo(dir / "target"), "");
  return dir / "target";
}

// A FIFO with a reader is no record either: the line would go to whoever reads, with nothing
// kept on a disk.
TEST_F(TargetFolder, RecordRefusesAFifoEvenWithAReader) {
  const fs::path path = Fifo(dir_);
  const int reader = ::open(path.c_str(), O_RDONLY | O_NONBLOCK);
  ASSERT_GE(reader, 0);
  RecordFile record;
  std::string error;
  EXPECT_FALSE(Did(record.Open(path.string()), error));
  EXPECT_EQ(error, "It is a FIFO, not a regular file");
  ::close(reader);
}

// The file-size limit makes the disk "full" at a byte of the test's choice: the line that does
// not fit is taken back whole, the next one that fits lands after the last whole line.
TEST_F(TargetFolder, AFullDiskLeavesWholeLinesOnly) {
  const fs::path path = dir_ / "record";
  RecordFile record;
  std::string error;
  ASSERT_TRUE(Did(record.Open(path.string()), error)) << error;
  ASSERT_TRUE(Did(record.Append(OneRun(1)), error)) << error;
  const std::string first = Slurp(path);

  struct sigaction ignore {}, before {};
  ignore.sa_handler = SIG_IGN;
  sigaction(SIGXFSZ, &ignore, &before);
  rlimit limit{}, saved{};
  getrlimit(RLIMIT_FSIZE, &saved);
  limit = saved;
  limit.rlim_cur = first.size() + first.size() / 2;  // room for half a line
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &limit), 0);
  const bool second = Did(record.Append(OneRun(2)), error);
  const std::string second_error = error;
  const bool third = Did(record.Append(OneRun(3)), error);  // no room at all: nothing written
  setrlimit(RLIMIT_FSIZE, &saved);
  sigaction(SIGXFSZ, &before, nullptr);

  EXPECT_FALSE(second);
  EXPECT_EQ(second_error, "short write (disk full?)");
  EXPECT_FALSE(third);
  EXPECT_EQ(Slurp(path), first);
  ASSERT_TRUE(Did(record.Append(OneRun(4)), error)) << error;
  EXPECT_EQ(Slurp(path), first + UnitRecordLine(OneRun(4)));
}

}  // namespace
}  // namespace qv::station
