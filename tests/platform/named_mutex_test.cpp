#include "platform/named_mutex.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "child_process.h"
#include "mutex_holder_process.h"
#include "temp_folder.h"

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

// Names the system cannot hold: Linux binds the name in a socket address of 108 bytes; Windows
// takes a backslash as a namespace separator.
#ifdef _WIN32
const std::vector<std::string> kUnboundNames = {"", "QV\\UPDATER"};
#else
const std::vector<std::string> kUnboundNames = {"", std::string(200, 'x')};
#endif

TEST(NamedMutexTest, NamesThatCannotBeBoundFail) {
  for (const std::string& name : kUnboundNames) {
    EXPECT_EQ(CreateStatus(name), NamedMutexStatus::kFailed) << name;
  }
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

  // A program that lives on after the handle is let go: the holder helper, under another name.
  const test::TempFolder output("qv_mutex_child");
  test::ChildProcess child({QV_MUTEX_HOLDER, name + "-other"}, {}, output.path());
  ASSERT_TRUE(child.started());

  held.handle.reset();
  EXPECT_EQ(CreateStatus(name), NamedMutexStatus::kCreated);
}

}  // namespace
}  // namespace qv
