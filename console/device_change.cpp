#include "console/device_change.h"

#include <dbt.h>

#include <cstddef>

namespace {

// GUID_DEVINTERFACE_NET. The adapters' setup class {4D36E972-...} is no interface class:
// a registration for it never fires.
const GUID kNetInterfaceClass = {
    0xCAC88484, 0x7515, 0x4C03, {0x82, 0xE6, 0x71, 0xA8, 0x7A, 0xBA, 0xC3, 0x61}};

}  // namespace

HDEVNOTIFY RegisterNetInterfaceNotification(HWND window) {
  DEV_BROADCAST_DEVICEINTERFACE_A filter = {};
  filter.dbcc_size = sizeof filter;
  filter.dbcc_devicetype = DBT_DEVTYP_DEVICEINTERFACE;
  filter.dbcc_classguid = kNetInterfaceClass;
  return RegisterDeviceNotificationA(window, &filter, DEVICE_NOTIFY_WINDOW_HANDLE);
}

bool IsNetInterfaceChange(WPARAM event, LPARAM data) {
  // Every top-level window hears DBT_DEVNODES_CHANGED for any device (a USB stick, a
  // headset); only a network interface coming or going changes the console's adapters.
  if (event != DBT_DEVICEARRIVAL && event != DBT_DEVICEREMOVECOMPLETE) return false;
  const auto* header = reinterpret_cast<const DEV_BROADCAST_HDR*>(data);
  if (header == nullptr || header->dbch_devicetype != DBT_DEVTYP_DEVICEINTERFACE ||
      header->dbch_size < offsetof(DEV_BROADCAST_DEVICEINTERFACE_A, dbcc_name))
    return false;
  const auto* device = reinterpret_cast<const DEV_BROADCAST_DEVICEINTERFACE_A*>(data);
  return IsEqualGUID(device->dbcc_classguid, kNetInterfaceClass) != FALSE;
}
