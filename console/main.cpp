// ConsoleApp: one console per desktop, whose whole life is the modal main dialog.
#include <windows.h>
#include <commctrl.h>

#include "console/main_dialog.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  if (HWND running = FindWindowA(nullptr, kMainWindowTitle)) {
    ShowWindow(running, SW_RESTORE);
    SetForegroundWindow(running);
    return 0;
  }
  INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_LISTVIEW_CLASSES | ICC_INTERNET_CLASSES |
                                                        ICC_STANDARD_CLASSES};
  InitCommonControlsEx(&controls);

  // Deliberately never destroyed: poll workers may still be finishing when the dialog ends,
  // and the process exit below ends them without anything of theirs being freed first.
  MainDialog* dialog = new MainDialog();
  dialog->RunModal();
  ExitProcess(0);
}
