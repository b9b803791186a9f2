// A small dialog base: one static dialog procedure forwards every message to virtual
// handlers of the object created for the dialog, text members are exchanged with their
// controls in both directions, and a modal run needs only the template ID.
//
// No exception leaves a handler: the dialog procedure catches everything, because unwinding
// through the window system's frames is undefined.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

class Dialog {
 public:
  Dialog(int templateId, HWND parent);
  virtual ~Dialog();
  Dialog(const Dialog&) = delete;
  Dialog& operator=(const Dialog&) = delete;

  // Runs the dialog modally; returns the value given to End, or -1 when the window could
  // not be created.
  INT_PTR RunModal();
  // Ends a modal run with `result`; harmless when the window is already gone.
  void End(INT_PTR result);

  HWND hwnd() const { return hwnd_; }
  HWND Item(int id) const { return GetDlgItem(hwnd_, id); }
  HWND parent() const { return parent_; }
  int templateId() const { return templateId_; }

  // Binds a text member to control `id`; `limit` caps the characters taken from the
  // control (0 = no cap) and is also set as the control's input limit at initialisation.
  void BindText(int id, std::string* member, std::size_t limit = 0);
  // toMembers = true: controls -> members ("update the data from the controls");
  // false: members -> controls.
  void UpdateData(bool toMembers);

  // Control helpers; all accept a missing control and then do nothing (or return empty).
  std::string ItemText(int id) const;
  void SetItemText(int id, const std::string& text);
  void EnableItem(int id, bool enable);
  bool IsItemEnabled(int id) const;
  void ShowItem(int id, bool show);
  bool IsChecked(int id) const;
  void SetChecked(int id, bool checked);
  // IP address controls hold a number whose most significant byte is the first octet.
  void SetAddress(int id, uint32_t address);
  uint32_t Address(int id) const;
  void ClearAddress(int id);
  // The answer a sender of the current message receives (DWLP_MSGRESULT); a dialog
  // procedure's own return value only says whether the message was handled.
  void SetMessageResult(LRESULT result);

 protected:
  // After the base has bound controls and pushed the members into them. Return true to let
  // the system set the focus.
  virtual bool OnInitDialog() { return true; }
  // Return true when handled.
  virtual bool OnCommand(int /*id*/, int /*notifyCode*/, HWND /*control*/) { return false; }
  // Return true when handled; `result` becomes the notification result.
  virtual bool OnNotify(int /*id*/, NMHDR* /*header*/, LRESULT& /*result*/) { return false; }
  // Any other message; return true when handled with `result` as the dialog's answer.
  virtual bool OnMessage(UINT /*message*/, WPARAM /*wParam*/, LPARAM /*lParam*/,
                         INT_PTR& /*result*/) {
    return false;
  }
  // Enter / the default button; the base ends the dialog with IDOK.
  virtual void OnOK() { End(IDOK); }
  // Escape, the close box and button 2; the base ends the dialog with IDCANCEL.
  virtual void OnCancel() { End(IDCANCEL); }
  // Just before the window goes away.
  virtual void OnDestroy() {}

 private:
  static INT_PTR CALLBACK DialogProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
  INT_PTR HandleMessage(UINT message, WPARAM wParam, LPARAM lParam);

  struct TextBinding {
    int id;
    std::string* member;
    std::size_t limit;
  };

  int templateId_;
  HWND parent_;
  HWND hwnd_ = nullptr;
  std::vector<TextBinding> bindings_;
};
