#include "console/gui/actions/verify_password_dialog.h"

#include "console/core/password_presets.h"
#include "console/gui/resource.h"

VerifyPasswordDialog::VerifyPasswordDialog(const char* osName, uint8_t family, HWND parent)
    : Dialog(IDD_VERIFY_PASSWORD, parent),
      osLabel(OsLabelText(osName ? osName : "")),
      osFamily(family),
      userText_(UserNamePresetFor(family).text) {
  BindText(IDC_EDT_VERIFY_OS, &osLabel);
  BindText(IDC_EDT_VERIFY_USER, &userText_, kUserNameMaxChars);
  BindText(IDC_EDT_VERIFY_PASSWORD, &passwordText_, kPasswordMaxChars);
}

bool VerifyPasswordDialog::OnInitDialog() {
  // A Linux agent logs on its own root account: the name is shown, not typed.
  SendDlgItemMessageA(hwnd(), IDC_EDT_VERIFY_USER, EM_SETREADONLY,
                      UserNamePresetFor(osFamily).readOnly ? TRUE : FALSE, 0);
  return true;
}

void VerifyPasswordDialog::WipeSecrets() {
  WipeSecret(passwordText_);
  WipeSecret(resultPassword);
}

void VerifyPasswordDialog::OnOK() {
  UpdateData(true);
  resultUser = userText_;
  resultPassword = passwordText_;  // an empty password is sent as it is
  End(IDOK);
}
