#include <gtest/gtest.h>

#ifdef _WIN32
#include <windows.h>
#endif

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <cerrno>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "platform/hid_bus.h"
#include "platform/hidapi_calls.h"

namespace qv {
namespace {

// Runs against the machine's real hidapi; on a machine without the device (CI) the list is
// empty, with it attached the entries must carry the ids asked for.
TEST(HidapiBusTest, EnumeratesOnlyTheRequestedIdsWithoutCrashing) {
  std::vector<HidInterfaceInfo> found{{"stale", 1, 2, "", ""}};
  const bool enumerated = SystemHidBus().Enumerate(0x0416, 0xB501, found);
  if (!enumerated) {
    EXPECT_TRUE(found.empty());
  }
  for (const HidInterfaceInfo& info : found) {
    EXPECT_EQ(info.vendor_id, 0x0416);
    EXPECT_EQ(info.product_id, 0xB501);
    EXPECT_FALSE(info.path.empty());
  }
  // Twice, so that the one-time initialisation is not assumed to run on every call.
  EXPECT_TRUE(SystemHidBus().Enumerate(0x0416, 0xB501, found) || found.empty());
}

TEST(HidapiBusTest, OpeningAPathThatDoesNotExistGivesNoPort) {
  EXPECT_EQ(SystemHidBus().Open("/dev/qv-no-such-hidraw"), nullptr);
  const HidOpenResult result = SystemHidBus().OpenWithReason("/dev/qv-no-such-hidraw");
  EXPECT_EQ(result.port, nullptr);
  EXPECT_EQ(result.failure, HidOpenFailure::kOther);
}

// Scripted stand-ins for the hidapi calls. The table holds plain function pointers, so the
// script lives in one object that the test sets up before each case.
struct HidapiScript {
  int init_result = 0;
  int inits = 0;
  std::vector<hid_device_info> list;  // linked up by the enumerate stand-in
  int frees = 0;
  bool open_fails = false;
  int open_errno = 0;            // errno a failing open leaves
  std::wstring error_text;       // what hid_error(NULL) says after a failed call
  int closes = 0;
  hid_device_info attributes{};
  bool attributes_fail = false;
  std::vector<unsigned char> written;
  int write_result = 65;
  // What the read stand-in puts into the buffer and returns.
  std::vector<unsigned char> read_bytes;
  int read_result = 0;
  std::size_t read_length = 0;
  int read_timeout_ms = 0;
};

HidapiScript* script = nullptr;
// Any non-null pointer serves as the open device; it is never dereferenced.
hid_device* const kOpenDevice = reinterpret_cast<hid_device*>(&script);

const HidapiCalls kScriptedCalls = {
    [] {
      ++script->inits;
      return script->init_result;
    },
    [](unsigned short, unsigned short) -> hid_device_info* {
      if (script->list.empty()) return nullptr;
      for (std::size_t i = 0; i + 1 < script->list.size(); ++i) {
        script->list[i].next = &script->list[i + 1];
      }
      script->list.back().next = nullptr;
      return script->list.data();
    },
    [](hid_device_info*) { ++script->frees; },
    [](const char*) -> hid_device* {
      if (!script->open_fails) return kOpenDevice;
      errno = script->open_errno;
      return nullptr;
    },
    [](hid_device*) { ++script->closes; },
    [](hid_device*) { return script->attributes_fail ? nullptr : &script->attributes; },
    [](hid_device*, const unsigned char* data, std::size_t length) {
      script->written.assign(data, data + length);
      return script->write_result;
    },
    [](hid_device*, unsigned char* data, std::size_t length, int milliseconds) {
      script->read_length = length;
      script->read_timeout_ms = milliseconds;
      std::copy_n(script->read_bytes.begin(), std::min(script->read_bytes.size(), length), data);
      return script->read_result;
    },
    [](hid_device*) -> const wchar_t* { return script->error_text.c_str(); },
};

class ScriptedHidapiTest : public ::testing::Test {
 protected:
  ScriptedHidapiTest() { script = &script_; }
  ~ScriptedHidapiTest() override { script = nullptr; }

  std::unique_ptr<HidPort> OpenPort() {
    std::unique_ptr<HidPort> port = bus_->Open("/dev/hidraw7");
    EXPECT_NE(port, nullptr);
    return port;
  }

