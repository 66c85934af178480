#pragma once

#include <array>
#include <cstdint>
#include <initializer_list>

#include "platform/hid_bus.h"

namespace qv::sim::test {

// A command report spelled out byte by byte: report number 0, the given frame bytes, 0xCC fill.
inline Report CommandReport(std::initializer_list<uint8_t> frame) {
  Report report;
  report.fill(0xCC);
  report[0] = 0;
  std::size_t at = 1;
  for (uint8_t byte : frame) report[at++] = byte;
  return report;
}

// A data report: report number 0 and 64 bytes of one value.
inline Report DataReport(uint8_t value) {
  Report report;
  report.fill(value);
  report[0] = 0;
  return report;
}

// A command report for any opcode and parameters, encoded here on its own (not with the updater's
// encoder); checked against the documented examples in the frame tests.
inline Report EncodeCommand(uint8_t opcode, uint32_t param1, uint32_t param2) {
  Report report;
  report.fill(0xCC);
  report[0] = 0;
  uint8_t* frame = report.data() + 1;
  frame[0] = opcode;
  frame[1] = 14;
  const uint32_t words[3] = {param1, param2, 0x06715079};
  for (int w = 0; w < 3; ++w) {
    for (int b = 0; b < 4; ++b) frame[2 + 4 * w + b] = static_cast<uint8_t>(words[w] >> (8 * b));
  }
  uint32_t sum = 0;
  for (int i = 0; i < 14; ++i) sum += frame[i];
  sum ^= 0x416;
  for (int b = 0; b < 4; ++b) frame[14 + b] = static_cast<uint8_t>(sum >> (8 * b));
  return report;
}

// Command reports written out by hand from the protocol's documented examples.
inline Report QueryReport() {
  return CommandReport(
      {0xA7, 0x0E, 0x80, 0, 0, 0, 0x01, 0, 0, 0, 0x79, 0x50, 0x71, 0x06, 0x60, 0x06, 0, 0});
}
inline Report ResetReport() {
  return CommandReport({0xA5, 0x0E, 0x78, 0x56, 0x34, 0x12, 0x01, 0xEF, 0xCD, 0xAB, 0x79, 0x50,
                        0x71, 0x06, 0x79, 0x01, 0, 0});
}
inline Report OverReport() {
  return CommandReport({0xA4, 0x0E, 0x78, 0x56, 0x34, 0x12, 0x01, 0xEF, 0xCD, 0xAB, 0x79, 0x50,
                        0x71, 0x06, 0x78, 0x01, 0, 0});
}
inline Report ReadbackReport() {
  return CommandReport(
      {0xA2, 0x0E, 0x80, 0, 0, 0, 0x01, 0, 0, 0, 0x79, 0x50, 0x71, 0x06, 0x67, 0x06, 0, 0});
}
inline Report SetLayoutReport() {
  return CommandReport(
      {0xA6, 0x0E, 0x80, 0, 0, 0, 0x01, 0, 0, 0, 0x79, 0x50, 0x71, 0x06, 0x63, 0x06, 0, 0});
}

}  // namespace qv::sim::test
