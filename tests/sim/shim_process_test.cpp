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

constexpr const char* kProduct = "Simulated updater device";

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

// One entry as the probe's "list" step prints it.
std::string Entry(const std::string& path, int interface, const char* page,
                  const std::string& serial, const std::string& product = kProduct) {
  return path + " if=" + std::to_string(interface) + " page=" + page + " serial=" + serial +
         " product=" + product + "\n";
}

TEST_F(ShimProcessTest, DevicesShowTheirInterfacesPortsAndUpdateModeDescriptors) {
  // U+1F600 as the probe prints it: one UTF-32 unit, or a UTF-16 surrogate pair on Windows.
  const std::string emoji = sizeof(wchar_t) == 2 ? "\\u{D83D}\\u{DE00}" : "\\u{1F600}";
  struct Case {
    const char* name;
    std::vector<std::string> env;
    std::vector<std::string> steps;
    std::string out;
  };
  const Case cases[] = {
      {"composite devices in ports, protocol on the second interface",
       {"QVSIM_DEVICES=2", "QVSIM_PORTS=1", "QVSIM_INTERFACES=2", "QVSIM_PROTOCOL_INTERFACE=1"},
       {"list"},
       Entry("1-1:1.0", 0, "0001", "SIM1") + Entry("1-1:1.1", 1, "FF00", "SIM1") +
           Entry("1-2:1.0", 0, "0001", "SIM2") + Entry("1-2:1.1", 1, "FF00", "SIM2")},
      {"interfaces without a port",
       {"QVSIM_INTERFACES=3"},
       {"list"},
       Entry("sim:dev1", 0, "FF00", "SIM1") + Entry("sim:dev1/1", 1, "0001", "SIM1") +
           Entry("sim:dev1/2", 2, "0001", "SIM1")},
      {"no serial number and another product in update mode, in the same port",
       {"QVSIM_PORTS=1", "QVSIM_SERIAL_AFTER_RESET=", "QVSIM_PRODUCT_AFTER_RESET=Boot",
        "QVSIM_RESET_ABSENT_MS=100"},
       {"list", "enum", "open:0", "write:reset", "sleep:300", "list"},
       Entry("1-1:1.0", 0, "FF00", "SIM1") + "enum 1 1-1:1.0\nopen ok\nwrite 65\n" +
           Entry("1-1:1.0", 0, "FF00", "", "Boot")},
      {"another serial number in update mode",
       {"QVSIM_SERIAL_AFTER_RESET=BOOT", "QVSIM_RESET_ABSENT_MS=100"},
       {"enum", "open:0", "write:reset", "sleep:300", "list"},
       "enum 1 sim:dev1\nopen ok\nwrite 65\n" + Entry("sim:dev1", 0, "FF00", "BOOT")},
      {"two devices share a serial number, the third differs",
       {"QVSIM_DEVICES=3", "QVSIM_SERIALS=S,S,T"},
       {"list"},
       Entry("sim:dev1", 0, "FF00", "S") + Entry("sim:dev2", 0, "FF00", "S") +
           Entry("sim:dev3", 0, "FF00", "T")},
      {"the distinct one first",
       {"QVSIM_DEVICES=3", "QVSIM_SERIALS=T,S,S", "QVSIM_SERIAL=X"},
       {"list", "control:plug", "list"},
       Entry("sim:dev1", 0, "FF00", "T") + Entry("sim:dev2", 0, "FF00", "S") +
           Entry("sim:dev3", 0, "FF00", "S") + Entry("sim:dev1", 0, "FF00", "T") +
           Entry("sim:dev2", 0, "FF00", "S") + Entry("sim:dev3", 0, "FF00", "S") +
           Entry("sim:dev4", 0, "FF00", "X")},
      {"an empty item: no serial number",
       {"QVSIM_DEVICES=2", "QVSIM_SERIALS=,Y"},
       {"list"},
       Entry("sim:dev1", 0, "FF00", "") + Entry("sim:dev2", 0, "FF00", "Y")},
      {"a serial number outside the Basic Multilingual Plane",
       {"QVSIM_SERIAL=A\xF0\x9F\x98\x80"},
       {"list"},
       Entry("sim:dev1", 0, "FF00", "A" + emoji)},
  };
  int case_number = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<std::string> env = c.env;
    // A control file for each case: the lines of one must not reach the next.
    const std::string control = "control" + std::to_string(++case_number);
    env.push_back("QVSIM_CONTROL=" + (dir / control).string());
    const ProbeRun run = RunProbe(env, c.steps);
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.out, c.out);
  }
}