  HidapiScript script_;
  std::unique_ptr<HidBus> bus_ = MakeHidapiBus(kScriptedCalls);
};

std::vector<unsigned char> Payload(std::size_t size) {
  std::vector<unsigned char> payload(size);
  for (std::size_t i = 0; i < size; ++i) payload[i] = static_cast<unsigned char>(0xA0 + i);
  return payload;
}

// Whatever hidapi returns, the caller sees report number 0, the payload from byte 1 on, and
// zeros after it: never bytes left from an earlier report.
TEST_F(ScriptedHidapiTest, ReadsGiveTheReportLayoutForEveryCount) {
  struct Case {
    std::string name;
    std::vector<unsigned char> bytes;  // what hidapi puts into the buffer
    int returned;
    int expected;
    std::size_t payload;  // payload bytes the report must carry
  };
  std::vector<unsigned char> numbered = {0};
  const std::vector<unsigned char> whole = Payload(64);
  numbered.insert(numbered.end(), whole.begin(), whole.end());
  const std::vector<Case> cases = {
      {"payload only (64)", whole, 64, 65, 64},
      {"report number in front (65)", numbered, 65, 65, 64},
      {"short payload", Payload(10), 10, 11, 10},
      {"time-out", {}, 0, 0, 0},
      {"failure", {}, -1, -1, 0},
  };
  auto port = OpenPort();
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    script_.read_bytes = c.bytes;
    script_.read_result = c.returned;
    Report report;
    report.fill(0xEE);
    EXPECT_EQ(port->ReadReport(report, 10), c.expected);
    // Room for a whole numbered report, and the caller's slice passed on.
    EXPECT_EQ(script_.read_length, 65u);
    EXPECT_EQ(script_.read_timeout_ms, 10);
    if (c.expected <= 0) continue;
    Report want{};
    const std::vector<unsigned char> payload = Payload(c.payload);
    std::copy(payload.begin(), payload.end(), want.begin() + 1);
    EXPECT_EQ(report, want);
  }
}

TEST_F(ScriptedHidapiTest, WritesSendTheWholeReportAndCountAStrippedNumberAsWhole) {
  struct Case {
    int returned;
    int expected;
  };
  const Case cases[] = {{65, 65}, {64, 65}, {10, 10}, {0, 0}, {-1, -1}};
  auto port = OpenPort();
  Report report;
  for (std::size_t i = 0; i < report.size(); ++i) report[i] = static_cast<uint8_t>(i);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.returned);
    script_.write_result = c.returned;
    EXPECT_EQ(port->WriteReport(report), c.expected);
    EXPECT_TRUE(
        std::equal(report.begin(), report.end(), script_.written.begin(), script_.written.end()));
  }
}

TEST_F(ScriptedHidapiTest, EnumerationOpenAttributesAndClose) {
  char path_a[] = "/dev/hidraw1";
  char path_b[] = "/dev/hidraw2";
  script_.list.resize(3);
  script_.list[0].path = path_a;
  script_.list[0].vendor_id = 0x0416;
  script_.list[0].product_id = 0xB501;
  script_.list[1].path = nullptr;  // skipped
  script_.list[2].path = path_b;
  wchar_t serial[] = L"A1";
  wchar_t product[] = L"Updater device";
  script_.list[2].serial_number = serial;
  script_.list[2].product_string = product;
  script_.list[2].interface_number = 2;
  script_.list[2].usage_page = 0xFF00;
  std::vector<HidInterfaceInfo> found{{"stale", 1, 2, "", ""}};
  ASSERT_TRUE(bus_->Enumerate(0x0416, 0xB501, found));
  ASSERT_EQ(found.size(), 2u);
  EXPECT_EQ(found[0].path, "/dev/hidraw1");
  EXPECT_EQ(found[0].vendor_id, 0x0416);
  EXPECT_EQ(found[0].serial_number, "");
  EXPECT_EQ(found[1].path, "/dev/hidraw2");
  EXPECT_EQ(found[1].serial_number, "A1");
  EXPECT_EQ(found[1].product, "Updater device");
  EXPECT_EQ(found[1].interface_number, 2);
  EXPECT_EQ(found[1].usage_page, 0xFF00);
  EXPECT_EQ(script_.frees, 1);

  script_.attributes.vendor_id = 0x0416;
  script_.attributes.product_id = 0xB502;
  {
    auto port = OpenPort();
    uint16_t vendor_id = 0;
    uint16_t product_id = 0;
    ASSERT_TRUE(port->GetAttributes(vendor_id, product_id));
    EXPECT_EQ(vendor_id, 0x0416);
    EXPECT_EQ(product_id, 0xB502);
    script_.attributes_fail = true;
    EXPECT_FALSE(port->GetAttributes(vendor_id, product_id));
  }
  EXPECT_EQ(script_.closes, 1);
  script_.open_fails = true;
  EXPECT_EQ(bus_->Open("/dev/hidraw1"), nullptr);
  EXPECT_EQ(script_.inits, 1);
}

