#pragma once

#include <atomic>
#include <cstdint>

namespace qv::cli {

// Ctrl-C and SIGTERM for a station: the handler only counts them. The station reads the count
// (the first stops starting devices, the second aborts those in progress); a third means the
// station does not react, and the signal's default action ends the process.
void CatchStopSignals();
// The count since CatchStopSignals.
[[nodiscard]] const std::atomic<uint32_t>& StopSignalCount();

}  // namespace qv::cli
