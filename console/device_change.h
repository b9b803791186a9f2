// Network adapter changes for the main window: the registration for the network interface
// class and the test that a WM_DEVICECHANGE is about such an interface.
#pragma once

#include <windows.h>

// Null when the system refuses the registration.
HDEVNOTIFY RegisterNetInterfaceNotification(HWND window);

// An arrival or removal of a network interface; every other device event is not.
bool IsNetInterfaceChange(WPARAM event, LPARAM data);
