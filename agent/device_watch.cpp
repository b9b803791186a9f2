#include "agent/device_watch.h"

#include <dbt.h>

#include <cstddef>
#include <cstring>

#include "TaviServer.h"
#include "agent/service.h"
#include "agent/transport_start.h"
#include "transport/platform/net_interface_events.h"

namespace {

const char kWatchClass[] = "Detect NIC";
// Touched by the device-watch thread only.
LONG restartCounter = 0;

}  // namespace

LRESULT CALLBACK DeviceWatchWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_DESTROY:
      PostQuitMessage(0);
      return 0;
    case WM_DEVICECHANGE:
      // Every window hears of every device (DBT_DEVNODES_CHANGED, volumes, ports): only a
      // network interface coming or going changes the transport's adapters.
      if (!IsNetInterfaceChange(wParam, lParam)) return TRUE;
      // Npcap's installation brings its loopback adapter: a request thread still waiting
      // for the capture library tries again now.
      WakeTransportStart();
      // A change that arrives while an earlier one still waits for the mutex is covered by
      // that earlier restart.
      if (++restartCounter > 1) {
        --restartCounter;
        return 0;
      }
      WaitForSingleObject(deviceMutex, INFINITE);
      --restartCounter;
      TVRestart();
      ReleaseMutex(deviceMutex);
      return 0;
    default:
      return DefWindowProcA(window, message, wParam, lParam);
  }
}

HWND CreateDeviceWatchWindow(HINSTANCE instance) {
  WNDCLASSA windowClass;
  std::memset(&windowClass, 0, sizeof windowClass);
  windowClass.style = CS_HREDRAW | CS_VREDRAW;
  windowClass.lpfnWndProc = DeviceWatchWindowProc;
  windowClass.hInstance = instance;
  windowClass.hbrBackground = static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH));
  windowClass.lpszClassName = kWatchClass;
  if (RegisterClassA(&windowClass) == 0) return nullptr;
  HWND window = CreateWindowExA(WS_EX_TRANSPARENT, kWatchClass, "DetectNIC", 0, 0, 0, 0, 0,
                                nullptr, nullptr, instance, nullptr);
  // Without a desktop (a service on a display-less host) no top-level window can be made;
  // a message-only window still receives the notifications registered for its handle.
  if (window == nullptr)
    window = CreateWindowExA(WS_EX_TRANSPARENT, kWatchClass, "DetectNIC", 0, 0, 0, 0, 0,
                             HWND_MESSAGE, nullptr, instance, nullptr);
  return window;
}

int RegisterNicNotification(HWND window, const GUID& classGuid, HDEVNOTIFY* notifyHandle) {
  *notifyHandle = tavi::RegisterInterfaceNotification(window, classGuid);
  return *notifyHandle != nullptr ? 1 : 0;
}

DWORD WINAPI DeviceWatchThread(LPVOID) {
  Sleep(0);
  watchWindow = CreateDeviceWatchWindow(nullptr);
  HDEVNOTIFY notifyHandle = nullptr;
  RegisterNicNotification(watchWindow, tavi::kNetInterfaceClass, &notifyHandle);

  MSG message;
  std::memset(&message, 0, sizeof message);
  while (GetMessageA(&message, nullptr, 0, 0) > 0) {
    TranslateMessage(&message);
    DispatchMessageA(&message);
  }

  // WM_DESTROY was only sent; the window itself has to go before its class can.
  if (watchWindow != nullptr) DestroyWindow(watchWindow);
  watchWindow = nullptr;
  UnregisterClassA(kWatchClass, nullptr);
  if (notifyHandle != nullptr) UnregisterDeviceNotification(notifyHandle);
  return 0;
}
