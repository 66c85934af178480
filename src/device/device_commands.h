#pragma once

#include <array>
#include <cstdint>

#include "device/hid_link.h"

namespace qv {

// Called by the write command before data reports, never with the link's lock held.
class WriteHooks {
 public:
  virtual ~WriteHooks() = default;
  // Before the data report at every whole KiB sent (0 included).
  virtual void ProgressStep() = 0;
  // After the progress step, at every 16 KiB sent (0 included).
  virtual void TimeStep() = 0;
};

// The device commands. Results exactly as the protocol defines them:
// erase and write succeed when non-zero; reset fails only when 0; set-layout and over fail when
// non-zero. Every command sends nothing and returns 0 while no device is connected.

// CMD_ERASE then CMD_READBACK and 256 bytes of read-back. Returns sector_count on success.
[[nodiscard]] uint32_t EraseCommand(HidLink& link, uint32_t start_sector, uint32_t sector_count);

// CMD_WRITE then page_count * 4 data reports from data (page_count * 256 bytes).
// Returns the bytes sent (page_count * 256) on success, 0 on failure.
[[nodiscard]] uint32_t WriteCommand(HidLink& link, const uint8_t* data, uint32_t start_page,
                                    uint32_t page_count, WriteHooks& hooks);

// CMD_RESET. 0 only when no device is connected.
[[nodiscard]] int ResetCommand(HidLink& link);

// CMD_SET_LAYOUT and the 256-byte layout block. 0 on success, 1 on failure.
[[nodiscard]] int SetLayoutCommand(HidLink& link, uint32_t program_sector, uint32_t sound_sector,
                                   uint32_t map_sector);

// CMD_OVER; releases the device on every path. 0 on success, 1 on failure.
[[nodiscard]] int OverCommand(HidLink& link);

// CMD_QUERY and one input report: answer is filled with 0xFF, then overwritten from the start
// with the report's payload. Returns 0 when no exchange took place, else the payload count.
[[nodiscard]] uint32_t QueryExchange(HidLink& link, std::array<uint8_t, 64>& answer);

}  // namespace qv
