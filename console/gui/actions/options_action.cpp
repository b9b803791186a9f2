// Configure: the transport's options, applied at once; the file is written at close.
#include "console/gui/actions/configure_dialog.h"
#include "console/gui/main_dialog.h"

void MainDialog::OnConfigure() {
  ConfigureDialog dialog(hwnd());
  if (dialog.RunModal() != IDOK) return;
  TVSetDiscoverTimeout(static_cast<int>(dialog.discoverTimeout));
  TVSetSetTimeout(static_cast<int>(dialog.setTimeout));
  TVSetRetryCount(static_cast<int>(dialog.retryCount));
}
