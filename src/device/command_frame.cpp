#include "device/command_frame.h"

#include <algorithm>
#include <cstring>

#include "platform/byte_sum.h"
#include "platform/little_endian.h"

namespace qv {

CommandFrame CommandFrame::Make(uint8_t opcode, uint32_t param1, uint32_t param2) {
  CommandFrame frame;
  uint8_t* b = frame.bytes.data();
  b[0] = opcode;
  b[1] = kFrameCheckedLength;
  StoreLe32(b + 2, param1);
  StoreLe32(b + 6, param2);
  StoreLe32(b + 10, FRAME_MAGIC);
  StoreLe32(b + 14, ByteSumChecksum(b, kFrameCheckedLength));
  return frame;
}

void FillCommandReport(Report& report, const CommandFrame& frame) {
  report.fill(kCommandReportFill);
  std::copy(frame.bytes.begin(), frame.bytes.end(), report.begin() + 1);
  report[0] = 0;
}

void FillDataReport(Report& report, const uint8_t* source) {
  report[0] = 0;
  std::memcpy(report.data() + 1, source, kReportPayload);
}

}  // namespace qv
