#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/hid_bus.h"
#include "sim/sim_device.h"

// The device side of the command protocol: opcodes, the frame checksum and the decoding of a
// host report. Written independently of the updater's own encoder, so that a fault in that
// encoder shows up here instead of being mirrored.
namespace qv::sim {

inline constexpr uint8_t kOpErase = 0xA1;
inline constexpr uint8_t kOpReadback = 0xA2;
inline constexpr uint8_t kOpWrite = 0xA3;
inline constexpr uint8_t kOpOver = 0xA4;
inline constexpr uint8_t kOpReset = 0xA5;
inline constexpr uint8_t kOpSetLayout = 0xA6;
inline constexpr uint8_t kOpQuery = 0xA7;

inline constexpr uint32_t kSimFrameMagic = 0x06715079;
inline constexpr uint8_t kSimCheckedLength = 14;
inline constexpr uint8_t kSimCommandFill = 0xCC;
inline constexpr std::size_t kSimFrameSize = 18;

// Little-endian reads of the device's own.
[[nodiscard]] uint32_t SimLe32(const uint8_t* p);
[[nodiscard]] uint16_t SimLe16(const uint8_t* p);

// Sum of the bytes (each 0..255) in 32-bit arithmetic, XOR 0x416.
[[nodiscard]] uint32_t SimByteSum(const uint8_t* data, std::size_t size);

// "ERASE", "QUERY", ... or "0x5A" for an opcode the device does not know.
[[nodiscard]] std::string SimOpcodeName(uint8_t opcode);

// True when the report carries a known opcode and checked length 14 in its frame: the device
// takes such a report for a command even while data reports are expected.
[[nodiscard]] bool SimLooksLikeCommand(const Report& report);

// Decodes a host report as a command report and checks every byte of it: report number,
// opcode, checked length, magic, checksum, the 0xCC fill and the fixed parameters of the
// commands that have them. Returns an empty string and fills `out` for a sound command report,
// otherwise a description of the first fault found.
[[nodiscard]] std::string SimDecodeCommand(const Report& report, SimCommand& out);

}  // namespace qv::sim
