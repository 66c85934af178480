#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "platform/hid_bus.h"

namespace qv {

// Device opcodes.
inline constexpr uint8_t CMD_ERASE = 0xA1;
inline constexpr uint8_t CMD_READBACK = 0xA2;
inline constexpr uint8_t CMD_WRITE = 0xA3;
inline constexpr uint8_t CMD_OVER = 0xA4;
inline constexpr uint8_t CMD_RESET = 0xA5;
inline constexpr uint8_t CMD_SET_LAYOUT = 0xA6;
inline constexpr uint8_t CMD_QUERY = 0xA7;

inline constexpr uint32_t FRAME_MAGIC = 0x06715079;
inline constexpr std::size_t kFrameSize = 18;
// The leading frame bytes covered by the checksum.
inline constexpr uint8_t kFrameCheckedLength = 14;
// What fills a command report after its frame.
inline constexpr uint8_t kCommandReportFill = 0xCC;

// The 18-byte command frame: opcode, checked length 14, two LE32 parameters, FRAME_MAGIC and
// the LE32 byte-sum checksum of bytes 0..13.
struct CommandFrame {
  std::array<uint8_t, kFrameSize> bytes{};

  [[nodiscard]] static CommandFrame Make(uint8_t opcode, uint32_t param1, uint32_t param2);
};

// Report number 0, the frame in bytes 1..18, 0xCC up to the end.
void FillCommandReport(Report& report, const CommandFrame& frame);
// Report number 0, then 64 bytes from source (which must hold at least 64 bytes).
void FillDataReport(Report& report, const uint8_t* source);

}  // namespace qv
