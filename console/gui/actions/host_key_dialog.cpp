#include "console/gui/actions/host_key_dialog.h"

#include "console/core/host_key_texts.h"
#include "console/gui/resource.h"
#include "console/gui/show_message.h"

HostKeyDialog::HostKeyDialog(int templateId, const std::string& hostName,
                             const std::string& fingerprint, const std::string& pinned,
                             HWND parent)
    : Dialog(templateId, parent),
      hostText_(hostName),
      fingerprintText_(FingerprintLines(fingerprint)),
      pinnedText_(FingerprintLines(pinned)) {
  BindText(IDC_EDT_KEY_HOST, &hostText_);
  BindText(IDC_EDT_KEY_FINGERPRINT, &fingerprintText_);
  BindText(IDC_EDT_KEY_PINNED, &pinnedText_);
}

bool HostKeyDialog::OnCommand(int id, int notifyCode, HWND) {
  if (notifyCode != BN_CLICKED) return false;
  switch (id) {
    case IDYES:
    case IDNO:
      End(id);
      return true;
    case IDC_BTN_KEY_REPLACE: {
      // A second, deliberate step: replacing the pinned key is what an impostor would need.
      const std::string question = ReplaceKeyQuestion(hostText_);
      const std::string caption = ApplicationName();
      if (MessageBoxA(hwnd(), question.c_str(), caption.c_str(),
                      MB_YESNO | MB_ICONWARNING | MB_DEFBUTTON2) == IDYES) {
        End(IDC_BTN_KEY_REPLACE);
      }
      return true;
    }
    default:
      return false;
  }
}
