// "Netvane.cfg" in the dialog console: applied at start, written at close (config_store.h
// says where it lives).
#include "console/core/config_store.h"
#include "console/gui/main_dialog.h"
#include "console/gui/resource.h"

int MainDialog::LoadConfiguration() {
  ConsoleConfig config;
  // A cut file would leave some options undefined: the defaults stay for all of them.
  if (!ReadConsoleConfig(config)) return 0;
  ApplyTransportOptions(config);
  if (HWND list = Item(IDC_LST_HOSTS)) {
    for (std::size_t i = 0; i < kConfigColumnCount; ++i)
      ListView_SetColumnWidth(list, static_cast<int>(i),
                              ColumnWidthFromStored(config.columnWidths[i]));
  }
  return 1;
}

int MainDialog::SaveConfiguration() {
  ConsoleConfig config;
  config.discoverTimeout = static_cast<uint32_t>(TVGetDiscoverTimeout());
  config.setTimeout = static_cast<uint32_t>(TVGetSetTimeout());
  config.retryCount = static_cast<uint32_t>(TVGetRetryCount());
  if (HWND list = Item(IDC_LST_HOSTS)) {
    for (std::size_t i = 0; i < kConfigColumnCount; ++i)
      config.columnWidths[i] = ListView_GetColumnWidth(list, static_cast<int>(i));
  }
  return WriteConsoleConfig(config) ? 1 : 0;
}
