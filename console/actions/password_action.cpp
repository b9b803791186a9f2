// Change Password: a new password for the typed account or the management account.
#include "console/actions/action_requests.h"
#include "console/actions/action_texts.h"
#include "console/actions/change_password_dialog.h"
#include "console/actions/host_key_check.h"
#include "console/host_reply.h"
#include "console/main_dialog.h"
#include "console/os_names.h"
#include "console/resource.h"
#include "console/show_message.h"

void MainDialog::OnChangePassword() {
  HostRecord stored;
  if (selectedHost == nullptr || !StoredRecord(stored)) return;
  HostItem* host = selectedHost;
  // The management account exists where the Launch button would open its page.
  const unsigned char* answering = TVGetMACData(host->record.data(), nullptr);
  const bool managementEnabled = stored.mgmtPort != 0 && answering != nullptr &&
                                 DecodeNicEntry(answering).ipAddress != 0;

  if (!ConfirmHostKey(hwnd(), host->record.data(), host->record.size())) return;
  ChangePasswordDialog dialog(managementEnabled, OsShortName(stored.osInfo),
                              stored.osInfo.osFamily, hwnd());
  if (dialog.RunModal() != IDOK) return;
  const uint8_t account = managementEnabled && dialog.account == 1 ? 1 : 0;
  std::vector<uint8_t> request =
      BuildPasswordRequest(host->record.data(), host->record.size(), stored,
                           {dialog.resultUser, dialog.resultPassword}, account,
                           dialog.resultNewPassword);
  if (request.empty()) return;

  uint8_t reply[kConsoleShortReplyLength] = {};
  RunRequest(request.data(), reply);
  if (editRecord.empty() || selectedHost != host) return;

  if (workResult == 0) {
    ShowMessage(Status::AdapterOpenFailed);
    return;
  }
  const uint16_t status = ReplyStatus(reply, sizeof reply);
  if (status != Status::Ok) {
    ShowMessage(status);
    return;
  }
  ShowInfoMessage(kSettingSucceededText);
  if (editRecord.empty() || selectedHost != host) return;
  // A new administrator password can change the host's setup state, hence its icon.
  const uint8_t setupState = ReplySetupState(reply, sizeof reply);
  if (host->record.size() > FrameOffset::SetupState) host->record[FrameOffset::SetupState] = setupState;
  editRecord[FrameOffset::SetupState] = setupState;
  SetRowImage(host, StatusImage(setupState));
}
