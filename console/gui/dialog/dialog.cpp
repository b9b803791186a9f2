#include "console/gui/dialog/dialog.h"

#include <commctrl.h>

#include <algorithm>

#include "console/core/secret.h"

Dialog::Dialog(int templateId, HWND parent) : templateId_(templateId), parent_(parent) {}

Dialog::~Dialog() = default;

INT_PTR Dialog::RunModal() {
  return DialogBoxParamA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(templateId_), parent_,
                         &Dialog::DialogProc, reinterpret_cast<LPARAM>(this));
}

void Dialog::End(INT_PTR result) {
  if (hwnd_ && IsWindow(hwnd_)) EndDialog(hwnd_, result);
}

void Dialog::BindText(int id, std::string* member, std::size_t limit) {
  bindings_.push_back({id, member, limit});
}

void Dialog::UpdateData(bool toMembers) {
  for (const TextBinding& binding : bindings_) {
    if (toMembers) {
      std::string text = ItemText(binding.id);
      if (binding.limit && text.size() > binding.limit) {
        std::fill(text.begin() + static_cast<std::ptrdiff_t>(binding.limit), text.end(), '\0');
        text.resize(binding.limit);
      }
      // The old text is overwritten before it goes: some members hold passwords.
      WipeSecret(*binding.member);
      binding.member->swap(text);
    } else {
      SetItemText(binding.id, *binding.member);
    }
  }
}

std::string Dialog::ItemText(int id) const {
  HWND item = Item(id);
  if (!item) return std::string();
  int length = GetWindowTextLengthA(item);
  if (length <= 0) return std::string();
  std::string text(static_cast<std::size_t>(length) + 1, '\0');
  int got = GetWindowTextA(item, &text[0], length + 1);
  text.resize(got > 0 ? static_cast<std::size_t>(got) : 0);
  return text;
}

void Dialog::SetItemText(int id, const std::string& text) {
  if (HWND item = Item(id)) SetWindowTextA(item, text.c_str());
}

void Dialog::EnableItem(int id, bool enable) {
  if (HWND item = Item(id)) EnableWindow(item, enable ? TRUE : FALSE);
}

bool Dialog::IsItemEnabled(int id) const {
  HWND item = Item(id);
  return item && IsWindowEnabled(item);
}

void Dialog::ShowItem(int id, bool show) {
  if (HWND item = Item(id)) ShowWindow(item, show ? SW_SHOW : SW_HIDE);
}

bool Dialog::IsChecked(int id) const {
  return IsDlgButtonChecked(hwnd_, id) == BST_CHECKED;
}

void Dialog::SetChecked(int id, bool checked) {
  CheckDlgButton(hwnd_, id, checked ? BST_CHECKED : BST_UNCHECKED);
}

void Dialog::SetAddress(int id, uint32_t address) {
  if (HWND item = Item(id)) SendMessageA(item, IPM_SETADDRESS, 0, static_cast<LPARAM>(address));
}

uint32_t Dialog::Address(int id) const {
  DWORD address = 0;
  if (HWND item = Item(id)) SendMessageA(item, IPM_GETADDRESS, 0, reinterpret_cast<LPARAM>(&address));
  return address;
}

void Dialog::ClearAddress(int id) {
  if (HWND item = Item(id)) SendMessageA(item, IPM_CLEARADDRESS, 0, 0);
}

void Dialog::SetMessageResult(LRESULT result) {
  if (hwnd_) SetWindowLongPtrA(hwnd_, DWLP_MSGRESULT, result);
}

INT_PTR CALLBACK Dialog::DialogProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  Dialog* self = nullptr;
  if (message == WM_INITDIALOG) {
    self = reinterpret_cast<Dialog*>(lParam);
    SetWindowLongPtrA(hwnd, DWLP_USER, reinterpret_cast<LONG_PTR>(self));
    if (self) self->hwnd_ = hwnd;
  } else {
    self = reinterpret_cast<Dialog*>(GetWindowLongPtrA(hwnd, DWLP_USER));
  }
  if (!self) return FALSE;
  INT_PTR result = FALSE;
  try {
    result = self->HandleMessage(message, wParam, lParam);
  } catch (...) {
    // A handler failed (out of memory, most likely): the message counts as handled and
    // the dialog stays usable.
    result = TRUE;
  }
  if (message == WM_NCDESTROY) {
    SetWindowLongPtrA(hwnd, DWLP_USER, 0);
    self->hwnd_ = nullptr;
  }
  return result;
}

INT_PTR Dialog::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_INITDIALOG:
      for (const TextBinding& binding : bindings_) {
        if (binding.limit) SendDlgItemMessageA(hwnd_, binding.id, EM_LIMITTEXT, binding.limit, 0);
      }
      UpdateData(false);
      return OnInitDialog() ? TRUE : FALSE;
    case WM_COMMAND: {
      int id = LOWORD(wParam);
      int code = HIWORD(wParam);
      HWND control = reinterpret_cast<HWND>(lParam);
      if (OnCommand(id, code, control)) return TRUE;
      if (id == IDOK && code == BN_CLICKED) {
        OnOK();
        return TRUE;
      }
      if (id == IDCANCEL && code == BN_CLICKED) {
        OnCancel();
        return TRUE;
      }
      return FALSE;
    }
    case WM_NOTIFY: {
      NMHDR* header = reinterpret_cast<NMHDR*>(lParam);
      LRESULT result = 0;
      if (header && OnNotify(static_cast<int>(header->idFrom), header, result)) {
        SetWindowLongPtrA(hwnd_, DWLP_MSGRESULT, result);
        return TRUE;
      }
      return FALSE;
    }
    case WM_CLOSE:
      // The close box arrives as WM_CLOSE; the dialog manager turns it into IDCANCEL only
      // when the message reaches DefDlgProc, so route it explicitly.
      OnCancel();
      return TRUE;
    case WM_DESTROY:
      OnDestroy();
      return FALSE;
    default: {
      INT_PTR result = 0;
      if (OnMessage(message, wParam, lParam, result)) return result;
      return FALSE;
    }
  }
}
