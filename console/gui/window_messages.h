// Private messages from worker threads to the main dialog. UM_WORK_DONE is sent
// synchronously, so its handler runs on the interface thread while the worker waits; each
// answers 1.
#pragma once

#include <windows.h>

#include <atomic>

// The main dialog's window, the only way a worker reaches the interface: set at
// initialisation. A send to it after the window has gone does nothing.
extern std::atomic<HWND> mainWindowHandle;

// Posted when discovery replies wait in foundReplies (found_replies.h); no parameters.
constexpr UINT UM_HOST_FOUND = WM_USER + 1;
// wParam: end code (1 normal, 2 invalid request code), lParam: the WorkTask that ended, with
// its outcome. Every task completes through this message once; only the task behind the
// open wait dialog may end it, and a poll's completion (refresh included) updates its row
// and gives the buttons back.
constexpr UINT UM_WORK_DONE = WM_USER + 4;

// Work end codes.
constexpr WPARAM kWorkEndNormal = 1;
constexpr WPARAM kWorkEndInvalidCode = 2;
