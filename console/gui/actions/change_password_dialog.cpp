#include "console/gui/actions/change_password_dialog.h"

#include "console/core/password_presets.h"
#include "console/gui/resource.h"
#include "console/gui/show_message.h"

ChangePasswordDialog::ChangePasswordDialog(bool management, const char* osName, uint8_t family,
                                           HWND parent)
    : Dialog(IDD_CHANGE_PASSWORD, parent),
      osLabel(OsLabelText(osName ? osName : "")),
      osFamily(family),
      managementEnabled(management),
      userText_(UserNamePresetFor(family).text) {
  BindText(IDC_EDT_CHANGE_OS, &osLabel);
  BindText(IDC_EDT_CHANGE_USER, &userText_, kUserNameMaxChars);
  BindText(IDC_EDT_CHANGE_PASSWORD, &passwordText_, kPasswordMaxChars);
  BindText(IDC_EDT_CHANGE_NEW, &newPasswordText_, kPasswordMaxChars);
  BindText(IDC_EDT_CHANGE_CONFIRM, &confirmText_, kPasswordMaxChars);
}

bool ChangePasswordDialog::OnInitDialog() {
  SendDlgItemMessageA(hwnd(), IDC_EDT_CHANGE_USER, EM_SETREADONLY,
                      UserNamePresetFor(osFamily).readOnly ? TRUE : FALSE, 0);
  // Only a host with a reachable management page has the management account.
  EnableItem(IDC_RB_CHANGE_RIDO, managementEnabled);
  SetChecked(IDC_RB_CHANGE_SYSTEM, true);
  SetChecked(IDC_RB_CHANGE_RIDO, false);
  account = 0;
  return true;
}

bool ChangePasswordDialog::OnCommand(int id, int notifyCode, HWND) {
  if (notifyCode != BN_CLICKED) return false;
  if (id == IDC_RB_CHANGE_SYSTEM) {
    account = 0;
    return true;
  }
  if (id == IDC_RB_CHANGE_RIDO) {
    account = 1;
    return true;
  }
  return false;
}

void ChangePasswordDialog::WipeSecrets() {
  for (std::string* secret : {&passwordText_, &newPasswordText_, &confirmText_, &resultPassword,
                              &resultNewPassword}) {
    WipeSecret(*secret);
  }
}

void ChangePasswordDialog::OnOK() {
  UpdateData(true);
  if (newPasswordText_ != confirmText_) {
    ShowWarningMessage(kPasswordsDifferText);  // the fields stay as typed
    return;
  }
  resultUser = userText_;
  resultNewPassword = newPasswordText_;
  resultPassword = passwordText_;
  End(IDOK);
}
