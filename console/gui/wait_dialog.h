// The modal "Please wait" dialog shown while a request runs: a square slides along a line
// between the console's icon and the hosts' icon. A discovery's dialog has a Cancel button.
#pragma once

#include <windows.h>

#include <atomic>

#include "console/gui/dialog/dialog.h"

class WaitDialog : public Dialog {
 public:
  WaitDialog(HWND parent, bool showCancel);

  // The worker's completion flag: a worker that finished before this window existed could
  // not end it, so the dialog ends itself at once when the flag is already set.
  void SetFinishedFlag(const std::atomic<bool>* finished) { finished_ = finished; }
  // 1 from initialisation until Cancel is pressed, then 0.
  int running() const { return running_; }
  bool IsOpen() const { return hwnd() && IsWindow(hwnd()); }

  // Exposed for tests of the animation's geometry.
  const RECT& track() const { return track_; }
  const RECT& block() const { return block_; }
  // One animation step: move the block and turn at the ends.
  static void Advance(const RECT& track, RECT& block);

 protected:
  bool OnInitDialog() override;
  bool OnCommand(int id, int notifyCode, HWND control) override;
  bool OnMessage(UINT message, WPARAM wParam, LPARAM lParam, INT_PTR& result) override;
  // Enter and Escape do nothing: only Cancel, the worker or the closing console end it.
  void OnOK() override {}
  void OnCancel() override {}
  void OnDestroy() override;

 private:
  void Paint();

  bool showCancel_;
  int running_ = 0;
  RECT track_{};
  RECT block_{};
  const std::atomic<bool>* finished_ = nullptr;
};
