// Network adapters coming and going, as Windows reports them to a window through
// WM_DEVICECHANGE: the registration for the network interface class and the test that an
// event is about such an interface. Shared by the console's main window and the agent's
// device-watch window. Windows only, header only.
#pragma once

#include <windows.h>
#include <dbt.h>

#include <cstddef>

namespace tavi {

// GUID_DEVINTERFACE_NET: the interface every network adapter exposes. (The adapters' setup
// class {4D36E972-...} is no interface class, so a registration for it never fires.)
inline constexpr GUID kNetInterfaceClass = {
    0xCAC88484, 0x7515, 0x4C03, {0x82, 0xE6, 0x71, 0xA8, 0x7A, 0xBA, 0xC3, 0x61}};

// Null when the system refuses the registration.
inline HDEVNOTIFY RegisterInterfaceNotification(HWND window, const GUID& interfaceClass) {
  DEV_BROADCAST_DEVICEINTERFACE_A filter = {};
  filter.dbcc_size = sizeof filter;
  filter.dbcc_devicetype = DBT_DEVTYP_DEVICEINTERFACE;
  filter.dbcc_classguid = interfaceClass;
  return RegisterDeviceNotificationA(window, &filter, DEVICE_NOTIFY_WINDOW_HANDLE);
}

// An arrival or removal of a network interface. Every window hears of every device
// (DBT_DEVNODES_CHANGED, volumes, ports, a USB stick): those are not.
inline bool IsNetInterfaceChange(WPARAM event, LPARAM data) {
  if (event != DBT_DEVICEARRIVAL && event != DBT_DEVICEREMOVECOMPLETE) return false;
  const auto* header = reinterpret_cast<const DEV_BROADCAST_HDR*>(data);
  if (header == nullptr || header->dbch_devicetype != DBT_DEVTYP_DEVICEINTERFACE ||
      header->dbch_size < offsetof(DEV_BROADCAST_DEVICEINTERFACE_A, dbcc_name))
    return false;
  const auto* device = reinterpret_cast<const DEV_BROADCAST_DEVICEINTERFACE_A*>(data);
  return IsEqualGUID(device->dbcc_classguid, kNetInterfaceClass) != FALSE;
}

}  // namespace tavi
