#pragma once

#include <cstdint>

// Every time the updater gives the device, in one place. Tests drive them through a fake clock;
// changing one here changes it for the wizard, the command line and the station alike.

namespace qv {

// Taking the link's lock for one report: five non-blocking tries, each failed one followed by
// 200 ms of sleep, the fifth included; then the exchange gives up and sends nothing.
inline constexpr int kLockAttempts = 5;
inline constexpr uint32_t kLockRetrySleepMs = 200;

// A release raises the cancel for this long, so that a transfer in progress on another thread
// sees it and fails.
inline constexpr uint32_t kCancelPulseMs = 10;
// A receive waits in slices this long, so that a release is seen promptly.
inline constexpr int kReceiveSliceMs = 10;

// How long a read waits for the device's answer unless told otherwise.
inline constexpr uint32_t kAnswerWaitMs = 2000;
// The read-back after an erase comes only when the chip is done. A sector is budgeted 34 ms;
// a slow chip may take ten times that, plus a second to spare.
inline constexpr uint64_t kEraseBaseWaitMs = 1000;
inline constexpr uint64_t kEraseWaitPerSectorMs = 340;

// After the reset the device leaves the bus and comes back in its update mode: the run waits,
// then looks for it up to 150 times 100 ms apart, then lets it settle.
inline constexpr uint32_t kSettleAfterResetMs = 2000;
inline constexpr int kReconnectAttempts = 150;
inline constexpr uint32_t kReconnectIntervalMs = 100;
inline constexpr uint32_t kSettleAfterReconnectMs = 1000;

// Continuous mode looks at the bus this often.
inline constexpr uint32_t kDevicePollIntervalMs = 200;

}  // namespace qv
