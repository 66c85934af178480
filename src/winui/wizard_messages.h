#pragma once

#include <windows.h>

// The private window messages a page receives, and the progress page's timers.

namespace qv::winui {

// A task for the page's thread: lParam points to a std::function<void()>. wParam 0: posted, the
// page owns the task and deletes it once run; wParam 1: sent, the sender owns it and waits.
inline constexpr UINT kRunTaskMessage = WM_APP + 1;
// Sent by a thread other than the user-interface thread: lParam points to a MessageBoxRequest,
// which the page shows and answers before the send returns.
inline constexpr UINT kMessageBoxMessage = WM_APP + 4;

// The progress page's timers.
inline constexpr UINT_PTR kDoneCheckTimer = 1;
inline constexpr UINT_PTR kPollTimer = 2;

}  // namespace qv::winui