#ifdef _WIN32
// Windows' hidapi names the failed operation, then the system's message for the error.
std::wstring RefusedOpenText() {
  wchar_t* buffer = nullptr;
  FormatMessageW(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, ERROR_ACCESS_DENIED, MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US),
      reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
  std::wstring text = L"open_device: " + std::wstring(buffer != nullptr ? buffer : L"");
  if (buffer != nullptr) LocalFree(buffer);
  return text;
}
// Windows' hidapi leaves errno alone (what it holds is left from something else): only its
// error text tells a refusal.
constexpr HidOpenFailure kRefusedByText = HidOpenFailure::kAccessDenied;
constexpr HidOpenFailure kRefusedByErrno = HidOpenFailure::kOther;
#else
// hidraw's text is a formatted errno, which may have been overwritten; errno is what counts.
std::wstring RefusedOpenText() { return L"open failed: Permission denied"; }
constexpr HidOpenFailure kRefusedByText = HidOpenFailure::kOther;
constexpr HidOpenFailure kRefusedByErrno = HidOpenFailure::kAccessDenied;
#endif

// What hidapi's open leaves behind (errno on Linux, its error text on Windows) says whether the
// system refused this user.
TEST_F(ScriptedHidapiTest, AFailedOpenTellsAccessDeniedFromOtherFailures) {
  struct Case {
    int open_errno;
    std::wstring text;
    HidOpenFailure expected;
  };
  const Case cases[] = {{EACCES, L"", kRefusedByErrno},
                        {EPERM, L"", kRefusedByErrno},
                        {0, RefusedOpenText(), kRefusedByText},
                        {ENOENT, L"open_device: The system cannot find the file specified.",
                         HidOpenFailure::kOther},
                        {ENODEV, L"", HidOpenFailure::kOther},
                        {0, L"", HidOpenFailure::kOther}};
  script_.open_fails = true;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.open_errno);
    script_.open_errno = c.open_errno;
    script_.error_text = c.text;
    const HidOpenResult result = bus_->OpenWithReason("/dev/qv-no-such-hidraw");
    EXPECT_EQ(result.port, nullptr);
    EXPECT_EQ(result.failure, c.expected);
  }
  script_.open_fails = false;
  const HidOpenResult opened = bus_->OpenWithReason("/dev/hidraw1");
  EXPECT_NE(opened.port, nullptr);
  EXPECT_EQ(opened.failure, HidOpenFailure::kNone);
}

// A serial number is the device's own text: every character survives, also one outside the
// Basic Multilingual Plane, which Windows' 16-bit wchar_t carries as a surrogate pair.
TEST(HidapiTextTest, WideStringsBecomeUtf8Whole) {
  struct Case {
    std::vector<wchar_t> wide;
    std::string utf8;
  };
  const Case cases[] = {
      {{L'S', L'N', L'1'}, "SN1"},
      {{0xE9, 0x4E2D}, "\xC3\xA9\xE4\xB8\xAD"},
      {{0xD83D, 0xDE00, L'X'}, "\xF0\x9F\x98\x80X"},  // U+1F600 as UTF-16
      {{0xD83D, L'X'}, "\xEF\xBF\xBDX"},                // a lone high surrogate
      {{0xDE00}, "\xEF\xBF\xBD"},                      // a lone low surrogate
  };
  for (const Case& c : cases) {
    std::vector<wchar_t> text = c.wide;
    text.push_back(L'\0');
    EXPECT_EQ(Utf8FromHidapi(text.data()), c.utf8);
  }
  if constexpr (sizeof(wchar_t) == 4) {
    const wchar_t whole[] = {static_cast<wchar_t>(0x1F600), L'\0'};
    EXPECT_EQ(Utf8FromHidapi(whole), "\xF0\x9F\x98\x80");
  }
  EXPECT_EQ(Utf8FromHidapi(nullptr), "");
}

