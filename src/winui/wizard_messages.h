#pragma once

#include <windows.h>

// The private window messages a page receives. The worker thread of a progress page reaches the
// page only through these (sent when it must wait for the page, posted otherwise).

namespace qv::winui {

// Posted by the run after each progress step; wParam: the percent as it was when posted.
inline constexpr UINT kProgressMessage = 2025;
// Sent: lParam points to the std::wstring to show on the status line.
inline constexpr UINT kStatusTextMessage = WM_APP + 1;
// Sent: lParam points to the std::wstring of the device's flash ("Flash:" and its model code).
inline constexpr UINT kFlashTextMessage = WM_APP + 2;
// Posted as the worker's last act; wParam: the RunResult.
inline constexpr UINT kRunFinishedMessage = WM_APP + 3;
// Sent by a thread other than the user-interface thread: lParam points to a MessageBoxRequest,
// which the page shows and answers before the send returns.
inline constexpr UINT kMessageBoxMessage = WM_APP + 4;

// The progress page's timers.
inline constexpr UINT_PTR kDoneCheckTimer = 1;
inline constexpr UINT_PTR kPollTimer = 2;

}  // namespace qv::winui
