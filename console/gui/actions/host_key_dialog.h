// The two questions about an agent's key: "Unknown Host Key" (template 136), asked before the
// first authenticated request to a host whose key is not pinned, and "Host Key Changed"
// (template 137), shown instead of sending when the host presents another key than the
// pinned one.
#pragma once

#include <windows.h>

#include <string>

#include "console/gui/dialog/dialog.h"

class HostKeyDialog : public Dialog {
 public:
  // templateId: IDD_HOST_KEY_UNKNOWN or IDD_HOST_KEY_CHANGED; pinned is shown only by the
  // second. RunModal returns IDYES (trust the unknown key), IDC_BTN_KEY_REPLACE (replace
  // the pinned key, confirmed a second time), or IDNO / IDCANCEL.
  HostKeyDialog(int templateId, const std::string& hostName, const std::string& fingerprint,
                const std::string& pinned, HWND parent);

 protected:
  bool OnCommand(int id, int notifyCode, HWND control) override;

 private:
  std::string hostText_;
  std::string fingerprintText_;
  std::string pinnedText_;
};
