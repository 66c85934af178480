#include "sim/sim_query_answer.h"

#include <algorithm>

namespace qv::sim {

std::array<uint8_t, 64> SimQueryAnswer(const SimDeviceConfig& config) {
  if (config.raw_answer) return *config.raw_answer;
  std::array<uint8_t, 64> answer;
  answer.fill(0xFF);
  std::copy(config.version.begin(), config.version.end(), answer.begin());
  constexpr int kLengthIndex = 63;
  const int first = static_cast<int>(config.length_byte) - 5;
  // The id is placed after the version, so a short length byte lets it cover version bytes, as
  // a real device with such an answer would.
  for (int i = 0; i < 4; ++i) {
    const int at = first + i;
    if (at < 0 || at >= kLengthIndex) continue;
    const std::size_t index = static_cast<std::size_t>(i);
    answer[static_cast<std::size_t>(at)] =
        index < config.flash_id.size() ? static_cast<uint8_t>(config.flash_id[index]) : '0';
  }
  answer[kLengthIndex] = config.length_byte;
  return answer;
}

}  // namespace qv::sim