// hid_enumerate gives NULL both for an empty list and for one it could not read; its error text
// tells them apart, and a failure keeps the system's words.
TEST_F(ScriptedHidapiTest, AnEmptyListIsNotAFailedOne) {
  struct Case {
    std::wstring error;
    bool listed;
  };
  const Case cases[] = {
      {L"No HID devices with requested VID/PID found in the system.", true},
      {L"No HID devices found in the system.", true},
      {L"Success", true},
      {L"", true},
      {L"Couldn't create udev context", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(Utf8FromHidapi(c.error.c_str()));
    script_.error_text = c.error;
    std::vector<HidInterfaceInfo> found{{"stale", 1, 2, "", ""}};
    EXPECT_EQ(bus_->Enumerate(0x0416, 0xB501, found), c.listed);
    EXPECT_TRUE(found.empty());
    if (!c.listed) {
      EXPECT_EQ(bus_->EnumerationFailure(), "Couldn't create udev context");
    }
  }
}

TEST_F(ScriptedHidapiTest, AFailedInitialisationFindsAndOpensNothing) {
  script_.init_result = -1;
  std::vector<HidInterfaceInfo> found{{"stale", 1, 2, "", ""}};
  EXPECT_FALSE(bus_->Enumerate(0x0416, 0xB501, found));
  EXPECT_TRUE(found.empty());
  EXPECT_EQ(bus_->Open("/dev/hidraw1"), nullptr);
  EXPECT_EQ(script_.inits, 1);
}

// Stand-ins that notice two threads inside hidapi's enumerate, open, close or device-info calls
// at once, and writes that wait for a second writer to be inside at the same time.
namespace threaded {

std::atomic<int> in_bus_call{0};
std::atomic<int> most_in_bus_call{0};
std::atomic<int> writes_begun{0};
std::atomic<int> in_write{0};
std::atomic<bool> writes_met{false};
hid_device_info entry{};
hid_device_info attributes{};
char entry_path[] = "/dev/hidraw1";
hid_device* const kDevice = reinterpret_cast<hid_device*>(&entry);

void BusCall() {
  const int inside = ++in_bus_call;
  int most = most_in_bus_call.load();
  while (inside > most && !most_in_bus_call.compare_exchange_weak(most, inside)) {
  }
  std::this_thread::sleep_for(std::chrono::microseconds(300));
  --in_bus_call;
}

const HidapiCalls kCalls = {
    [] { return 0; },
    [](unsigned short, unsigned short) -> hid_device_info* {
      BusCall();
      entry.path = entry_path;
      return &entry;
    },
    [](hid_device_info*) {},
    [](const char*) -> hid_device* {
      BusCall();
      return kDevice;
    },
    [](hid_device*) { BusCall(); },
    [](hid_device*) -> hid_device_info* {
      BusCall();
      return &attributes;
    },
    [](hid_device*, const unsigned char*, std::size_t length) {
      // The first writer stays inside until the second has begun (or 5 s have passed); the
      // second finds it still inside only when the writes are not serialised.
      if (++in_write >= 2) writes_met = true;
      ++writes_begun;
      const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(5);
      while (writes_begun.load() < 2 && std::chrono::steady_clock::now() < until) {
        std::this_thread::yield();
      }
      --in_write;
      return static_cast<int>(length);
    },
    [](hid_device*, unsigned char*, std::size_t, int) { return 0; },
    [](hid_device*) -> const wchar_t* { return L"Success"; },
};

}  // namespace threaded

// Every device thread of a station enumerates, opens, asks for ids and closes: hidapi gets those
// calls one at a time. Transfers on two devices still overlap.
TEST(HidapiBusThreads, EnumerateOpenAndCloseAreSerialisedTransfersAreNot) {
  std::unique_ptr<HidBus> bus = MakeHidapiBus(threaded::kCalls);
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&bus] {
      for (int i = 0; i < 40; ++i) {
        std::vector<HidInterfaceInfo> found;
        EXPECT_TRUE(bus->Enumerate(0x0416, 0xB501, found));
        std::unique_ptr<HidPort> port = bus->Open("/dev/hidraw1");
        ASSERT_NE(port, nullptr);
        uint16_t vendor_id = 0;
        uint16_t product_id = 0;
        EXPECT_TRUE(port->GetAttributes(vendor_id, product_id));
      }
    });
  }
  for (std::thread& thread : threads) thread.join();
  EXPECT_EQ(threaded::most_in_bus_call.load(), 1);

  std::unique_ptr<HidPort> first = bus->Open("/dev/hidraw1");
  std::unique_ptr<HidPort> second = bus->Open("/dev/hidraw2");
  const Report report{};
  std::thread writer([&] { EXPECT_EQ(first->WriteReport(report), 65); });
  EXPECT_EQ(second->WriteReport(report), 65);
  writer.join();
  EXPECT_TRUE(threaded::writes_met.load());
}

}  // namespace
}  // namespace qv
