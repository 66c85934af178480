#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "fake_clock.h"
#include "sim/sim_bus.h"
#include "sim_test_reports.h"

namespace qv::sim::test {

// One simulated device on a fake clock, with an open port on it.
class SimFixture : public ::testing::Test {
 public:
  SimFixture() { Replug({}); }

  // Starts over with a fresh device of the given configuration.
  void Replug(const SimDeviceConfig& config) {
    if (device) bus.Unplug(device);
    device = bus.Plug(config);
    port = bus.Open(device->path());
    ASSERT_NE(port, nullptr);
  }

  void Send(const Report& report) { ASSERT_EQ(port->WriteReport(report), 65); }
  void SendCommand(uint8_t opcode, uint32_t param1, uint32_t param2) {
    Send(EncodeCommand(opcode, param1, param2));
  }
  // Writes `pages` pages, every byte of page i being values[i % values.size()].
  void WritePages(uint32_t start, uint32_t pages, std::vector<uint8_t> values) {
    SendCommand(0xA3, start, pages);
    for (uint32_t i = 0; i < pages * 4; ++i) Send(DataReport(values[(i / 4) % values.size()]));
  }
  // Erases and takes the whole read-back answer.
  void Erase(uint32_t start, uint32_t count) {
    SendCommand(0xA1, start, count);
    Send(ReadbackReport());
    EXPECT_EQ(ReadPayload(256, 10000).size(), 256u);
  }
  // Reads input reports until `bytes` payload bytes came or a read does not deliver.
  std::vector<uint8_t> ReadPayload(std::size_t bytes, int timeout_ms) {
    std::vector<uint8_t> payload;
    while (payload.size() < bytes) {
      Report report{};
      const int n = port->ReadReport(report, timeout_ms);
      if (n <= 0) break;
      payload.insert(payload.end(), report.begin() + 1, report.begin() + n);
    }
    return payload;
  }
  [[nodiscard]] std::string FaultText() const {
    std::string all;
    for (const std::string& fault : device->Faults()) all += fault + "\n";
    return all;
  }

  qv::test::FakeClock clock;
  SimBus bus{clock};
  std::shared_ptr<SimDevice> device;
  std::unique_ptr<HidPort> port;
};

}  // namespace qv::sim::test
