#include "device/device_commands.h"

#include <algorithm>
#include <cstring>
#include <limits>

#include "device/command_frame.h"
#include "device/layout_block.h"

namespace qv {
namespace {

constexpr uint32_t kPageSize = 256;
constexpr uint32_t kReadbackBytes = 256;
constexpr uint32_t kProgressStepBytes = 1024;
constexpr uint32_t kTimeStepBytes = 16384;
// The parameters of the commands that carry no address.
constexpr uint32_t kBlockParam1 = 0x80;
constexpr uint32_t kBlockParam2 = 1;
constexpr uint32_t kKeyParam1 = 0x12345678;
constexpr uint32_t kKeyParam2 = 0xABCDEF01;
// The read-back after an erase comes only when the chip is done. A sector is budgeted 34 ms;
// a slow chip may take ten times that, plus a second to spare.
constexpr uint64_t kEraseBaseWaitMs = 1000;
constexpr uint64_t kEraseWaitPerSectorMs = 340;

enum class SendStatus { kLockGivenUp, kNotMoved, kMoved };

struct SendOutcome {
  SendStatus status = SendStatus::kNotMoved;
  uint32_t payload = 0;  // bytes moved without the report number
};

// Payload count of a transfer that moved `count` bytes counting the report number.
uint32_t PayloadOf(uint32_t count) {
  return count > 0 ? count - 1 : 0;
}

// Takes the lock, lets fill() prepare the report buffer, writes it, leaves the lock.
template <typename Fill>
SendOutcome SendOneReport(HidLink& link, Fill&& fill) {
  if (!link.TakeLock()) return {SendStatus::kLockGivenUp, 0};
  fill(link.report_buffer());
  uint32_t count = 0;
  const bool moved = link.Transfer(TransferDirection::kWrite, count);
  link.LeaveLock();
  if (!moved) return {SendStatus::kNotMoved, 0};
  return {SendStatus::kMoved, PayloadOf(count)};
}

SendOutcome SendCommand(HidLink& link, uint8_t opcode, uint32_t param1, uint32_t param2) {
  const CommandFrame frame = CommandFrame::Make(opcode, param1, param2);
  return SendOneReport(link, [&](Report& report) { FillCommandReport(report, frame); });
}

// A data report counts only when all 64 bytes went out: a shorter move would misalign every
// following report and make the last one read past the caller's data.
bool SendDataReport(HidLink& link, const uint8_t* source) {
  const SendOutcome outcome =
      SendOneReport(link, [&](Report& report) { FillDataReport(report, source); });
  return outcome.status == SendStatus::kMoved && outcome.payload == kReportPayload;
}

enum class ReadStatus { kLockGivenUp, kFailed, kRead };

struct ReadOutcome {
  ReadStatus status = ReadStatus::kFailed;
  uint32_t payload = 0;
};

// Takes the lock, reads one input report into the report buffer, lets take() copy from it,
// leaves the lock.
template <typename Take>
ReadOutcome ReadOneReport(HidLink& link, uint32_t timeout_ms, Take&& take) {
  if (!link.TakeLock()) return {ReadStatus::kLockGivenUp, 0};
  uint32_t count = 0;
  const bool read = link.ReadWithin(timeout_ms, count);
  const uint32_t payload = std::min<uint32_t>(PayloadOf(count), kReportPayload);
  if (read) take(link.report_buffer(), payload);
  link.LeaveLock();
  if (!read) return {ReadStatus::kFailed, 0};
  return {ReadStatus::kRead, payload};
}

uint32_t EraseReadbackWaitMs(uint32_t sector_count) {
  const uint64_t wait = kEraseBaseWaitMs + kEraseWaitPerSectorMs * sector_count;
  return static_cast<uint32_t>(std::min<uint64_t>(wait, std::numeric_limits<uint32_t>::max()));
}

}  // namespace

uint32_t EraseCommand(HidLink& link, uint32_t start_sector, uint32_t sector_count) {
  if (!link.Connected()) return 0;
  if (SendCommand(link, CMD_ERASE, start_sector, sector_count).status != SendStatus::kMoved) {
    return 0;
  }
  if (SendCommand(link, CMD_READBACK, kBlockParam1, kBlockParam2).status != SendStatus::kMoved) {
    return 0;
  }
  // The first report comes when the erase is done; the rest follow at once.
  uint32_t wait_ms = EraseReadbackWaitMs(sector_count);
  uint32_t received = 0;
  while (received < kReadbackBytes) {
    const ReadOutcome outcome = ReadOneReport(link, wait_ms, [](const Report&, uint32_t) {});
    // An empty report would never end the loop; it counts as a failed read.
    if (outcome.status != ReadStatus::kRead || outcome.payload == 0) return 0;
    received += outcome.payload;
    wait_ms = kReadTimeoutMs;
  }
  return sector_count;
}

uint32_t WriteCommand(HidLink& link, const uint8_t* data, uint32_t start_page, uint32_t page_count,
                      WriteHooks& hooks) {
  if (!link.Connected()) return 0;
  const uint64_t total = static_cast<uint64_t>(page_count) * kPageSize;
  // The byte count must fit the result, and there must be data to send.
  if (total > std::numeric_limits<uint32_t>::max() || (total > 0 && data == nullptr)) return 0;
  if (SendCommand(link, CMD_WRITE, start_page, page_count).status != SendStatus::kMoved) {
    return 0;
  }
  uint32_t sent = 0;
  while (sent < total) {
    if (sent % kProgressStepBytes == 0) hooks.ProgressStep();
    if (sent % kTimeStepBytes == 0) hooks.TimeStep();
    if (!SendDataReport(link, data + sent)) return 0;
    sent += kReportPayload;
  }
  return sent;
}

int ResetCommand(HidLink& link) {
  if (!link.Connected()) return 0;
  // Whether the report went out or not, the device is expected to restart.
  (void)SendCommand(link, CMD_RESET, kKeyParam1, kKeyParam2);
  return 1;
}

int SetLayoutCommand(HidLink& link, uint32_t program_sector, uint32_t sound_sector,
                     uint32_t map_sector) {
  if (!link.Connected()) return 0;
  const LayoutBlock block = BuildLayoutBlock(program_sector, sound_sector, map_sector);
  if (SendCommand(link, CMD_SET_LAYOUT, kBlockParam1, kBlockParam2).status != SendStatus::kMoved) {
    return 1;
  }
  for (uint32_t sent = 0; sent < kLayoutBlockSize; sent += kReportPayload) {
    if (!SendDataReport(link, block.data() + sent)) return 1;
  }
  return 0;
}

int OverCommand(HidLink& link) {
  int result = 0;
  if (link.Connected() &&
      SendCommand(link, CMD_OVER, kKeyParam1, kKeyParam2).status != SendStatus::kMoved) {
    result = 1;
  }
  link.Release();
  return result;
}

uint32_t QueryExchange(HidLink& link, std::array<uint8_t, 64>& answer) {
  answer.fill(0xFF);
  if (!link.Connected()) return 0;
  if (SendCommand(link, CMD_QUERY, kBlockParam1, kBlockParam2).status != SendStatus::kMoved) {
    return 0;
  }
  const ReadOutcome outcome =
      ReadOneReport(link, kReadTimeoutMs, [&](const Report& report, uint32_t payload) {
        std::memcpy(answer.data(), report.data() + 1, payload);
      });
  if (outcome.status != ReadStatus::kRead) return 0;
  return outcome.payload;
}

}  // namespace qv
