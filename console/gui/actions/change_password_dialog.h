// "Change Password" (template 135): the administrator account, whose password to change
// (the account itself or the management product's), and the new password typed twice.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

#include "console/core/secret.h"
#include "console/gui/dialog/dialog.h"

class ChangePasswordDialog : public Dialog {
 public:
  ChangePasswordDialog(bool managementEnabled, const char* osName, uint8_t osFamily,
                       HWND parent);

  std::string osLabel;
  uint8_t osFamily;
  bool managementEnabled;
  int account = 0;  // 0: the account typed in User Name; 1: the management account
  std::string resultUser;
  std::string resultPassword;  // current password
  std::string resultNewPassword;

  ~ChangePasswordDialog() override { WipeSecrets(); }
  // Overwrites the typed passwords; callers wipe once the request is built and sent.
  void WipeSecrets();

 protected:
  bool OnInitDialog() override;
  bool OnCommand(int id, int notifyCode, HWND control) override;
  void OnOK() override;

 private:
  std::string userText_;
  std::string passwordText_;
  std::string newPasswordText_;
  std::string confirmText_;
};
