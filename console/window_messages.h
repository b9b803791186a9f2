// Private messages from worker threads to the main dialog. Workers send them synchronously,
// so the handler runs on the interface thread while the worker waits; each answers 1.
#pragma once

#include <windows.h>

// wParam: a received discovery reply (ignored if null).
constexpr UINT UM_HOST_FOUND = WM_USER + 1;
// wParam: HostItem*, lParam: the refreshed reply; taken into editRecord by the handler when
// the item is still the selected one.
constexpr UINT UM_SELECTED_HOST_UPDATED = WM_USER + 2;
// wParam: HostItem*, lParam: the refreshed reply.
constexpr UINT UM_HOST_ROW_UPDATED = WM_USER + 3;
// wParam: end code (1 normal, 2 invalid request code), lParam: the WorkItem that ended. Only
// the work item behind the open wait dialog may end it.
constexpr UINT UM_WORK_DONE = WM_USER + 4;
// wParam: poll result, lParam: the poll's WorkItem. Ends the poll's animation and re-enables
// the buttons on the interface thread, where rows and selection live.
constexpr UINT UM_POLL_DONE = WM_USER + 5;

// Work end codes.
constexpr WPARAM kWorkEndNormal = 1;
constexpr WPARAM kWorkEndInvalidCode = 2;
