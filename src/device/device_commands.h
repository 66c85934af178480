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

// The device commands: true when the command did what it is for. Every command sends nothing
// while no device is connected; set-layout and over then count as done (what follows fails),
// the others as failed.

// CMD_ERASE then CMD_READBACK and 256 bytes of read-back. An erase of no sector fails.
[[nodiscard]] bool EraseCommand(HidLink& link, uint32_t start_sector, uint32_t sector_count);

// CMD_WRITE then page_count * 4 data reports from data (page_count * 256 bytes). A write of no
// page fails.
[[nodiscard]] bool WriteCommand(HidLink& link, const uint8_t* data, uint32_t start_page,
                                uint32_t page_count, WriteHooks& hooks);

// CMD_RESET. Fails only when no device is connected: whether its report went out or not, the
// device is expected to restart.
[[nodiscard]] bool ResetCommand(HidLink& link);

// CMD_SET_LAYOUT and the 256-byte layout block.
[[nodiscard]] bool SetLayoutCommand(HidLink& link, uint32_t program_sector, uint32_t sound_sector,
                                    uint32_t map_sector);

// CMD_OVER; releases the device on every path.
[[nodiscard]] bool OverCommand(HidLink& link);

// CMD_QUERY and one input report: answer is filled with 0xFF, then overwritten from the start
// with the report's payload. Returns 0 when no exchange took place, else the payload count.
[[nodiscard]] uint32_t QueryExchange(HidLink& link, std::array<uint8_t, 64>& answer);

}  // namespace qv
