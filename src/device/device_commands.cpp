#include "device/device_commands.h"

#include <algorithm>
#include <limits>

#include "device/command_frame.h"
#include "device/device_timings.h"
#include "device/layout_block.h"
#include "platform/flash_units.h"

namespace qv {
namespace {

constexpr uint32_t kReadbackBytes = 256;
constexpr uint32_t kProgressStepBytes = kKiB;
constexpr uint32_t kTimeStepBytes = 16 * kKiB;
// The parameters of the commands that carry no address.
constexpr uint32_t kBlockParam1 = 0x80;
constexpr uint32_t kBlockParam2 = 1;
constexpr uint32_t kKeyParam1 = 0x12345678;
constexpr uint32_t kKeyParam2 = 0xABCDEF01;

bool SendCommand(HidLink& link, uint8_t opcode, uint32_t param1, uint32_t param2) {
  return link.SendCommand(CommandFrame::Make(opcode, param1, param2)).moved;
}

// A data report counts only when all 64 bytes went out: a shorter move would misalign every
// following report and make the last one read past the caller's data.
bool SendDataReport(HidLink& link, const uint8_t* source) {
  const ReportOutcome outcome = link.SendData(source);
  return outcome.moved && outcome.payload == kReportPayload;
}

uint32_t EraseReadbackWaitMs(uint32_t sector_count) {
  const uint64_t wait = kEraseBaseWaitMs + kEraseWaitPerSectorMs * sector_count;
  return static_cast<uint32_t>(std::min<uint64_t>(wait, std::numeric_limits<uint32_t>::max()));
}

}  // namespace

bool EraseCommand(HidLink& link, uint32_t start_sector, uint32_t sector_count) {
  if (!link.Connected()) return false;
  if (!SendCommand(link, CMD_ERASE, start_sector, sector_count)) return false;
  if (!SendCommand(link, CMD_READBACK, kBlockParam1, kBlockParam2)) return false;
  // The first report comes when the erase is done; the rest follow at once.
  uint32_t wait_ms = EraseReadbackWaitMs(sector_count);
  uint32_t received = 0;
  while (received < kReadbackBytes) {
    // Only the arrival of the read-back counts, not its bytes.
    const ReportOutcome outcome = link.ReadAnswer({}, wait_ms);
    // An empty report would never end the loop; it counts as a failed read.
    if (!outcome.moved || outcome.payload == 0) return false;
    received += outcome.payload;
    wait_ms = kAnswerWaitMs;
  }
  // The device's own count of erased sectors: an erase of none counts as failed.
  return sector_count != 0;
}

bool WriteCommand(HidLink& link, const uint8_t* data, uint32_t start_page, uint32_t page_count,
                  WriteHooks& hooks) {
  if (!link.Connected()) return false;
  const uint64_t total = static_cast<uint64_t>(page_count) * kFlashPageSize;
  // The byte count must fit the result, and there must be data to send.
  if (total > std::numeric_limits<uint32_t>::max() || (total > 0 && data == nullptr)) return false;
  if (!SendCommand(link, CMD_WRITE, start_page, page_count)) return false;
  uint32_t sent = 0;
  while (sent < total) {
    if (sent % kProgressStepBytes == 0) hooks.ProgressStep();
    if (sent % kTimeStepBytes == 0) hooks.TimeStep();
    if (!SendDataReport(link, data + sent)) return false;
    sent += kReportPayload;
  }
  // A write of no page counts as failed, as the bytes-sent count of the protocol says.
  return sent != 0;
}

bool ResetCommand(HidLink& link) {
  if (!link.Connected()) return false;
  // Whether the report went out or not, the device is expected to restart.
  (void)SendCommand(link, CMD_RESET, kKeyParam1, kKeyParam2);
  return true;
}

bool SetLayoutCommand(HidLink& link, uint32_t program_sector, uint32_t sound_sector,
                      uint32_t map_sector) {
  // Without a device nothing is sent, and the layout counts as set: the erase that follows
  // is what fails.
  if (!link.Connected()) return true;
  const LayoutBlock block = BuildLayoutBlock(program_sector, sound_sector, map_sector);
  if (!SendCommand(link, CMD_SET_LAYOUT, kBlockParam1, kBlockParam2)) return false;
  for (uint32_t sent = 0; sent < kLayoutBlockSize; sent += kReportPayload) {
    if (!SendDataReport(link, block.data() + sent)) return false;
  }
  return true;
}

bool OverCommand(HidLink& link) {
  // Without a device nothing is sent, and nothing failed.
  const bool sent = !link.Connected() || SendCommand(link, CMD_OVER, kKeyParam1, kKeyParam2);
  link.Release();
  return sent;
}

uint32_t QueryExchange(HidLink& link, std::array<uint8_t, 64>& answer) {
  answer.fill(0xFF);
  if (!link.Connected()) return 0;
  if (!SendCommand(link, CMD_QUERY, kBlockParam1, kBlockParam2)) return 0;
  const ReportOutcome outcome = link.ReadAnswer(answer);
  if (!outcome.moved) return 0;
  return outcome.payload;
}

}  // namespace qv