// A keyboard's interface, say, has no output reports: every write there fails, whatever its
// length, and is no fault of the protocol; the protocol interface works beside it.
TEST_F(ShimProcessTest, WritesOnAnotherInterfaceFailWithoutAProtocolFault) {
  const ProbeRun run =
      RunProbe({"QVSIM_DIR=" + dir.string(), "QVSIM_INTERFACES=2", "QVSIM_PROTOCOL_INTERFACE=1"},
               {"enum", "open:0", "write:query", "write:short", "read:50", "open:1", "write:query",
                "read:50"});
  ASSERT_EQ(run.status, 0) << run.out;
  EXPECT_EQ(run.out.substr(0, run.out.find("read 64")),
            "enum 2 sim:dev1 sim:dev1/1\nopen ok\nwrite -1\nwrite -1\nread 0\nopen ok\n"
            "write 65\n");
  EXPECT_NE(run.out.find("read 64 50 00"), std::string::npos) << run.out;
  const std::string events = ReadFile(dir / "dev1.events");
  EXPECT_NE(events.find("write on interface 0 refused: it has no output reports"),
            std::string::npos)
      << events;
  EXPECT_EQ(events.find("FAULT"), std::string::npos) << events;
}

// "replace N" swaps a device into N's socket; "replace-at-reset N" does it while N is away
// after its reset, so the socket's paths lead to another device when N should be back. The
// absence is long enough for the listing right after the reset on a busy machine.
TEST_F(ShimProcessTest, ControlFileSwapsDevicesIntoTheSameSocket) {
  const ProbeRun run =
      RunProbe({"QVSIM_DIR=" + dir.string(), "QVSIM_CONTROL=" + (dir / "control").string(),
                "QVSIM_PORTS=1", "QVSIM_DEVICES=2", "QVSIM_RESET_ABSENT_MS=1000"},
               {"control:replace 1", "list", "control:replace-at-reset 2", "list", "enum", "open:1",
                "write:reset", "list", "sleep:1500", "list", "control:plug", "list"});
  ASSERT_EQ(run.status, 0) << run.out;
  const std::string both =
      Entry("1-1:1.0", 0, "FF00", "SIM3") + Entry("1-2:1.0", 0, "FF00", "SIM2");
  const std::string swapped =
      Entry("1-1:1.0", 0, "FF00", "SIM3") + Entry("1-2:1.0", 0, "FF00", "SIM4");
  EXPECT_EQ(run.out, both + both + "enum 2 1-1:1.0 1-2:1.0\nopen ok\nwrite 65\n" +
                         Entry("1-1:1.0", 0, "FF00", "SIM3") + swapped + swapped +
                         Entry("1-5:1.0", 0, "FF00", "SIM5"));
  EXPECT_NE(ReadFile(dir / "dev2.events").find("left the bus: reset, replaced by dev4"),
            std::string::npos);
  const std::string fresh = ReadFile(dir / "dev4.events");
  EXPECT_NE(fresh.find("made to be swapped in as 1-2:1.0"), std::string::npos) << fresh;
  EXPECT_NE(fresh.find("on the bus in the place of dev2"), std::string::npos) << fresh;
}

// Each system's hidapi tells of a refused open its own way: hidraw through errno, Windows'
// through hid_error alone, with the system's message. hid_open, which finds the device by its
// serial number first, passes the same reason on.
TEST_F(ShimProcessTest, RefusedOpenIsReportedAsTheSystemsHidapiDoes) {
  for (const char* open : {"open:0", "openserial:SIM1"}) {
    SCOPED_TRACE(open);
    const ProbeRun run = RunProbe({"QVSIM_OPEN_REFUSED=1"}, {"enum", open, "why"});
    ASSERT_EQ(run.status, 0) << run.out;
#ifdef _WIN32
    const std::string start = "enum 1 sim:dev1\nopen failed\nwhy errno=0 error=open_device: ";
    ASSERT_EQ(run.out.rfind(start, 0), 0u) << run.out;
    const std::string message = run.out.substr(start.size());
    EXPECT_GT(message.size(), 2u) << run.out;
    // Only the line's own end: the system's trailing CR LF is cut off.
    EXPECT_EQ(message.find("\\u{"), std::string::npos) << run.out;
    EXPECT_EQ(message.find('\n'), message.size() - 1) << run.out;
#else
    EXPECT_EQ(run.out, "enum 1 sim:dev1\nopen failed\nwhy errno=EACCES error=Permission denied\n");
#endif
  }
}

}  // namespace
