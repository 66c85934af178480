// Runs a program that uses the system's hidapi with the simulator in its place, as the updater's
// own binaries are run (preloaded on Linux, beside a copy of the program as hidapi.dll on
// Windows), and checks what it saw and what the simulator wrote.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "child_process.h"
#include "simulated_device_program.h"
#include "temp_folder.h"

namespace {

namespace fs = std::filesystem;

struct ProbeRun {
  std::string out;
  int status = -1;
};

std::string ReadFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

class ShimProcessTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir = work_.path() / "sim";
    fs::create_directory(dir);
    fs::create_directory(work_.path() / "bin");
    probe_.emplace(QVSIM_PROBE, QVSIM_SHIM, work_.path() / "bin");
  }

  // Runs the probe with `steps`, the simulator in hidapi's place and the given QVSIM_ variables
  // (and no others from this process's environment).
  ProbeRun RunProbe(const std::vector<std::string>& env, const std::vector<std::string>& steps) {
    std::vector<std::string> child_env = probe_->environment();
    // The probe is no sanitized program, while the preloaded simulator may be.
    const char* asan = std::getenv("ASAN_OPTIONS");
    const std::string earlier = asan == nullptr ? "" : std::string(asan) + ":";
    child_env.push_back("ASAN_OPTIONS=" + earlier + "verify_asan_link_order=0");
    child_env.insert(child_env.end(), env.begin(), env.end());
    std::vector<std::string> args{probe_->program().string()};
    args.insert(args.end(), steps.begin(), steps.end());
    ProbeRun run;
    qv::test::ChildProcess probe(args, child_env, output_.path(), {"QVSIM_", "LD_PRELOAD="});
    run.status = probe.Wait(60'000);
    run.out = probe.Stdout();
    return run;
  }

  fs::path dir;

 private:
  qv::test::TempFolder work_{"qvsim-shim"};
  qv::test::TempFolder output_{"qvsim-shim-output"};
  std::optional<qv::test::SimulatedDeviceProgram> probe_;
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
