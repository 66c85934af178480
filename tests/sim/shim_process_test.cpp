// Runs a program that uses the system's hidapi with the simulator preloaded in front of it, as
// the updater's own binaries are run, and checks what it saw and what the simulator wrote.
#include <gtest/gtest.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

extern char** environ;

namespace {

namespace fs = std::filesystem;

struct ProbeRun {
  std::string out;
  int status = -1;
};

// Runs the probe with `steps`, the simulator preloaded and the given QVSIM_ variables (and no
// others from this process's environment).
ProbeRun RunProbe(const std::vector<std::string>& env, const std::vector<std::string>& steps) {
  std::vector<std::string> child_env;
  std::string asan = "verify_asan_link_order=0";
  for (char** e = environ; *e != nullptr; ++e) {
    const std::string entry = *e;
    if (entry.rfind("QVSIM_", 0) == 0 || entry.rfind("LD_PRELOAD=", 0) == 0) continue;
    if (entry.rfind("ASAN_OPTIONS=", 0) == 0) {
      asan = entry.substr(13) + ":" + asan;
      continue;
    }
    child_env.push_back(entry);
  }
  child_env.push_back("ASAN_OPTIONS=" + asan);
  child_env.push_back(std::string("LD_PRELOAD=") + QVSIM_SHIM);
  child_env.insert(child_env.end(), env.begin(), env.end());

  std::vector<std::string> args{QVSIM_PROBE};
  args.insert(args.end(), steps.begin(), steps.end());
  std::vector<char*> argv;
  for (std::string& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  std::vector<char*> envp;
  for (std::string& e : child_env) envp.push_back(e.data());
  envp.push_back(nullptr);

  ProbeRun run;
  int out[2];
  if (pipe(out) != 0) return run;
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, out[1], 1);
  posix_spawn_file_actions_addclose(&actions, out[0]);
  pid_t pid = 0;
  const int spawned = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), envp.data());
  posix_spawn_file_actions_destroy(&actions);
  close(out[1]);
  if (spawned == 0) {
    char buffer[4096];
    ssize_t n = 0;
    while ((n = read(out[0], buffer, sizeof buffer)) > 0) run.out.append(buffer, buffer + n);
    waitpid(pid, &run.status, 0);
  }
  close(out[0]);
  return run;
}

std::string ReadFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

class ShimProcessTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/qvsim-shim-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    dir = pattern;
  }
  void TearDown() override { fs::remove_all(dir); }

  fs::path dir;
};

TEST_F(ShimProcessTest, QueryThroughPreloadedHidapiLeavesTraceEventsAndFlash) {
  const ProbeRun run = RunProbe(
      {"QVSIM_DIR=" + dir.string(), "QVSIM_VERSION=5001020300000000", "QVSIM_FLASH_ID=EF13"},
      {"enum", "open:0", "info", "write:query", "read:1000", "write:over", "close", "exit"});
  ASSERT_EQ(run.status, 0) << run.out;
  const std::string answer = "read 64 50 01 02 03 00 00 00 00 00 00 00 00 00 00 FF 45 46 31 33" +
                             [] {
                               std::string fill;
                               for (int i = 19; i < 63; ++i) fill += " FF";
                               return fill;
                             }() +
                             " 14\n";
  EXPECT_EQ(run.out, "enum 1 sim:dev1\nopen ok\ninfo 0 SIM1 0416:B501 0.13.1\nwrite 65\n" + answer +
                         "write 65\nclose\nexit 0\n");

  const std::string trace = ReadFile(dir / "dev1.trace");
  EXPECT_NE(trace.find("> 00 A7 0E 80 00 00 00 01 00 00 00 79 50 71 06 60 06 00 00 CC"),
            std::string::npos)
      << trace;
  EXPECT_NE(trace.find("< 00 50 01 02 03"), std::string::npos) << trace;
  const std::string events = ReadFile(dir / "dev1.events");
  EXPECT_NE(events.find("QUERY 0x80 0x1"), std::string::npos) << events;
  EXPECT_NE(events.find("OVER 0x12345678 0xABCDEF01"), std::string::npos) << events;
  EXPECT_EQ(events.find("FAULT"), std::string::npos) << events;
  const std::string flash = ReadFile(dir / "dev1.flash");
  EXPECT_EQ(flash, std::string(8u << 20, '\xFF'));
}

