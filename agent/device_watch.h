// The device-watch thread: a hidden window that restarts the transport whenever the set
// of network adapters changes.
#pragma once

#include <windows.h>

#include "transport/platform/net_interface_events.h"

// A WM_DEVICECHANGE that reports a network interface's arrival or removal.
using tavi::IsNetInterfaceChange;
DWORD WINAPI DeviceWatchThread(LPVOID unused);
HWND CreateDeviceWatchWindow(HINSTANCE instance);
int RegisterNicNotification(HWND window, const GUID& classGuid, HDEVNOTIFY* notifyHandle);
LRESULT CALLBACK DeviceWatchWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
