// The real hidapi on Linux's device nodes: a node's file rights and the user ids of a process
// are POSIX matters (Windows opens HID devices by interface path, with no such rights to set).

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "platform/hid_bus.h"

namespace qv {
namespace {

// The real hidapi on a node this user may not open (a file with no rights; root drops to an
// unprivileged user in a child process first, since root may open anything) tells access
// denied apart from every other failure.
TEST(HidapiBusTest, ANodeThisUserMayNotOpenIsAccessDenied) {
  char path[] = "/tmp/qv-hidraw-XXXXXX";
  const int fd = mkstemp(path);
  ASSERT_GE(fd, 0);
  close(fd);
  ASSERT_EQ(chmod(path, 0), 0);
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    if (geteuid() == 0 && (setgid(65534) != 0 || setuid(65534) != 0)) _exit(2);
    const HidOpenResult result = SystemHidBus().OpenWithReason(path);
    _exit(result.port == nullptr && result.failure == HidOpenFailure::kAccessDenied ? 0 : 1);
  }
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  unlink(path);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0) << "2: could not drop to an unprivileged user";
}

}  // namespace
}  // namespace qv
