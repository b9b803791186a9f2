#include "console/gui/actions/configure_dialog.h"

#include "TaviClient.h"
#include "console/core/configure_checks.h"
#include "console/gui/resource.h"
#include "console/gui/show_message.h"

ConfigureDialog::ConfigureDialog(HWND parent) : Dialog(IDD_CONFIGURE, parent) {
  BindText(IDC_EDT_DISCOVER_TIMEOUT, &discoverText_);
  BindText(IDC_EDT_SET_TIMEOUT, &setText_);
  BindText(IDC_EDT_RETRY_COUNT, &retryText_);
}

void ConfigureDialog::ShowValues() {
  discoverText_ = std::to_string(discoverTimeout);
  setText_ = std::to_string(setTimeout);
  retryText_ = std::to_string(retryCount);
  UpdateData(false);
}

bool ConfigureDialog::OnInitDialog() {
  // The options live in the transport; this dialog only edits them.
  discoverTimeout = static_cast<uint32_t>(TVGetDiscoverTimeout());
  setTimeout = static_cast<uint32_t>(TVGetSetTimeout());
  retryCount = static_cast<uint32_t>(TVGetRetryCount());
  ShowValues();
  return true;
}

bool ConfigureDialog::OnCommand(int id, int notifyCode, HWND) {
  if (id != IDC_BTN_DEFAULT || notifyCode != BN_CLICKED) return false;
  discoverTimeout = kDefaultDiscoverTimeout;
  retryCount = kDefaultRetryCount;
  setTimeout = kDefaultSetTimeout;
  ShowValues();  // applied only by OK
  return true;
}

void ConfigureDialog::OnOK() {
  UpdateData(true);
  ConfigureValues values;
  const ConfigureOutcome outcome = CheckConfigureFields(discoverText_, setText_, retryText_, values);
  if (outcome.field != ConfigureField::None) {
    ShowWarningMessage(outcome.message);
    const int id = outcome.field == ConfigureField::DiscoverTimeout ? IDC_EDT_DISCOVER_TIMEOUT
                   : outcome.field == ConfigureField::SetTimeout    ? IDC_EDT_SET_TIMEOUT
                                                                    : IDC_EDT_RETRY_COUNT;
    if (HWND field = Item(id)) {
      SetFocus(field);
      SendMessageA(field, EM_SETSEL, 0, -1);
    }
    return;
  }
  discoverTimeout = values.discoverTimeout;
  setTimeout = values.setTimeout;
  retryCount = values.retryCount;
  End(IDOK);
}
