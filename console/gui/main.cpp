// ConsoleApp: one console per desktop, whose whole life is the modal main dialog.
#include <windows.h>
#include <commctrl.h>

#include "console/gui/main_dialog.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  if (HWND running = FindWindowA(nullptr, kMainWindowTitle)) {
    ShowWindow(running, SW_RESTORE);
    SetForegroundWindow(running);
    return 0;
  }
  INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_LISTVIEW_CLASSES | ICC_INTERNET_CLASSES |
                                                        ICC_STANDARD_CLASSES};
  InitCommonControlsEx(&controls);

  // Workers reach the dialog only through its window, so poll workers still finishing
  // when it ends touch nothing of it; the process exit below ends them.
  MainDialog dialog;
  dialog.RunModal();
  ExitProcess(0);
}
