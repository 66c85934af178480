#pragma once

#include <atomic>
#include <cstdint>

namespace qv::cli {

// The signals that reach a station, caught so that none ends it in the middle of a write. The
// handlers only count stops; the station reads the count (the first stops starting devices, the
// second aborts those in progress). Past two stops the station does not react, and the
// signal's default action ends the process.
//   SIGINT (Ctrl-C), SIGTERM and SIGHUP (the terminal or the SSH session closed): one stop.
//   SIGQUIT (Ctrl-\): quit now, two stops at once: the devices in progress are aborted cleanly
//     (released, recorded as interrupted) instead of the default core dump, which would leave
//     them half-written with no record line.
//   SIGPIPE (stdout's reader gone): ignored; the devices finish, the record is written, and the
//     station reports the lost output at its end.
void CatchStopSignals();
// The count since CatchStopSignals.
[[nodiscard]] const std::atomic<uint32_t>& StopSignalCount();

}  // namespace qv::cli
