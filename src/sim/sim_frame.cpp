#include "sim/sim_frame.h"

#include <cstdio>

namespace qv::sim {
namespace {

// Parameters the fixed-parameter commands must carry.
constexpr uint32_t kBlockParam1 = 0x80;
constexpr uint32_t kBlockParam2 = 1;
constexpr uint32_t kKeyParam1 = 0x12345678;
constexpr uint32_t kKeyParam2 = 0xABCDEF01;

std::string Hex(uint32_t value) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%X", static_cast<unsigned>(value));
  return text;
}

bool KnownOpcode(uint8_t opcode) {
  return opcode >= kOpErase && opcode <= kOpQuery;
}

// Empty when the command's parameters are the ones it must carry; erase and write take any.
std::string CheckParameters(const SimCommand& command) {
  uint32_t want1 = 0;
  uint32_t want2 = 0;
  switch (command.opcode) {
    case kOpReadback:
    case kOpSetLayout:
    case kOpQuery:
      want1 = kBlockParam1;
      want2 = kBlockParam2;
      break;
    case kOpOver:
    case kOpReset:
      want1 = kKeyParam1;
      want2 = kKeyParam2;
      break;
    default:
      return {};
  }
  if (command.param1 == want1 && command.param2 == want2) return {};
  return SimOpcodeName(command.opcode) + " with parameters " + Hex(command.param1) + ", " +
         Hex(command.param2) + " (expected " + Hex(want1) + ", " + Hex(want2) + ")";
}

}  // namespace

uint32_t SimLe32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
         static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24;
}

uint16_t SimLe16(const uint8_t* p) {
  return static_cast<uint16_t>(static_cast<uint16_t>(p[0]) | static_cast<uint16_t>(p[1]) << 8);
}

uint32_t SimByteSum(const uint8_t* data, std::size_t size) {
  uint32_t sum = 0;
  for (std::size_t i = 0; i < size; ++i) sum += data[i];
  return sum ^ 0x416u;
}

std::string SimOpcodeName(uint8_t opcode) {
  switch (opcode) {
    case kOpErase:
      return "ERASE";
    case kOpReadback:
      return "READBACK";
    case kOpWrite:
      return "WRITE";
    case kOpOver:
      return "OVER";
    case kOpReset:
      return "RESET";
    case kOpSetLayout:
      return "SET_LAYOUT";
    case kOpQuery:
      return "QUERY";
    default:
      return Hex(opcode);
  }
}

bool SimLooksLikeCommand(const Report& report) {
  return KnownOpcode(report[1]) && report[2] == kSimCheckedLength;
}

std::string SimDecodeCommand(const Report& report, SimCommand& out) {
  if (report[0] != 0) return "report number " + Hex(report[0]) + " (expected 0)";
  const uint8_t* frame = report.data() + 1;
  if (!KnownOpcode(frame[0])) return "unknown opcode " + Hex(frame[0]);
  if (frame[1] != kSimCheckedLength) {
    return "checked length " + Hex(frame[1]) + " (expected 0xE)";
  }
  const uint32_t magic = SimLe32(frame + 10);
  if (magic != kSimFrameMagic) return "frame magic " + Hex(magic);
  const uint32_t sent_sum = SimLe32(frame + 14);
  const uint32_t sum = SimByteSum(frame, kSimCheckedLength);
  if (sent_sum != sum) return "checksum " + Hex(sent_sum) + " (expected " + Hex(sum) + ")";
  for (std::size_t i = 1 + kSimFrameSize; i < report.size(); ++i) {
    if (report[i] != kSimCommandFill) {
      return "fill byte " + std::to_string(i) + " is " + Hex(report[i]) + " (expected 0xCC)";
    }
  }
  SimCommand command;
  command.opcode = frame[0];
  command.param1 = SimLe32(frame + 2);
  command.param2 = SimLe32(frame + 6);
  std::string fault = CheckParameters(command);
  if (fault.empty()) out = command;
  return fault;
}

}  // namespace qv::sim
