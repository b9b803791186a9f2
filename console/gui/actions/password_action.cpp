// Change Password: a new password for the typed account or the management account.
#include "console/core/action_requests.h"
#include "console/core/host_reply.h"
#include "console/core/os_names.h"
#include "console/gui/actions/action_texts.h"
#include "console/gui/actions/change_password_dialog.h"
#include "console/gui/actions/host_key_check.h"
#include "console/gui/main_dialog.h"
#include "console/gui/resource.h"
#include "console/gui/show_message.h"

void MainDialog::OnChangePassword() {
  HostRecord stored;
  if (panel.selectedHost() == nullptr || !panel.StoredRecord(stored)) return;
  HostItem* host = panel.selectedHost();
  // The management account exists where the Launch button would open its page.
  const bool managementEnabled =
      stored.mgmtPort != 0 && ReplyView(host->record).AnsweringAddress() != 0;

  if (!ConfirmHostKey(hwnd(), host->record.data(), host->record.size())) return;
  ChangePasswordDialog dialog(managementEnabled, OsShortName(stored.osInfo),
                              stored.osInfo.osFamily, hwnd());
  if (dialog.RunModal() != IDOK) return;
  const uint8_t account = managementEnabled && dialog.account == 1 ? 1 : 0;
  std::vector<uint8_t> request =
      BuildPasswordRequest(host->record.data(), host->record.size(), stored,
                           {dialog.resultUser, dialog.resultPassword}, account,
                           dialog.resultNewPassword);
  dialog.WipeSecrets();  // the request holds them now
  if (request.empty()) return;

  uint8_t reply[kConsoleShortReplyLength] = {};
  const int result = RunRequest(request.data(), reply);
  WipeSecret(request);
  if (!panel.IsOpen() || panel.selectedHost() != host) return;

  if (result == 0) {
    ShowMessage(Status::AdapterOpenFailed);
    return;
  }
  const ReplyView answer(reply, sizeof reply);
  const uint16_t status = answer.Status();
  if (status != Status::Ok) {
    ShowMessage(status);
    return;
  }
  ShowInfoMessage(kSettingSucceededText);
  if (!panel.IsOpen() || panel.selectedHost() != host) return;
  // A new administrator password can change the host's setup state, hence its icon.
  const uint8_t setupState = answer.SetupState();
  StoreReplySetupState(host->record.data(), host->record.size(), setupState);
  panel.StoreSetupState(setupState);
  hostList.SetRowImage(host, StatusImage(setupState));
}
