// "Verify Password" (template 134): the account that authorises one change on a host.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

#include "console/core/secret.h"
#include "console/gui/dialog/dialog.h"

class VerifyPasswordDialog : public Dialog {
 public:
  // osName: the host's short OS name, shown cut to nine characters.
  VerifyPasswordDialog(const char* osName, uint8_t osFamily, HWND parent);

  std::string osLabel;
  uint8_t osFamily;
  // Copied out on OK: at most 32 and 16 characters.
  std::string resultUser;
  std::string resultPassword;

  ~VerifyPasswordDialog() override { WipeSecrets(); }
  // Overwrites the typed password; callers wipe once the request is built and sent.
  void WipeSecrets();

 protected:
  bool OnInitDialog() override;
  void OnOK() override;

 private:
  std::string userText_;
  std::string passwordText_;
};
