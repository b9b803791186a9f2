#include "console/gui/wait_dialog.h"

#include "console/gui/resource.h"

namespace {

constexpr UINT_PTR kAnimationTimer = 1;
constexpr UINT kAnimationPeriodMs = 70;
constexpr int kStep = 5;
constexpr COLORREF kTrackColour = RGB(0, 180, 0);

// Direction of the block, shared by all wait dialogs for the life of the program.
int blockDirection = 1;

RECT ChildRect(HWND dialog, int id) {
  RECT rect{};
  HWND child = GetDlgItem(dialog, id);
  if (!child) return rect;
  GetWindowRect(child, &rect);
  MapWindowPoints(HWND_DESKTOP, dialog, reinterpret_cast<POINT*>(&rect), 2);
  return rect;
}

}  // namespace

WaitDialog::WaitDialog(HWND parent, bool showCancel)
    : Dialog(IDD_WAIT, parent), showCancel_(showCancel) {}

bool WaitDialog::OnInitDialog() {
  RECT left = ChildRect(hwnd(), IDC_ICO_WAIT_CONSOLE);
  RECT right = ChildRect(hwnd(), IDC_ICO_WAIT_HOSTS);
  int y = (left.top + left.bottom) / 2;
  track_ = {left.right, y - 3, right.left, y + 3};
  block_ = {track_.left - 3, track_.top, track_.left + 3, track_.bottom};
  SetTimer(hwnd(), kAnimationTimer, kAnimationPeriodMs, nullptr);
  running_ = 1;
  ShowItem(IDC_BTN_WAIT_CANCEL, showCancel_);
  if (finished_ && finished_->load()) End(1);
  return true;
}

void WaitDialog::Advance(const RECT& track, RECT& block) {
  int x = (block.left + block.right) / 2;
  if (x >= track.right) blockDirection = -1;
  if (x <= track.left) blockDirection = 1;
  OffsetRect(&block, kStep * blockDirection, 0);
}

bool WaitDialog::OnCommand(int id, int notifyCode, HWND) {
  if (id == IDC_BTN_WAIT_CANCEL && notifyCode == BN_CLICKED) {
    running_ = 0;
    End(IDCANCEL);
    return true;
  }
  return false;
}

bool WaitDialog::OnMessage(UINT message, WPARAM wParam, LPARAM, INT_PTR& result) {
  if (message == WM_TIMER && wParam == kAnimationTimer) {
    Advance(track_, block_);
    RECT band = {track_.left - 3, track_.top, track_.right + 3, track_.bottom};
    InvalidateRect(hwnd(), &band, TRUE);
    return false;
  }
  if (message == WM_PAINT) {
    Paint();
    result = TRUE;
    return true;
  }
  return false;
}

void WaitDialog::Paint() {
  PAINTSTRUCT paint;
  HDC dc = BeginPaint(hwnd(), &paint);
  if (!dc) return;
  HPEN pen = CreatePen(PS_SOLID, 1, kTrackColour);
  HGDIOBJ oldPen = SelectObject(dc, pen);
  int m = (track_.top + track_.bottom) / 2;
  MoveToEx(dc, track_.left, m, nullptr);
  LineTo(dc, track_.right, m);
  HBRUSH brush = CreateSolidBrush(kTrackColour);
  FillRect(dc, &block_, brush);
  SelectObject(dc, oldPen);
  DeleteObject(pen);
  DeleteObject(brush);
  EndPaint(hwnd(), &paint);
}

void WaitDialog::OnDestroy() { KillTimer(hwnd(), kAnimationTimer); }