TEST_F(ShimProcessTest, ControlFilePlugsUnplugsAndReplaces) {
  const ProbeRun run =
      RunProbe({"QVSIM_CONTROL=" + (dir / "control").string()},
               {"enum", "open:0", "control:plug", "enum", "control:unplug 1", "write:query", "enum",
                "control:replace 2", "enum", "control:enumeration fail", "enum",
                "control:enumeration ok", "enum"});
  ASSERT_EQ(run.status, 0) << run.out;
  EXPECT_EQ(run.out,
            "enum 1 sim:dev1\nopen ok\nenum 2 sim:dev1 sim:dev2\nwrite -1\nenum 1 sim:dev2\n"
            "enum 1 sim:dev3\nenum 0\nenum 1 sim:dev3\n");
}

TEST_F(ShimProcessTest, KnobsReachTheSimulatedDevices) {
  struct Case {
    std::vector<std::string> env;
    std::vector<std::string> steps;
    std::string out;
  };
  const Case cases[] = {
      {{"QVSIM_DEVICES=2"}, {"enum"}, "enum 2 sim:dev1 sim:dev2\n"},
      {{"QVSIM_DEVICES=0"}, {"enum"}, "enum 0\n"},
      {{"QVSIM_DEVICES=3"}, {"openserial:SIM2", "info"}, "open ok\ninfo 0 SIM2 0416:B501 0.13.1\n"},
      {{"QVSIM_DEVICES=1"}, {"openserial:SIM2"}, "open failed\n"},
      {{"QVSIM_PRODUCT_ID=0xB502"}, {"enum"}, "enum 0\n"},
      {{"QVSIM_STOP_READS=1"},
       {"enum", "open:0", "write:query", "read:50"},
       "enum 1 sim:dev1\nopen ok\nwrite 65\nread 0\n"},
      {{"QVSIM_FAIL_REPORT=1"},
       {"enum", "open:0", "write:query", "write:query"},
       "enum 1 sim:dev1\nopen ok\nwrite -1\nwrite 65\n"},
      {{"QVSIM_VANISH_REPORT=2"},
       {"enum", "open:0", "write:query", "read:50", "enum"},
       "enum 1 sim:dev1\nopen ok\nwrite 65\nread -1\nenum 0\n"},
      {{"QVSIM_INPUT_PAYLOAD=2"},
       {"enum", "open:0", "write:query", "read:50"},
       "enum 1 sim:dev1\nopen ok\nwrite 65\nread 2 50 00\n"},
      {{"QVSIM_RESET_ABSENT_MS=150"},
       {"enum", "open:0", "write:reset", "enum", "write:query", "sleep:300", "enum"},
       "enum 1 sim:dev1\nopen ok\nwrite 65\nenum 0\nwrite -1\nenum 1 sim:dev1\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.env[0]);
    const ProbeRun run = RunProbe(c.env, c.steps);
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.out, c.out);
  }
}

TEST_F(ShimProcessTest, WrongSizedWriteIsRefusedAndLogged) {
  const ProbeRun run =
      RunProbe({"QVSIM_DIR=" + (dir / "new").string()}, {"enum", "open:0", "write:short"});
  ASSERT_EQ(run.status, 0);
  EXPECT_EQ(run.out, "enum 1 sim:dev1\nopen ok\nwrite -1\n");
  EXPECT_NE(
      ReadFile(dir / "new" / "dev1.events").find("FAULT host wrote 64 bytes (a report is 65)"),
      std::string::npos);
}

}  // namespace
