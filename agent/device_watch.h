// The device-watch thread: a hidden window that restarts the transport whenever the set
// of network adapters changes.
#pragma once

#include <windows.h>

// A WM_DEVICECHANGE that reports a network interface's arrival or removal.
bool IsNetInterfaceChange(WPARAM event, LPARAM data);
DWORD WINAPI DeviceWatchThread(LPVOID unused);
HWND CreateDeviceWatchWindow(HINSTANCE instance);
int RegisterNicNotification(HWND window, const GUID& classGuid, HDEVNOTIFY* notifyHandle);
LRESULT CALLBACK DeviceWatchWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
