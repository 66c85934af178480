#include "platform/named_mutex.h"

#include <gtest/gtest.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>

#include "mutex_holder_process.h"

namespace qv {
namespace {

using test::MutexHolderProcess;
using test::UniqueMutexName;

NamedMutexStatus CreateStatus(const std::string& name) {
  return SystemNamedMutexes().Create(name).status;
}

TEST(NamedMutexTest, NameIsHeldUntilTheHandleGoes) {
  const std::string name = UniqueMutexName("QV_MUTEX_LIFETIME");
  NamedMutexResult first = SystemNamedMutexes().Create(name);
  ASSERT_EQ(first.status, NamedMutexStatus::kCreated);
  ASSERT_NE(first.handle, nullptr);

  NamedMutexResult second = SystemNamedMutexes().Create(name);
  EXPECT_EQ(second.status, NamedMutexStatus::kAlreadyExists);
  EXPECT_EQ(second.handle, nullptr);

  first.handle.reset();
  EXPECT_EQ(CreateStatus(name), NamedMutexStatus::kCreated);
}

TEST(NamedMutexTest, NamesThatCannotBeBoundFail) {
  EXPECT_EQ(CreateStatus(""), NamedMutexStatus::kFailed);
  EXPECT_EQ(CreateStatus(std::string(200, 'x')), NamedMutexStatus::kFailed);
}

TEST(NamedMutexTest, AnotherProcessHoldsTheNameUntilItDies) {
  const std::string name = UniqueMutexName("QV_MUTEX_PROCESS");
  MutexHolderProcess holder(QV_MUTEX_HOLDER, name);
  ASSERT_EQ(holder.status(), "created");
  EXPECT_EQ(CreateStatus(name), NamedMutexStatus::kAlreadyExists);

  holder.Kill();
  EXPECT_EQ(CreateStatus(name), NamedMutexStatus::kCreated);
}

TEST(NamedMutexTest, AProgramStartedByTheHolderDoesNotKeepTheName) {
  const std::string name = UniqueMutexName("QV_MUTEX_CLOEXEC");
  NamedMutexResult held = SystemNamedMutexes().Create(name);
  ASSERT_EQ(held.status, NamedMutexStatus::kCreated);

  pid_t child = -1;
  char sleep_arg[] = "sleep";
  char seconds_arg[] = "30";
  char* argv[] = {sleep_arg, seconds_arg, nullptr};
  ASSERT_EQ(posix_spawnp(&child, "sleep", nullptr, nullptr, argv, environ), 0);

  held.handle.reset();
  EXPECT_EQ(CreateStatus(name), NamedMutexStatus::kCreated);

  ::kill(child, SIGKILL);
  int status = 0;
  ::waitpid(child, &status, 0);
}

}  // namespace
}  // namespace qv
